#pragma once
// The program's main window: case, fault points, report kinds with their columns,
// units, grouping and output form of the short-circuit reports.
#include "reportselectdlg.h"
#include "sc/outputrun.h"
#include "sc/scpos.h"

#include <functional>

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

  protected slots:
    void onChoose();
    void onSelSC();

  private:
    void enableReportKinds();

    SCPosList sc_buses;
    class ProgressObserver* m_run = nullptr; // the run in progress
    bool m_closeAfterRun = false;
};
