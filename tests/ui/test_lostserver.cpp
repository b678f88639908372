// A MariaDB server that stops in the middle of an output run, or while the report dialog
// is open: every run and action that needs it says the database is unreachable, naming it,
// nothing is replaced or half-written, and the dialog stays. The server is the test's own,
// so it can be killed at a chosen moment.
#include "casegen/casegen.h"
#include "db/textcodec.h"
#include "report/runobserver.h"
#include "sc/casechoices.h"
#include "support/proc.h"
#include "support/runs.h"
#include "ui/screpdialog.h"
#include "uitest.h"

#include <QMessageBox>

using testdb::gb;
using testproc::fileBytes;

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

TEST(LostServer, RunsAndSavesFailAndTheDialogSaysSoAndStays) {
    if (!testdb::mariaDbAvailable() && !testdb::mariaDbRequired()) GTEST_SKIP() << "no MariaDB server";
    testdb::OwnServer server;
    ASSERT_TRUE(server.start());
    testdb::ServerEnv env(server.socket());
    std::string err;
    ASSERT_TRUE(casegen::makeDemo("ui_lost", &err)) << err;
    testdb::LogCapture log;
    QTemporaryDir proj;
    const QString text = proj.path() + "/temp/rep_txt.txt", xlsx = proj.path() + "/temp/sc_report.xlsx";

    // Killed at the first step, before the stored results are read, and late, when the run
    // has read all it needs; each time the server comes back on its data and the next run
    // is whole again.
    for (int step : {1, 4, 9}) {
        SCOPED_TRACE("server killed at step " + std::to_string(step));
        CDBUtility cdb;
        ASSERT_NE(cdb.opendb("ui_lost"), nullptr);
        cdb.setDBType(DB_SC);
        cdb.setCaseNo(casegen::demo::kCaseAToGround);
        const SCPosList faults = testrun::faultPoints(casegen::demo::kCaseAToGround);
        const OutputRequest req =
            testrun::everyReport(casegen::demo::kCaseAToGround, true, proj.path().toStdString(), faults);
        ASSERT_TRUE(runOutput(cdb.connection(), req).ok());
        const QByteArray txt0 = fileBytes(text), xlsx0 = fileBytes(xlsx);
        KillAt killer(&server, step);
        log.errors.clear();
        const OutputResult res = runOutput(cdb.connection(), req, &killer);
        EXPECT_GE(killer.seen, step);
        EXPECT_EQ(fileBytes(text), txt0);
        if (step == 1) {
            EXPECT_FALSE(res.ok()) << "a run that cannot read writes nothing";
            // One line naming database and server; nothing derived from rows that never came.
            EXPECT_EQ(res.error8.rfind(gb("与数据库的连接已中断，报表没有输出:ui_lost (服务器"), 0), 0u)
                << textcodec::toUtf8(res.error8);
            EXPECT_EQ(log.errors, std::vector<std::string>{res.error8});
            EXPECT_TRUE(res.problems.empty()) << res.problems.size();
            EXPECT_EQ(fileBytes(xlsx), xlsx0);
        } else {
            EXPECT_TRUE(res.ok()) << "everything was read before the server stopped: "
                                  << textcodec::toUtf8(res.error8);
        }
        // The stored choices cannot be saved, and saying so is all that happens.
        EXPECT_FALSE(casechoices::saveOutputOptions(cdb, "SCR_OUT", {}, casechoices::ObjectChoices{}));
        EXPECT_FALSE(casechoices::saveFaultList(cdb, faults));
        cdb.closedb();
        ASSERT_TRUE(server.restart());
    }

    // Every box is answered at once; what it said is kept.
    std::vector<QString> boxes;
    int otherDialogs = 0;
    ui::setModalDriver([&](QDialog& d) {
        if (auto* m = qobject_cast<QMessageBox*>(&d))
            boxes.push_back(m->text());
        else
            ++otherDialogs;
        return int(QDialog::Rejected);
    });
    setenv("SCREPORT_TEXT_VIEWER", "true", 1);
    const QString lost = QString::fromUtf8("与数据库的连接已中断，选择不能保存，报表不能输出:ui_lost");
    {
        const std::string caseName = gb(casegen::demo::kCaseNames[0]);
        SCRepDialog dlg("ui_lost", proj.path().toStdString(), caseName, true);
        dlg.objectBox(gb("母线电压"))->setChecked(true);
        dlg.outputButton()->click();
        ASSERT_TRUE(boxes.empty()) << boxes[0].toStdString();
        const QByteArray good = fileBytes(text);
        ASSERT_FALSE(good.isEmpty());

        server.kill();
        // Typing the note: told once, not at every key.
        dlg.noteEdit()->setPlainText("a");
        dlg.noteEdit()->setPlainText("ab");
        ASSERT_EQ(boxes, std::vector<QString>{lost});

        // Actions that cannot go on say so every time and open nothing.
        uitest::button(&dlg, "故障点选择")->click();
        EXPECT_EQ(boxes.size(), 2u);
        EXPECT_EQ(otherDialogs, 0) << "no fault point list to choose from";
        const QString other = dlg.caseCombo()->itemText(1);
        dlg.caseCombo()->setCurrentText(other);
        emit dlg.caseCombo()->textActivated(other);
        EXPECT_EQ(boxes.size(), 3u);
        EXPECT_EQ(dlg.caseCombo()->currentText(), textcodec::fromLocal8(caseName));
        EXPECT_EQ(dlg.caseDb().getCaseName(), textcodec::fromLocal8(caseName));

        // An output run names the database in its own message and keeps the last files.
        dlg.outputButton()->click();
        ASSERT_EQ(boxes.size(), 4u);
        EXPECT_TRUE(boxes[3].contains(QString::fromUtf8("与数据库的连接已中断，报表没有输出:\nui_lost")))
            << boxes[3].toStdString();
        EXPECT_EQ(fileBytes(text), good);
        EXPECT_TRUE(dlg.outputButton()->isEnabled());

        // Closing does not repeat what the user has been told.
        dlg.reject();
        EXPECT_EQ(boxes.size(), 4u);
    }
    ui::setModalDriver(nullptr);
}

} // namespace
