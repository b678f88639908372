// What the batch run leaves in the project's temp folder: the same whole workbook from
// any working folder, nothing replaced by a run that fails, no leftovers of killed runs,
// no stale sheets and no workbook folder when none is asked for.
#include "casegen/casegen.h"
#include "hardening.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace demo = casegen::demo;

namespace {

// Relative path -> bytes of every file under dir; folders as entries without bytes.
std::map<QString, QByteArray> snapshot(const QString& dir) {
    std::map<QString, QByteArray> files;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[QDir(dir).relativeFilePath(path)] =
            it.fileInfo().isDir() ? QByteArray() : hard::fileBytes(path);
    }
    return files;
}

QStringList names(const std::map<QString, QByteArray>& files) {
    QStringList n;
    for (const auto& [name, bytes] : files)
        n << name;
    return n;
}

// An id no process has: ids stay below pid_max.
QString deadPid() {
    const QByteArray max = hard::fileBytes("/proc/sys/kernel/pid_max").trimmed();
    return max.isEmpty() ? QStringLiteral("99999999") : QString::fromLatin1(max);
}

class Outputs : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        dbPath = tmp.path() + "/demo.db";
        std::string err;
        ASSERT_TRUE(casegen::makeDemo(dbPath.toStdString(), &err)) << err;
    }
    // A batch run of the single-phase case started in workDir; fails the test unless it
    // ends with the expected code.
    hard::BatchRun run(const QString& workDir, const QString& project, const QStringList& options,
                       int expectedCode = 0) {
        QStringList args{"--batch", dbPath, project, QString::fromUtf8(demo::kCaseNames[1])};
        hard::BatchRun r = hard::batchIn(workDir, args + options);
        EXPECT_FALSE(r.crashed);
        EXPECT_EQ(r.code, expectedCode) << r.err.toStdString();
        return r;
    }
    QTemporaryDir tmp;
    QString dbPath;
    const QStringList all{"--reports", "all", "--format", "txt,html,xlsx"};
};

TEST_F(Outputs, SameWholeWorkbookFromAnyWorkingFolder) {
    const QString fromRoot = tmp.path() + "/root", fromElsewhere = tmp.path() + "/elsewhere";
    QTemporaryDir empty; // no rep_template here
    run(SCREPORT_SOURCE_DIR, fromRoot, all);
    run(empty.path(), fromElsewhere, all);

    const auto a = snapshot(fromRoot + "/temp"), b = snapshot(fromElsewhere + "/temp");
    ASSERT_EQ(names(a), names(b));
    int sheets = 0;
    for (const auto& [name, bytes] : b) {
        if (name == "sc_report.files") continue;
        EXPECT_FALSE(bytes.isEmpty()) << name.toStdString();
        if (name.endsWith(".xlsx"))
            EXPECT_TRUE(hard::wholeZip(bytes)); // its parts carry the time of writing
        else
            EXPECT_EQ(bytes, a.at(name)) << name.toStdString();
        sheets += name.startsWith("sc_report.files/sheet");
    }
    EXPECT_GT(sheets, 1);
    EXPECT_TRUE(b.at("sc_report.files/sheet1.htm").contains("<table border=1>"));
    EXPECT_TRUE(b.at("sc_report.htm").contains("</x:ExcelWorkbook>"));
}

TEST_F(Outputs, AnOverrideThatCannotBeReadReplacesNothing) {
    const QString project = tmp.path() + "/p";
    run(SCREPORT_SOURCE_DIR, project, all);
    const auto before = snapshot(project + "/temp");

    // A template folder in the project replaces the built-in set as a whole: one
    // template it cannot read fails the run, whatever the other files hold.
    const QString over = project + "/rep_template";
    ASSERT_TRUE(QDir().mkpath(over));
    for (const char* t :
         {"main-html1", "main-html2", "main-html3", "tabstrip_1", "sub_html1", "stylesheet.css"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(SCREPORT_SOURCE_DIR "/rep_template/") + t, over + "/" + t));
    ASSERT_TRUE(QDir().mkpath(over + "/sub_html0")); // unreadable, even for root
    hard::BatchRun r = run(tmp.path(), project, all, 1);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("无法读取报表模板：") + over + "/sub_html0"))
        << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_EQ(snapshot(project + "/temp"), before);

    QDir(over + "/sub_html0").removeRecursively();
    r = run(tmp.path(), project, all, 1);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("报表模板缺失或为空：") + over + "/sub_html0"))
        << r.err.toStdString();
    EXPECT_EQ(snapshot(project + "/temp"), before);

    // Whole again, it is what the workbook is made of.
    ASSERT_TRUE(QFile::copy(SCREPORT_SOURCE_DIR "/rep_template/sub_html0", over + "/sub_html0"));
    QFile css(over + "/stylesheet.css");
    ASSERT_TRUE(css.open(QIODevice::Append));
    css.write("/* own */\n");
    css.close();
    run(tmp.path(), project, all);
    EXPECT_TRUE(hard::fileBytes(project + "/temp/sc_report.files/stylesheet.css").endsWith("/* own */\r\n"));
}

TEST_F(Outputs, KilledRunsLeftoversGoLiveOnesStay) {
    const QString project = tmp.path() + "/p", temp = project + "/temp";
    run(SCREPORT_SOURCE_DIR, project, all);
    const auto whole = snapshot(temp);

    // What a run killed while writing leaves, and what a run still going has written
    // so far (this test is that live process).
    const QString dead = ".part" + deadPid(),
                  live = ".part" + QString::number(QCoreApplication::applicationPid());
    const QStringList killed{"rep_txt.txt" + dead,
                             "sc_report.xlsx" + dead,
                             "sc_report.htm" + dead,
                             "sc_report.files" + dead,
                             "sc_report.files" + dead + "/sheet1.htm",
                             "sc_report.files/sheet1.htm" + dead};
    const QStringList running{"sc_report.xlsx" + live, "sc_report.files" + live,
                              "sc_report.files" + live + "/sheet1.htm"};
    for (const QString& folder : {"sc_report.files" + dead, "sc_report.files" + live})
        ASSERT_TRUE(QDir().mkpath(temp + "/" + folder));
    for (const QString& f : killed + running) {
        if (QFileInfo(temp + "/" + f).isDir()) continue;
        QFile out(temp + "/" + f);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly)) << f.toStdString();
        out.write(QByteArray(4096, 'x'));
    }

    run(tmp.path(), project, {"--reports", "all", "--format", "txt"});
    auto after = snapshot(temp);
    for (const QString& f : killed)
        EXPECT_EQ(after.count(f), 0u) << f.toStdString();
    for (const QString& f : running)
        EXPECT_EQ(after.count(f), 1u) << f.toStdString();
    for (const QString& f : running)
        after.erase(f);
    EXPECT_EQ(names(after), names(whole));
}

TEST_F(Outputs, OnlyWhatIsAskedForAndNoStaleSheets) {
    const QString project = tmp.path() + "/p", temp = project + "/temp";
    run(tmp.path(), project, {"--reports", "all", "--format", "txt"});
    EXPECT_EQ(names(snapshot(temp)), QStringList{"rep_txt.txt"});

    run(tmp.path(), project, all);
    const auto longRun = snapshot(temp);
    int sheetsBefore = 0;
    for (const auto& [name, bytes] : longRun)
        sheetsBefore += name.startsWith("sc_report.files/sheet");
    ASSERT_GT(sheetsBefore, 1);

    // One report kind: one sheet, listed and present, nothing of the longer run.
    run(tmp.path(), project, {"--reports", "summary", "--format", "html"});
    const auto shortRun = snapshot(temp);
    QStringList sheets;
    for (const auto& [name, bytes] : shortRun)
        if (name.startsWith("sc_report.files/")) sheets << name.mid(16);
    EXPECT_EQ(sheets, (QStringList{"filelist.xml", "sheet1.htm", "stylesheet.css", "tabstrip.htm"}));
    EXPECT_FALSE(shortRun.at("sc_report.files/filelist.xml").contains("sheet2.htm"));
    EXPECT_NE(shortRun.at("sc_report.htm"), longRun.at("sc_report.htm"));
    // The files not asked for this time are the previous run's.
    EXPECT_EQ(shortRun.at("rep_txt.txt"), longRun.at("rep_txt.txt"));
    EXPECT_EQ(shortRun.at("sc_report.xlsx"), longRun.at("sc_report.xlsx"));
}

} // namespace
