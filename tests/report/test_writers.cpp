// Text, HTML table and HTML workbook writers against golden files.
#include "reporttest.h"

#include <QDir>
#include <QFile>

using reporttest::expectGolden;
using reporttest::gb;
using reporttest::goldenDir;
using reporttest::Model;
using reporttest::readFile;
using reporttest::text;

namespace {

// Writes the workbook with marker templates and returns its folder.
std::string writeWorkbook(Model& m, const std::string& dirName) {
    m.out.setTemplateDir(goldenDir() + "templates/");
    return reporttest::writeRun(m, reporttest::freshDir(dirName), false, true, false);
}

} // namespace

TEST(TextWriter, WorkedLayout) {
    Model m;
    EXPECT_EQ(text(m), ""); // an empty model writes nothing
    reporttest::addPage(m, "T", {{"Bus", 6, true}, {"V", 4}}, {{"B1", "1.02"}});
    expectGolden("txt_worked.txt", text(m));
}

TEST(TextWriter, GroupsWideTextsEmptyHeadersAndPagesWithoutGroups) {
    Model m;
    const int p = m.addRP(false);
    m.addGrpTitle(p, gb("区域").c_str(), 8, false);
    m.addGrpTitle(p, gb("分区").c_str(), 6, false);
    m.setGrpSize(p, 2);
    m.addGrpText(p, 0, "A1");
    m.addGrpText(p, 0, std::string("Z1"));
    m.addGrpText(p, 1, "A2");
    m.addHeader(p, "Name", 4, true);
    m.addHeader(p, "", 3, false);
    m.addHeader(p, "Value", 7, false);
    const int r = m.addRec(p, 0);
    m.addText(p, r, "LongName12", 0);
    m.addText(p, r, "x", 0);
    m.addText(p, r, 1.5, 0);
    m.addText(p, r, "surplus", 0); // beyond the columns: not written
    m.addTail(p, "end");

    m.setGrpInfo(true, false, false);
    const int q = m.addRP(true); // no group at all
    m.addTitle(q, "P2");
    m.addHeader(q, "never", 5, false);
    m.addTail(q, "t2");
    expectGolden("txt_groups.txt", text(m));
}

TEST(TextWriter, Utf8OutputAlignsByDisplayWidth) {
    // UTF-8 when the environment asks for it; any other value is GB18030.
    qputenv("SCREPORT_ENCODING", "gb18030");
    EXPECT_EQ(OutputOptions::fromEnvironment().encoding, OutputEncoding::Gb18030);
    qputenv("SCREPORT_ENCODING", "UTF-8");
    Model m;
    qunsetenv("SCREPORT_ENCODING");
    // 甲1 is three columns wide, four bytes in GB18030.
    reporttest::addPage(m, gb("短路"), {{gb("母线"), 6}, {"V", 3}}, {{gb("甲1"), "1"}});
    expectGolden("txt_utf8.txt", text(m));
}

TEST(HtmlWriter, SpansClassesLeadingCellsAndEscapedText) {
    Model m;
    const int p = m.addRP(false);
    m.addTitle(p, "Title <1>");
    m.addTitle(p, "Sub & co");
    m.addGrpTitle(p, "G", 16, false);
    m.setGrpSize(p, 1);
    m.addGrpText(p, 0, "g&1");
    m.addHeader(p, 0, "Kind", 1, 2, "");
    m.addHeader(p, 0, "Bus", 1, 2, "");
    m.addHeader(p, 0, "I", 2, 1, "width=80"); // only logged
    m.addHeader(p, 1, "Ia", 1, 1, "");
    m.addHeader(p, 1, "Ib", 1, 1, nullptr);
    m.addRecID(p, 0, "A<B", 1, 2, true);
    m.addRecID(p, 2, "C", 2, 1, false);
    m.addRecID(p, 3, "D", 3, 2, true);
    m.m_pages[p].recIDs[3][0].extra = "style=\"color:red\"";
    const char* recs[4][3] = {
        {"B1", "1.0", "2.0"}, {"B2", "3", "4"}, {"x", "5", nullptr}, {"y", nullptr, nullptr}};
    for (auto& rec : recs) {
        const int r = m.addRec(p);
        for (const char* t : rec)
            if (t) m.addText(p, r, t, 0);
    }
    m.addTail(p, "T&t");

    reporttest::addPage(m, "P1", {{"Name", 8, true}, {"V", 6}}, {{"N<1", "1.02"}});

    m.setGrpInfo(true, false, false);
    m.addRP(true); // no titles, no headers, no groups

    const std::string dir = writeWorkbook(m, "html-sheets");
    expectGolden("html_sheets.htm", readFile(dir + "sc_report.files/sheet1.htm") +
                                        readFile(dir + "sc_report.files/sheet2.htm") +
                                        readFile(dir + "sc_report.files/sheet3.htm"));
}

TEST(Workbook, TwoPagesInterleavedIntoMainListTabsAndSheets) {
    Model m;
    reporttest::addPage(m, "A", {{"Bus", 6}}, {{"B1"}});
    m.addTitle(reporttest::addPage(m, "B\"1", {{"V", 4}}), "sub"); // only the first title names the sheet

    const std::string dir = writeWorkbook(m, "wb2");
    expectGolden("wb_main.htm", readFile(dir + "sc_report.htm"));
    for (const std::string f : {"filelist.xml", "tabstrip.htm", "sheet1.htm", "sheet2.htm"})
        expectGolden("wb_" + f, readFile(dir + "sc_report.files/" + f));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir + "sc_report.files/sheet3.htm")));

    // The stylesheet is a copy with CR LF line ends, also when the folder is there already.
    Model s(dir);
    s.out.setTemplateDir(goldenDir() + "templates/");
    for (int run = 0; run < 2; ++run) {
        EXPECT_TRUE(s.out.prepareDir());
        expectGolden("wb_stylesheet.css", readFile(s.out.tempDir() + "sc_report.files/stylesheet.css"));
    }

    // A sheet past its size goes on in "Q (2)" between groups, each file naming the other
    // and listed as a sheet of its own; the tails end the last.
    Model g;
    const int q = g.addRP(true);
    g.addTitle(q, "Q");
    g.addGrpTitle(q, "F", 4, false);
    g.addHeader(q, "V", 4, false);
    g.setGrpSize(q, 3);
    for (int k = 0; k < 3; ++k) {
        g.addGrpText(q, k, "g" + std::to_string(k));
        g.addText(q, g.addRec(q, k), k, k);
    }
    g.addTail(q, "end");
    g.out.setHtmlSheetBytes(1);
    const std::string split = writeWorkbook(g, "wb-split");
    std::string all = readFile(split + "sc_report.htm");
    for (const char* f : {"sheet1.htm", "sheet2.htm", "sheet3.htm", "filelist.xml"})
        all += readFile(split + "sc_report.files/" + f);
    expectGolden("wb_split.htm", all);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(split + "sc_report.files/sheet4.htm")));
}

TEST(Workbook, EmptyModelAndAnEmptyTemplate) {
    Model m;
    const std::string dir = writeWorkbook(m, "wb0");
    expectGolden("wb_empty_main.htm", readFile(dir + "sc_report.htm"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir + "sc_report.files/sheet1.htm")));
    const std::string main0 = readFile(dir + "sc_report.htm"),
                      list0 = readFile(dir + "sc_report.files/filelist.xml");

    // A template folder holding an empty template writes nothing: the error names it and
    // the last workbook stays. (Missing and unreadable ones: tests/hardening/test_outputs.)
    const int p = m.addRP(false);
    m.addTitle(p, "X");
    const std::string broken = reporttest::freshDir("wb-broken-templates");
    for (const std::string& t : ReportOutput::templateNames())
        reporttest::writeFile(broken + t, t == "sub_html1" ? "" : "[" + t + "]");
    m.out.setTemplateDir(broken);
    EXPECT_EQ(testdb::throwText([&] { reporttest::writeRun(m, dir, false, true, false); }),
              gb("报表模板缺失或为空：") + broken + "sub_html1");
    EXPECT_EQ(readFile(dir + "sc_report.htm"), main0);
    EXPECT_EQ(readFile(dir + "sc_report.files/filelist.xml"), list0);
    EXPECT_EQ(QDir(QString::fromStdString(dir)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              (QStringList{"sc_report.files", "sc_report.htm"}));

    // Whole again: the templates are read afresh for the run.
    reporttest::writeFile(broken + "sub_html1", "[sub_html1]");
    reporttest::writeRun(m, dir, false, true, false);
    expectGolden("wb_marker_templates.htm", readFile(dir + "sc_report.htm") +
                                                readFile(dir + "sc_report.files/sheet1.htm") +
                                                readFile(dir + "sc_report.files/stylesheet.css"));
}

// The built-in templates are the repository's folder; what they make is whole in either
// charset, each file naming the charset its bytes are in (喆 and 镕 are outside gb2312).
TEST(Workbook, DefaultTemplatesFitTheWrittenLinesAndCharsets) {
    for (const std::string& t : ReportOutput::templateNames()) {
        QFile f(QString::fromStdString(ReportOutput::kBuiltinTemplates + t));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << t;
        EXPECT_EQ(f.readAll().toStdString(), readFile(SCREPORT_SOURCE_DIR "/rep_template/" + t)) << t;
    }
    Model m;
    reporttest::addPage(m, gb("喆镕中心4"), {{"Bus", 6}}, {{gb("甲1")}});
    EXPECT_EQ(m.out.templateDir(), ReportOutput::kBuiltinTemplates);
    for (const auto& [enc, golden] : {std::pair{OutputEncoding::Gb18030, "wb_default_gb18030.htm"},
                                      std::pair{OutputEncoding::Utf8, "wb_default_utf8.htm"}}) {
        OutputOptions o;
        o.encoding = enc;
        m.out.setOutputOptions(o);
        const std::string dir =
            reporttest::writeRun(m, reporttest::freshDir("wb-default"), false, true, false);
        expectGolden(golden, readFile(dir + "sc_report.htm") +
                                 readFile(dir + "sc_report.files/tabstrip.htm") +
                                 readFile(dir + "sc_report.files/sheet1.htm"));
    }
}

namespace {

// Pages whose every text is one of `t`, each named by one of them, the last by all.
void fillTexts(Model& m, const std::vector<std::string>& t) {
    size_t k = 0;
    const auto next = [&] { return t[k++ % t.size()]; };
    std::string all;
    for (const std::string& s : t)
        all += s;
    for (size_t page = 0; page <= t.size(); ++page) {
        const int p = m.addRP(false);
        m.addTitle(p, page < t.size() ? t[page] : all);
        m.addTitle(p, gb("短路作业名：") + next());
        m.addTitle(p, gb("短路作业描述：") + next());
        m.addGrpTitle(p, next().c_str(), 16, false);
        m.setGrpSize(p, 1);
        m.addGrpText(p, 0, next());
        m.addHeader(p, next(), 8, true);
        m.addHeader(p, next(), 8, false);
        m.addRecID(p, 0, next().c_str(), 1, 1, true);
        for (size_t r = 0; r < t.size(); ++r) {
            const int rec = m.addRec(p);
            m.addText(p, rec, next(), 0); // bus
            m.addText(p, rec, next(), 0); // station
        }
        m.addTail(p, next());
    }
}

} // namespace

// Names, notes and titles from the database stay text in every HTML file, whatever they
// hold: escaped for the element, attribute, script string or XML island they are in.
TEST(HtmlWriter, HostileTextsStayText) {
    Model m;
    fillTexts(m, {"</td></tr><script>alert(1)</script>", "<!--", gb("方案<1>"), "\"'&", "&lt;",
                  gb("a\\b\n\u2028"), "]]>", gb("癨\""), // its trail byte is a backslash
                  "x--!>-->", "\x95\"",                  // a lead byte without its trail
                  gb("甲乙丙丁&lt;戊己庚辛")});
    for (const auto& [enc, golden] : {std::pair{OutputEncoding::Gb18030, "html_hostile_gb18030.htm"},
                                      std::pair{OutputEncoding::Utf8, "html_hostile_utf8.htm"}}) {
        OutputOptions o;
        o.encoding = enc;
        m.out.setOutputOptions(o);
        const std::string dir = writeWorkbook(m, "hostile");
        std::string all = readFile(dir + "sc_report.htm");
        for (const std::string f : {"tabstrip.htm", "filelist.xml"})
            all += readFile(dir + "sc_report.files/" + f);
        for (int p = 1; p <= m.pageCount(); ++p)
            all += readFile(dir + "sc_report.files/sheet" + std::to_string(p) + ".htm");
        expectGolden(golden, all);
    }
}
