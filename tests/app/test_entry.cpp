// The program's entry, run as a process: usage, errors that end it, the backup flag.
#include "support/testdb.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
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
    EXPECT_TRUE(missing.err.contains(QString::fromUtf8("[提示] ") + noCase));
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

} // namespace
