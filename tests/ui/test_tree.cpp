// The network tree: lazy levels, folders only with content, search and its queue.
#include "db/textcodec.h"
#include "ui/tree/sccommtreeview.h"
#include "uitest.h"

using uitest::UiTest;

namespace {

QStringList texts(const QTreeWidgetItem* parent) {
    QStringList out;
    for (int i = 0; i < parent->childCount(); ++i)
        out << parent->child(i)->text(0);
    return out;
}

QTreeWidgetItem* child(const QTreeWidgetItem* parent, const char* utf8) {
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == QString::fromUtf8(utf8)) return parent->child(i);
    return nullptr;
}

// Texts separated by "|".
QStringList list(const char* utf8) {
    return QString::fromUtf8(utf8).split('|');
}

// Double-clicks the item as a user would.
void doubleClick(QTreeWidget& tree, QTreeWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    tree.scrollToItem(item);
    const QPoint p = tree.visualItemRect(item).center();
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, p);
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, p);
}

class TreeTest : public UiTest {};

TEST_P(TreeTest, LevelsLoadOnDoubleClickOnceAndFoldersOnlyWithContent) {
    uitest::addNetwork(*db);
    open();
    SCCommTreeView tree(cdb);
    tree.resize(400, 800);
    tree.show();
    QTreeWidgetItem* root = tree.rootItem();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->text(0), QString::fromUtf8("全部"));
    EXPECT_FALSE(root->data(0, Qt::CheckStateRole).isValid()) << "no check box: a tick would choose nothing";
    EXPECT_EQ(texts(root), list("华东|华北|区域间交流线|区域间直流线"));
    EXPECT_EQ(texts(child(root, "区域间交流线")), list("L15"));
    EXPECT_EQ(texts(child(root, "区域间直流线")), list("D25"));
    EXPECT_EQ(child(root, "华东")->childCount(), 0) << "levels load on demand";

    QTreeWidgetItem* east = child(root, "华东");
    doubleClick(tree, east);
    doubleClick(tree, east);
    EXPECT_EQ(texts(east), list("分区间交流线|Z1|Z2")) << "a second double click reloads, never doubles";
    EXPECT_TRUE(east->isExpanded());
    EXPECT_EQ(texts(child(east, "分区间交流线")), list("L14"));

    // The arrow, or Return, on a level never read reads it too; Return again closes it.
    QTreeWidgetItem* z2 = child(east, "Z2");
    EXPECT_EQ(z2->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    tree.setCurrentItem(z2);
    QTest::keyClick(&tree, Qt::Key_Return);
    EXPECT_EQ(texts(z2), list("S3"));
    QTest::keyClick(&tree, Qt::Key_Return);
    EXPECT_FALSE(z2->isExpanded());

    QTreeWidgetItem* z1 = child(east, "Z1");
    doubleClick(tree, z1);
    EXPECT_EQ(texts(z1), list("厂站间交流线|S1|S2"));
    EXPECT_EQ(texts(child(z1, "厂站间交流线")), list("L13"));

    QTreeWidgetItem* s1 = child(z1, "S1");
    doubleClick(tree, s1);
    // No loads at S1: no "负荷" folder; the non-physical bus B1x is not a physical bus.
    EXPECT_EQ(texts(s1), list("物理母线|发电机|厂站内交流线"));
    EXPECT_EQ(texts(child(s1, "物理母线")), list("B1|B2"));
    EXPECT_EQ(texts(child(s1, "发电机")), list("G1|G2")) << "two records of G1 are one generator";
    EXPECT_EQ(texts(child(s1, "厂站内交流线")), list("L12"));

    QTreeWidgetItem* s2 = child(z1, "S2");
    doubleClick(tree, s2);
    EXPECT_EQ(texts(s2), list("物理母线|负荷"));

    // A folder rebuilds in its place.
    doubleClick(tree, child(s1, "发电机"));
    EXPECT_EQ(texts(s1), list("物理母线|发电机|厂站内交流线"));
    EXPECT_EQ(texts(child(s1, "发电机")), list("G1|G2"));
    EXPECT_TRUE(child(s1, "发电机")->isExpanded());

    // The root reloads everything; the area maps forget the deleted items.
    doubleClick(tree, tree.rootItem());
    EXPECT_EQ(texts(tree.rootItem()), list("华东|华北|区域间交流线|区域间直流线"));
    EXPECT_EQ(tree.findItem(CommTreeView::kZone, "Z1"), nullptr);
    EXPECT_NE(tree.findItem(CommTreeView::kArea, testdb::gb("华东")), nullptr);
    EXPECT_TRUE(log.errors.empty()) << log.errors.front();
}

TEST_P(TreeTest, BackupSuffixReachesEveryStatement) {
    uitest::addNetwork(*db, "BAK"); // only the backup copy has a network
    open();
    cdb.setTableSuffix("BAK");
    SCCommTreeView tree(cdb);
    EXPECT_EQ(texts(tree.rootItem()), list("华东|华北|区域间交流线|区域间直流线"));
    tree.expandItem(child(tree.rootItem(), "华东"));
    QTreeWidgetItem* z1 = child(child(tree.rootItem(), "华东"), "Z1");
    tree.expandItem(z1);
    tree.expandItem(child(z1, "S1"));
    EXPECT_EQ(texts(child(z1, "S1")), list("物理母线|发电机|厂站内交流线"));
    EXPECT_EQ(tree.search(testdb::gb("发电机"), "G"), 1);
    EXPECT_EQ(tree.currentItem()->text(0), QString("G1"));
    EXPECT_TRUE(log.errors.empty()) << log.errors.front();
}

TEST_P(TreeTest, SearchWalksTheMatchesThroughEveryLinePlacement) {
    uitest::addNetwork(*db);
    open();
    SCCommTreeView tree(cdb);
    // L12 inside S1, L13 between stations, L14 between zones, L15 between areas.
    // "matches left, path of the current item".
    auto at = [&](int left) {
        QStringList path;
        for (QTreeWidgetItem* it = tree.currentItem(); it; it = it->parent())
            path.prepend(it->text(0));
        return QString::number(left) + " " + path.join('/');
    };
    auto u = [](const char* utf8) { return QString::fromUtf8(utf8); };
    EXPECT_EQ(at(tree.search(testdb::gb("交流线"), "L1")), u("3 全部/华东/Z1/S1/厂站内交流线/L12"));
    EXPECT_TRUE(tree.currentItem()->isSelected());
    EXPECT_EQ(at(tree.searchNext()), u("2 全部/华东/Z1/厂站间交流线/L13"));
    EXPECT_FALSE(tree.findItem(CommTreeView::kStation, "S1")->isExpanded())
        << "only the path of the match is open";
    EXPECT_EQ(tree.selectedItems().size(), 1);
    EXPECT_EQ(at(tree.searchNext()), u("1 全部/华东/分区间交流线/L14"));
    EXPECT_EQ(at(tree.searchNext()), u("0 全部/区域间交流线/L15"));
    EXPECT_EQ(tree.searchNext(), 0) << "an empty queue stays empty";

    EXPECT_EQ(at(tree.search(testdb::gb("物理母线"), "B4")), u("0 全部/华东/Z2/S3/物理母线/B4"));
    EXPECT_EQ(at(tree.search(testdb::gb("区域"), testdb::gb("华北"))), u("0 全部/华北"));
    EXPECT_EQ(at(tree.search(testdb::gb("分区"), "Z3")), u("0 全部/华北/Z3"));

    EXPECT_EQ(tree.search(testdb::gb("变电站"), "x"), 0);
    EXPECT_TRUE(logged(true, testdb::gb("不能找到类型:变电站!")));
    EXPECT_EQ(tree.search(testdb::gb("物理母线"), ""), 0);
}

INSTANTIATE_ON_BACKENDS(TreeTest);

} // namespace
