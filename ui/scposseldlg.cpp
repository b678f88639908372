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
#include <QSqlQuery>
#include <QVBoxLayout>
#include <set>

SCPosSelDlg::SCPosSelDlg(const SCPosList& current, QWidget* parent, const char* name, bool modal,
                         Qt::WindowFlags f)
    : QDialog(parent, f) {
    if (name) setObjectName(textcodec::fromLocal8(name));
    setModal(modal);
    setWindowTitle(QString::fromUtf8("故障点选择"));

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(10, 10, 10, 10);
    top->setSpacing(10);

    auto* lines = new QGroupBox(QString::fromUtf8("故障线路"), this);
    auto* h = new QHBoxLayout(lines);
    h->setContentsMargins(20, 20, 20, 20);
    h->setSpacing(10);

    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QString::fromUtf8("故障母线："), lines));
    m_pAvailList = new QListWidget(lines);
    m_pAvailList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    left->addWidget(m_pAvailList);
    h->addLayout(left, 1);

    auto* middle = new QGridLayout;
    middle->setContentsMargins(10, 10, 10, 10);
    middle->setSpacing(10);
    auto* selBtn = new QPushButton(QString::fromUtf8("选择"), lines);
    auto* clearBtn = new QPushButton(QString::fromUtf8("删除"), lines);
    auto* selAllBtn = new QPushButton(QString::fromUtf8("全选"), lines);
    auto* clearAllBtn = new QPushButton(QString::fromUtf8("全删"), lines);
    middle->addWidget(selBtn, 0, 0);
    middle->addWidget(clearBtn, 0, 1);
    middle->addWidget(selAllBtn, 1, 0);
    middle->addWidget(clearAllBtn, 1, 1);
    auto* find = new QGroupBox(QString::fromUtf8("查找"), lines);
    auto* findLayout = new QHBoxLayout(find);
    findLayout->addWidget(new QLabel(QString::fromUtf8("母线名"), find));
    m_pSearchEdit = new QLineEdit(find);
    findLayout->addWidget(m_pSearchEdit);
    middle->addWidget(find, 2, 0, 1, 2);
    auto* centre = new QVBoxLayout; // the buttons stay together at the top
    centre->addLayout(middle);
    centre->addStretch(1);
    h->addLayout(centre);

    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QString::fromUtf8("已选故障母线："), lines));
    m_pSelList = new QListWidget(lines);
    m_pSelList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    right->addWidget(m_pSelList);
    h->addLayout(right, 1);
    top->addWidget(lines, 1);

    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(QString::fromUtf8("确定"), this);
    auto* cancel = new QPushButton(QString::fromUtf8("取消"), this);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    top->addLayout(buttons);

    connect(selBtn, &QPushButton::clicked, this, &SCPosSelDlg::onSelect);
    connect(clearBtn, &QPushButton::clicked, this, &SCPosSelDlg::onClear);
    connect(selAllBtn, &QPushButton::clicked, this, &SCPosSelDlg::onSelAll);
    connect(clearAllBtn, &QPushButton::clicked, this, &SCPosSelDlg::onClearAll);
    connect(m_pSearchEdit, &QLineEdit::returnPressed, this, &SCPosSelDlg::onSearch);
    connect(m_pAvailList, &QListWidget::itemDoubleClicked, this, &SCPosSelDlg::onDoubleClicked_Sel);
    connect(m_pSelList, &QListWidget::itemDoubleClicked, this, &SCPosSelDlg::onDoubleClicked_unSel);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // Return in the search field searches; it must not also press a button.
    for (QPushButton* b : findChildren<QPushButton*>())
        b->setAutoDefault(false);

    load_scbuses(current);
    resize(640, 480);
}

void SCPosSelDlg::load_scbuses(const SCPosList& current) {
    screport::logDebug("load_scbuses!");
    std::set<std::string> chosen;
    for (const SCPos& p : current)
        chosen.insert(p.name);
    SqlStmt s;
    s << "select ID_Name,I_Name,J_Name,Percent from SCR_R120 where flg =1 and Case_No=";
    s.number(CDBUtility::m_CaseNo);
    QSqlQuery q = dbq::newQuery();
    if (dbq::exec(q, s)) {
        while (q.next()) {
            SCPos p;
            p.iName = dbq::text8(q.value(1));
            p.jName = dbq::text8(q.value(2));
            p.name = casechoices::faultKey(dbq::text8(q.value(0)), p.iName, p.jName, dbq::text8(q.value(3)));
            p.percent = dbq::toInt(q.value(3));
            (chosen.count(p.name) ? m_sel : m_avail).push_back(std::move(p));
        }
    } else {
        screport::logError(s.text());
    }
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
    m_pAvailList->clearSelection();
    for (int row = 0; row < m_pAvailList->count(); ++row) {
        QListWidgetItem* item = m_pAvailList->item(row);
        if (item->text().startsWith(text, Qt::CaseInsensitive)) {
            item->setSelected(true);
            m_pAvailList->setCurrentItem(item, QItemSelectionModel::NoUpdate);
            m_pAvailList->scrollToItem(item);
            break;
        }
    }
}
