#pragma once
// What the user sees of an output run: the one window of the run's data problems and,
// for a run that takes a while, a progress dialog with a cancel button.
#include "db/dataproblems.h"
#include "report/runobserver.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>

class QWidget;

// One modal window titled "数据错误" listing every data problem of a run, in text the
// user can select and copy, with the button "确定". Nothing is shown for an empty list.
void showDataProblems(QWidget* parent, const std::vector<dataproblems::Problem>& problems);

// The error that ended an output run, in a box titled "输出失败" with the button "确定".
// Every failed run says so: a run that wrote nothing must never pass silently.
void showRunError(QWidget* parent, const QString& text);

// Opens a progress dialog once the run has taken `delayMs`; its cancel button ends the run.
class ProgressObserver : public RunObserver {
  public:
    explicit ProgressObserver(QWidget* parent, int delayMs = 500);
    ~ProgressObserver() override;

    void step(const RunStep& s) override;
    // The cancel button, a stop signal, or cancel() ends the run.
    bool cancelled() const override;
    void cancel() { m_cancelled = true; }
    // Null until the dialog has been opened.
    QProgressDialog* dialog() const { return m_dlg; }

  private:
    static constexpr int kBarSteps = 1000;
    QWidget* m_parent;
    int m_delayMs;
    QElapsedTimer m_clock;
    QElapsedTimer m_lastPump;
    QPointer<QProgressDialog> m_dlg;
    bool m_cancelled = false;
};
