#pragma once
// The report model: pages of titles, group headings, header rows, records of cell
// texts and tails. Every cell is text when stored; all 8-bit text is GB18030. The files
// are written by an output run (ReportOutput, reportoutput.h) that takes the pages as
// they are built.
#include "db/export.h"
#include "report/recordstore.h"

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

// Where an output run takes the model's pages while it writes them as they are built.
// The model holds it without owning it: a run attaches itself to one model for its
// lifetime (ReportOutput), and so goes before the model does.
class PageSink {
  public:
    // The writers have begun: pages go to them as they are built.
    virtual bool streaming() const = 0;
    // Whether number cells keep the values they were printed from (the .xlsx stores them).
    virtual bool keepsExact() const = 0;
    // The page's groups from the first not yet handed over up to grp go to the writers,
    // those before grp empty, grp with the records `last`.
    virtual void handOver(int page, RepPage& p, int grp, RecordStore&& last) = 0;
    // The page is complete: its head and remaining groups go, then its end.
    virtual void endPage(int page, RepPage& p) = 0;
    // Progress of a step (UTF-8 name); throws ErrorText when the run is cancelled.
    virtual void checkRun(const char* whatUtf8, long done, long total, bool faults, bool bytes) = 0;

  protected:
    ~PageSink() = default;
};

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

class SCREPORT_CORE_EXPORT RepPortBase {
  public:
    // caseName: GB18030. The three containers are held by reference and must outlive the
    // model unchanged.
    RepPortBase(int caseNo, const std::string& caseName, const std::set<std::string>& chosenKeys,
                const std::map<std::string, std::vector<std::string>>& itemLabels,
                const std::map<std::string, std::vector<int>>& itemSel);
    RepPortBase(const RepPortBase&) = delete; // a copy would write to its original's run
    RepPortBase& operator=(const RepPortBase&) = delete;
    virtual ~RepPortBase();

    // --- state ---
    void setUnitInfo(bool pu) { m_bPU = pu; }
    bool perUnit() const { return m_bPU; }
    // The grouping the run asks for: a grouped page then starts without a group (its
    // builder sizes them).
    void setGrpInfo(bool byArea, bool byZone, bool byST);
    bool isSelect(const std::string& name) const;
    const std::string& caseNoText() const { return m_strCaseNo; }
    const std::string& caseName() const { return m_strCaseName; }

    // --- pages, groups, headers ---
    int addRP(bool grouped);
    void setGrpSize(int page, int n);
    void addHeader(int page, const std::string& text, int width, bool isID);
    void addHeader(int page, int row, const char* text, int colspan, int rowspan, const char* extra);

    // --- titles, tails, group headings ---
    void addTitle(int page, const std::string& text);
    void addTail(int page, const std::string& text);
    void addGrpTitle(int page, const char* text, int width, bool flag);
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

    // Number-to-text rules, shared with builders that format on their own.
    static std::string fixedText(double value, int prec); // fixed notation
    static std::string percentText(double a, double b);   // "0.00" when |b| < 0.001

    // --- building while the output streams ---
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
    // Progress of the attached run; throws ErrorText when it is cancelled.
    void checkRun(const char* whatUtf8, long done, long total, bool faults = false);
    // The run that takes the pages (null: none). ReportOutput attaches itself.
    void setSink(PageSink* sink) { m_sink = sink; }

    // --- reading the model ---
    int pageCount() const { return int(m_pages.size()); }
    const RepPage& page(int p) const { return m_pages[p]; }
    // The pages as an output run writes and marks them.
    std::deque<RepPage>& pages() { return m_pages; }
    int groupCount(int page) const { return m_pages[page].records.groupCount(); }
    int recordCount(int page, int grp) const { return m_pages[page].records.recordCount(grp); }

  protected:
    void addIntText(int page, int rec, long long value, int grp);
    bool streaming() const { return m_sink && m_sink->streaming(); }
    bool keepsExact() const { return !m_sink || m_sink->keepsExact(); }
    // Adds a group built apart to the page: to the writers while streaming, else copied in.
    void adoptGroup(int page, int grp, RecordStore&& rs);

    std::deque<RepPage> m_pages;
    std::string m_strCaseNo;
    std::string m_strCaseName;
    const std::set<std::string>& m_chosenKeys;
    const std::map<std::string, std::vector<std::string>>& m_itemLabels;
    const std::map<std::string, std::vector<int>>& m_itemSel;
    bool m_bGrpArea = false;
    bool m_bGrpZone = false;
    bool m_bGrpST = false;
    bool m_bPU = true;
    PageSink* m_sink = nullptr;
};
