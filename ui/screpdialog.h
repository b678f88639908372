#pragma once
// The program's main window: case, fault points, report kinds with their columns,
// units, grouping and output form of the short-circuit reports.
#include "reportselectdlg.h"
#include "sc/outputrun.h"
#include "sc/scpos.h"

#include <functional>

class QLabel;
class RunObserver;

class SCRepDialog : public ReportSelectDlg {
    Q_OBJECT
  public:
    SCRepDialog(const std::string& dbName, const std::string& projectDir, const std::string& caseName,
                bool useBackupTables, QWidget* parent = nullptr, const char* name = nullptr,
                bool modal = false, Qt::WindowFlags f = {});
    ~SCRepDialog() override;

    const SCPosList& faultList() const { return sc_buses; }

    // The output run behind "输出"; tests put a recorder in its place.
    using OutputRunner = std::function<OutputResult(const OutputRequest&, RunObserver*)>;
    static void setOutputRunner(OutputRunner runner);
    // How long a run goes before the progress dialog opens.
    static void setProgressDelay(int ms);

  public slots:
    void reject() override;

  protected:
    void createCaseArea(QWidget* parent, const std::string& caseName8) override;
    void loadOptions() override;
    void saveOptions() override;
    void onOutput() override;
    void save_caseNote() override;
    void keyPressEvent(QKeyEvent* event) override;

  protected slots:
    void onChoose();
    void onSelSC();

  private:
    void enableReportKinds();
    // The status line after a run: the files written, the count of data problems and the
    // viewers that did not open their file.
    void showRunStatus(const std::vector<std::string>& files, size_t problems,
                       const std::vector<std::string>& viewerFailures);

    SCPosList sc_buses;
    class ProgressObserver* m_runProgress = nullptr; // the progress of the run under way
    bool m_closeAfterRun = false;
    QLabel* m_pStatus = nullptr; // what the last run wrote
};
