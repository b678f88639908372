// The three small dialogs on their own: fault point selection, case browser and the
// item selection of one report kind.
#include "db/textcodec.h"
#include "sc/reportkinds.h"
#include "ui/casebrowsedlg.h"
#include "ui/scposseldlg.h"
#include "ui/tree/clfrepitemseldlg.h"
#include "uitest.h"

#include <QRadioButton>

using testdb::gb;
using uitest::button;
using uitest::CaseTest;
using uitest::rows;

namespace {

std::vector<std::string> names(const SCPosList& v) {
    std::vector<std::string> out;
    for (const SCPos& p : v)
        out.push_back(p.name);
    return out;
}

class PickerTest : public CaseTest {};

TEST_P(PickerTest, FaultPointsOfTheCaseMoveBetweenTheListsInOrder) {
    // Of the current list, a name the case no longer has is dropped.
    SCPosSelDlg dlg(cdb, SCPosList{{"B3", "", "", 0}, {"GONE", "", "", 0}}, nullptr);
    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("故障点选择"));
    QListWidget* avail = dlg.availableList();
    QListWidget* sel = dlg.selectedList();
    EXPECT_EQ(rows(avail), QStringList({"B1", "B2", "B4"}));
    EXPECT_EQ(rows(sel), QStringList({"B3"}));

    avail->item(0)->setSelected(true);
    avail->item(1)->setSelected(true);
    button(&dlg, "选择")->click();
    EXPECT_EQ(rows(sel), QStringList({"B3", "B1", "B2"}));
    EXPECT_EQ(rows(avail), QStringList({"B4"}));
    EXPECT_EQ(names(dlg.selected()), (std::vector<std::string>{"B3", "B1", "B2"}));

    // A double click moves the clicked row together with the other highlighted ones.
    sel->item(0)->setSelected(true);
    const QRect r = sel->visualItemRect(sel->item(2));
    QTest::mouseClick(sel->viewport(), Qt::LeftButton, Qt::ControlModifier, r.center());
    QTest::mouseDClick(sel->viewport(), Qt::LeftButton, Qt::ControlModifier, r.center());
    EXPECT_EQ(rows(avail), QStringList({"B4", "B3", "B2"}));
    EXPECT_EQ(names(dlg.available()), (std::vector<std::string>{"B4", "B3", "B2"}));

    // Search: the first row starting with the text, letter case ignored; earlier highlights go.
    dlg.show(); // shown, a dialog would give the return key to a default button
    avail->item(0)->setSelected(true);
    dlg.searchEdit()->setText("b3");
    QTest::keyClick(dlg.searchEdit(), Qt::Key_Return);
    EXPECT_EQ(avail->selectedItems().size(), 1);
    EXPECT_EQ(avail->selectedItems().front()->text(), QString("B3"));
    EXPECT_EQ(dlg.result(), 0) << "return in the search field does not close the dialog";
    EXPECT_EQ(rows(avail), QStringList({"B4", "B3", "B2"})) << "nor moves the row it found";
    // Return again on the same text, or "下一个", steps through the rows that begin with it.
    dlg.searchEdit()->setText("b");
    QStringList walk;
    for (int i = 0; i < 4; ++i) {
        if (i == 2)
            dlg.findNextButton()->click();
        else
            QTest::keyClick(dlg.searchEdit(), Qt::Key_Return);
        walk << avail->selectedItems().value(0)->text() + " " + dlg.findStatus()->text();
    }
    EXPECT_EQ(walk, QStringList({"B4 1 / 3", "B3 2 / 3", "B2 3 / 3", "B4 1 / 3"}));
    dlg.searchEdit()->setText("zz");
    QTest::keyClick(dlg.searchEdit(), Qt::Key_Return);
    EXPECT_TRUE(avail->selectedItems().isEmpty());
    EXPECT_EQ(dlg.findStatus()->text(), QString::fromUtf8("没有找到"));

    button(&dlg, "全选")->click();
    EXPECT_EQ(rows(sel), QStringList({"B1", "B4", "B3", "B2"}));
    EXPECT_EQ(avail->count(), 0);
    button(&dlg, "全删")->click();
    EXPECT_EQ(rows(avail), QStringList({"B1", "B4", "B3", "B2"}));
    EXPECT_TRUE(dlg.selected().empty());

    // A case without fault rows has no fault points. (A branch fault's key, ends and
    // position: the statement review's line fault.)
    cdb.setCaseName("sc2");
    SCPosSelDlg empty(cdb, SCPosList{{"B1", "", "", 0}}, nullptr);
    EXPECT_EQ(empty.availableList()->count() + empty.selectedList()->count(), 0);
}

TEST_P(PickerTest, CaseBrowserListsNumberedCalculatedCases) {
    db->exec("INSERT INTO SC_CASE (Case_No,Case_Name,calculate,Note) VALUES (8,'12',1,'twelve'),(9,'0',1,''),"
             "(10,'12x',1,''),(11,'-5',1,'')");
    CaseBrowseDlg dlg(cdb, nullptr);
    QTableWidget* t = dlg.table();
    ASSERT_EQ(t->columnCount(), 2);
    EXPECT_EQ(t->horizontalHeaderItem(0)->text(), QString::fromUtf8("作业名"));
    EXPECT_EQ(t->horizontalHeaderItem(1)->text(), QString::fromUtf8("作业描述"));
    QStringList listed;
    for (int i = 0; i < t->rowCount(); ++i)
        listed << t->item(i, 0)->text();
    EXPECT_EQ(listed, QStringList({"101", "3", "4", "12"}));
    EXPECT_EQ(t->item(3, 1)->text(), QString("twelve"));
    EXPECT_EQ(dlg.getSelectedCase(), -1);
    t->setCurrentCell(3, 1);
    EXPECT_EQ(dlg.getSelectedCase(), 12);
}

class ItemSelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kind.labels = {"a", "b", "c", "d", "e", "f", "g", "h"};
        kind.presets = {{2, 4}, {8, 1, 3}};
        vars[key] = {1, 3};
        tabNo[key] = 0;
    }
    std::unique_ptr<CLFRepItemSelDlg> open() {
        kind.key = key;
        return std::make_unique<CLFRepItemSelDlg>(kind, vars, tabNo, nullptr);
    }
    static QStringList orders(CLFRepItemSelDlg& d) {
        QStringList out;
        for (int i = 0; i < d.itemCount(); ++i)
            out << d.orderLabel(i)->text();
        return out;
    }
    std::string key = gb("母线电压");
    reportkinds::Kind kind;
    std::map<std::string, std::vector<int>> vars;
    std::map<std::string, int> tabNo;
};

TEST_F(ItemSelTest, CustomTableNumbersTicksWithoutGaps) {
    auto d = open();
    EXPECT_EQ(d->windowTitle(), QString::fromUtf8("母线电压"));
    EXPECT_TRUE(d->tableButton(0)->isChecked());
    EXPECT_EQ(orders(*d), QStringList({"  ", " 1", "  ", " 2", "  ", "  ", "  ", "  "}));
    d->tableButton(2)->click();
    EXPECT_EQ(d->tableButton(2)->text(), QString::fromUtf8("自制表"));
    EXPECT_EQ(orders(*d), QStringList(8, "  ")) << "the custom table starts empty";
    for (int i : {3, 0, 6})
        d->itemBox(i)->click();
    EXPECT_EQ(orders(*d), QStringList({" 2", "  ", "  ", " 1", "  ", "  ", " 3", "  "}));
    d->itemBox(0)->click();
    EXPECT_EQ(orders(*d), QStringList({"  ", "  ", "  ", " 1", "  ", "  ", " 2", "  "}));
    EXPECT_FALSE(d->itemBox(0)->isChecked());
    d->itemBox(1)->click();
    button(d.get(), "确定")->click();
    EXPECT_EQ(vars[key], (std::vector<int>{3, 6, 1}));
    EXPECT_EQ(tabNo[key], 2);

    // Opened again on the custom table: the stored order comes back.
    auto again = open();
    EXPECT_TRUE(again->tableButton(2)->isChecked());
    EXPECT_EQ(orders(*again), QStringList({"  ", " 3", "  ", " 1", "  ", "  ", " 2", "  "}));
}

TEST_F(ItemSelTest, AClickOnAPredefinedTableMakesItTheCustomOneAndCancelKeepsEverything) {
    auto d = open();
    for (int i = 0; i < d->itemCount(); ++i)
        EXPECT_TRUE(d->itemBox(i)->toolTip().contains(QString::fromUtf8("\n单位："))) << i;
    d->tableButton(1)->click();
    EXPECT_EQ(orders(*d), QStringList({" 2", "  ", " 3", "  ", "  ", "  ", "  ", " 1"}));
    d->itemBox(4)->click(); // joins the table's items, which become the custom table
    EXPECT_TRUE(d->tableButton(d->customTable())->isChecked());
    d->itemBox(0)->click();
    EXPECT_EQ(orders(*d), QStringList({"  ", "  ", " 2", "  ", " 3", "  ", "  ", " 1"}));
    button(d.get(), "取消")->click();
    EXPECT_EQ(vars[key], (std::vector<int>{1, 3}));
    EXPECT_EQ(tabNo[key], 0);

    auto ok = open();
    ok->tableButton(1)->click();
    button(ok.get(), "确定")->click();
    EXPECT_EQ(vars[key], (std::vector<int>{7, 0, 2}));
    EXPECT_EQ(tabNo[key], 1);
}

// A kind without presets has only the custom table, in the stored order; every item is
// reached and ticked from the keyboard.
TEST_F(ItemSelTest, KindWithoutPresetsAndTheKeyboard) {
    key = gb("支路两端的电压、\n电流和视在阻抗");
    kind.presets.clear();
    vars[key] = {5, 2};
    auto d = open();
    EXPECT_EQ(d->windowTitle(), QString::fromUtf8("支路两端的电压、电流和视在阻抗")) << "no line break";
    EXPECT_EQ(d->customTable(), 0);
    EXPECT_EQ(d->tableButton(1), nullptr);
    EXPECT_TRUE(d->tableButton(0)->isChecked());
    EXPECT_EQ(orders(*d), QStringList({"  ", "  ", " 2", "  ", "  ", " 1", "  ", "  "}));
    d->show();
    QApplication::setActiveWindow(d.get());
    d->itemBox(0)->setFocus(Qt::TabFocusReason);
    // Tab and Down both go through every item; Right goes to the next column (4 to a column).
    for (int i = 1; i < d->itemCount(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), i % 2 ? Qt::Key_Tab : Qt::Key_Down);
        ASSERT_EQ(QApplication::focusWidget(), d->itemBox(i)) << i;
    }
    d->itemBox(1)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(d->itemBox(1), Qt::Key_Right);
    EXPECT_EQ(QApplication::focusWidget(), d->itemBox(5));
    // Space ticks in the order pressed, after the stored items.
    for (int i : {6, 3})
        QTest::keyClick(d->itemBox(i), Qt::Key_Space);
    EXPECT_EQ(orders(*d), QStringList({"  ", "  ", " 2", " 4", "  ", " 1", " 3", "  "}));
}

INSTANTIATE_ON_BACKENDS(PickerTest);

} // namespace
