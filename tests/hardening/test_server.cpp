// A MariaDB server that stops in the middle of an output run: the run ends with a
// message naming the database and the files of the previous run stay. The server is the
// test's own, started in a temporary folder, so it can be killed at a chosen step.
#include "casegen/casegen.h"
#include "db/cdbutility.h"
#include "db/textcodec.h"
#include "hardening.h"
#include "report/runobserver.h"
#include "sc/casechoices.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace demo = casegen::demo;

namespace {

// Kills the server when the run reaches its n-th step.
struct KillAt : RunObserver {
    testdb::OwnServer* server;
    int at, seen = 0;
    KillAt(testdb::OwnServer* s, int n) : server(s), at(n) {}
    void progress(const std::string&, long, long) override {
        if (++seen == at) server->kill();
    }
};

TEST(FailingServer, StoppedDuringARunAndASave) {
    if (!testdb::mariaDbAvailable() && !testdb::mariaDbRequired()) GTEST_SKIP() << "no MariaDB server";
    testdb::LogCapture log;
    QTemporaryDir project;
    const QString txt = project.path() + "/temp/rep_txt.txt";
    const QString xlsx = project.path() + "/temp/sc_report.xlsx";
    testdb::OwnServer server;
    ASSERT_TRUE(server.start());
    testdb::ServerEnv env(server.socket());
    std::string err;
    ASSERT_TRUE(casegen::makeDemo("hard_failing", &err)) << err;
    // Kill at the first step, before the stored results are read, and late, when the run
    // has read all it needs; each time the server comes back on its data and the next run
    // is whole again.
    for (int step : {1, 4, 9}) {
        SCOPED_TRACE("server killed at step " + std::to_string(step));
        ASSERT_TRUE(step == 1 || server.restart());
        ASSERT_NE(CDBUtility::opendb("hard_failing"), nullptr);
        CDBUtility::setDBType(DB_SC);
        CDBUtility::setCaseNo(demo::kCaseAToGround);

        hard::FullRun good = hard::fullRun(demo::kCaseAToGround, true, project.path().toStdString());
        good.req.faults = &good.faults;
        ASSERT_TRUE(runOutput(CDBUtility::connection(), good.req).ok());
        const QByteArray txt0 = hard::fileBytes(txt), xlsx0 = hard::fileBytes(xlsx);
        ASSERT_FALSE(txt0.isEmpty());

        KillAt killer(&server, step);
        log.errors.clear();
        const OutputResult res = runOutput(CDBUtility::connection(), good.req, &killer);
        EXPECT_GE(killer.seen, step);
        EXPECT_EQ(hard::fileBytes(txt), txt0);
        if (step == 1) {
            EXPECT_FALSE(res.ok()) << "a run that cannot read writes nothing";
            // One line naming database and server; nothing derived from rows that never came.
            EXPECT_EQ(res.error8.rfind(testdb::gb("与数据库的连接已中断，报表没有输出:hard_failing (服务器"), 0), 0u)
                << textcodec::toUtf8(res.error8);
            EXPECT_EQ(log.errors, std::vector<std::string>{res.error8});
            EXPECT_TRUE(res.problems.empty()) << res.problems.size();
            EXPECT_EQ(hard::fileBytes(xlsx), xlsx0);
        } else {
            EXPECT_TRUE(res.ok()) << "everything was read before the server stopped: "
                                  << textcodec::toUtf8(res.error8);
        }

        // The stored choices cannot be saved, and saying so is all that happens.
        casechoices::ObjectChoices c;
        c.seedObjectVars();
        EXPECT_FALSE(casechoices::saveOutputOptions("SCR_OUT", casechoices::OutputOptions{}, c));
        EXPECT_FALSE(casechoices::saveFaultList(good.faults));
        CDBUtility::closedb();
    }
}

} // namespace
