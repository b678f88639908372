#pragma once
// What the user sees of an output run: the box of a data warning and, for a run that
// takes a while, a progress dialog with a cancel button.
#include "report/runobserver.h"
#include "sc/warningsink.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>

class QWidget;

// Shows each data warning in a modal box with the button "确定".
class WarningBox : public WarningSink {
  public:
    explicit WarningBox(QWidget* parent) : m_parent(parent) {}
    void warn(const std::string& title8, const std::string& text8) override;

  private:
    QWidget* m_parent;
};

// Installs a sink for the lifetime of the object, then puts the previous one back.
class ScopedWarningSink {
  public:
    explicit ScopedWarningSink(WarningSink* sink);
    ~ScopedWarningSink();
    ScopedWarningSink(const ScopedWarningSink&) = delete;
    ScopedWarningSink& operator=(const ScopedWarningSink&) = delete;

  private:
    WarningSink* m_previous;
};

// Opens a progress dialog once the run has taken `delayMs`; its cancel button ends the run.
class ProgressObserver : public RunObserver {
  public:
    explicit ProgressObserver(QWidget* parent, int delayMs = 500);
    ~ProgressObserver() override;

    void progress(const std::string& what, long done, long total) override;
    bool cancelled() const override;
    // Null until the dialog has been opened.
    QProgressDialog* dialog() const { return m_dlg; }

  private:
    QWidget* m_parent;
    int m_delayMs;
    QElapsedTimer m_clock;
    QElapsedTimer m_lastPump;
    QPointer<QProgressDialog> m_dlg;
};
