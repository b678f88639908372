// Text, HTML table and HTML workbook writers against hand-written golden files.
#include "reporttest.h"

#include "db/textcodec.h"
#include "support/testdb.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <regex>

using reporttest::expectGolden;
using reporttest::gb;
using reporttest::goldenDir;
using reporttest::Model;
using reporttest::readFile;

namespace {

// Writes the workbook with marker templates and returns its folder.
std::string writeWorkbook(Model& m, const std::string& dirName) {
    m.out.setTemplateDir(goldenDir() + "templates/");
    return reporttest::writeRun(m, reporttest::freshDir(dirName), false, true, false);
}

std::string text(Model& m) {
    return readFile(reporttest::writeRun(m, reporttest::freshDir("txt"), true, false, false) + "rep_txt.txt");
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
    const std::string want = "\t短路\r\n\r\n"
                             "\t  母线  V\r\n"
                             "\t  ----  -\r\n"
                             "\t   甲1  1\r\n"
                             "\r\n\r\n\r\n";
    EXPECT_EQ(text(m), want);
    const std::string dir = reporttest::writeRun(m, reporttest::freshDir("utf8"), false, true, false);
    EXPECT_NE(readFile(dir + "sc_report.files/sheet1.htm").find("<td>甲1<td>"), std::string::npos);
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
    EXPECT_NE(readFile(split + "sc_report.htm").find("c_rgszSh[2] = \"Q (3)\";"), std::string::npos);
    const std::string want[3][3] = {{"<td class=xl25>g0", "", "续表见工作表“Q (2)”。"},
                                    {"<td class=xl25>g1", "接工作表“Q”。", "续表见工作表“Q (3)”。"},
                                    {"<td class=xl25>g2", "接工作表“Q (2)”。", "> end"}};
    for (int n = 0; n < 3; ++n) {
        const std::string sheet = readFile(split + "sc_report.files/sheet" + std::to_string(n + 1) + ".htm");
        for (const std::string& text : want[n])
            EXPECT_NE(sheet.find(gb(text.c_str())), std::string::npos) << n << " " << text;
        EXPECT_EQ(sheet.find("<td class=xl25>g" + std::to_string(n + 1)), std::string::npos) << n;
    }
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
    EXPECT_EQ(
        readFile(dir + "sc_report.files/sheet1.htm"),
        "[sub_html0]\r\n<link rel=Stylesheet href=stylesheet.css>\r\n[sub_html1]\r\n<table border=1>\r\n"
        "<col span=0>\r\n<tr><th class=xl28 colspan=0> X</th>\r\n</table>\r\n</body>\r\n</html>\r\n");
    EXPECT_EQ(readFile(dir + "sc_report.files/stylesheet.css"), "[stylesheet.css]");
    EXPECT_EQ(readFile(dir + "sc_report.htm").substr(0, 14), "[main-html1]\r\n");
}

// The built-in templates are the repository's folder, close what the program opens, and
// every HTML file names the charset its bytes are in (喆 and 镕 are outside gb2312).
TEST(Workbook, DefaultTemplatesFitTheWrittenLinesAndCharsets) {
    for (const std::string& t : ReportOutput::templateNames()) {
        QFile f(QString::fromStdString(ReportOutput::kBuiltinTemplates + t));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << t;
        EXPECT_EQ(f.readAll().toStdString(), readFile(SCREPORT_SOURCE_DIR "/rep_template/" + t)) << t;
    }
    Model m;
    reporttest::addPage(m, gb("喆镕中心4"), {{"Bus", 6}}, {{"B1"}});
    const std::string dir = reporttest::freshDir("wb-default");
    EXPECT_EQ(m.out.templateDir(), ReportOutput::kBuiltinTemplates);
    reporttest::writeRun(m, dir, false, true, false);
    const std::string main = readFile(dir + "sc_report.htm");
    // Script, comment and XML island are closed in the order they were opened.
    const size_t script = main.find("<script"), comment = main.find("<!--", script),
                 endComment = main.find("//-->", comment), endScript = main.find("</script>", endComment),
                 island = main.find("<x:ExcelWorksheets>", endScript), sheet = main.find("<x:Name>", island),
                 head = main.find("</head>", sheet), frame = main.find("name=\"frSheet\"", head);
    EXPECT_NE(frame, std::string::npos) << main;
    EXPECT_EQ(main.find("<frameset"), main.find("<frameset", head));
    const std::string sheet1 = readFile(dir + "sc_report.files/sheet1.htm");
    EXPECT_LT(sheet1.find("<head>"), sheet1.find("<link rel=Stylesheet"));
    EXPECT_LT(sheet1.find("<link rel=Stylesheet"), sheet1.find("</head>"));
    EXPECT_LT(sheet1.find("<body"), sheet1.find("<table border=1>"));

    const struct {
        OutputEncoding enc;
        std::string charset, name;
    } cases[] = {{OutputEncoding::Gb18030, "gb18030", gb("喆镕中心4")},
                 {OutputEncoding::Utf8, "utf-8", "喆镕中心4"}};
    for (const auto& c : cases) {
        OutputOptions o;
        o.encoding = c.enc;
        m.out.setOutputOptions(o);
        reporttest::writeRun(m, dir, false, true, false);
        for (const char* f :
             {"sc_report.htm", "sc_report.files/tabstrip.htm", "sc_report.files/sheet1.htm"}) {
            const std::string bytes = readFile(dir + f);
            const std::regex decl("charset=([-A-Za-z0-9_]+)");
            std::smatch got;
            ASSERT_TRUE(std::regex_search(bytes, got, decl)) << f;
            EXPECT_EQ(got[1].str(), c.charset) << f;
            EXPECT_FALSE(std::regex_search(got.suffix().first, bytes.cend(), decl))
                << f << ": two declarations";
            EXPECT_NE(bytes.find(c.name), std::string::npos) << f;
        }
    }
}

namespace {

// Character references as this program and the templates write them.
QString unescapeHtml(QString t) {
    for (const auto& [ref, c] :
         {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&nbsp;", "\u00A0"}, {"&amp;", "&"}})
        t.replace(ref, c);
    return t;
}

// Script text with its string literals decoded between « and »; a string ends at its
// quote or a line break.
QString jsStrings(const QString& t) {
    QString out;
    for (int i = 0; i < t.size(); ++i) {
        const QChar quote = t[i];
        if (quote != '"' && quote != '\'') {
            out += quote;
            continue;
        }
        out += "«";
        for (++i; i < t.size() && t[i] != quote && !QString("\n\r\u2028\u2029").contains(t[i]); ++i) {
            const QChar c = t[i] == '\\' && i + 1 < t.size() ? t[++i] : QChar();
            const int hex = c == 'x' ? 2 : c == 'u' ? 4 : 0;
            out += c.isNull() ? t[i]
                   : hex      ? QChar(t.mid(i + 1, hex).toUShort(nullptr, 16))
                   : c == 'n' ? QChar('\n')
                   : c == 'r' ? QChar('\r')
                              : c;
            i += hex;
        }
        out += "»";
    }
    return out;
}

// Elements and text as an XML parser reads them, or why it cannot.
QStringList xmlEvents(const QString& x) {
    QStringList ev;
    QXmlStreamReader r(x);
    r.setNamespaceProcessing(false);
    while (r.readNext() != QXmlStreamReader::Invalid && !r.atEnd()) {
        if (r.isStartElement()) {
            ev << "<" + r.qualifiedName().toString();
        } else if (r.isEndElement()) {
            ev << "</" + r.qualifiedName().toString();
        } else if (r.isCharacters()) {
            if (ev.isEmpty() || !ev.back().startsWith("T:")) ev << "T:";
            ev.back() += r.text().toString();
        }
    }
    if (r.hasError()) ev << "XML error: " + r.errorString();
    return ev;
}

// An HTML file as a browser splits it: tags, comments, texts with their references
// resolved, the text of script and style elements with its strings decoded and the
// count of '<' in it; a comment's XML island as XML.
QStringList htmlEvents(const QString& h) {
    static const QRegularExpression start("<(!--|/?[A-Za-z])");
    const auto find = [&](const QString& what, int from) {
        const int at = int(h.indexOf(what, from, Qt::CaseInsensitive));
        return at < 0 ? int(h.size()) : at;
    };
    QStringList ev;
    for (int i = 0; i < h.size();) {
        const QRegularExpressionMatch m = start.match(h, i);
        const int at = m.hasMatch() ? int(m.capturedStart()) : int(h.size());
        if (at > i) ev << "T:" + unescapeHtml(h.mid(i, at - i));
        if (at == h.size()) break;
        if (m.captured(1) == "!--") {
            const int end = find("-->", at);
            const QString body = h.mid(at + 4, end - at - 4);
            const int xml = body.indexOf("<xml>");
            ev << (xml < 0 ? QStringList{"<!--" + body}
                           : xmlEvents(body.mid(xml, body.indexOf("</xml>") + 6 - xml)));
            i = end + 3;
            continue;
        }
        i = find(">", at) + 1;
        ev << h.mid(at, i - at);
        const QString name = ev.back().mid(1).section(QRegularExpression("[\\s>]"), 0, 0).toLower();
        if (name == "script" || name == "style") {
            const QString raw = h.mid(i, find("</" + name, i) - i);
            ev << "raw:" + jsStrings(raw) << QString("'<' in it: %1").arg(raw.count('<'));
            i += int(raw.size());
        }
    }
    return ev;
}

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

// Every file of the workbook, by name.
std::map<std::string, std::string> htmlFiles(Model& m, const std::string& dirName) {
    const std::string dir = reporttest::writeRun(m, reporttest::freshDir(dirName), false, true, false);
    std::map<std::string, std::string> files;
    for (const char* f : {"sc_report.htm", "sc_report.files/tabstrip.htm", "sc_report.files/filelist.xml"})
        files[f] = readFile(dir + f);
    for (int p = 1; p <= m.pageCount(); ++p)
        files["sheet" + std::to_string(p)] =
            readFile(dir + "sc_report.files/sheet" + std::to_string(p) + ".htm");
    return files;
}

} // namespace

// Names, notes and titles from the database stay text in every HTML file, whatever they
// hold: each file has the elements and comments a harmless model gives it, and the text.
TEST(HtmlWriter, HostileTextsStayText) {
    const std::vector<std::string> hostile{
        "</td></tr><script>alert(1)</script>",
        "<!--",
        gb("方案<1>"),
        "\"'&",
        "&lt;",
        gb("a\\b\n\u2028"),
        "]]>",
        gb("癨\""), // its trail byte is a backslash
        "x--!>-->",
        "\x95\"", // a lead byte without its trail
        gb("甲乙丙丁&lt;戊己庚辛"),
    };
    std::vector<std::string> harmless;
    for (size_t k = 0; k < hostile.size(); ++k)
        harmless.push_back("@" + std::to_string(k) + "@");
    Model bad, good;
    fillTexts(bad, hostile);
    fillTexts(good, harmless);
    for (const OutputEncoding enc : {OutputEncoding::Gb18030, OutputEncoding::Utf8}) {
        OutputOptions o;
        o.encoding = enc;
        bad.out.setOutputOptions(o);
        good.out.setOutputOptions(o);
        const auto decode = [&](const std::string& b) {
            return enc == OutputEncoding::Utf8 ? QString::fromStdString(b) : textcodec::fromLocal8(b);
        };
        const auto events = [&](const std::string& name, const std::string& bytes) {
            return name.find(".xml") != std::string::npos ? xmlEvents(decode(bytes))
                                                          : htmlEvents(decode(bytes));
        };
        const auto badFiles = htmlFiles(bad, "hostile-bad"), goodFiles = htmlFiles(good, "hostile-good");
        for (const auto& [name, bytes] : goodFiles) {
            QStringList want = events(name, bytes);
            for (size_t k = 0; k < hostile.size(); ++k)
                want.replaceInStrings(QString::fromStdString(harmless[k]), textcodec::fromLocal8(hostile[k]));
            const QStringList got = events(name, badFiles.at(name));
            const auto [g, w] = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
            EXPECT_TRUE(g == got.end() && w == want.end())
                << name << (enc == OutputEncoding::Utf8 ? " in UTF-8: " : ": ")
                << (g == got.end() ? QString("(end)") : *g).toStdString()
                << "\ninstead of: " << (w == want.end() ? QString("(end)") : *w).toStdString();
        }
    }
}
