#pragma once
// The output run of one report model: the folder and the files, the writers the pages
// stream to while they are built (or the whole model at the end), the templates, the
// viewers, progress and cancel, and the list of data problems.
//
// The run attaches itself to its model when made (RepPortBase::setSink) and detaches when
// it goes. Its writers read the model's pages until then, so the run goes first: make it
// after the model, in the same scope or one inside it.
#include "db/export.h"
#include "report/repportbase.h"
#include "report/runobserver.h"
#include "report/viewer.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// How the .xlsx workbook lays a page out.
enum class XlsxLayout {
    Table,  // titles, one header row, a row per record with its group's texts in front
    Grouped // like the HTML sheet: group lines, the header repeated per group
};

class PageWriter;
struct XlsxSetup;

enum class OutputEncoding {
    Gb18030, // the program's bytes, HTML declares gb18030
    Utf8     // text and HTML converted, declared utf-8, text fields aligned by display width
};

// Which files an output run writes, and how. The defaults are the interactive run's.
struct SCREPORT_CORE_EXPORT OutputOptions {
    bool html = true; // HTML workbook when the sheet output is asked for
    bool xlsx = true; // native workbook beside it
    OutputEncoding encoding = OutputEncoding::Gb18030;
    XlsxLayout xlsxLayout = XlsxLayout::Table;

    // Defaults with SCREPORT_ENCODING (utf-8 / gb18030) applied.
    static OutputOptions fromEnvironment();
};

class SCREPORT_CORE_EXPORT ReportOutput : public PageSink {
  public:
    // projectDir: GB18030 path; reports go to projectDir + "temp" + separator (a missing
    // trailing separator is supplied).
    ReportOutput(RepPortBase& model, const std::string& projectDir);
    ReportOutput(const ReportOutput&) = delete;
    ReportOutput& operator=(const ReportOutput&) = delete;
    // Stops the writers of an unfinished run and removes their files.
    ~ReportOutput();

    // Makes the temporary folder and the workbook folder, copies the stylesheet.
    bool prepareDir();
    // Starts the writers of the text report (writeText) and the workbooks (writeSheet)
    // before the pages are built: each page goes to them as it is built, each group as
    // soon as the builder calls groupDone(). Without it showResult writes the whole model
    // at its end.
    void beginOutput(bool writeText, bool writeSheet);
    bool streaming() const override { return m_out != nullptr; }
    bool keepsExact() const override;
    // Cells of the whole run, for the .xlsx package's zip format (an estimate will do).
    void setCellEstimate(size_t cells) { m_cellEstimate = cells; }
    // Finishes the files begun by beginOutput, or writes the text report (writeText) and
    // the workbooks (writeSheet) of the model, into the temporary folder, then opens
    // them. Nothing replaces an earlier run's file until every requested file is
    // complete; a failure or cancel throws ErrorText.
    void showResult(bool writeText, bool writeSheet, bool openViewers = true);

    void setOutputOptions(const OutputOptions& o) { m_options = o; }
    const OutputOptions& outputOptions() const { return m_options; }
    void setObserver(RunObserver* o) { m_pObserver = o; }
    // The steps of the run in order (GB18030 names as the steps report them) with their
    // share of the run's time; progress then moves one bar through all of them.
    void setRunPlan(std::vector<std::pair<std::string, double>> plan) { m_plan = std::move(plan); }
    // Step names of the writers (UTF-8), as progress reports them.
    static constexpr const char* kTextStep = "正在写文本报表";
    static constexpr const char* kWorkbookStep = "正在写工作簿";
    static constexpr const char* kXlsxStep = "正在写xlsx工作簿";
    static constexpr const char* kXlsxPackStep = "正在压缩xlsx工作簿";
    // Progress and cancel check; throws ErrorText when cancelled.
    void checkRun(const char* whatUtf8, long done, long total, bool faults, bool bytes) override;
    // The run's list of data problems, asked for once the pages are built and written
    // with the reports as one set; an empty text removes an earlier run's list.
    void setProblemList(std::function<std::string()> text) { m_problemList = std::move(text); }
    // Read once before writing; the .xlsx tables' location columns stay empty without it.
    void setBusLocations(std::shared_ptr<const BusLocations> where) { m_busLocations = std::move(where); }
    // Replaces the platform viewers (tests, batch mode).
    void setViewer(std::unique_ptr<Viewer> v) { m_viewer = std::move(v); }
    // The viewers of the last showResult that did not open their file (GB18030 lines).
    std::vector<std::string> viewerFailures() const;

    const std::string& tempDir() const { return m_strTempDir; }
    // The project's "temp" folder, where a run writes by default (ends in a separator).
    static std::string tempDirOf(const std::string& projectDir);
    // Another output folder than the project's "temp" (GB18030; a missing separator is added).
    void setTempDir(const std::string& dir);
    // Output file names inside the temporary folder.
    std::string textPath() const { return m_strTempDir + "rep_txt.txt"; }
    std::string htmlPath() const { return m_strTempDir + "sc_report.htm"; }
    std::string xlsxPath() const { return m_strTempDir + "sc_report.xlsx"; }
    std::string problemsPath() const { return m_strTempDir + "data_problems.txt"; }

    // Where the workbook templates come from: a "rep_template" folder in the project
    // folder, else one beside the executable, else the set built into the program
    // (kBuiltinTemplates). A folder found there stands for the whole set and must hold
    // every template; it never falls back per file. The current folder plays no part.
    // GB18030, ending in '/'.
    static std::string findTemplateDir(const std::string& projectDir);
    static constexpr const char* kBuiltinTemplates = ":/rep_template/";
    // The template files, in the order they are checked.
    static const std::vector<std::string>& templateNames();
    const std::string& templateDir() const { return m_strTemplateDir; }
    // GB18030 path ending in a separator.
    void setTemplateDir(const std::string& dir) { m_strTemplateDir = dir; }

    // Largest number of rows of a worksheet.
    static constexpr long kMaxSheetRows = 1048576;
    // Rows per worksheet before a page continues on the next one (tests lower it).
    void setSheetRowLimit(long rows) { m_nSheetRowLimit = rows; }
    // Bytes of an HTML sheet file after which its page goes on in the next file, at the
    // next group: a browser shows a sheet of a few megabytes in seconds, one of a hundred
    // in minutes (tests lower it).
    static constexpr unsigned long long kHtmlSheetBytes = 4000000;
    void setHtmlSheetBytes(unsigned long long bytes) { m_nHtmlSheetBytes = bytes; }

  private:
    void handOver(int page, RepPage& p, int grp, RecordStore&& last) override;
    void endPage(int page, RepPage& p) override;
    // Reads every template from the template folder; throws ErrorText naming one that
    // is missing, unreadable or empty. A run does this before it writes anything.
    void loadTemplates();
    // A template's text in the output encoding (loads the set when needed).
    const std::string& templateText(const std::string& name);
    // The temporary folder; false when it cannot be made.
    bool makeDirs();
    // How the .xlsx workbook of the model is written, for `cells` cells.
    XlsxSetup xlsxSetup(size_t cells) const;
    // The rest of showResult's writing: the stream's end, the writers' end, the files.
    void finishOutput();

    RepPortBase& m_model;
    std::unique_ptr<Viewer> m_viewer;
    std::string m_strTemplateDir;
    std::string m_strTempDir;
    OutputOptions m_options;
    RunObserver* m_pObserver = nullptr;
    std::vector<std::pair<std::string, double>> m_plan;
    const char* m_stepKey = nullptr; // the literal whose GB18030 text m_step holds
    RunStep m_step;
    double m_stepStart = 0, m_stepWeight = 0, m_planWeight = 0;
    struct Output;
    struct OutputEnd {
        void operator()(Output* o) const;
    };
    std::unique_ptr<Output, OutputEnd> m_out; // the files and writers of a streamed run
    size_t m_cellEstimate = 0;
    std::map<std::string, std::string> m_templates; // name -> text, as loaded
    std::string m_templatesFrom;                    // folder and encoding they were loaded for
    long m_nSheetRowLimit = kMaxSheetRows;
    unsigned long long m_nHtmlSheetBytes = kHtmlSheetBytes;
    std::shared_ptr<const BusLocations> m_busLocations;
    std::function<std::string()> m_problemList;
};
