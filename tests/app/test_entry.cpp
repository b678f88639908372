// The program's entry, run as a process: usage, errors that end it, the backup flag, and
// what the batch mode says about a database or case it cannot report.
#include "support/testdb.h"
#include "tools/casegen/casegen.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

struct Outcome {
    int exitCode = -1;
    QString out, err;
};

QProcess* start(const QStringList& args) {
    auto* p = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen"); // no box can wait for a click
    env.remove("SCREPORT_LOG_ENCODING");
    p->setProcessEnvironment(env);
    p->start(SCREPORT_EXE, args);
    return p;
}

Outcome run(const QStringList& args) {
    std::unique_ptr<QProcess> p(start(args));
    Outcome r;
    if (!p->waitForFinished(60000)) {
        p->kill();
        p->waitForFinished();
        ADD_FAILURE() << "screport did not end";
        return r;
    }
    r.exitCode = p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
    r.out = QString::fromUtf8(p->readAllStandardOutput());
    r.err = QString::fromUtf8(p->readAllStandardError());
    return r;
}

// Runs until the error stream holds `until` (or a while has passed), then ends the process:
// with a case to show, the dialog would wait for the user.
QString errorsWhileOpen(const QStringList& args, const QString& until) {
    std::unique_ptr<QProcess> p(start(args));
    QString err;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 15000 && !err.contains(until) && p->state() != QProcess::NotRunning) {
        p->waitForReadyRead(200);
        err += QString::fromUtf8(p->readAllStandardError());
        p->readAllStandardOutput();
    }
    if (p->state() != QProcess::NotRunning) {
        p->kill();
        p->waitForFinished();
    }
    return err + QString::fromUtf8(p->readAllStandardError());
}

const QString kUsage = QString::fromUtf8("[提示] 用法：本程序需要传入数据库名,工程目录,(作业名称)！");

TEST(Entry, TooFewArgumentsShowTheUsageAndEndWithZero) {
    for (const QStringList& args : {QStringList{}, QStringList{"only.db"}}) {
        Outcome r = run(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err.count(kUsage), 1) << r.err.toStdString();
        EXPECT_FALSE(r.out.contains(QString::fromUtf8("正在打开数据库"))) << "no dialog is built";
    }
}

TEST(Entry, AnErrorWhileTheDialogIsBuiltEndsTheProgramWithOneNotice) {
    testdb::CaseDb db(testdb::Backend::Sqlite);
    const QString arg = QString::fromStdString(db.arg());

    Outcome none = run({arg, "/tmp/proj"});
    EXPECT_EQ(none.exitCode, 0);
    const QString noCase = QString::fromUtf8("作业表中没有计算成功的作业,请先进行作业定义和作业计算!");
    EXPECT_EQ(none.err.count(QString::fromUtf8("[提示] ") + noCase), 1) << none.err.toStdString();

    db.exec("INSERT INTO SC_CASE (Case_No,Case_Name,calculate) VALUES (1,'c1',1)");
    Outcome unknown = run({arg, "/tmp/proj", QString::fromUtf8("<b>无此作业</b>")});
    EXPECT_EQ(unknown.exitCode, 0);
    EXPECT_TRUE(
        unknown.err.contains(QString::fromUtf8("[提示] 在短路作业表中没有找到作业名:<b>无此作业</b>\n")))
        << unknown.err.toStdString();

    Outcome missing = run({"/nonexistent/dir/case.db", "/tmp/proj"});
    EXPECT_EQ(missing.exitCode, 0);
    EXPECT_TRUE(missing.err.contains(QString::fromUtf8("不能打开数据库:/nonexistent/dir/case.db")));
    // The notice names the file and why, not a case table without cases.
    EXPECT_TRUE(missing.err.contains(QString::fromUtf8("[提示] 不能打开数据库:/nonexistent/dir/case.db")))
        << missing.err.toStdString();
    EXPECT_FALSE(missing.err.contains(noCase));
}

TEST(Entry, WithoutAFourthArgumentTheNetworkIsReadFromTheBackupTables) {
    testdb::CaseDb db(testdb::Backend::Sqlite);
    db.exec("INSERT INTO SC_CASE (Case_No,Case_Name,calculate,`Function`,Simple_F,Type_Fault) "
            "VALUES (1,'c1',1,1,1,1)");
    // A missing table makes the tree's first statement fail where it can be seen.
    db.exec("DROP TABLE CDB_AREASBAK");
    const QString arg = QString::fromStdString(db.arg());
    const QString bakRead = "select Area_Name from CDB_AREASBAK";
    EXPECT_TRUE(errorsWhileOpen({arg, "/tmp/proj"}, bakRead).contains(bakRead));
    EXPECT_TRUE(errorsWhileOpen({arg, "/tmp/proj", "c1"}, bakRead).contains(bakRead));
    // Any fourth argument, even an empty one, means the live tables; a fifth is ignored.
    db.exec("DROP TABLE CDB_AREAS");
    const QString liveRead = "select Area_Name from CDB_AREAS\n";
    const QString live = errorsWhileOpen({arg, "/tmp/proj", "c1", "", "extra"}, liveRead);
    EXPECT_TRUE(live.contains(liveRead)) << live.toStdString();
    EXPECT_FALSE(live.contains(bakRead));
}

// --- batch mode -----------------------------------------------------------------------

namespace demo = casegen::demo;

QProcessEnvironment serverEnv() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (const char* s = std::getenv("SCREPORT_TEST_MYSQL_SOCKET")) {
        env.insert("SCREPORT_DB_SOCKET", s);
        env.insert("SCREPORT_DB_USER", "root");
    }
    env.remove("SCREPORT_LOG_ENCODING");
    return env;
}

Outcome batch(const QStringList& args, const QProcessEnvironment& env = serverEnv()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(SCREPORT_EXE, args);
    Outcome r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        ADD_FAILURE() << "screport did not end";
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// The demo case database, calculated by the case generator (a file path or a server name).
bool makeDemo(const QString& arg) {
    const QString tool = SCREPORT_BINARY_DIR "/tools/sc-mkcase";
    if (!QFileInfo(tool).isExecutable()) {
        ADD_FAILURE() << "build the case generator first: " << tool.toStdString();
        return false;
    }
    QProcess p;
    p.start(tool, {"--demo", "--force", arg});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        ADD_FAILURE() << "sc-mkcase --demo " << arg.toStdString() << ": "
                      << p.readAllStandardError().toStdString();
        return false;
    }
    return true;
}

bool wroteNothing(const QString& project) {
    return QDir(project + "/temp").entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).isEmpty();
}

class BatchRun : public ::testing::TestWithParam<testdb::Backend> {
  protected:
    void SetUp() override {
        if (GetParam() == testdb::Backend::Sqlite) {
            // A folder name the terminal writes in UTF-8 and the program holds in GB18030.
            ASSERT_TRUE(QDir(dir.path()).mkdir(QString::fromUtf8("演示 数据")));
            arg = dir.path() + QString::fromUtf8("/演示 数据/demo.db");
        } else {
            server = std::make_unique<testdb::CaseDb>(GetParam());
            arg = QString::fromStdString(server->arg());
        }
        ASSERT_TRUE(makeDemo(arg));
    }
    QTemporaryDir dir;
    QString arg;
    std::unique_ptr<testdb::CaseDb> server;
};

// A file that is damaged, no database or no case database, a missing one, a database the
// server does not have: exit 3 and a line naming it, before any case is looked up.
TEST_P(BatchRun, AnUnusableDatabaseIsNamedAndEndsWithThree) {
    const QString project = dir.path() + "/project";
    const QString caseName = QString::fromUtf8(demo::kCaseNames[demo::kCaseThreePhase - 1]);
    struct Bad {
        QString arg, lead, reason;
    };
    std::vector<Bad> bad;
    const QString damaged = QString::fromUtf8("数据库文件已损坏或不是数据库:");
    const QString cannotOpen = QString::fromUtf8("不能打开数据库:");
    if (GetParam() == testdb::Backend::Sqlite) {
        QFile demoFile(arg);
        ASSERT_TRUE(demoFile.open(QIODevice::ReadOnly));
        const QByteArray bytes = demoFile.readAll();
        ASSERT_GT(bytes.size(), 20000);
        auto write = [&](const QString& name, const QByteArray& content) {
            QFile f(dir.path() + "/" + name);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(content);
            return f.fileName();
        };
        bad = {
            {write("truncated.db", bytes.left(20000)), damaged, QString::fromUtf8("文件不完整")},
            {write("case.txt", "Case_No,Case_Name\n1,c1\n"), damaged, QString::fromUtf8("没有SQLite文件头")},
            {write("empty.db", QByteArray()), QString::fromUtf8("数据库文件不是短路作业数据库:"),
             QString::fromUtf8("空文件")},
            {dir.path() + QString::fromUtf8("/不存在.db"), cannotOpen, QString::fromUtf8("文件不存在")}};
    } else {
        // The server and the user, then the server's reason.
        bad = {{"no_such_case_db", cannotOpen,
                QString::fromUtf8("服务器 localhost 套接字 ") + std::getenv("SCREPORT_TEST_MYSQL_SOCKET") +
                    QString::fromUtf8("，用户 root：Unknown database 'no_such_case_db'")}};
    }
    for (const Bad& b : bad) {
        const Outcome r = batch({"--batch", b.arg, project, caseName});
        EXPECT_EQ(r.exitCode, 3) << b.arg.toStdString() << "\n" << r.err.toStdString();
        const QString line = "screport: " + b.lead + b.arg + " (" + b.reason;
        EXPECT_TRUE(r.err.contains(line)) << line.toStdString() << "\n" << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(QString::fromUtf8("作业名"))) << "the case is not to blame";
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        EXPECT_TRUE(wroteNothing(project));
    }
    if (GetParam() == testdb::Backend::Sqlite)
        EXPECT_FALSE(QFileInfo::exists(dir.path() + QString::fromUtf8("/不存在.db")))
            << "no file may be created";
}

TEST_P(BatchRun, AnUncalculatedCaseEndsWithOneBeforeAnythingIsWritten) {
    const QString project = dir.path() + "/project";
    const QString name = QString::fromUtf8(demo::kCaseNames[demo::kCaseUncalculated - 1]);
    for (const QString& given : {name, QString::number(demo::kCaseUncalculated)}) {
        const Outcome r = batch({"--batch", arg, project, given});
        EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8("screport: 短路作业没有计算:") + name + "\n"))
            << r.err.toStdString();
        EXPECT_FALSE(r.err.contains(QString::fromUtf8("没有选择故障母线"))) << r.err.toStdString();
        EXPECT_TRUE(wroteNothing(project));
    }
}

// A good run with nothing stored for the case: no line that reads like an error.
TEST_P(BatchRun, AGoodRunSaysNothingThatReadsLikeAnError) {
    const QString project = dir.path() + "/project";
    const QString caseName = QString::fromUtf8(demo::kCaseNames[demo::kCaseThreePhase - 1]);
    const Outcome r = batch({"--batch", arg, project, caseName, "--reports", "all", "--format", "txt"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (const char* notAnError : {"指定的作业不存在", "catch exception here:", "不能打开数据库", "损坏"})
        EXPECT_FALSE(r.err.contains(QString::fromUtf8(notAnError))) << notAnError << "\n"
                                                                    << r.err.toStdString();
    EXPECT_EQ(r.out.trimmed(), QDir(project + "/temp").filePath("rep_txt.txt"));
    EXPECT_TRUE(QFileInfo::exists(project + "/temp/rep_txt.txt"));
}

// The server found as every MySQL client finds it: an option file in HOME and no variable;
// its [screport] group over [client], the environment over the file, the command line
// over the environment; a login that fails names the server, the user and the reason.
TEST(BatchServer, OptionFileThenEnvironmentThenCommandLine) {
    if (!testdb::mariaDbAvailable() && !testdb::mariaDbRequired()) GTEST_SKIP() << "no MariaDB test server";
    testdb::CaseDb db(testdb::Backend::MariaDb);
    const QString arg = QString::fromStdString(db.arg());
    ASSERT_TRUE(makeDemo(arg));
    QTemporaryDir home;
    const QString socket = QString::fromLocal8Bit(std::getenv("SCREPORT_TEST_MYSQL_SOCKET"));
    auto optionFile = [&](const QString& text) {
        QFile f(home.path() + "/.my.cnf");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text.toUtf8());
    };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& k : env.keys())
        if (k.startsWith("SCREPORT_DB_") || k.startsWith("MYSQL_")) env.remove(k);
    env.remove("SCREPORT_LOG_ENCODING");
    env.insert("HOME", home.path());
    const QString project = home.path() + "/project";
    const QStringList run = {"--batch", arg, project,
                             QString::fromUtf8(demo::kCaseNames[demo::kCaseThreePhase - 1]),
                             "--reports", "busvol", "--format", "txt"};
    const QString refused = QString::fromUtf8("screport: 不能打开数据库:") + arg +
                            QString::fromUtf8(" (服务器 localhost 套接字 ") + socket +
                            QString::fromUtf8("，用户 nobody_here：");

    optionFile("[client]\nsocket=" + socket + "\nuser=root\n");
    Outcome r = batch(run, env);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(project + "/temp/rep_txt.txt"));

    optionFile("[client]\nsocket=" + socket + "\nuser=root\n[screport]\nuser=nobody_here\n");
    r = batch(run, env);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.err.contains(refused)) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("nobody_here")) << r.err.toStdString();

    QProcessEnvironment userFromEnv = env;
    userFromEnv.insert("SCREPORT_DB_USER", "root");
    EXPECT_EQ(batch(run, userFromEnv).exitCode, 0);

    userFromEnv.insert("SCREPORT_DB_USER", "nobody_here");
    EXPECT_EQ(batch(run + QStringList{"--user", "root"}, userFromEnv).exitCode, 0);
    // root has no password on the test server: one from a file is used, and refused.
    QFile pw(home.path() + "/pw");
    ASSERT_TRUE(pw.open(QIODevice::WriteOnly));
    pw.write("not-the-password\n");
    pw.close();
    r = batch(run + QStringList{"--user", "root", "--password-file", pw.fileName()}, userFromEnv);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.err.contains("using password: YES")) << r.err.toStdString();
    // No password on the command line, ever.
    r = batch(run + QStringList{"--password=secret"}, env);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("Unexpected value after '--password'")) << r.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Backends, BatchRun, ::testing::ValuesIn(testdb::backends()),
                         [](const auto& i) { return testdb::backendName(i.param); });

} // namespace
