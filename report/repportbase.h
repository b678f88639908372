#pragma once
// The report model: pages of titles, group headings, header rows, records of cell
// texts and tails, and the writers that turn it into a text file, HTML tables, an
// HTML workbook and a native .xlsx workbook. Every cell is text when stored; all
// 8-bit text is GB18030.
#include "db/export.h"
#include "report/outsink.h"
#include "report/recordstore.h"
#include "report/runobserver.h"
#include "report/viewer.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

// A heading-like cell: group heading, header cell or leading cell of a record.
struct RepCell {
    std::string text;
    bool isID = false; // header: identifying column (record cells styled xl30)
    int width = 16;    // field width of the text writer
    int colspan = 1;
    int rowspan = 1;
    bool headStyle = true; // leading cells: xl35 (true) or xl36 (false)
    std::string extra;     // leading cells: raw attributes written instead of the spans
    // .xlsx tables only: a column of bus names gets the area, zone and station of each
    // bus beside it, headed by busPrefix; a complex column ("m / a") splits in two.
    bool bus = false;
    std::string busPrefix;
    bool complex = false;
    // .xlsx tables only: the unit its heading ends with ("kV"; a complex column's angle is
    // in degrees), another heading, and the texts that stand for no value there (empty
    // cells; why, for the sheet's note).
    std::string unit{}, xlsxHead{};
    std::vector<std::string> noValue{};
    std::string noValueWhy{};
};

// A chart the .xlsx tables add after a page's sheet. Columns are the records' columns.
struct RepChart {
    enum Kind {
        None,
        PerRecord, // one bar per record
        PerGroup   // one line per group over its records, for the first maxGroups groups
    } kind = None;
    std::string title; // GB18030; also names the chart's sheet
    int categoryCol = 0;
    int valueCol = 0;
    int maxGroups = 0;
    std::string about{}; // the case and fault type, beside the title
    // What a line chart draws, filled by the builder before the page ends, one series
    // per group (nan: no point); the value axis is titled valueTitle. A bar chart reads
    // its records' cells instead.
    struct Data {
        std::vector<std::string> categories, names;
        std::vector<std::vector<double>> values;
        std::string valueTitle;
    };
    std::shared_ptr<Data> data{};
};

// One report: one block of the text file, one sheet of a workbook.
struct RepPage {
    std::vector<std::string> titles; // the first names the sheet
    std::vector<std::string> tails;
    std::vector<RepCell> grpTitles;                 // shared by all groups of the page
    std::vector<std::vector<std::string>> grpTexts; // per group, by heading position
    std::vector<std::vector<RepCell>> headers;      // row 0 defines the text columns
    std::vector<std::vector<RepCell>> recIDs;       // leading cells of the k-th record of every group
    RecordStore records;                            // per group, the records' cell texts
    int m_nColCount = 0;
    RepChart chart;
    // Streamed output: groups already handed to the writers (their records are gone
    // from `records`), their rows and cells, and how far the page has gone.
    int handedGroups = 0;
    long long handedRows = 0;
    long long handedCells = 0;
    bool begun = false;
    bool ended = false;
    long long rowCount() const { return handedRows + (long long)records.totalRecords(); }
    long long cellCount() const { return handedCells + (long long)records.totalCells(); }
};

// What the cell texts of a page are, for the .xlsx tables: a column of bus names (header
// column col) or a group heading naming a bus gets the bus's area, zone and station beside
// it, headed by prefix; a complex column splits in two. Out-of-range positions are ignored.
SCREPORT_CORE_EXPORT void setBusColumn(RepPage& p, int col, const std::string& prefix);
SCREPORT_CORE_EXPORT void setBusGroupTitle(RepPage& p, int idx, const std::string& prefix);
SCREPORT_CORE_EXPORT void setComplexColumn(RepPage& p, int col);
// Header cell col of the top row, or group heading col; null when there is none.
SCREPORT_CORE_EXPORT RepCell* xlsxCell(RepPage& p, int col, bool groupTitle);

// Where each bus lies, for the location columns of the .xlsx tables and grouping by
// location. Filled once before the writers start (no database access from the model or
// a writer); only read after that.
struct BusLocation {
    std::string area, zone, station; // GB18030
};
class SCREPORT_CORE_EXPORT BusLocations {
  public:
    void add(const std::string& bus, BusLocation where) { m_map[bus] = std::move(where); }
    const BusLocation* find(std::string_view bus) const {
        auto it = m_map.find(bus);
        return it == m_map.end() ? nullptr : &it->second;
    }
    size_t size() const { return m_map.size(); }

  private:
    std::map<std::string, BusLocation, std::less<>> m_map;
};

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

class SCREPORT_CORE_EXPORT RepPortBase {
  public:
    // projectDir: GB18030 path; reports go to projectDir + "temp" + separator (a missing
    // trailing separator is supplied). The three containers are held by reference and
    // must outlive the model unchanged.
    RepPortBase(const std::string& projectDir, int caseNo, const std::set<std::string>& chosenKeys,
                const std::map<std::string, std::vector<std::string>>& itemLabels,
                const std::map<std::string, std::vector<int>>& itemSel);
    RepPortBase(const RepPortBase& other);
    RepPortBase& operator=(const RepPortBase&) = delete;
    virtual ~RepPortBase();

    // --- state ---
    void initialize();
    void setUnitInfo(bool pu) { m_bPU = pu; }
    void setGrpInfo(bool byArea, bool byZone, bool byST);
    bool isSelect(const std::string& name) const;

    // --- pages, groups, headers ---
    int addRP(bool grouped);
    void setGrpSize(int page, int n);
    void addHeader(int page, const std::string& text, int width, bool isID);
    void addHeader(int page, const char* text, int width, bool isID);
    void addHeader(int page, int row, const char* text, int colspan, int rowspan, const char* extra);
    int getHeaderSize(int page) const;
    bool isIDCol(int page, int col) const;
    int getColCount(int page) const;

    // --- titles, tails, group headings ---
    void addTitle(int page, const char* text);
    void addTitle(int page, const std::string& text);
    void addTail(int page, const char* text);
    void addTail(int page, const std::string& text);
    void addUnitTitle(int page);
    void addPUnitTitle(int page);
    void addGrpTitle(int page, const char* text, int width, bool flag);
    void addGrpText(int page, int grp, const char* text);
    void addGrpText(int page, int grp, const std::string& text);

    // --- records and cells (note the order: page, record, value, group) ---
    int addRec(int page, int grp);
    int addRec(int page) { return addRec(page, 0); }
    int addRec(int page, int n, int grp); // returns the group's new record count
    void addText(int page, int rec, const char* value, int grp);
    void addText(int page, int rec, const std::string& value, int grp);
    void addText(int page, int rec, const QString& value, int grp);
    void addText(int page, int rec, const QByteArray& value, int grp);
    void addText(int page, int rec, const QVariant& value, int grp);
    void addText(int page, int rec, double value, int grp); // %g, 6 significant digits
    void addText(int page, int rec, const double* values, int n, int grp);
    void addText(int page, int rec, double a, double b, int grp); // a / b in percent
    // Integers are written exactly (no exponent), which %g would not do past 6 digits.
    template <class I, std::enable_if_t<std::is_integral_v<I> && !std::is_same_v<I, bool>, int> = 0>
    void addText(int page, int rec, I value, int grp) {
        addIntText(page, rec, static_cast<long long>(value), grp);
    }

    // Fixed notation with prec decimals, formatted straight into the page's store.
    void addFixed(int page, int rec, double value, int prec, int grp);

    // Number-to-text rules, shared with builders that format on their own.
    static std::string fixedText(double value, int prec); // fixed notation
    static std::string percentText(double a, double b);   // "0.00" when |b| < 0.001

    // --- grouping by network position ---
    void addGrpTitle(int page, bool withST);
    void fillGrp(int page, int grp, bool isST, const std::string& area, const std::string& zone,
                 const std::string& st);
    int addGrp(int page, const std::string& key, bool isST, const std::string& area, const std::string& zone,
               const std::string& st);
    int getGrp(int page, const std::string& key, bool isST, const std::string& area, const std::string& zone,
               const std::string& st);
    int dealGrp(int page, const std::string& st, const std::string& zone, const std::string& area);
    // Groups by where the node lies, as setBusLocations gave it (no group name when unknown).
    int dealGrpOld(int page, const std::string& node);
    int dealGrp2(int page, const std::string& zone1, const std::string& zone2, const std::string& area1,
                 const std::string& area2);
    int dealGrp2_Zone(int page, const std::string& zone1, const std::string& zone2, const std::string& area1,
                      const std::string& area2);
    int dealGrp2_Area(int page, const std::string& zone1, const std::string& zone2, const std::string& area1,
                      const std::string& area2);

    // Read once by the run before writing; the .xlsx tables' location columns stay empty
    // without it.
    void setBusLocations(std::shared_ptr<const BusLocations> where) { m_busLocations = std::move(where); }

    // --- reading the model ---
    int pageCount() const { return int(m_pages.size()); }
    const RepPage& page(int p) const { return m_pages[p]; }
    int groupCount(int page) const { return m_pages[page].records.groupCount(); }
    int recordCount(int page, int grp) const { return m_pages[page].records.recordCount(grp); }

    // --- the end of an output run ---
    // Makes the temporary folder and the workbook folder, copies the stylesheet.
    bool prepareDir();
    // Starts the writers of the text report (writeText) and the workbooks (writeSheet)
    // before the pages are built: each page goes to them as it is built, each group as
    // soon as the builder calls groupDone(). Without it showResult writes the whole model
    // at its end.
    void beginOutput(bool writeText, bool writeSheet);
    bool streaming() const { return m_out != nullptr; }
    // Group grp of the page is complete: while streaming it goes to the writers and its
    // records leave the model. Groups are done in order; the others go at the page's end.
    void groupDone(int page, int grp);
    // Builds the groups [0, n) of page r, each with build(i, rs) into a store of its own
    // (group 0 of rs), and adds them to the page in order, reporting `stepUtf8` per
    // group. While the output streams, two groups are built at a time on two threads;
    // `build` may then run on another thread and must not touch the model, only rs.
    // Data problems it reports and errors it raises reach this thread in group order.
    using GroupBuild = std::function<void(int i, RecordStore& rs)>;
    void buildGroups(int r, int n, const char* stepUtf8, const GroupBuild& build);
    // Cells of the whole run, for the .xlsx package's zip format (an estimate will do).
    void setCellEstimate(size_t cells) { m_cellEstimate = cells; }
    // Whether number cells keep the values they were printed from (the .xlsx stores them).
    bool keepsExact() const;
    // Finishes the files begun by beginOutput, or writes the text report (writeText) and
    // the workbooks (writeSheet) of the model, into the temporary folder, then opens
    // them. Nothing replaces an earlier run's file until every requested file is
    // complete; a failure or cancel throws ErrorText.
    void showResult(bool writeText, bool writeSheet, bool openViewers = true);

    void setOutputOptions(const OutputOptions& o) { m_options = o; }
    const OutputOptions& outputOptions() const { return m_options; }
    void setObserver(RunObserver* o) { m_pObserver = o; }
    // The run's list of data problems, asked for once the pages are built and written
    // with the reports as one set; an empty text removes an earlier run's list.
    void setProblemList(std::function<std::string()> text) { m_problemList = std::move(text); }
    std::string problemsPath() const { return m_strTempDir + "data_problems.txt"; }
    // The steps of the run in order (GB18030 names as the steps report them) with their
    // share of the run's time; progress then moves one bar through all of them.
    // Step names of the writers (UTF-8), as progress reports them.
    static constexpr const char* kTextStep = "正在写文本报表";
    static constexpr const char* kWorkbookStep = "正在写工作簿";
    static constexpr const char* kXlsxStep = "正在写xlsx工作簿";
    static constexpr const char* kXlsxPackStep = "正在压缩xlsx工作簿";
    void setRunPlan(std::vector<std::pair<std::string, double>> plan) { m_plan = std::move(plan); }
    // Replaces the platform viewers (tests, batch mode).
    void setViewer(std::unique_ptr<Viewer> v);
    // The viewers of the last showResult that did not open their file (GB18030 lines).
    std::vector<std::string> viewerFailures() const;

    const std::string& tempDir() const { return m_strTempDir; }
    // The project's "temp" folder, where a run writes by default (ends in a separator).
    static std::string tempDirOf(const std::string& projectDir);
    // Another output folder than the project's "temp" (GB18030; a missing separator is added).
    void setTempDir(const std::string& dir);
    const std::string& caseNoText() const { return m_strCaseNo; }
    const std::string& caseName() const { return m_strCaseName; }
    const std::string& templateDir() const { return m_strTemplateDir; }
    // GB18030 path ending in a separator.
    void setTemplateDir(const std::string& dir) { m_strTemplateDir = dir; }
    // Output file names inside the temporary folder.
    std::string textPath() const { return m_strTempDir + "rep_txt.txt"; }
    std::string htmlPath() const { return m_strTempDir + "sc_report.htm"; }
    std::string xlsxPath() const { return m_strTempDir + "sc_report.xlsx"; }

    // Where the workbook templates come from: a "rep_template" folder in the project
    // folder, else one beside the executable, else the set built into the program
    // (kBuiltinTemplates). A folder found there stands for the whole set and must hold
    // every template; it never falls back per file. The current folder plays no part.
    // GB18030, ending in '/'.
    static std::string findTemplateDir(const std::string& projectDir);
    static constexpr const char* kBuiltinTemplates = ":/rep_template/";
    // The template files, in the order they are checked.
    static const std::vector<std::string>& templateNames();

    // Largest number of rows of a worksheet.
    static constexpr long kMaxSheetRows = 1048576;
    // Rows per worksheet before a page continues on the next one (tests lower it).
    void setSheetRowLimit(long rows) { m_nSheetRowLimit = rows; }
    // Bytes of an HTML sheet file after which its page goes on in the next file, at the
    // next group: a browser shows a sheet of a few megabytes in seconds, one of a hundred
    // in minutes (tests lower it).
    static constexpr unsigned long long kHtmlSheetBytes = 4000000;
    void setHtmlSheetBytes(unsigned long long bytes) { m_nHtmlSheetBytes = bytes; }

  protected:
    void addIntText(int page, int rec, long long value, int grp);
    // Progress and cancel check; throws ErrorText when cancelled.
    void checkRun(const char* whatUtf8, long done, long total, bool faults = false, bool bytes = false);
    // Reads every template from the template folder; throws ErrorText naming one that
    // is missing, unreadable or empty. A run does this before it writes anything.
    void loadTemplates();
    // How the .xlsx workbook of this model is written, for `cells` cells.
    XlsxSetup xlsxSetup(size_t cells) const;
    // A template's text in the output encoding (loads the set when needed).
    const std::string& templateText(const std::string& name);
    // The temporary folder; false when it cannot be made.
    bool makeDirs();
    // Stops the writers of a streamed run and removes their files; derived builders call
    // it first in their destructors, since writers may read what they own.
    void abandonOutput();
    // Hands the page's head and its remaining groups to the writers, then its end.
    void endPage(int page);
    // Adds a group built apart to the page: to the writers while streaming, else copied in.
    void adoptGroup(int page, int grp, RecordStore&& rs);
    // Hands the page's groups up to grp to the writers, grp with the records `last`.
    void handOver(int page, int grp, RecordStore&& last);
    // The rest of showResult's writing: the stream's end, the writers' end, the files.
    void finishOutput();

    std::deque<RepPage> m_pages;
    std::string m_strCaseNo;
    std::string m_strCaseName;
    const std::set<std::string>& m_pSelSet;
    const std::map<std::string, std::vector<std::string>>& m_pItemLabels;
    const std::map<std::string, std::vector<int>>& m_pItemSel;
    std::map<int, std::map<std::string, int>> m_grpIndex;
    bool m_bGrpArea = false;
    bool m_bGrpZone = false;
    bool m_bGrpST = false;
    int m_nGrpMode = 0;
    bool m_bPU = true;
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
