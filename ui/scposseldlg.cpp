#include "scposseldlg.h"

#include "db/cdbutility.h"
#include "db/dbquery.h"
#include "db/log.h"
#include "db/textcodec.h"
#include "sc/casechoices.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

SCPosSelDlg::SCPosSelDlg(const CDBUtility& db, const SCPosList& current, QWidget* parent, const char* name,
                         bool modal, Qt::WindowFlags f)
    : QDialog(parent, f) {
    if (name) setObjectName(textcodec::fromLocal8(name));
    setModal(modal);
    setWindowTitle(QString::fromUtf8("故障点选择"));

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(10, 10, 10, 10);
    top->setSpacing(10);
    top->addWidget(createPointLists(), 1);
    top->addLayout(createOkCancel());
    // Return in the search field searches; it must not also press a button.
    for (QPushButton* b : findChildren<QPushButton*>())
        b->setAutoDefault(false);

    load_scbuses(db, current);
    resize(640, 480);
}

QGroupBox* SCPosSelDlg::createPointLists() {
    auto* lines = new QGroupBox(QString::fromUtf8("故障点"), this); // buses and points inside branches
    auto* h = new QHBoxLayout(lines);
    h->setContentsMargins(20, 20, 20, 20);
    h->setSpacing(10);

    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QString::fromUtf8("故障母线："), lines));
    m_pAvailList = new QListWidget(lines);
    m_pAvailList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pAvailList->setToolTip(QString::fromUtf8("本作业可选的故障点"));
    left->addWidget(m_pAvailList);
    h->addLayout(left, 1);

    auto* centre = new QVBoxLayout; // the buttons stay together at the top
    centre->addLayout(createMoveButtons(lines));
    centre->addStretch(1);
    h->addLayout(centre);

    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QString::fromUtf8("已选故障母线："), lines));
    m_pSelList = new QListWidget(lines);
    m_pSelList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pSelList->setToolTip(QString::fromUtf8("要输出的故障点，按此顺序输出"));
    right->addWidget(m_pSelList);
    h->addLayout(right, 1);
    connect(m_pAvailList, &QListWidget::itemDoubleClicked, this, &SCPosSelDlg::onDoubleClicked_Sel);
    connect(m_pSelList, &QListWidget::itemDoubleClicked, this, &SCPosSelDlg::onDoubleClicked_unSel);
    return lines;
}

QGridLayout* SCPosSelDlg::createMoveButtons(QWidget* parent) {
    auto* middle = new QGridLayout;
    middle->setContentsMargins(10, 10, 10, 10);
    middle->setSpacing(10);
    auto* selBtn = new QPushButton(QString::fromUtf8("选择"), parent);
    auto* clearBtn = new QPushButton(QString::fromUtf8("删除"), parent);
    auto* selAllBtn = new QPushButton(QString::fromUtf8("全选"), parent);
    auto* clearAllBtn = new QPushButton(QString::fromUtf8("全删"), parent);
    middle->addWidget(selBtn, 0, 0);
    middle->addWidget(clearBtn, 0, 1);
    middle->addWidget(selAllBtn, 1, 0);
    middle->addWidget(clearAllBtn, 1, 1);
    selBtn->setToolTip(QString::fromUtf8("把左边选中的故障点移到右边（或双击）"));
    clearBtn->setToolTip(QString::fromUtf8("把右边选中的故障点移回左边（或双击）"));
    selAllBtn->setToolTip(QString::fromUtf8("选择全部故障点"));
    clearAllBtn->setToolTip(QString::fromUtf8("删除全部已选故障点"));
    connect(selBtn, &QPushButton::clicked, this, &SCPosSelDlg::onSelect);
    connect(clearBtn, &QPushButton::clicked, this, &SCPosSelDlg::onClear);
    connect(selAllBtn, &QPushButton::clicked, this, &SCPosSelDlg::onSelAll);
    connect(clearAllBtn, &QPushButton::clicked, this, &SCPosSelDlg::onClearAll);
    middle->addWidget(createFindBox(parent), 2, 0, 1, 2);
    return middle;
}

QGroupBox* SCPosSelDlg::createFindBox(QWidget* parent) {
    auto* find = new QGroupBox(QString::fromUtf8("查找"), parent);
    auto* findLayout = new QHBoxLayout(find);
    findLayout->addWidget(new QLabel(QString::fromUtf8("母线名"), find));
    m_pSearchEdit = new QLineEdit(find);
    m_pSearchEdit->setToolTip(QString::fromUtf8("母线名的开头（不分大小写）；回车查找，再按回车到下一个"));
    findLayout->addWidget(m_pSearchEdit);
    m_pFindNextBtn = new QPushButton(QString::fromUtf8("下一个"), find);
    m_pFindNextBtn->setToolTip(QString::fromUtf8("下一个以此开头的母线"));
    findLayout->addWidget(m_pFindNextBtn);
    m_pFindStatus = new QLabel(find);
    m_pFindStatus->setObjectName("findStatus");
    findLayout->addWidget(m_pFindStatus);
    connect(m_pSearchEdit, &QLineEdit::returnPressed, this, &SCPosSelDlg::onSearch);
    connect(m_pFindNextBtn, &QPushButton::clicked, this, [this] { findFrom(m_findRow + 1); });
    return find;
}

QHBoxLayout* SCPosSelDlg::createOkCancel() {
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(QString::fromUtf8("确定"), this);
    auto* cancel = new QPushButton(QString::fromUtf8("取消"), this);
    ok->setToolTip(QString::fromUtf8("使用右边的故障点"));
    cancel->setToolTip(QString::fromUtf8("不作改动（Esc）"));
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    return buttons;
}

void SCPosSelDlg::load_scbuses(const CDBUtility& db, const SCPosList& current) {
    screport::logDebug("load_scbuses!");
    std::set<std::string> chosen;
    for (const SCPos& p : current)
        chosen.insert(p.name);
    // In fault-number order, the order of the case's calculation.
    for (SCPos& p : casechoices::allFaultPoints(db.getCaseNo()))
        (chosen.count(p.name) ? m_sel : m_avail).push_back(std::move(p));
    fill(m_pAvailList, m_avail);
    fill(m_pSelList, m_sel);
    screport::logDebug("sc_pos size is " + std::to_string(m_sel.size()) + ", av size is " +
                       std::to_string(m_avail.size()));
}

void SCPosSelDlg::fill(QListWidget* list, const SCPosList& records) {
    list->setUpdatesEnabled(false);
    list->clear();
    QStringList names;
    names.reserve(int(records.size()));
    for (const SCPos& p : records)
        names << textcodec::fromLocal8(p.name);
    list->addItems(names);
    list->setUpdatesEnabled(true);
}

void SCPosSelDlg::moveSelected(QListWidget* fromList, SCPosList& from, QListWidget* toList, SCPosList& to) {
    SCPosList keep;
    bool moved = false;
    for (int row = 0; row < fromList->count() && row < int(from.size()); ++row) {
        if (fromList->item(row)->isSelected()) {
            to.push_back(from[size_t(row)]);
            moved = true;
        } else {
            keep.push_back(from[size_t(row)]);
        }
    }
    if (!moved) return;
    from.swap(keep);
    // Rebuilding both lists is linear; taking rows out one by one is not.
    fill(fromList, from);
    fill(toList, to);
}

void SCPosSelDlg::moveAll(QListWidget* fromList, SCPosList& from, QListWidget* toList, SCPosList& to) {
    to.insert(to.end(), from.begin(), from.end());
    from.clear();
    fill(fromList, from);
    fill(toList, to);
}

void SCPosSelDlg::onSelect() {
    screport::logDebug("onSelect!");
    moveSelected(m_pAvailList, m_avail, m_pSelList, m_sel);
}

void SCPosSelDlg::onClear() {
    moveSelected(m_pSelList, m_sel, m_pAvailList, m_avail);
}

void SCPosSelDlg::onSelAll() {
    moveAll(m_pAvailList, m_avail, m_pSelList, m_sel);
}

void SCPosSelDlg::onClearAll() {
    moveAll(m_pSelList, m_sel, m_pAvailList, m_avail);
}

void SCPosSelDlg::onDoubleClicked_Sel(QListWidgetItem* item) {
    (void)item;
    screport::logDebug("onDoubleClicked");
    onSelect();
}

void SCPosSelDlg::onDoubleClicked_unSel(QListWidgetItem* item) {
    (void)item;
    screport::logDebug("onDoubleClicked");
    onClear();
}

void SCPosSelDlg::onSearch() {
    const QString text = m_pSearchEdit->text();
    screport::logDebug("onSearCh:" + textcodec::toLocal8(text));
    // Return again on the same text steps to the next row that begins with it.
    const bool again = text == m_findText && m_findRow >= 0;
    m_findText = text;
    findFrom(again ? m_findRow + 1 : 0);
}

void SCPosSelDlg::findFrom(int start) {
    const QString text = m_pSearchEdit->text();
    m_findText = text;
    m_pAvailList->clearSelection();
    std::vector<int> rows;
    for (int row = 0; row < m_pAvailList->count(); ++row)
        if (m_pAvailList->item(row)->text().startsWith(text, Qt::CaseInsensitive)) rows.push_back(row);
    m_findRow = -1;
    if (rows.empty()) {
        m_pFindStatus->setText(QString::fromUtf8("没有找到"));
        return;
    }
    // After the last match the walk starts again at the first.
    auto at = std::lower_bound(rows.begin(), rows.end(), start);
    if (at == rows.end()) at = rows.begin();
    m_findRow = *at;
    QListWidgetItem* item = m_pAvailList->item(m_findRow);
    item->setSelected(true);
    m_pAvailList->setCurrentItem(item, QItemSelectionModel::NoUpdate);
    m_pAvailList->scrollToItem(item);
    m_pFindStatus->setText(QString("%1 / %2").arg(int(at - rows.begin()) + 1).arg(rows.size()));
}
