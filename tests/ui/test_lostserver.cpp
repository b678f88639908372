// The server stops while the report dialog is open: every action that needs it says the
// database is unreachable, nothing is replaced or half-written, and the dialog stays.
#include "casegen/casegen.h"
#include "db/textcodec.h"
#include "support/proc.h"
#include "ui/screpdialog.h"
#include "uitest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>

using testdb::gb;
using testproc::fileBytes;

namespace {

TEST(LostServer, TheDialogSaysSoAndStays) {
    if (!testdb::mariaDbAvailable() && !testdb::mariaDbRequired()) GTEST_SKIP() << "no MariaDB server";
    testdb::OwnServer server;
    ASSERT_TRUE(server.start());
    testdb::ServerEnv env(server.socket());
    std::string err;
    ASSERT_TRUE(casegen::makeDemo("ui_lost", &err)) << err;

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
    testdb::LogCapture quiet;
    setenv("SCREPORT_TEXT_VIEWER", "true", 1);
    QTemporaryDir proj;
    const QString text = proj.path() + "/temp/rep_txt.txt";
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
        EXPECT_EQ(CDBUtility::getCaseName(), textcodec::fromLocal8(caseName));

        // An output run names the database in its own message and keeps the last files.
        dlg.outputButton()->click();
        ASSERT_EQ(boxes.size(), 4u);
        EXPECT_TRUE(boxes[3].contains(QString::fromUtf8("与数据库的连接已中断，报表没有输出:ui_lost")))
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
