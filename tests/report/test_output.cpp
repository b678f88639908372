// The output run: temporary folder, all-or-nothing replacement of the previous
// run's files, cancellation, progress and the viewers.
#include "reporttest.h"

#include "report/outsink.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <unistd.h>

using reporttest::gb;
using reporttest::LogCapture;
using reporttest::Model;
using reporttest::readFile;
using testdb::throwText;

namespace {

// What the viewers were asked to open.
struct Calls : Viewer {
    void openText(const std::string& path) override { text.push_back(path); }
    void openSheet(const std::string& html, const std::string& xlsx) override {
        sheet.emplace_back(html, xlsx);
    }
    std::vector<std::string> text;
    std::vector<std::pair<std::string, std::string>> sheet;
};

// Gives the model a recording viewer, which it owns.
Calls& record(Model& m) {
    auto v = std::make_unique<Calls>();
    Calls& c = *v;
    m.out.setViewer(std::move(v));
    return c;
}

class Observer : public RunObserver {
  public:
    void progress(const std::string& what, long done, long total) override {
        lines.push_back(what);
        last = {done, total};
        if (what == gb(ReportOutput::kXlsxPackStep)) packed.emplace_back(done, total);
        if (cancelAfter >= 0 && done >= cancelAfter) cancel = true;
    }
    bool cancelled() const override { return cancel; }
    std::vector<std::string> lines;
    std::pair<long, long> last;
    std::vector<std::pair<long, long>> packed; // the packing step's bytes
    long cancelAfter = -1;
    bool cancel = false;
};

void fill(Model& m, int rows, const std::string& tag) {
    const int p = reporttest::addPage(m, tag, {{"Bus", 8, true}, {"V", 8}});
    for (int i = 0; i < rows; ++i) {
        const int r = m.addRec(p);
        m.addText(p, r, tag + std::to_string(i), 0);
        m.addText(p, r, RepPortBase::fixedText(1 + i / 1000.0, 4), 0);
    }
}

// Files and folders under dir, relative, sorted.
QStringList tree(const std::string& dir) {
    QStringList names;
    for (const auto& [name, bytes] : testproc::files(QString::fromStdString(dir)))
        names << name;
    return names;
}

} // namespace

TEST(ShowResult, WritesRequestedFilesThenOpensThem) {
    const std::string project = reporttest::freshDir("show");
    Model m(project);
    Calls& calls = record(m);
    fill(m, 3, "A");

    m.out.showResult(false, false);
    EXPECT_FALSE(QDir(QString::fromStdString(m.out.tempDir())).exists());
    EXPECT_TRUE(calls.text.empty() && calls.sheet.empty());

    Observer obs;
    m.out.setObserver(&obs);
    m.out.showResult(true, true); // makes the missing temporary folder
    EXPECT_EQ(m.out.tempDir(), project + "temp/");
    EXPECT_EQ(calls.text, std::vector<std::string>{project + "temp/rep_txt.txt"});
    EXPECT_EQ(calls.sheet, (std::vector<std::pair<std::string, std::string>>{
                               {project + "temp/sc_report.htm", project + "temp/sc_report.xlsx"}}));
    // Packing is the last step, and it ends whole.
    EXPECT_EQ(obs.lines.back(), gb("正在压缩xlsx工作簿"));
    EXPECT_TRUE(obs.last.second > 0 && obs.last.first == obs.last.second);
    EXPECT_NE(std::find(obs.lines.begin(), obs.lines.end(), gb("正在写xlsx工作簿")), obs.lines.end());

    // A workbook that takes a while to pack shows it moving, never past its end.
    Model big(reporttest::freshDir("packing"));
    big.out.setViewer(nullptr);
    fill(big, 300000, "p");
    Observer packing;
    big.out.setObserver(&packing);
    big.out.showResult(false, true);
    ASSERT_FALSE(packing.packed.empty());
    const long all = packing.packed.back().second;
    int between = 0;
    for (size_t i = 0; i < packing.packed.size(); ++i) {
        const auto [done, total] = packing.packed[i];
        EXPECT_TRUE(total == all && done <= total && (i == 0 || done >= packing.packed[i - 1].first));
        between += done > 0 && done < total;
    }
    EXPECT_GT(between, 0);
    EXPECT_EQ(packing.packed.back().first, all);

    // Only the native workbook, without viewers.
    QFile::remove(QString::fromStdString(m.out.htmlPath()));
    OutputOptions o;
    o.html = false;
    m.out.setOutputOptions(o);
    m.out.showResult(false, true);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(m.out.htmlPath())));
    ASSERT_EQ(calls.sheet.size(), 2u);
    EXPECT_EQ(calls.sheet[1], std::make_pair(std::string(), m.out.xlsxPath()));
    m.out.showResult(true, true, false);
    EXPECT_EQ(calls.text.size(), 1u);

    // A relative project folder: the viewers, started elsewhere, get absolute paths.
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(project)));
    Model r("rel");
    Calls& rel = record(r);
    fill(r, 1, "R");
    r.out.showResult(true, true);
    QDir::setCurrent(before);
    ASSERT_EQ(rel.text.size(), 1u);
    EXPECT_EQ(rel.text[0],
              QDir::cleanPath(QString::fromStdString(project) + "/rel/temp/rep_txt.txt").toStdString());
    ASSERT_EQ(rel.sheet.size(), 1u);
    EXPECT_TRUE(QDir::isAbsolutePath(QString::fromStdString(rel.sheet[0].first)));
    EXPECT_TRUE(QDir::isAbsolutePath(QString::fromStdString(rel.sheet[0].second)));
}

TEST(ShowResult, AFailedOrCancelledRunNamesTheFileAndLeavesThePreviousFiles) {
    const std::string project = reporttest::freshDir("keep");
    Model first(project);
    Calls& calls = record(first);
    fill(first, 10, "old");
    first.out.showResult(true, true);
    std::map<std::string, std::string> before;
    for (const char* f : {"rep_txt.txt", "sc_report.htm", "sc_report.xlsx", "sc_report.files/sheet1.htm"})
        before[f] = readFile(first.out.tempDir() + f);

    auto unchanged = [&](const std::string& tempDir) {
        for (const auto& [f, bytes] : before)
            EXPECT_EQ(readFile(tempDir + f), bytes) << f;
        EXPECT_FALSE(tree(tempDir).join(' ').contains(".part"));
    };

    // Cancelled in the middle of the text report (the observer is polled every 65536 rows).
    Model second(project);
    const Calls& none2 = record(second);
    fill(second, 70000, "new");
    Observer obs;
    obs.cancelAfter = 65536;
    second.out.setObserver(&obs);
    EXPECT_EQ(throwText([&] { second.out.showResult(true, true); }), gb("输出已取消"));
    unchanged(second.out.tempDir());

    // The native workbook cannot be written after the text report is complete: the
    // text stays old too.
    Model third(project);
    const Calls& none3 = record(third);
    fill(third, 5, "new");
    const QString blocker = QString::fromStdString(third.out.xlsxPath()) + ".part" +
                            QString::number(QCoreApplication::applicationPid());
    QDir().mkpath(blocker);
    EXPECT_EQ(throwText([&] { third.out.showResult(true, true); }),
              gb("无法写入文件：") + third.out.xlsxPath());
    QDir().rmdir(blocker);
    unchanged(third.out.tempDir());
    EXPECT_EQ(calls.text.size(), 1u); // only the first run opened anything
    EXPECT_TRUE(none2.text.empty() && none2.sheet.empty() && none3.text.empty() && none3.sheet.empty());

    // The last path of the set cannot be replaced (a folder stands where the problem
    // list goes): every file already swapped in goes back, byte for byte.
    QDir().mkpath(QString::fromStdString(first.out.tempDir() + "data_problems.txt"));
    reporttest::writeFile(first.out.tempDir() + "data_problems.txt/mine", "the user's");
    before["data_problems.txt/mine"] = "the user's";
    const QString wbFolder = QString::fromStdString(first.out.tempDir() + "sc_report.files");
    const auto wb0 = testproc::files(wbFolder);
    Model fourth(project);
    record(fourth);
    fill(fourth, 5, "new");
    fourth.out.setProblemList([] { return std::string("a list"); });
    EXPECT_EQ(throwText([&] { fourth.out.showResult(true, true); }),
              gb("无法替换文件：") + fourth.out.problemsPath() + gb("，之前输出的文件都已恢复"));
    unchanged(fourth.out.tempDir());
    EXPECT_EQ(testproc::files(wbFolder), wb0);
    QDir(QString::fromStdString(first.out.tempDir() + "data_problems.txt")).removeRecursively();
    before.erase("data_problems.txt/mine");
    fourth.out.showResult(true, true);
    EXPECT_EQ(readFile(fourth.out.problemsPath()), "a list");
    fourth.out.setProblemList([] { return std::string(); }); // a run without problems takes the list away
    fourth.out.showResult(true, false);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(fourth.out.problemsPath())));

    // A file where the temporary folder should be: an error naming the first file.
    const std::string other = reporttest::freshDir("unwritable");
    reporttest::writeFile(other + "temp", "a file where the folder should be");
    Model m(other);
    fill(m, 1, "x");
    LogCapture log;
    EXPECT_EQ(throwText([&] { m.out.showResult(true, false); }),
              gb("无法写入文件：") + other + "temp/rep_txt.txt");
    EXPECT_EQ(throwText([&] { reporttest::writeRun(m, other + "temp/", false, false, true); }),
              gb("无法写入文件：") + other + "temp/sc_report.xlsx");
}

TEST(Viewers, StartedDetachedAndMissingOnesLoggedAndKept) {
    const std::string dir = reporttest::freshDir("viewer");
    const std::string script = dir + "viewer.sh";
    reporttest::writeFile(script, "#!/bin/sh\necho \"$1 $2\" > \"" + dir + "seen.tmp\" && mv \"" + dir +
                                      "seen.tmp\" \"" + dir + "seen\"\n");
    QFile::setPermissions(QString::fromStdString(script),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    auto waitFor = [&](const std::string& path) {
        QElapsedTimer t;
        t.start();
        while (!QFile::exists(QString::fromStdString(path)) && t.elapsed() < 10000)
            QThread::msleep(20);
        return readFile(path);
    };

    qputenv("SCREPORT_TEXT_VIEWER", QByteArray::fromStdString(script + " --flag"));
    qputenv("SCREPORT_SHEET_VIEWER", "/nonexistent/sheet-viewer");
    std::unique_ptr<Viewer> v = Viewer::platform();
    LogCapture log;
    v->openText(dir + "rep_txt.txt");
    EXPECT_EQ(waitFor(dir + "seen"), "--flag " + dir + "rep_txt.txt\n");
    v->openSheet(dir + "a.htm", dir + "a.xlsx");
    ASSERT_EQ(log.errors.size(), 1u);
    EXPECT_EQ(v->failures(), std::vector<std::string>{"/nonexistent/sheet-viewer " + dir + "a.xlsx"});

    QFile::remove(QString::fromStdString(dir + "seen"));
    qputenv("SCREPORT_SHEET_VIEWER", QByteArray::fromStdString(script));
    v->openSheet(dir + "a.htm", ""); // no native workbook: the HTML one
    EXPECT_EQ(waitFor(dir + "seen"), dir + "a.htm \n");
    qunsetenv("SCREPORT_TEXT_VIEWER");
    qunsetenv("SCREPORT_SHEET_VIEWER");
}

TEST(ShowResult, WorkbookFolderIsReplacedWholeAndOnlyWhenAsked) {
    const std::string project = reporttest::freshDir("whole");
    Model big(project);
    big.out.setViewer(nullptr);
    for (int i = 0; i < 3; ++i)
        fill(big, 2, "p" + std::to_string(i));
    // Text alone makes no workbook folder.
    big.out.showResult(true, false);
    EXPECT_EQ(tree(big.out.tempDir()), QStringList{"rep_txt.txt"});

    big.out.showResult(true, true);
    const QStringList three = QString("rep_txt.txt sc_report.files sc_report.files/filelist.xml "
                                      "sc_report.files/sheet1.htm sc_report.files/sheet2.htm "
                                      "sc_report.files/sheet3.htm sc_report.files/stylesheet.css "
                                      "sc_report.files/tabstrip.htm sc_report.htm sc_report.xlsx")
                                  .split(' ');
    EXPECT_EQ(tree(big.out.tempDir()), three);
    reporttest::writeFile(big.out.tempDir() + "sc_report.files/mine.txt", "not the program's");
    const std::string txt3 = readFile(big.out.textPath()), xlsx3 = readFile(big.out.xlsxPath());

    // A shorter run of the HTML workbook alone leaves no sheet of the longer one, nor
    // anything else of the old folder; the files not asked for are the previous run's.
    Model small(project);
    small.out.setViewer(nullptr);
    OutputOptions htmlOnly;
    htmlOnly.xlsx = false;
    small.out.setOutputOptions(htmlOnly);
    fill(small, 1, "only");
    small.out.showResult(false, true);
    QStringList one = three;
    one.removeAll("sc_report.files/sheet2.htm");
    one.removeAll("sc_report.files/sheet3.htm");
    EXPECT_EQ(tree(small.out.tempDir()), one);
    EXPECT_NE(readFile(small.out.tempDir() + "sc_report.files/sheet1.htm").find("only0"), std::string::npos);
    EXPECT_EQ(readFile(small.out.tempDir() + "sc_report.files/filelist.xml").find("sheet2"),
              std::string::npos);
    EXPECT_EQ(readFile(small.out.textPath()), txt3);
    EXPECT_EQ(readFile(small.out.xlsxPath()), xlsx3);

    // Text alone leaves the workbook folder as it is.
    const auto wb = testproc::files(QString::fromStdString(small.out.tempDir() + "sc_report.files/"));
    big.out.showResult(true, false);
    EXPECT_EQ(testproc::files(QString::fromStdString(small.out.tempDir() + "sc_report.files/")), wb);
}

TEST(ShowResult, LeftoversOfKilledRunsAreRemovedThoseOfLiveOnesKept) {
    const std::string project = reporttest::freshDir("leftovers");
    Model m(project);
    m.out.setViewer(nullptr);
    fill(m, 2, "a");
    m.out.showResult(true, true);
    const QStringList whole = tree(m.out.tempDir());

    // An id no process has: ids stay below pid_max.
    const std::string temp = m.out.tempDir(),
                      dead = std::to_string(std::stoll(readFile("/proc/sys/kernel/pid_max"))),
                      live = std::to_string(getppid()); // the test runner
    // Staged workbook folders of a killed and a live run, and one a killed run set aside
    // while the new one stood in place.
    for (const std::string& d : {".part" + dead, ".part" + live, ".old" + dead})
        QDir().mkpath(QString::fromStdString(temp + "sc_report.files" + d));
    for (const std::string& f :
         {"rep_txt.txt.part" + dead, "sc_report.xlsx.part" + dead, "sc_report.htm.part" + dead,
          "sc_report.files/sheet9.htm.part" + dead, "sc_report.files.part" + dead + "/sheet1.htm.part" + dead,
          "sc_report.files.old" + dead + "/sheet1.htm", "sc_report.files.part" + live + "/sheet1.htm",
          "rep_txt.txt.part" + live, std::string("a.partial"), std::string("b.part12x")})
        reporttest::writeFile(temp + f, "left");

    m.out.showResult(true, false); // the text alone: the workbook's leftovers go all the same
    QStringList expected = whole;
    expected << QString::fromStdString("rep_txt.txt.part" + live) << "a.partial"
             << "b.part12x" << QString::fromStdString("sc_report.files.part" + live)
             << QString::fromStdString("sc_report.files.part" + live + "/sheet1.htm");
    expected.sort();
    EXPECT_EQ(tree(temp), expected);

    // A folder set aside by a run killed between the two renames of a swap goes back.
    QDir(QString::fromStdString(temp))
        .rename("sc_report.files", QString::fromStdString("sc_report.files.old" + dead));
    EXPECT_EQ(removeStaleParts(temp), 1);
    EXPECT_EQ(tree(temp), expected);
}
