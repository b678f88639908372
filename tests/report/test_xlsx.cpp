// The native workbook, read back from the package: both layouts' cells, types and
// number formats, the table's columns, panes, filter, print setup and charts, and the
// continuation of long pages.
#include "reporttest.h"
#include "support/xlsxread.h"

#include <QDir>

#include <algorithm>
#include <cmath>
#include <sstream>

using reporttest::gb;
using reporttest::Model;
namespace xr = xlsxread;

namespace {

// Three pages: groups with a multi-row header and leading cells, a repeated title,
// and a long title with characters a sheet name cannot hold.
void fillThreePages(Model& m) {
    const int p = m.addRP(true);
    m.addTitle(p, gb("母线电压 [A]"));
    m.addTitle(p, gb("单位：p.u."));
    m.addGrpTitle(p, gb("区域").c_str(), 16, false);
    m.addGrpTitle(p, gb("分区").c_str(), 16, false);
    m.addHeader(p, 0, gb("序号").c_str(), 1, 2, "");
    m.addHeader(p, 0, gb("母线").c_str(), 1, 2, "");
    m.addHeader(p, 0, gb("电压").c_str(), 2, 1, "");
    m.addHeader(p, 1, "Va", 1, 1, "");
    m.addHeader(p, 1, "Vb", 1, 1, "");
    m.addRecID(p, 0, gb("故障").c_str(), 1, 2, true);
    const char* rows[2][3] = {{"B1", "1.0200", "-3"}, {"007", "1.0000 / 270.00", "0.5"}};
    m.setGrpSize(p, 2);
    for (const int g : {0, 1}) {
        m.addGrpText(p, g, "A");
        m.addGrpText(p, g, g ? "Z2" : "Z1");
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

// The written workbook's package.
std::string writeBook(Model& m, const std::string& name) {
    return reporttest::writeRun(m, reporttest::freshDir(name), false, false, true) + "sc_report.xlsx";
}

// The whole workbook as text: its sheets' names; per worksheet its non-blank cells row by
// row ("t:text" or "n:value format"), merges, pane, filter, header, footer, print setup and
// widths; then the defined names and charts.
std::string dump(const std::string& path) {
    const xr::Workbook wb = xr::workbook(xr::member(path, "xl/workbook.xml"));
    const std::vector<std::string> formats = xr::styleFormats(xr::member(path, "xl/styles.xml"));
    std::ostringstream o;
    for (const std::string& name : wb.sheets)
        o << "sheet " << name << "\n";
    const std::vector<std::string> parts = xr::members(path);
    for (int n = 1;
         std::count(parts.begin(), parts.end(), "xl/worksheets/sheet" + std::to_string(n) + ".xml"); ++n) {
        const xr::Sheet s = xr::sheet(xr::member(path, "xl/worksheets/sheet" + std::to_string(n) + ".xml"));
        o << "== worksheet " << n << "\n";
        std::map<int, std::map<std::pair<size_t, std::string>, std::string>> rows;
        for (const auto& [ref, c] : s.cells) {
            const size_t digit = ref.find_first_of("0123456789");
            if (!c.type.empty() || !c.value.empty())
                rows[std::stoi(ref.substr(digit))][{digit, ref.substr(0, digit)}] =
                    c.type.empty() ? "n:" + c.value + " " + formats.at(size_t(c.style)) : "t:" + c.value;
        }
        for (const auto& [row, cells] : rows) {
            o << row << ":";
            for (const auto& [col, text] : cells)
                o << " " << col.second << "="
                  << QString::fromStdString(text).replace('\n', "\\n").toStdString();
            o << "\n";
        }
        std::vector<std::string> merges = s.merges;
        std::sort(merges.begin(), merges.end());
        for (const std::string& r : merges)
            o << "merge " << r << "\n";
        for (const auto& [key, value] : std::map<std::string, std::string>{
                 {"pane", s.pane}, {"filter", s.autoFilter}, {"header", s.header}, {"footer", s.footer}})
            if (!value.empty()) o << key << " " << value << "\n";
        for (const auto* attrs : {&s.pageSetup, &s.printOptions, &s.sheetPr})
            for (const auto& [k, v] : *attrs)
                o << k << "=" << v << "\n";
        o << "widths";
        for (const auto& [c, w] : s.widths)
            o << " " << xr::col(c) << "=" << QString::number(w, 'f', 2).toStdString();
        o << "\n";
    }
    for (const auto& [name, formula] : wb.names)
        o << "name " << name << " = " << formula << "\n";
    for (const std::string& part : parts)
        if (part.rfind("xl/charts/chart", 0) == 0) {
            const xr::Chart c = xr::chart(xr::member(path, part));
            o << part << " " << c.kind;
            for (const auto& [cat, val] : c.series)
                o << " [" << cat << " ; " << val << "]";
            o << "\n";
        }
    return o.str();
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

    // Cells hold the value a cell was printed from when the report kept it, else the
    // number as printed, not the 16 digits of the double behind it (9.4600 once came out
    // as 9.460000000000001); texts are escaped as the library escapes them.
    const int t = reporttest::addPage(m, "T", {{gb("母线"), 8, true}, {"V", 8}, {"Z", 8}},
                                      {{"B1", "9.4600", "76.4300 / -0.00"},
                                       {" a&<b\x01", "12345678901234567.00", "0.0001 / 270.00"},
                                       {"B2", "1e-05", "-0.0000 / 0.00"}});
    setBusColumn(m.m_pages[t], 0, gb("I侧"));
    setComplexColumn(m.m_pages[t], 2);
    const int r = m.addRec(t, 0);
    const double kept[3] = {0.00098765, 1.23456789, 270.001};
    m.addText(t, r, "B3", 0);
    m.m_pages[size_t(t)].records.appendExact(0, r, "0.0010", kept, 1);
    m.m_pages[size_t(t)].records.appendExact(0, r, "1.2346 / 270.00", kept + 1, 2);

    auto where = std::make_shared<BusLocations>();
    where->add("B1", {gb("甲区"), "Z1", "S1"});
    where->add("B2", {gb("甲区"), "", "S2"});
    where->add(gb("喆镕中心4"), {gb("乙区"), "Z2", gb("中心站")});
    m.out.setBusLocations(where);
}

} // namespace

// The grouped layout: the HTML sheet's rows, numbers that look plain become numbers;
// titles that the library would refuse as sheet names still give one valid sheet per
// page (once a page with a NUL in its title crashed the writer).
TEST(XlsxWriter, GroupedLayoutValuesFormatsAndNames) {
    Model m;
    fillThreePages(m);
    for (const std::string& t :
         {std::string("a\0b", 3), std::string("a\0b", 3), std::string("tab\there\nnewline"),
          std::string(30, 'x') + "'y", std::string("''''"), std::string()})
        reporttest::addPage(m, t, {{"v", 4}}, {{"1.5"}});
    setLayout(m, XlsxLayout::Grouped);
    reporttest::expectGolden("xlsx_grouped.txt", dump(writeBook(m, "xlsx-grouped")));
}

// The table layout: titles on three rows, one header row with units, a row per record
// led by its group's texts, values, bus locations (area, zone and station in one column
// per bus), complex values split, "no value"
// texts empty, numbers as numbers, frozen, filtered, print-ready; charts on hidden
// sheets of their own data, which sorting the tables cannot change.
TEST(XlsxWriter, TablesColumnsFormatsPrintSetupAndCharts) {
    Model m;
    fillTables(m);
    const std::string book = writeBook(m, "xlsx-table");
    reporttest::expectGolden("xlsx_tables.txt", dump(book));
    const std::string chartXml = xr::member(book, "xl/charts/chart2.xml");
    EXPECT_NE(xr::member(book, "xl/workbook.xml").find("state=\"hidden\""), std::string::npos);
    EXPECT_NE(chartXml.find("V1 (p.u.)"), std::string::npos);
    EXPECT_NE(chartXml.find("C1"), std::string::npos); // the case and fault type in the title
    const std::string xml = xr::member(book, "xl/worksheets/sheet7.xml");
    EXPECT_NE(xml.find("<t xml:space=\"preserve\"> a&amp;&lt;b_x0001_</t>"), std::string::npos);
    EXPECT_NE(xml.find("<dimension ref=\"A1:E8\"/>"), std::string::npos);
}

// A page past the row limit goes on in further sheets; the table keeps its titles,
// header row and columns in each, says on both sheets where the other is and starts a
// fault point that fits on a sheet of its own there; the grouped layout repeats the
// header rows.
TEST(XlsxWriter, LongPagesContinueOnFurtherSheets) {
    std::string both;
    for (XlsxLayout layout : {XlsxLayout::Grouped, XlsxLayout::Table}) {
        Model m;
        setLayout(m, layout);
        const bool table = layout == XlsxLayout::Table;
        for (const int groups : {1, 3}) {
            if (groups == 3 && !table) break;
            const int p = m.addRP(true);
            m.addTitle(p, groups == 1 ? "P" : "Q");
            m.addGrpTitle(p, "F", 4, false);
            m.addHeader(p, 0, "H", 2, 1, "");
            m.addHeader(p, 1, "a", 1, 1, "");
            m.addHeader(p, 1, "b", 1, 1, "");
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
        both += dump(writeBook(m, "xlsx-long"));
    }
    reporttest::expectGolden("xlsx_long.txt", both);
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
