// A batch run that fails on a template override replaces nothing in the project's temp
// folder; runs into one folder take turns; a stop signal cancels a run. (The same workbook from any working
// folder: the package test in tests/app; leftovers of killed runs and stale sheets:
// tests/report/test_output.cpp.)
#include "casegen/casegen.h"
#include "hardening.h"

#include "report/runguard.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

#include <gtest/gtest.h>

namespace {

TEST(Outputs, AnOverrideThatCannotBeReadReplacesNothing) {
    QTemporaryDir tmp;
    const QString dbPath = tmp.path() + "/demo.db", project = tmp.path() + "/p";
    std::string err;
    ASSERT_TRUE(casegen::makeDemo(dbPath.toStdString(), &err)) << err;
    ASSERT_TRUE(QDir(tmp.path()).mkdir("rep_template")); // in the working folder: never looked at
    // Every report of the single-phase case, started in the temporary folder.
    auto run = [&](int expectedCode) {
        const hard::BatchRun r =
            hard::batch({"--batch", dbPath, project, QString::fromUtf8(casegen::demo::kCaseNames[1]),
                         "--reports", "all", "--format", "txt,html,xlsx"},
                        tmp.path());
        EXPECT_FALSE(r.crashed);
        EXPECT_EQ(r.code, expectedCode) << r.err.toStdString();
        return r;
    };
    run(0);
    const auto before = testproc::files(project + "/temp");

    // A template folder in the project replaces the built-in set as a whole: one
    // template it cannot read fails the run, whatever the other files hold.
    const QString over = project + "/rep_template";
    ASSERT_TRUE(QDir().mkpath(over));
    for (const char* t :
         {"main-html1", "main-html2", "main-html3", "tabstrip_1", "sub_html1", "stylesheet.css"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(SCREPORT_SOURCE_DIR "/rep_template/") + t, over + "/" + t));
    ASSERT_TRUE(QDir().mkpath(over + "/sub_html0")); // unreadable, even for root
    hard::BatchRun r = run(1);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("无法读取报表模板：") + over + "/sub_html0"))
        << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_EQ(testproc::files(project + "/temp"), before);

    QDir(over + "/sub_html0").removeRecursively();
    r = run(1);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("报表模板缺失或为空：") + over + "/sub_html0"))
        << r.err.toStdString();
    EXPECT_EQ(testproc::files(project + "/temp"), before);

    // Whole again, it is what the workbook is made of.
    ASSERT_TRUE(QFile::copy(SCREPORT_SOURCE_DIR "/rep_template/sub_html0", over + "/sub_html0"));
    QFile css(over + "/stylesheet.css");
    ASSERT_TRUE(css.open(QIODevice::Append));
    css.write("/* own */\n");
    css.close();
    run(0);
    EXPECT_TRUE(hard::fileBytes(project + "/temp/sc_report.files/stylesheet.css").endsWith("/* own */\r\n"));
}

} // namespace

namespace {

// A batch run going on beside the test.
struct Started : testproc::Started {
    explicit Started(const QStringList& args) : testproc::Started(SCREPORT_EXE, args) {}
};

QStringList partFiles(const QString& dir) {
    QStringList found;
    for (const auto& [name, bytes] : testproc::files(dir))
        if (name.contains(".part") || name.contains(".old")) found << name;
    return found;
}

TEST(Outputs, OneRunAtATimePerFolderAndTheLastSetIsWhole) {
    QTemporaryDir tmp;
    const QString db = tmp.path() + "/demo.db", project = tmp.path() + "/p", temp = project + "/temp";
    std::string err;
    ASSERT_TRUE(casegen::makeDemo(db.toStdString(), &err)) << err;
    auto args = [&](int c) {
        return QStringList{"--batch",   db,    project,    QString::fromUtf8(casegen::demo::kCaseNames[c]),
                           "--reports", "all", "--format", "txt,html,xlsx"};
    };
    ASSERT_EQ(hard::batch(args(0)).code, 0);
    const auto before = testproc::files(temp);

    // Another run holds the folder: refused at once with --no-wait, else waited for.
    auto held = std::make_unique<FolderLock>(temp.toStdString());
    ASSERT_TRUE(held->tryLock());
    const hard::BatchRun refused = hard::batch(args(1) << "--no-wait");
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(refused.err.contains(QString::fromUtf8("另一个输出正在写入此文件夹，报表没有输出:") + temp))
        << refused.err.toStdString();
    EXPECT_EQ(testproc::files(temp), before);
    Started waiting(args(1));
    EXPECT_TRUE(waiting.waitFor(QString::fromUtf8("另一个输出正在写入此文件夹，等它结束:")))
        << waiting.err.toStdString();
    EXPECT_EQ(testproc::files(temp), before);
    held.reset();
    EXPECT_EQ(waiting.finish(), 0) << waiting.err.toStdString();

    // A holder that was killed blocks nothing.
    QProcess killed;
    killed.start("flock", {"-o", temp, "sleep", "60"});
    ASSERT_TRUE(killed.waitForStarted());
    for (int i = 0; i < 100 && FolderLock(temp.toStdString()).tryLock(); ++i) // until flock holds it
        QThread::msleep(20);
    killed.kill();
    killed.waitForFinished();
    EXPECT_EQ(hard::batch(args(2) << "--no-wait").code, 0);

    // Two runs started together: one after the other, and every file of the set from the
    // same one.
    Started a(args(0)), b(args(3));
    EXPECT_EQ(a.finish(), 0) << a.err.toStdString();
    EXPECT_EQ(b.finish(), 0) << b.err.toStdString();
    const auto set = testproc::reportFiles(temp);
    std::vector<int> holding; // of each case, the files that name it
    for (int c : {0, 3}) {
        const QByteArray utf8 = casegen::demo::kCaseNames[c];
        const QByteArray gb18030 = QByteArray::fromStdString(testdb::gb(casegen::demo::kCaseNames[c]));
        holding.push_back(0);
        for (const QString f :
             {"rep_txt.txt", "sc_report.files/sheet1.htm", "sc_report.xlsx/docProps/custom.xml"})
            holding.back() += set.count(f) && (set.at(f).contains(gb18030) || set.at(f).contains(utf8));
    }
    std::sort(holding.begin(), holding.end());
    EXPECT_EQ(holding, (std::vector<int>{0, 3}));
    EXPECT_TRUE(partFiles(temp).isEmpty()) << partFiles(temp).join(' ').toStdString();
}

TEST(Outputs, StopSignalsCancelTheRunAndLeaveThePreviousSet) {
    QTemporaryDir tmp;
    const QString db = tmp.path() + "/grid.db", project = tmp.path() + "/p", temp = project + "/temp";
    std::string err;
    casegen::GridOptions g;
    g.buses = 2000;
    ASSERT_TRUE(casegen::makeGrid(db.toStdString(), g, &err)) << err;
    const QStringList base{"--batch",      db, project, QString::number(casegen::kGridCase), "--format",
                           "txt,html,xlsx"};
    ASSERT_EQ(hard::batch(QStringList(base) << "--reports"
                                            << "summary")
                  .code,
              0);
    const auto before = testproc::files(temp);
    for (const auto& [sig, status] : {std::pair{SIGTERM, 143}, std::pair{SIGINT, 130}}) {
        Started run(QStringList(base) << "--reports"
                                      << "all");
        // Stopped while the pages are built and written.
        ASSERT_TRUE(run.waitFor(" 1/")) << run.err.toStdString();
        ::kill(pid_t(run.p.processId()), sig);
        EXPECT_EQ(run.finish(), status) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromUtf8("输出已取消"))) << run.err.toStdString();
        EXPECT_EQ(testproc::files(temp), before) << "signal " << sig;
    }
}

} // namespace
