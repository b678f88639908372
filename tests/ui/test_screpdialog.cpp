// The main dialog driven as a user drives it, checked on its widgets and on the rows
// it stores.
#include "casegen/casegen.h"
#include "db/textcodec.h"
#include "support/proc.h"
#include "ui/casebrowsedlg.h"
#include "ui/qttranslations.h"
#include "ui/scposseldlg.h"
#include "ui/screpdialog.h"
#include "ui/tree/clfrepitemseldlg.h"
#include "ui/tree/commtreeview.h"
#include "uitest.h"

#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QRadioButton>
#include <QTranslator>
#include <iostream>
#include <sstream>

using testdb::gb;
using uitest::button;
using uitest::UiTest;

namespace {

const std::string kSummary = gb("短路电流简表");
const std::string kDistribution = gb("短路电流分布系数");
const std::string kShortBra = gb("短路点及其支路");
const std::string kBusVol = gb("母线电压");
const std::string kLineCur = gb("支路电流");
const std::string kVIZ = gb("支路两端的电压、\n电流和视在阻抗");

class SCRepDialogTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        uitest::addNetwork(*db);
        uitest::addCases(*db);
    }
    std::unique_ptr<SCRepDialog> make(const char* caseName) {
        return std::make_unique<SCRepDialog>(db->arg(), proj.path().toStdString(), gb(caseName), false);
    }
    static bool on(QAbstractButton* b) { return b && b->isChecked(); }
    QTemporaryDir proj;
};

TEST_P(SCRepDialogTest, CaseListAndTheReportKindsEachCaseAllows) {
    struct Expect {
        const char* name;
        bool summary, distribution, shortBra;
    };
    // Every kind ticked on the case shown first; each case then allows its own.
    auto dlg = make("3");
    EXPECT_EQ(dlg->windowTitle(), QString::fromUtf8("短路报表输出"));
    // Summary and distribution have no item choice.
    EXPECT_EQ(dlg->chooseButton(kSummary), nullptr);
    EXPECT_EQ(dlg->chooseButton(kDistribution), nullptr);
    EXPECT_NE(dlg->chooseButton(kVIZ), nullptr);
    for (const std::string& k : {kSummary, kDistribution, kShortBra, kBusVol, kLineCur, kVIZ})
        dlg->objectBox(k)->setChecked(true);
    for (const Expect& e : {Expect{"101", true, true, true}, Expect{"sc2", false, false, true},
                            Expect{"3", true, false, false}, Expect{"4", true, true, false}}) {
        SCOPED_TRACE(e.name);
        dlg->caseCombo()->setCurrentText(e.name); // as a pick in the list does
        emit dlg->caseCombo()->textActivated(e.name);
        if (e.shortBra) dlg->objectBox(kShortBra)->setChecked(true);
        QStringList cases;
        for (int i = 0; i < dlg->caseCombo()->count(); ++i)
            cases << dlg->caseCombo()->itemText(i);
        EXPECT_EQ(cases, QStringList({"101", "sc2", "3", "4", "abc"})) << "only calculated cases";
        EXPECT_EQ(dlg->caseCombo()->currentText(), QString(e.name));
        EXPECT_EQ(dlg->objectBox(kSummary)->isEnabled(), e.summary);
        EXPECT_EQ(dlg->objectBox(kDistribution)->isEnabled(), e.distribution);
        EXPECT_EQ(dlg->objectBox(kShortBra)->isEnabled(), e.shortBra);
        for (const std::string& k : {kBusVol, kLineCur, kVIZ})
            EXPECT_TRUE(dlg->objectBox(k)->isEnabled());
        // A kind the case does not allow is neither ticked, nor chosen, nor offered columns.
        for (const std::string& k : {kSummary, kDistribution, kShortBra}) {
            QCheckBox* box = dlg->objectBox(k);
            if (box->isEnabled()) continue;
            EXPECT_FALSE(box->isChecked());
            EXPECT_EQ(dlg->choices().m_selObjects.count(k), 0u);
            EXPECT_FALSE(dlg->chooseButton(k) && dlg->chooseButton(k)->isEnabled());
        }
    }
    // No case named: the first listed one. (An unknown name ends the program with a notice:
    // test_entry.)
    dlg.reset();
    auto first = make("");
    EXPECT_EQ(first->caseDb().getCaseNo(), "1");
}

TEST_P(SCRepDialogTest, OutputAndChooseButtonsFollowTheChecksAndChooseOpensItsKindsItems) {
    auto dlg = make("101");
    QPushButton* output = dlg->outputButton();
    // Nothing stored: every kind the case allows, both outputs, as the batch would.
    EXPECT_TRUE(output->isEnabled());
    EXPECT_TRUE(dlg->choiceNote()->text().contains(QString::fromUtf8("默认选择")));
    for (const std::string& k : {kSummary, kDistribution, kShortBra, kBusVol, kLineCur, kVIZ})
        dlg->objectBox(k)->click();
    EXPECT_FALSE(output->isEnabled());
    // (A choose button and the chosen kinds after a check: the stored-choices test.)
    dlg->objectBox(kBusVol)->click();
    EXPECT_TRUE(output->isEnabled());
    dlg->objectBox(kSummary)->click();
    dlg->objectBox(kBusVol)->click();
    EXPECT_TRUE(output->isEnabled()) << "the summary is still checked";
    EXPECT_FALSE(dlg->chooseButton(kBusVol)->isEnabled());
    dlg->objectBox(kSummary)->click();
    EXPECT_FALSE(output->isEnabled());
    // Neither a workbook nor a text file: nothing to write.
    dlg->objectBox(kBusVol)->click();
    button(dlg.get(), "文件")->click();
    button(dlg.get(), "报表")->click();
    EXPECT_FALSE(output->isEnabled());
    button(dlg.get(), "报表")->click();
    EXPECT_TRUE(output->isEnabled());

    // Choose opens the item dialog of its kind.
    dlg->objectBox(kVIZ)->click();
    expectDialogs({[](QDialog& d) {
        auto& items = dynamic_cast<CLFRepItemSelDlg&>(d);
        items.show(); // laid out, so the columns have positions
        EXPECT_EQ(items.key(), kVIZ);
        EXPECT_EQ(items.itemCount(), 18);
        EXPECT_EQ(items.customTable(), 3);
        // 18 items run down two columns of 9.
        EXPECT_EQ(items.itemBox(8)->parentWidget()->x(), items.itemBox(0)->parentWidget()->x());
        EXPECT_NE(items.itemBox(9)->parentWidget()->x(), items.itemBox(0)->parentWidget()->x());
        items.tableButton(1)->click();
        button(&items, "确定")->click();
        return d.result();
    }});
    dlg->chooseButton(kVIZ)->click();
    EXPECT_EQ(dlg->choices().m_objVars.at(kVIZ), (std::vector<int>{11, 14, 17}));
    EXPECT_EQ(dlg->choices().m_objTableNo.at(kVIZ), 1);
}

TEST_P(SCRepDialogTest, ChoicesAreStoredPerCaseAndComeBack) {
    // Object 7 rows belong to another module and survive every save.
    db->exec("INSERT INTO SCR_CONT (Case_NO,OBJNO,TableNO,VAR1) VALUES (1,7,0,5)");
    {
        auto dlg = make("101");
        EXPECT_EQ(dlg->choices().m_objVars.at(kBusVol), (std::vector<int>{6, 7, 8, 9, 10, 11}))
            << "first preset";
        for (const std::string& k : {kDistribution, kShortBra, kLineCur, kVIZ})
            dlg->objectBox(k)->click();
        button(dlg.get(), "有名值")->click();
        button(dlg.get(), "区域")->click();
        button(dlg.get(), "分区")->click();
        // Custom table of the bus voltage report: items 4, 1, 7 in that order.
        expectDialogs({[](QDialog& d) {
            auto& items = dynamic_cast<CLFRepItemSelDlg&>(d);
            items.tableButton(items.customTable())->click();
            for (int i : {3, 0, 6})
                items.itemBox(i)->click();
            button(&items, "确定")->click();
            return d.result();
        }});
        dlg->chooseButton(kBusVol)->click();

        // Choosing another case stores this one first.
        QTest::keyClick(dlg->caseCombo(), Qt::Key_Down);
        EXPECT_EQ(dlg->caseCombo()->currentText(), QString("sc2"));
        EXPECT_EQ(dlg->caseDb().getCaseNo(), "2");
        EXPECT_EQ(dlg->noteEdit()->toPlainText(), QString("second"));
        EXPECT_EQ(column("select Unit,On_area,On_Zone,On_Sub,Lreport,Lfile,LSummary,LDistribut,"
                         "LShortBra,LBusVol,LLineCur,LVIZ from SCR_OUT where CASE_NO=1"),
                  std::vector<std::string>{"0,1,1,0,1,1,1,0,0,1,0,0"});
        EXPECT_EQ(
            column("select TableNO,VAR1,VAR2,VAR3,VAR4,VAR20 from SCR_CONT where Case_NO=1 and OBJNO=3"),
            std::vector<std::string>{"4,3,0,6,-1,-1"});
        EXPECT_EQ(column("select count(*) from SCR_CONT where Case_NO=1"), std::vector<std::string>{"2"})
            << "the bus voltage row and object 7";

        // sc2 has no stored options: defaults, said so; its kinds only, and every fault point.
        EXPECT_TRUE(logged(false, gb("作业没有保存的输出选项:2"))) << "nothing stored is no error";
        EXPECT_TRUE(on(button(dlg.get(), "标幺值")));
        EXPECT_TRUE(dlg->choiceNote()->text().contains(QString::fromUtf8("默认选择")));
        EXPECT_EQ(dlg->choices().m_selObjects, (std::set<std::string>{kShortBra, kBusVol, kLineCur, kVIZ}));
        EXPECT_EQ(dlg->choices().m_objVars.at(kBusVol), (std::vector<int>{6, 7, 8, 9, 10, 11}))
            << "not case 101's custom table";
        for (const std::string& k : {kShortBra, kBusVol, kVIZ})
            dlg->objectBox(k)->click();
        dlg->reject(); // closing stores the case shown
    }
    open(); // the connection for the checks after the dialog has gone
    EXPECT_EQ(column("select LSummary,LBusVol,LLineCur from SCR_OUT where CASE_NO=2"),
              std::vector<std::string>{"0,0,1"});
    EXPECT_EQ(column("select count(*) from SCR_OUT"), std::vector<std::string>{"2"}) << "one row per case";
    cdb.closedb();

    auto again = make("101");
    for (const auto& [label, checked] :
         {std::pair{"有名值", true}, {"标幺值", false}, {"厂站", false}, {"区域", true}, {"报表", true}})
        EXPECT_EQ(on(button(again.get(), label)), checked) << label;
    EXPECT_EQ(again->choices().m_selObjects, (std::set<std::string>{kSummary, kBusVol}));
    EXPECT_TRUE(again->outputButton()->isEnabled());
    EXPECT_TRUE(again->chooseButton(kBusVol)->isEnabled());
    EXPECT_FALSE(again->chooseButton(kLineCur)->isEnabled());
    EXPECT_EQ(again->choices().m_objVars.at(kBusVol), (std::vector<int>{3, 0, 6}));
    EXPECT_EQ(again->choices().m_objTableNo.at(kBusVol), 4);
    EXPECT_EQ(again->choices().m_objVars.at(kLineCur), (std::vector<int>{6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(column("select count(*) from SCR_CONT where Case_NO=1 and OBJNO=7"),
              std::vector<std::string>{"1"});
}

// Stored choices the dialog never writes: the controls show what is used, a note says why,
// the next run lists them, and the save before it stores what was shown. Choices that ask
// for nothing to write leave "输出" disabled.
TEST_P(SCRepDialogTest, DamagedStoredChoicesShowWhatIsUsedAndGoToTheNextRun) {
    if (GetParam() == testdb::Backend::MariaDb) db->exec("ALTER TABLE SCR_CONT MODIFY VAR3 VARCHAR(20)");
    db->exec(
        "INSERT INTO SCR_OUT (CASE_NO,Unit,On_area,On_Zone,On_Sub,Lreport,Lfile,LSummary,LDistribut,"
        "LShortBra,LBusVol,LLineCur,LVIZ) VALUES (1,7,1,1,1,0,1,0,0,0,1,0,0),(1,7,1,1,1,0,1,0,0,0,1,1,0),"
        "(2,1,1,1,1,0,0,0,0,0,1,0,0),(3,1,1,1,1,0,1,0,0,0,0,0,0)");
    db->exec("INSERT INTO SCR_CONT (Case_NO,OBJNO,TableNO,VAR1,VAR2,VAR3,VAR4) VALUES (1,3,4,0,12,'abc',1)");
    auto dlg = make("101");
    EXPECT_TRUE(on(button(dlg.get(), "标幺值")));
    EXPECT_EQ(dlg->choices().m_selObjects, std::set<std::string>{kBusVol}) << "the first row";
    EXPECT_EQ(dlg->choices().m_objVars.at(kBusVol), (std::vector<int>{0, 1}));
    EXPECT_TRUE(dlg->choiceNote()->text().contains(QString::fromUtf8("SCR_OUT.Unit  作业 1  存储值 7")));
    std::string given;
    SCRepDialog::setOutputRunner([&](const OutputRequest& req, RunObserver*) {
        given.clear();
        for (const dataproblems::Problem& p : req.choiceProblems)
            given += p.table + "." + p.column + " ";
        return OutputResult();
    });
    dlg->outputButton()->click();
    EXPECT_EQ(given, "SCR_OUT.Unit SCR_OUT.LLineCur SCR_CONT.VAR2 SCR_CONT.VAR3 ");
    EXPECT_EQ(column("select Unit,LBusVol,LLineCur from SCR_OUT where CASE_NO=1"),
              std::vector<std::string>{"1,1,0"});
    EXPECT_EQ(column("select VAR1,VAR2,VAR3 from SCR_CONT where Case_NO=1"),
              std::vector<std::string>{"0,1,-1"});
    EXPECT_TRUE(dlg->choiceNote()->isHidden());
    dlg->outputButton()->click();
    EXPECT_EQ(given, "") << "told once";
    // sc2: a kind, but neither file nor workbook; 3: a file, but no kind.
    for (const char* name : {"sc2", "3"}) {
        dlg->caseCombo()->setCurrentText(name);
        emit dlg->caseCombo()->textActivated(name);
        EXPECT_FALSE(dlg->outputButton()->isEnabled()) << name;
    }
}

TEST_P(SCRepDialogTest, KeyboardWalksEveryControlInOrderAndSearchStepsThroughTheMatches) {
    auto dlg = make("101");
    dlg->objectBox(kBusVol)->setChecked(true); // its "选择" is enabled, so a Tab stop
    dlg->show();
    QApplication::setActiveWindow(dlg.get());
    dlg->caseCombo()->setFocus(Qt::TabFocusReason);
    // Tab from the case: the left column top to bottom, then the right side.
    QStringList seen;
    QWidget* w = QApplication::focusWidget();
    for (int i = 0; i < 40 && w; ++i) {
        QString name = w->metaObject()->className();
        if (auto* b = qobject_cast<QAbstractButton*>(w)) name = b->text();
        seen << name.replace('\n', "");
        QTest::keyClick(w, Qt::Key_Tab);
        w = QApplication::focusWidget();
        if (w == dlg->caseCombo()) break;
    }
    const QStringList expected =
        QString::fromUtf8(
            "QComboBox|浏览|故障点选择|SCCommTreeView|QComboBox|QLineEdit|查找|"
            "QTextEdit|短路电流简表|短路电流分布系数|短路点及其支路|选择|母线电压|选择|支路电流|选择|"
            "支路两端的电压、电流和视在阻抗|选择|区域|分区|厂站|标幺值|报表|文件|输出|退出")
            .split('|');
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(column("select Note from SC_CASE where Case_No=1"), std::vector<std::string>{"first note"})
        << "Tab is never typed into the note";
    // Every edit is stored at once, an emptied note too.
    dlg->noteEdit()->clear();
    EXPECT_EQ(column("select Note from SC_CASE where Case_No=1"), std::vector<std::string>{""});

    // Return in the search text searches (no case browser opens); again, it steps on;
    // "下一个" stays enabled while matches remain.
    dlg->searchKind()->setCurrentText(QString::fromUtf8("交流线"));
    dlg->searchText()->setFocus();
    QTest::keyClicks(dlg->searchText(), "L1");
    EXPECT_FALSE(dlg->nextButton()->isEnabled());
    QTest::keyClick(dlg->searchText(), Qt::Key_Return);
    EXPECT_EQ(dlg->searchStatus()->text(), QString("1 / 4"));
    QTest::keyClick(dlg->searchText(), Qt::Key_Return);
    EXPECT_EQ(dlg->searchStatus()->text(), QString("2 / 4"));
    for (const char* status : {"3 / 4", "4 / 4", "1 / 4"}) { // at the end, back to the first
        EXPECT_TRUE(dlg->nextButton()->isEnabled()) << status;
        dlg->nextButton()->click();
        EXPECT_EQ(dlg->searchStatus()->text(), QString(status));
    }
    QTest::keyClick(dlg->searchText(), Qt::Key_1);
    EXPECT_EQ(dlg->searchStatus()->text(), QString()) << "an edited text: the count is gone";

    // B1x is a node but no physical bus: the bus search neither counts nor visits it.
    dlg->searchKind()->setCurrentText(QString::fromUtf8("物理母线"));
    dlg->searchText()->setText("B1");
    button(dlg.get(), "查找")->click();
    EXPECT_EQ(dlg->searchStatus()->text(), QString("1 / 1"));
    ASSERT_NE(g_pCommTree->currentItem(), nullptr);
    EXPECT_EQ(CommTreeView::nameOf(g_pCommTree->currentItem()), "B1");
    EXPECT_FALSE(dlg->nextButton()->isEnabled());

    // Nothing found: said so, and the earlier match is no longer highlighted.
    dlg->searchText()->setText("none");
    button(dlg.get(), "查找")->click();
    EXPECT_FALSE(dlg->nextButton()->isEnabled());
    EXPECT_EQ(dlg->searchStatus()->text(), QString::fromUtf8("没有找到"));
    EXPECT_TRUE(g_pCommTree->selectedItems().isEmpty());

    // Escape clears the search text; elsewhere it asks before the program ends.
    dlg->searchText()->setFocus();
    QTest::keyClick(dlg->searchText(), Qt::Key_Escape);
    EXPECT_EQ(dlg->searchText()->text(), QString());
    expectDialogs({[](QDialog& d) { return d.windowTitle() == QString::fromUtf8("退出") ? 0 : 1; }});
    QTest::keyClick(dlg->caseCombo(), Qt::Key_Escape);
    EXPECT_TRUE(dlg->isVisible()) << "not confirmed";
    // Return in the tree opens the current level and starts no run.
    int runs = 0;
    SCRepDialog::setOutputRunner([&](const OutputRequest&, RunObserver*) { return ++runs, OutputResult(); });
    QTreeWidgetItem* area = g_pCommTree->rootItem()->child(0);
    g_pCommTree->setCurrentItem(area);
    area->setExpanded(false);
    QTest::keyClick(g_pCommTree, Qt::Key_Return);
    EXPECT_TRUE(area->isExpanded());
    EXPECT_EQ(runs, 0);
}

TEST_P(SCRepDialogTest, WindowSizeIsRememberedAndQtSpeaksChinese) {
    QSize size;
    {
        auto dlg = make("101");
        dlg->show();
        QApplication::processEvents();
        const QSize note = dlg->noteEdit()->size(), tree = g_pCommTree->size();
        const int boxes = dlg->objectBox(kBusVol)->parentWidget()->width();
        dlg->resize(dlg->width() + 200, dlg->height() + 150);
        QApplication::processEvents();
        // Extra space goes to the tree and the note, not to the option boxes.
        EXPECT_GT(dlg->noteEdit()->height(), note.height());
        EXPECT_GT(g_pCommTree->height(), tree.height());
        EXPECT_EQ(dlg->objectBox(kBusVol)->parentWidget()->width(), boxes);
        EXPECT_GE(dlg->noteEdit()->height(), 4 * dlg->noteEdit()->fontMetrics().lineSpacing());
        size = dlg->size();
        dlg->reject();
    }
    auto again = make("101");
    again->show();
    EXPECT_EQ(again->size(), size);

    QTranslator* qt = ui::installQtTranslations(QCoreApplication::instance());
    ASSERT_NE(qt, nullptr) << "qt6-translations-l10n installed?";
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), QString::fromUtf8("取消"));
    QCoreApplication::removeTranslator(qt);
    delete qt;
}

TEST_P(SCRepDialogTest, FaultPointsChosenInTheDialogAreStored) {
    {
        auto dlg = make("101");
        EXPECT_EQ(dlg->faultList().size(), 4u) << "nothing stored: every fault point";
        expectDialogs({[](QDialog& d) {
                           auto& sel = dynamic_cast<SCPosSelDlg&>(d);
                           button(&sel, "全删")->click();
                           QListWidget* avail = sel.availableList();
                           avail->item(2)->setSelected(true);
                           avail->item(1)->setSelected(true);
                           button(&sel, "选择")->click();
                           button(&sel, "确定")->click();
                           return d.result();
                       },
                       [](QDialog& d) { // changes, then cancel: nothing happens
                           auto& sel = dynamic_cast<SCPosSelDlg&>(d);
                           EXPECT_EQ(sel.selectedList()->count(), 2);
                           button(&sel, "全选")->click();
                           button(&sel, "取消")->click();
                           return d.result();
                       }});
        button(dlg.get(), "故障点选择")->click();
        ASSERT_EQ(dlg->faultList().size(), 2u);
        EXPECT_EQ(dlg->faultList()[0].name, "B2");
        EXPECT_EQ(dlg->faultList()[1].name, "B3");
        button(dlg.get(), "故障点选择")->click();
        EXPECT_EQ(dlg->faultList().size(), 2u);
        button(dlg.get(), "退出")->click();
    }
    auto again = make("101");
    ASSERT_EQ(again->faultList().size(), 2u);
    EXPECT_EQ(again->faultList()[0].iName, "B2") << "filled from the case's fault rows";
}

TEST_P(SCRepDialogTest, BrowseListsNumberedCasesAndSwitchesToThePickedOne) {
    auto dlg = make("3");
    expectDialogs({[](QDialog& d) { // Escape keeps the case, whatever row is current
                       auto& b = dynamic_cast<CaseBrowseDlg&>(d);
                       EXPECT_EQ(b.windowTitle(), QString::fromUtf8("作业浏览"));
                       QTableWidget* t = b.table();
                       EXPECT_EQ(t->rowCount(), 3)
                           << "sc2, abc (not numbers) and x (not calculated) left out";
                       EXPECT_EQ(t->editTriggers(), QAbstractItemView::NoEditTriggers);
                       EXPECT_EQ(t->currentRow(), 1) << "the case shown is preselected";
                       t->setCurrentCell(0, 0);
                       QTest::keyClick(t, Qt::Key_Escape);
                       return d.result();
                   },
                   [](QDialog& d) { // a double click picks the row
                       auto& b = dynamic_cast<CaseBrowseDlg&>(d);
                       b.show();
                       QTableWidget* t = b.table();
                       const QPoint at = t->visualItemRect(t->item(2, 1)).center();
                       QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, at);
                       QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, at);
                       return d.result();
                   },
                   [](QDialog& d) {
                       auto& b = dynamic_cast<CaseBrowseDlg&>(d);
                       EXPECT_EQ(b.table()->currentRow(), 2);
                       b.table()->setCurrentCell(-1, -1);
                       button(&b, "确定")->click();
                       return d.result();
                   }});
    button(dlg.get(), "浏览")->click();
    EXPECT_EQ(dlg->caseDb().getCaseNo(), "3");
    button(dlg.get(), "浏览")->click();
    EXPECT_EQ(dlg->caseCombo()->currentText(), QString("4"));
    EXPECT_EQ(dlg->caseDb().getCaseNo(), "4");
    EXPECT_EQ(column("select count(*) from SCR_OUT where CASE_NO=3"), std::vector<std::string>{"1"})
        << "the old case was stored first";
    button(dlg.get(), "浏览")->click();
    EXPECT_EQ(dlg->caseDb().getCaseNo(), "4") << "no row picked: nothing changes";
}

TEST_P(SCRepDialogTest, OutputHandsTheChoicesToTheRunAndShowsWhatGoesWrong) {
    auto dlg = make("101");
    for (const std::string& k : {kDistribution, kShortBra, kLineCur, kVIZ})
        dlg->objectBox(k)->click();
    button(dlg.get(), "有名值")->click();
    button(dlg.get(), "分区")->click();
    button(dlg.get(), "厂站")->click();

    int runs = 0;
    SCRepDialog::setProgressDelay(0);
    SCRepDialog::setOutputRunner([&](const OutputRequest& req, RunObserver* obs) {
        ++runs;
        EXPECT_EQ(req.caseNo, 1);
        EXPECT_EQ(req.projectDir, proj.path().toStdString());
        EXPECT_EQ(req.chosenKeys, (std::set<std::string>{kSummary, kBusVol}));
        EXPECT_EQ(req.itemSel.at(kBusVol), (std::vector<int>{6, 7, 8, 9, 10, 11}));
        EXPECT_EQ(req.itemLabels.at(kBusVol).size(), 12u);
        EXPECT_FALSE(req.perUnit);
        EXPECT_FALSE(req.grpArea);
        EXPECT_TRUE(req.grpZone && req.grpST);
        EXPECT_TRUE(req.writeText && req.writeSheet);
        EXPECT_EQ(req.faults, &dlg->faultList());
        OutputResult r;
        if (runs == 1) {
            // Many problems, one window.
            for (const char* bus : {"B9", "B10", "B11"})
                r.problems.push_back(dataproblems::Problem{dataproblems::Kind::Missing, "SCR_B120",
                                                           "bus_Name", gb(bus), std::string(),
                                                           dataproblems::Action::CellsEmpty});
            r.error8 = gb("<b>B9</b> & 没有电压");
        } else { // the user cancels in the progress dialog
            RunStep st{gb("母线电压"), 2, 4, 10, 100, true, 0.6};
            obs->step(st);
            auto* pd = dlg->findChild<QProgressDialog*>();
            EXPECT_TRUE(pd && pd->isVisible());
            EXPECT_EQ(pd ? pd->labelText() : QString(),
                      QString::fromUtf8("第 2/4 步：母线电压\n10 / 100 个故障点"));
            QTest::qWait(60); // the dialog redraws at most every 50 ms
            st = RunStep{gb("正在写文本报表"), 3, 4, 5, 1000, false, 0.7};
            obs->step(st);
            if (pd) {
                EXPECT_EQ(pd->labelText(), QString::fromUtf8("第 3/4 步：正在写文本报表\n5 / 1000 行"));
                EXPECT_EQ(pd->value(), 700) << "one bar for the run";
                pd->cancel();
            }
            EXPECT_TRUE(obs->cancelled());
            r.error8 = "cancelled";
        }
        return r;
    });
    QString shown;
    expectDialogs({[&](QDialog& d) {
                       // Our own box in Chinese, with nothing to tick away.
                       auto* box = dynamic_cast<QMessageBox*>(&d);
                       EXPECT_NE(box, nullptr);
                       EXPECT_EQ(d.windowTitle(), QString::fromUtf8("输出失败"));
                       QStringList texts;
                       for (QAbstractButton* b : d.findChildren<QAbstractButton*>())
                           texts << b->text();
                       EXPECT_EQ(texts, QStringList{QString::fromUtf8("确定")});
                       if (box) shown = box->text();
                       return 0;
                   },
                   [](QDialog& d) {
                       EXPECT_EQ(d.windowTitle(), QString::fromUtf8("数据错误"));
                       auto* list = d.findChild<QPlainTextEdit*>("problemList");
                       EXPECT_TRUE(list && list->isReadOnly());
                       const QStringList lines =
                           list ? list->toPlainText().split('\n', Qt::SkipEmptyParts) : QStringList();
                       EXPECT_EQ(lines.size(), 3);
                       EXPECT_TRUE(lines.value(2).startsWith("SCR_B120.bus_Name  B11"));
                       EXPECT_TRUE(list && (list->textInteractionFlags() & Qt::TextSelectableByKeyboard));
                       const auto buttons = d.findChildren<QPushButton*>();
                       EXPECT_EQ(buttons.size(), 1);
                       EXPECT_EQ(buttons.value(0)->text(), QString::fromUtf8("确定"));
                       return 0;
                   }});
    dlg->outputButton()->click();
    EXPECT_EQ(shown, QString::fromUtf8("<b>B9</b> & 没有电压"));
    EXPECT_EQ(column("select Unit,On_area,Lreport,LSummary,LBusVol from SCR_OUT where CASE_NO=1"),
              std::vector<std::string>{"0,0,1,1,1"})
        << "stored before the run";
    dlg->outputButton()->click(); // cancelled: no error box
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(dlg->findChild<QProgressDialog*>(), nullptr) << "the progress dialog goes with the run";

    // Closing the window during a run cancels it; the window goes once the run has stopped.
    int closed = 0;
    QObject::connect(dlg.get(), &QDialog::rejected, [&] { ++closed; });
    SCRepDialog::setOutputRunner([&](const OutputRequest&, RunObserver* obs) {
        EXPECT_FALSE(obs->cancelled());
        dlg->reject();
        EXPECT_TRUE(obs->cancelled());
        EXPECT_EQ(closed, 0);
        return OutputResult{};
    });
    dlg->outputButton()->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(closed, 1);
}

// A case whose choices were never stored reports every kind at all its fault points, and
// says what it wrote; the session leaves standard output nearly silent.
TEST_P(SCRepDialogTest, ACaseNeverStoredReportsAllItsFaultPointsQuietly) {
    db = std::make_unique<testdb::CaseDb>(GetParam()); // the demo instead of the small cases
    makeDemo();
    for (const char* t : {"SCR_OUT", "SCR_CONT", "SCR_FAULTBUS"})
        db->exec(std::string("DELETE FROM ") + t + " WHERE Case_No=6");
    std::stringstream out;
    std::streambuf* was = std::cout.rdbuf(out.rdbuf());
    auto dlg = make(casegen::demo::kCaseNames[5]);
    EXPECT_EQ(dlg->faultList().size(), 14u);
    dlg->outputButton()->click();
    dlg->reject();
    std::cout.rdbuf(was);
    const QString text = QString::fromStdString(
        textcodec::toUtf8(testproc::fileBytes(proj.path() + "/temp/rep_txt.txt").toStdString()));
    for (const char* bus : casegen::demo::kBusNames)
        EXPECT_TRUE(text.contains(QString::fromUtf8(bus))) << bus;
    EXPECT_TRUE(dlg->findChild<QLabel*>("runStatus")
                    ->text()
                    .contains(QString::fromUtf8("rep_txt.txt、sc_report.htm")));
    const std::string lines = out.str();
    EXPECT_LT(std::count(lines.begin(), lines.end(), '\n'), 50) << lines;
}

INSTANTIATE_ON_BACKENDS(SCRepDialogTest);

} // namespace
