// The native workbook, read back from the package: worksheet names, cell values and
// types, number formats, merged ranges and the continuation of long pages.
#include "reporttest.h"

#include "db/errortext.h"
#include "db/textcodec.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QXmlStreamReader>

using reporttest::gb;
using reporttest::LogCapture;
using reporttest::Model;

namespace {

std::string unzipMember(const std::string& zip, const std::string& member) {
    QProcess p;
    p.start("unzip", {"-p", QString::fromStdString(zip), QString::fromStdString(member)});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        ADD_FAILURE() << "unzip -p " << zip << " " << member << " failed";
        return {};
    }
    return p.readAllStandardOutput().toStdString();
}

struct XCell {
    std::string type;  // "" number, "inlineStr" or "s" text
    std::string value; // number as written, or the UTF-8 text
    int style = 0;
};

struct Sheet {
    std::map<std::string, XCell> cells;
    std::vector<std::string> merges;
};

Sheet readSheet(const std::string& xml) {
    Sheet s;
    QXmlStreamReader r(QByteArray::fromStdString(xml));
    std::string ref;
    while (!r.atEnd()) {
        r.readNext();
        if (!r.isStartElement()) continue;
        const auto name = r.name();
        if (name == QLatin1String("c")) {
            ref = r.attributes().value("r").toString().toStdString();
            XCell& c = s.cells[ref];
            c.type = r.attributes().value("t").toString().toStdString();
            c.style = r.attributes().value("s").toInt();
        } else if (name == QLatin1String("v") || name == QLatin1String("t")) {
            s.cells[ref].value = r.readElementText().toStdString();
        } else if (name == QLatin1String("mergeCell")) {
            s.merges.push_back(r.attributes().value("ref").toString().toStdString());
        }
    }
    EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
    return s;
}

std::vector<std::string> sheetNames(const std::string& workbookXml) {
    std::vector<std::string> names;
    QRegularExpression re("<sheet name=\"([^\"]*)\"");
    for (auto it = re.globalMatch(QString::fromStdString(workbookXml)); it.hasNext();)
        names.push_back(it.next().captured(1).replace("&amp;", "&").toStdString());
    return names;
}

// Number format code of each cell style index.
std::vector<std::string> styleFormats(const std::string& stylesXml) {
    std::map<int, std::string> codes{{0, "General"}};
    std::vector<std::string> out;
    QXmlStreamReader r(QByteArray::fromStdString(stylesXml));
    bool inCellXfs = false;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("numFmt"))
            codes[r.attributes().value("numFmtId").toInt()] =
                r.attributes().value("formatCode").toString().toStdString();
        if (r.isStartElement() && r.name() == QLatin1String("cellXfs")) inCellXfs = true;
        if (r.isEndElement() && r.name() == QLatin1String("cellXfs")) inCellXfs = false;
        if (inCellXfs && r.isStartElement() && r.name() == QLatin1String("xf"))
            out.push_back(codes[r.attributes().value("numFmtId").toInt()]);
    }
    return out;
}

// Three pages: groups with a multi-row header and leading cells, a repeated title,
// and a long title with characters a sheet name cannot hold.
void fillThreePages(Model& m) {
    m.setGrpInfo(true, true, false);
    const int p = m.addRP(true);
    m.addTitle(p, gb("母线电压 [A]"));
    m.addUnitTitle(p);
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

    const int q = m.addRP(false);
    m.addTitle(q, gb("母线电压 [A]"));
    m.addHeader(q, "ID", 6, true);
    m.addHeader(q, "V", 6, false);
    const int r = m.addRec(q);
    m.addText(q, r, "110", 0); // an identifying column stays text
    m.addText(q, r, "2.50", 0);

    const int l = m.addRP(false);
    m.addTitle(l, "a/b\\c:d*e?f'g' and a title far longer than any sheet name");
    m.addHeader(l, "x", 4, false);
    m.addText(l, m.addRec(l), "1e-05", 0); // not a plain decimal: text
}

} // namespace

TEST(XlsxWriter, LayoutValuesFormatsAndNames) {
    Model m;
    fillThreePages(m);
    const std::string dir = reporttest::freshDir("xlsx");
    const std::string path = dir + "sc_report.xlsx";
    m.outputRP_xlsx(path.c_str());

    const std::vector<std::string> names = sheetNames(unzipMember(path, "xl/workbook.xml"));
    const std::vector<std::string> want{"母线电压 _A_", "母线电压 _A_ (2)", "a_b_c_d_e_f'g' and a title far"};
    EXPECT_EQ(names, want);
    EXPECT_EQ(m.xlsxSheetNames(), want);
    for (const std::string& n : names)
        EXPECT_LE(QString::fromStdString(n).size(), 31);

    const std::vector<std::string> formats = styleFormats(unzipMember(path, "xl/styles.xml"));
    auto format = [&](const XCell& c) {
        return c.style < int(formats.size()) ? formats[size_t(c.style)] : "?";
    };

    const Sheet s = readSheet(unzipMember(path, "xl/worksheets/sheet1.xml"));
    auto at = [&](const char* ref) {
        auto it = s.cells.find(ref);
        return it == s.cells.end() ? XCell{"missing", "", -1} : it->second;
    };
    // Titles span the four columns; group rows, then the two header rows.
    EXPECT_EQ(at("A1").value, "母线电压 [A]");
    EXPECT_EQ(at("A2").value, "单位：p.u.");
    EXPECT_EQ(at("A3").value, "区域");
    EXPECT_EQ(at("B3").value, "分区");
    EXPECT_EQ(at("A4").value, "A");
    EXPECT_EQ(at("B4").value, "Z1");
    EXPECT_EQ(at("C5").value, "电压");
    EXPECT_EQ(at("C6").value, "Va"); // placed after the two cells spanning down
    EXPECT_EQ(at("D6").value, "Vb");
    // The leading cell spans two record rows; records follow it.
    EXPECT_EQ(at("A7").value, "故障");
    EXPECT_EQ(at("B7").value, "B1");
    EXPECT_EQ(at("C7").type, "");
    EXPECT_EQ(at("C7").value, "1.02");
    EXPECT_EQ(format(at("C7")), "0.0000");
    EXPECT_EQ(at("D7").value, "-3");
    EXPECT_EQ(format(at("D7")), "0");
    EXPECT_EQ(s.cells.count("E7"), 0u); // the empty tail pushed past the columns
    EXPECT_EQ(at("B8").value, "007");   // a leading zero keeps the text
    EXPECT_NE(at("B8").type, "");
    EXPECT_EQ(at("C8").value, "1.0000 / 270.00");
    EXPECT_NE(at("C8").type, "");
    EXPECT_EQ(at("D8").value, "0.5");
    EXPECT_EQ(format(at("D8")), "0.0");
    EXPECT_EQ(at("B10").value, "Z2"); // second group
    EXPECT_EQ(at("C13").value, "1.02");
    EXPECT_EQ(at("A15").value, "tail & end");
    const std::vector<std::string> merges{"A1:D1",   "A2:D2",   "A5:A6",   "B5:B6",   "C5:D5",  "A7:A8",
                                          "A11:A12", "B11:B12", "C11:D11", "A13:A14", "A15:D15"};
    std::vector<std::string> got = s.merges;
    std::sort(got.begin(), got.end());
    std::vector<std::string> sorted = merges;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(got, sorted);

    const Sheet s2 = readSheet(unzipMember(path, "xl/worksheets/sheet2.xml"));
    EXPECT_NE(s2.cells.at("A3").type, "");
    EXPECT_EQ(s2.cells.at("A3").value, "110");
    EXPECT_EQ(s2.cells.at("B3").value, "2.5");
    EXPECT_EQ(format(s2.cells.at("B3")), "0.00");
    const Sheet s3 = readSheet(unzipMember(path, "xl/worksheets/sheet3.xml"));
    EXPECT_EQ(s3.cells.at("A3").value, "1e-05");
    EXPECT_NE(s3.cells.at("A3").type, "");
}

TEST(XlsxWriter, LongPagesContinueOnFurtherSheets) {
    Model m;
    const int p = m.addRP(false);
    m.addTitle(p, "P");
    m.addHeader(p, 0, "H", 2, 1, "");
    m.addHeader(p, 1, "a", 1, 1, "");
    m.addHeader(p, 1, "b", 1, 1, "");
    for (int i = 0; i < 12; ++i) {
        const int r = m.addRec(p);
        m.addText(p, r, i, 0);
        m.addText(p, r, "x", 0);
    }
    m.setSheetRowLimit(6);
    const std::string path = reporttest::freshDir("xlsx-long") + "long.xlsx";
    LogCapture log;
    m.outputRP_xlsx(path.c_str());
    EXPECT_EQ(sheetNames(unzipMember(path, "xl/workbook.xml")),
              (std::vector<std::string>{"P", "P (2)", "P (3)", "P (4)"}));
    EXPECT_EQ(std::count_if(log.debug.begin(), log.debug.end(),
                            [](const std::string& l) { return l.find(gb("续写")) != std::string::npos; }),
              3);
    // Sheet 1: title, two header rows, records 0..2. Later sheets repeat the header.
    std::vector<std::string> firstColumn;
    for (int n = 1; n <= 4; ++n) {
        const Sheet s = readSheet(unzipMember(path, "xl/worksheets/sheet" + std::to_string(n) + ".xml"));
        std::string col;
        for (int row = 1; row <= 6; ++row) {
            auto it = s.cells.find("A" + std::to_string(row));
            col += (it == s.cells.end() ? std::string("-") : it->second.value) + " ";
        }
        firstColumn.push_back(col);
        if (n > 1) {
            EXPECT_EQ(s.merges, std::vector<std::string>{"A1:B1"});
        }
    }
    EXPECT_EQ(firstColumn,
              (std::vector<std::string>{"P H a 0 1 2 ", "H a 3 4 5 6 ", "H a 7 8 9 10 ", "H a 11 - - - "}));
}

// A cell the library refuses would be missing from the workbook: the run fails and the
// last good file stays.
TEST(XlsxWriter, RefusedCellFailsTheRun) {
    const std::string path = reporttest::freshDir("xlsx-refused") + "sc_report.xlsx";
    Model good;
    fillThreePages(good);
    good.outputRP_xlsx(path.c_str());
    const std::string before = reporttest::readFile(path);

    Model m;
    const int p = m.addRP(false);
    m.addTitle(p, "P");
    m.addHeader(p, "Bus", 8, true);
    m.addText(p, m.addRec(p), std::string(40000, 'x'), 0); // past the 32767 characters of a cell
    try {
        m.outputRP_xlsx(path.c_str());
        FAIL() << "no error";
    } catch (const ErrorText& e) {
        EXPECT_EQ(e.text().rfind(gb("无法写入文件：") + path + " (P: ", 0), 0u) << e.text();
    }
    EXPECT_EQ(reporttest::readFile(path), before);
    EXPECT_EQ(QDir(QString::fromStdString(path.substr(0, path.rfind('/')))).entryList(QDir::Files),
              QStringList{"sc_report.xlsx"});
}

// A spreadsheet program reads the file back. Only where one is installed.
TEST(XlsxWriter, ReadBackBySpreadsheetProgram) {
    const QString office = QStandardPaths::findExecutable("libreoffice").isEmpty()
                               ? QStandardPaths::findExecutable("soffice")
                               : QStandardPaths::findExecutable("libreoffice");
    if (office.isEmpty()) {
        GTEST_SKIP() << "no LibreOffice installed";
    }
    Model m;
    fillThreePages(m);
    const std::string dir = reporttest::freshDir("xlsx-office");
    m.outputRP_xlsx((dir + "book.xlsx").c_str());
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(dir));
    p.start(office, {"--headless", "-env:UserInstallation=file://" + QString::fromStdString(dir) + "profile",
                     "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76", "book.xlsx"});
    ASSERT_TRUE(p.waitForFinished(180000));
    const std::string csv = reporttest::readFile(dir + "book.csv");
    EXPECT_NE(csv.find("故障,B1,1.0200,-3"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",007,1.0000 / 270.00,0.5"), std::string::npos) << csv;
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
    for (const std::string& t : titles) {
        const int p = m.addRP(false);
        m.addTitle(p, t);
        m.addHeader(p, "v", 4, false);
        m.addText(p, m.addRec(p), "1.5", 0);
    }
    const std::string path = reporttest::freshDir("xlsx-names") + "sc_report.xlsx";
    m.outputRP_xlsx(path.c_str());
    const std::vector<std::string> names = sheetNames(unzipMember(path, "xl/workbook.xml"));
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
