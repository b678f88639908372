// The native workbook, read back from the package: both layouts' cells, types and
// number formats, the table's columns, panes, filter, print setup and charts, and the
// continuation of long pages.
#include "reporttest.h"
#include "support/testdb.h"
#include "support/xlsxread.h"

#include "db/textcodec.h"

#include <QDir>

using reporttest::gb;
using reporttest::Model;
namespace xr = xlsxread;

namespace {

// Three pages: groups with a multi-row header and leading cells, a repeated title,
// and a long title with characters a sheet name cannot hold.
void fillThreePages(Model& m) {
    m.setGrpInfo(true, true, false);
    const int p = m.addRP(true);
    m.addTitle(p, gb("母线电压 [A]"));
    m.addTitle(p, gb("单位：p.u."));
    m.addGrpTitle(p, true);
    m.addHeader(p, 0, gb("序号").c_str(), 1, 2, "");
    m.addHeader(p, 0, gb("母线").c_str(), 1, 2, "");
    m.addHeader(p, 0, gb("电压").c_str(), 2, 1, "");
    m.addHeader(p, 1, "Va", 1, 1, "");
    m.addHeader(p, 1, "Vb", 1, 1, "");
    m.addRecID(p, 0, gb("故障").c_str(), 1, 2, true);
    const char* rows[2][3] = {{"B1", "1.0200", "-3"}, {"007", "1.0000 / 270.00", "0.5"}};
    for (const char* zone : {"Z1", "Z2"}) {
        const int g = m.dealGrp(p, "S", zone, "A");
        for (auto& row : rows) {
            const int r = m.addRec(p, g);
            for (const char* t : row)
                m.addText(p, r, t, g);
        }
    }
    m.addTail(p, "tail & end");

    reporttest::addPage(m, gb("母线电压 [A]"), {{"ID", 6, true}, {"V", 6}}, {{"110", "2.50"}});
    reporttest::addPage(m, "a/b\\c:d*e?f'g' and a title far longer than any sheet name", {{"x", 4}},
                        {{"1e-05"}});
}

void setLayout(Model& m, XlsxLayout l) {
    OutputOptions o = m.out.outputOptions();
    o.xlsxLayout = l;
    m.out.setOutputOptions(o);
}

// A written workbook with its sheet list and the number format of each style.
struct Book {
    std::string path;
    xr::Workbook wb;
    std::vector<std::string> formats;
    explicit Book(const std::string& p)
        : path(p), wb(xr::workbook(xr::member(p, "xl/workbook.xml"))),
          formats(xr::styleFormats(xr::member(p, "xl/styles.xml"))) {}
    xr::Sheet sheet(int n) const {
        return xr::sheet(xr::member(path, "xl/worksheets/sheet" + std::to_string(n) + ".xml"));
    }
    // "t:text", "n:value format" or "-" for a cell that is missing or blank.
    std::string cell(const xr::Sheet& s, const std::string& ref) const {
        auto it = s.cells.find(ref);
        if (it == s.cells.end() || (it->second.type.empty() && it->second.value.empty())) return "-";
        const xr::Cell& c = it->second;
        if (!c.type.empty()) return "t:" + c.value;
        return "n:" + c.value + " " + (size_t(c.style) < formats.size() ? formats[size_t(c.style)] : "?");
    }
};

Book writeBook(Model& m, const std::string& name) {
    return Book(reporttest::writeRun(m, reporttest::freshDir(name), false, false, true) + "sc_report.xlsx");
}

// Pages shaped like the short-circuit reports: a fault point with its values before
// branch rows with a complex column, a summary with its chart, and bus voltages of three
// fault points with a chart of the first two.
void fillTables(Model& m) {
    m.m_strCaseName = gb("R&D 案例");
    const int p = m.addRP(true);
    m.addTitle(p, gb("短路点\t及其支路"));
    m.addTitle(p, gb("单位：p.u."));
    m.addGrpTitle(p, gb("故障母线").c_str(), 10, false);
    m.addGrpTitle(p, "IK1", 14, false);
    m.addHeader(p, gb("相连母线"), 18, true);
    m.addHeader(p, gb("支路号"), 16, true);
    m.addHeader(p, "IK1", 16, false);
    m.addHeader(p, "Z", 20, false);
    setBusGroupTitle(m.m_pages[p], 0, gb("故障点"));
    setBusColumn(m.m_pages[p], 0, gb("相连"));
    setComplexColumn(m.m_pages[p], 3);
    xlsxCell(m.m_pages[p], 2, false)->unit = xlsxCell(m.m_pages[p], 1, true)->unit = "p.u.";
    RepCell* z = xlsxCell(m.m_pages[p], 3, false);
    z->unit = "p.u.";
    z->noValue = {"10000.0000 / 0.00", "0 / 0"};
    z->noValueWhy = gb("小电流时的阻抗");
    m.setGrpSize(p, 4);
    const std::vector<std::vector<std::string>> groups[4] = {
        {{"B1", "2701.240"}, {"B2", "3", "-1.2340", "1.0000 / -90.00"}, {"B3", "12", "nan", "0 / 0"}},
        {{"B9"}},
        {{}},
        {{"L1_50", "12345678901234567.00"}, {gb("喆镕中心4"), "x7", "1e-05", "10000.0000 / 0.00"}}};
    for (int g = 0; g < 4; ++g) {
        for (const std::string& t : groups[g][0])
            m.addGrpText(p, g, t);
        for (size_t r = 1; r < groups[g].size(); ++r) {
            const int k = m.addRec(p, g);
            for (const std::string& t : groups[g][r])
                m.addText(p, k, t, g);
        }
    }

    m.addTail(p, "tail");

    const int q = reporttest::addPage(m, gb("短路电流简表"), {{gb("母线名"), 18, true}, {gb("电流"), 20}},
                                      {{"B1", "2.500"}, {"B2", "1.250"}, {"B3", "0.125"}});
    setBusColumn(m.m_pages[q], 0, std::string());
    xlsxCell(m.m_pages[q], 1, false)->unit = "kA";
    m.m_pages[q].chart = RepChart{RepChart::PerRecord, gb("短路电流"), 0, 1, 0, "C1"};

    const int v = m.addRP(true);
    m.addTitle(v, gb("母线电压"));
    m.addGrpTitle(v, gb("故障母线").c_str(), 10, false);
    m.addHeader(v, gb("母线名"), 20, true);
    m.addHeader(v, "V1", 18, false);
    setBusGroupTitle(m.m_pages[v], 0, gb("故障点"));
    setBusColumn(m.m_pages[v], 0, std::string());
    m.setGrpSize(v, 3);
    for (int g = 0; g < 3; ++g) {
        m.addGrpText(v, g, "F" + std::to_string(g));
        for (const char* bus : {"B1", "B2"}) {
            const int k = m.addRec(v, g);
            m.addText(v, k, bus, g);
            m.addText(v, k, "0.9" + std::to_string(g), g);
        }
    }
    // The chart's own per-unit data, whatever the table shows.
    m.m_pages[v].chart =
        RepChart{RepChart::PerGroup,
                 gb("电压分布"),
                 0,
                 1,
                 2,
                 "C1",
                 std::make_shared<RepChart::Data>(RepChart::Data{
                     {"B1", "B2"}, {"F0", "F1"}, {{1.0, 0.9}, {0.95, std::nan("")}}, "V1 (p.u.)"})};
    // Wider than a readable page.
    std::vector<reporttest::Col> wide{{"Bus", 8, true}};
    for (int c = 0; c < 40; ++c)
        wide.push_back({"Value " + std::to_string(c), 12});
    setBusColumn(m.m_pages[reporttest::addPage(m, "W", wide, {{"B1"}})], 0, std::string());

    auto where = std::make_shared<BusLocations>();
    where->add("B1", {gb("甲区"), "Z1", "S1"});
    where->add("B2", {gb("甲区"), "Z1", "S2"});
    where->add(gb("喆镕中心4"), {gb("乙区"), "Z2", gb("中心站")});
    m.out.setBusLocations(where);
}

} // namespace

// The grouped layout: the HTML sheet's rows, numbers that look plain become numbers.
TEST(XlsxWriter, GroupedLayoutValuesFormatsAndNames) {
    Model m;
    fillThreePages(m);
    setLayout(m, XlsxLayout::Grouped);
    const Book book = writeBook(m, "xlsx-grouped");
    const std::vector<std::string> want{"母线电压 _A_", "母线电压 _A_ (2)", "a_b_c_d_e_f'g' and a title far"};
    EXPECT_EQ(book.wb.sheets, want);

    const xr::Sheet s = book.sheet(1);
    // Titles span the four columns; group rows, then the two header rows; the leading
    // cell spans two record rows.
    // "REF text" per cell: t: a text, n: a number and its format, - missing or blank.
    const QStringList cells =
        QString::fromUtf8("A1 t:母线电压 [A]|A2 t:单位：p.u.|A3 t:区域|B3 t:分区|A4 t:A|"
                          "B4 t:Z1|C5 t:电压|C6 t:Va|D6 t:Vb|A7 t:故障|B7 t:B1|"
                          "C7 n:1.02 0.0000|D7 n:-3 0|E7 -|B8 t:007|C8 t:1.0000 / 270.00|"
                          "D8 n:0.5 0.0|B10 t:Z2|C13 n:1.02 0.0000|A15 t:tail & end")
            .split('|');
    for (const QString& rc : cells)
        EXPECT_EQ(book.cell(s, rc.section(' ', 0, 0).toStdString()), rc.section(' ', 1).toStdString())
            << rc.toStdString();
    std::vector<std::string> merges = s.merges;
    std::sort(merges.begin(), merges.end());
    EXPECT_EQ(merges, (std::vector<std::string>{"A11:A12", "A13:A14", "A15:D15", "A1:D1", "A2:D2", "A5:A6",
                                                "A7:A8", "B11:B12", "B5:B6", "C11:D11", "C5:D5"}));
    const xr::Sheet s2 = book.sheet(2), s3 = book.sheet(3);
    EXPECT_EQ(book.cell(s2, "A3"), "t:110"); // an identifying column stays text
    EXPECT_EQ(book.cell(s2, "B3"), "n:2.5 0.00");
    EXPECT_EQ(book.cell(s3, "A3"), "t:1e-05");
    EXPECT_TRUE(s.pane.empty() && s.autoFilter.empty());
}

// The table layout: titles on three rows, one header row with units, a row per record
// led by its group's texts, values, bus locations, complex values split, "no value"
// texts empty, numbers as numbers, frozen, filtered, print-ready; charts on data of
// their own.
TEST(XlsxWriter, TablesColumnsFormatsPrintSetupAndCharts) {
    Model m;
    fillTables(m);
    const Book book = writeBook(m, "xlsx-table");
    EXPECT_EQ(book.wb.sheets,
              (std::vector<std::string>{"短路点 及其支路", "短路电流简表", "短路电流 数据", "短路电流",
                                        "母线电压", "电压分布 数据", "电压分布", "W"}));

    const xr::Sheet s = book.sheet(1);
    const QStringList head =
        QString::fromUtf8("故障母线|相连母线|支路号|故障母线 IK1 (p.u.)|IK1 (p.u.)|"
                          "Z幅值 (p.u.)|Z相角 (°)|故障点区域 / 分区 / 厂站|相连区域 / 分区 / 厂站")
            .split('|');
    for (int c = 0; c < head.size(); ++c)
        EXPECT_EQ(book.cell(s, xr::ref(c, 4)), "t:" + head[c].toStdString()) << c;
    EXPECT_EQ(book.cell(s, "J4"), "-");
    EXPECT_EQ(book.cell(s, "A1"), "t:短路点 及其支路");
    EXPECT_EQ(book.cell(s, "A2"), "t:单位：p.u.");
    EXPECT_EQ(book.cell(s, "A3"), "t:说明：空白单元格表示没有数值，包括小电流时的阻抗");
    // Per row, columns A to I; "-" is an empty cell. A group without records keeps its
    // texts in a row of its own; one without texts and records leaves none.
    const std::vector<std::vector<std::string>> rows{
        {"t:B1", "t:B2", "n:3 0", "n:2701.24 0.000", "n:-1.234 0.0000", "n:1 0.0000", "n:-90 0.00",
         "t:甲区 / Z1 / S1", "t:甲区 / Z1 / S2"},
        {"t:B1", "t:B3", "n:12 0", "n:2701.24 0.000", "-", "-", "-", "t:甲区 / Z1 / S1", "-"},
        {"t:B9", "-", "-", "-", "-", "-", "-", "-", "-"},
        {"t:L1_50", "t:喆镕中心4", "t:x7", "n:12345678901234568 0.00", "n:1e-05 General", "-", "-", "-",
         "t:乙区 / Z2 / 中心站"},
        {"-", "-", "-", "-", "-", "-", "-", "-", "-"}};
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size(); ++c)
            EXPECT_EQ(book.cell(s, xr::ref(int(c), int(r) + 5)), rows[r][c]) << xr::ref(int(c), int(r) + 5);

    EXPECT_EQ(book.cell(s, "A10"), "t:tail"); // below the table and its filter
    // Names frozen with the header; the filter over the table; landscape, one page wide
    // when that is readable, the header row on every page, case, sheet and page numbers
    // in header and footer.
    EXPECT_EQ(s.pane, "D5");
    EXPECT_EQ(s.autoFilter, "A4:I8");
    EXPECT_EQ(s.pageSetup.at("orientation"), "landscape");
    EXPECT_EQ(s.pageSetup.count("fitToWidth"), 0u); // 1, the default
    EXPECT_EQ(s.pageSetup.at("fitToHeight"), "0");
    EXPECT_EQ(s.sheetPr.at("fitToPage"), "1");
    EXPECT_EQ(book.wb.names.at("_xlnm.Print_Titles/0"), "'短路点 及其支路'!$4:$4");
    EXPECT_EQ(s.header, "&LR&&D 案例&R&A");
    EXPECT_EQ(s.footer, "&C第 &P 页，共 &N 页");
    // Widths from the widest text, a CJK character counting two, plus the filter button.
    EXPECT_NEAR(s.widths.at(0), 8.71, 0.01);  // "L1_50"; the header wraps onto two lines
    EXPECT_NEAR(s.widths.at(1), 12.71, 0.01); // 喆镕中心4
    // A wide sheet prints over pages side by side, each led by the name column.
    const xr::Sheet w = book.sheet(6);
    EXPECT_GT(std::stoi(w.pageSetup.at("fitToWidth")), 1);
    EXPECT_EQ(book.wb.names.at("_xlnm.Print_Titles/7"), "W!$A:$A,W!$4:$4");

    // The summary's bars and the first two fault points' profiles, on sheets of their
    // own, read hidden sheets that sorting the tables cannot change.
    const xr::Sheet sum = book.sheet(2);
    EXPECT_EQ(book.cell(sum, "B4"), "t:电流 (kA)");
    EXPECT_EQ(book.cell(sum, "B7"), "n:0.125 0.000");
    EXPECT_EQ(sum.pane, "B5");
    const xr::Chart bars = xr::chart(xr::member(book.path, "xl/charts/chart1.xml"));
    EXPECT_EQ(bars.kind, "barChart");
    EXPECT_EQ(bars.series, (std::vector<std::pair<std::string, std::string>>{
                               {"'短路电流 数据'!$A$2:$A$4", "'短路电流 数据'!$B$2:$B$4"}}));
    EXPECT_EQ(book.cell(book.sheet(3), "B4"), "n:0.125 General");
    const xr::Chart lines = xr::chart(xr::member(book.path, "xl/charts/chart2.xml"));
    EXPECT_EQ(lines.kind, "lineChart");
    EXPECT_EQ(lines.series, (std::vector<std::pair<std::string, std::string>>{
                                {"'电压分布 数据'!$A$2:$A$3", "'电压分布 数据'!$B$2:$B$3"},
                                {"'电压分布 数据'!$A$2:$A$3", "'电压分布 数据'!$C$2:$C$3"}}));
    const xr::Sheet dip = book.sheet(5);
    EXPECT_EQ(book.cell(dip, "B3") + book.cell(dip, "C2") + book.cell(dip, "C3"),
              "n:0.9 Generaln:0.95 General-");
    EXPECT_EQ(book.cell(book.sheet(4), "C8"), "n:0.91 0.00");
    const std::string chartXml = xr::member(book.path, "xl/charts/chart2.xml");
    EXPECT_NE(xr::member(book.path, "xl/workbook.xml").find("state=\"hidden\""), std::string::npos);
    EXPECT_NE(chartXml.find("V1 (p.u.)"), std::string::npos);
    EXPECT_NE(chartXml.find("C1"), std::string::npos); // the case and fault type in the title
}

// Table cells hold the value a cell was printed from when the report kept it, else the
// number as printed, not the 16 digits of the double behind it (9.4600 once came out as
// 9.460000000000001); a bus's area, zone and station share one column; texts are
// escaped as the library escapes them.
TEST(XlsxWriter, TableNumbersAsPrintedAndOneLocationColumnPerBus) {
    Model m;
    const int p = reporttest::addPage(m, "T", {{gb("母线"), 8, true}, {"V", 8}, {"Z", 8}},
                                      {{"B1", "9.4600", "76.4300 / -0.00"},
                                       {" a&<b\x01", "12345678901234567.00", "0.0001 / 270.00"},
                                       {"B2", "1e-05", "-0.0000 / 0.00"}});
    setBusColumn(m.m_pages[p], 0, gb("I侧"));
    setComplexColumn(m.m_pages[p], 2);
    const int r = m.addRec(p, 0);
    const double v = 0.00098765, z[2] = {1.23456789, 270.001};
    m.addText(p, r, "B3", 0);
    m.m_pages[size_t(p)].records.appendExact(0, r, "0.0010", &v, 1);
    m.m_pages[size_t(p)].records.appendExact(0, r, "1.2346 / 270.00", z, 2);
    auto where = std::make_shared<BusLocations>();
    where->add("B1", {gb("甲区"), "Z1", "S1"});
    where->add("B2", {gb("甲区"), "", "S2"});
    m.out.setBusLocations(where);
    const Book book = writeBook(m, "xlsx-as-printed");
    const std::string xml = xr::member(book.path, "xl/worksheets/sheet1.xml");
    const xr::Sheet s = xr::sheet(xml);
    const std::vector<std::vector<std::string>> rows{
        {"t:母线", "t:V", "t:Z幅值", "t:Z相角 (°)", "t:I侧区域 / 分区 / 厂站", "-"},
        {"t:B1", "n:9.46 0.0000", "n:76.43 0.0000", "n:0 0.00", "t:甲区 / Z1 / S1", "-"},
        {"t: a&<b_x0001_", "n:12345678901234568 0.00", "n:0.0001 0.0000", "n:270 0.00", "-", "-"},
        {"t:B2", "n:1e-05 General", "n:0 0.0000", "n:0 0.00", "t:甲区 /  / S2", "-"},
        {"t:B3", "n:0.00098765 0.0000", "n:1.23456789 0.0000", "n:270.001 0.00", "-", "-"}};
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size(); ++c)
            EXPECT_EQ(book.cell(s, xr::ref(int(c), int(r) + 4)), rows[r][c]) << xr::ref(int(c), int(r) + 4);
    EXPECT_NE(xml.find("<t xml:space=\"preserve\"> a&amp;&lt;b_x0001_</t>"), std::string::npos);
    EXPECT_NE(xml.find("<dimension ref=\"A1:E8\"/>"), std::string::npos);
    EXPECT_EQ(s.autoFilter, "A4:E8");
}

// A page past the row limit goes on in further sheets; the table keeps its titles,
// header row and columns in each, says on both sheets where the other is and starts a
// fault point that fits on a sheet of its own there; the grouped layout repeats the
// header rows.
TEST(XlsxWriter, LongPagesContinueOnFurtherSheets) {
    for (XlsxLayout layout : {XlsxLayout::Grouped, XlsxLayout::Table}) {
        Model m;
        setLayout(m, layout);
        const bool table = layout == XlsxLayout::Table;
        for (const char* title : {"P", "Q"}) {
            if (*title == 'Q' && !table) break;
            const int p = m.addRP(true);
            m.addTitle(p, title);
            m.addGrpTitle(p, "F", 4, false);
            m.addHeader(p, 0, "H", 2, 1, "");
            m.addHeader(p, 1, "a", 1, 1, "");
            m.addHeader(p, 1, "b", 1, 1, "");
            const int groups = *title == 'P' ? 1 : 3;
            m.setGrpSize(p, groups);
            for (int g = 0; g < groups; ++g) {
                m.addGrpText(p, g, groups == 1 ? "f" : "g" + std::to_string(g));
                for (int i = 0; i < (groups == 1 ? 13 : 3); ++i) {
                    const int r = m.addRec(p, g);
                    m.addText(p, r, i, g);
                    m.addText(p, r, "x", g);
                }
            }
        }
        m.out.setSheetRowLimit(table ? 10 : 6);
        const Book book = writeBook(m, "xlsx-long");
        EXPECT_EQ(book.wb.sheets,
                  table ? (std::vector<std::string>{"P", "P (2)", "P (3)", "P (4)", "Q", "Q (2)", "Q (3)"})
                        : (std::vector<std::string>{"P", "P (2)", "P (3)", "P (4)"}));
        // Table: the note, rows 5 to 8 of columns A and B, the line below; grouped: rows 1 to 6.
        std::vector<std::string> got;
        for (size_t n = 1; n <= book.wb.sheets.size(); ++n) {
            const xr::Sheet s = book.sheet(int(n));
            std::string rows = table ? s.text("A3") + "|" : std::string();
            for (int r = table ? 5 : 1; r <= (table ? 8 : 6); ++r)
                rows += s.text("A" + std::to_string(r)) + "," + s.text("B" + std::to_string(r)) + " ";
            got.push_back(table ? rows + "|" + s.text("A9") + s.text("A10") : rows);
            if (table) {
                EXPECT_EQ(s.pane, "B5");
            }
        }
        const std::string note = "说明：空白单元格表示没有数值";
        const std::vector<std::string> want =
            table
                ? std::vector<std::string>{note + "|f,0 f,1 f,2 f,3 |续表见工作表“P (2)”。",
                                           "接工作表“P”。" + note + "|f,4 f,5 f,6 f,7 |续表见工作表“P (3)”。",
                                           "接工作表“P (2)”。" + note +
                                               "|f,8 f,9 f,10 f,11 |续表见工作表“P (4)”。",
                                           "接工作表“P (3)”。" + note + "|f,12 , , , |",
                                           note + "|g0,0 g0,1 g0,2 , |续表见工作表“Q (2)”。",
                                           "接工作表“Q”。" + note +
                                               "|g1,0 g1,1 g1,2 , |续表见工作表“Q (3)”。",
                                           "接工作表“Q (2)”。" + note + "|g2,0 g2,1 g2,2 , |"}
                : std::vector<std::string>{"P, F, f, H, a,b 0,x ", "H, a,b 1,x 2,x 3,x 4,x ",
                                           "H, a,b 5,x 6,x 7,x 8,x ", "H, a,b 9,x 10,x 11,x 12,x "};
        EXPECT_EQ(got, want);
    }
}

// A cell the library refuses would be missing from the workbook: the run fails and the
// last good file stays.
TEST(XlsxWriter, RefusedCellFailsTheRun) {
    const std::string dir = reporttest::freshDir("xlsx-refused"), path = dir + "sc_report.xlsx";
    Model good;
    fillThreePages(good);
    reporttest::writeRun(good, dir, false, false, true);
    const std::string before = reporttest::readFile(path);

    Model m; // a text past the 32767 characters a cell holds
    reporttest::addPage(m, "P", {{"Bus", 8, true}}, {{std::string(40000, 'x')}});
    const std::string error = testdb::throwText([&] { reporttest::writeRun(m, dir, false, false, true); });
    EXPECT_EQ(error.rfind(gb("无法写入文件：") + path + " (P: ", 0), 0u) << error;
    EXPECT_EQ(reporttest::readFile(path), before);
    EXPECT_EQ(QDir(QString::fromStdString(path.substr(0, path.rfind('/')))).entryList(QDir::Files),
              QStringList{"sc_report.xlsx"});
}

// Titles that the spreadsheet library would refuse as sheet names still give one
// valid sheet per page (once a page with a NUL in its title crashed the writer).
TEST(XlsxWriter, TitlesTheLibraryWouldRefuse) {
    Model m;
    const std::string titles[] = {std::string("a\0b", 3),
                                  std::string("a\0b", 3), // the same after the NUL cut
                                  "tab\there\nnewline",
                                  std::string(30, 'x') + "'y", // the cut ends on a quote
                                  "''''",
                                  ""};
    for (const std::string& t : titles)
        reporttest::addPage(m, t, {{"v", 4}}, {{"1.5"}});
    const std::vector<std::string> names = writeBook(m, "xlsx-names").wb.sheets;
    ASSERT_EQ(names.size(), std::size(titles));
    std::set<std::string> lower;
    for (const std::string& n : names) {
        const QString q = QString::fromStdString(n);
        EXPECT_FALSE(q.isEmpty());
        EXPECT_LE(q.size(), 31) << n;
        EXPECT_FALSE(q.startsWith('\'') || q.endsWith('\'')) << n;
        for (QChar c : q)
            EXPECT_GE(c.unicode(), 0x20) << n;
        lower.insert(q.toLower().toStdString());
    }
    EXPECT_EQ(lower.size(), names.size());
}
