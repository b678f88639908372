#include "clfrepitemseldlg.h"

#include "db/log.h"
#include "db/textcodec.h"
#include "sc/reportkinds.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace {
const QString kBlank = QStringLiteral("  ");

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// What an item is, and its unit, for its tooltip: the labels are short codes.
QString itemTip(const std::string& key8, size_t i, const QString& label) {
    using reportkinds::kind;
    if (key8 == kind(reportkinds::ShortBra).key) {
        static const char* const tips[][2] = {
            {"正序短路电流：故障点的正序电流；支路行为流入该支路的正序电流", "标幺值，有名值时kA"},
            {"零序短路电流：故障点的零序电流；支路行为该支路的零序电流", "标幺值，有名值时kA"},
            {"正序短路容量", "MVA（两种单位下都是）"},
            {"零序短路容量", "MVA（两种单位下都是）"},
            {"正序短路阻抗：故障点的正序等值阻抗；支路行为从该支路看入的正序阻抗", "标幺值，有名值时欧姆"},
            {"正序短路阻抗的阻抗角", "度"},
            {"零序短路阻抗：故障点的零序等值阻抗；支路行为从该支路看入的零序阻抗", "标幺值，有名值时欧姆"},
            {"零序短路阻抗的阻抗角", "度"},
            {"正序综合阻抗：故障点同Z1K；支路行按故障点电流与该支路电流之和计算", "标幺值，有名值时欧姆"},
            {"正序综合阻抗的阻抗角", "度"},
            {"零序综合阻抗：故障点同Z0K；支路行按故障点电流与该支路电流之和计算", "标幺值，有名值时欧姆"},
            {"零序综合阻抗的阻抗角", "度"}};
        if (i < std::size(tips)) return label + u("：") + u(tips[i][0]) + u("\n单位：") + u(tips[i][1]);
    }
    const char* unit = label.contains(u("电压"))   ? "标幺值，有名值时kV"
                       : label.contains(u("电流")) ? "标幺值，有名值时kA"
                                                   : "标幺值，有名值时欧姆";
    if (key8 == kind(reportkinds::BranchEnds).key)
        return label + u("：支路I侧和J侧的") + QString(label).replace(u("零序序"), u("零序")) +
               u("，各一列，幅值 / 相角\n单位：") + u(unit) + u("；相角：度");
    const QString where = key8 == kind(reportkinds::BusVol).key ? u("故障时母线的") : u("故障时支路的");
    return label + u("：") + where + label + u("\n单位：") + (label.contains(u("相角")) ? u("度") : u(unit));
}
} // namespace

CLFRepItemSelDlg::CLFRepItemSelDlg(const reportkinds::Kind& kind,
                                   std::map<std::string, std::vector<int>>& objVars,
                                   std::map<std::string, int>& objTableNo, QWidget* parent)
    : QDialog(parent), m_key(kind.key), m_tables(kind.presets), m_objVars(objVars), m_objTableNo(objTableNo) {
    setModal(true);
    setObjectName(textcodec::fromLocal8(m_key));
    // The branch-end key holds a line break, which a title bar shows as a box.
    setWindowTitle(tr(textcodec::fromLocal8(m_key).toUtf8().constData()).remove('\n'));

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(10, 10, 10, 10);
    top->setSpacing(5);
    auto* row = new QWidget(this);
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(10, 10, 10, 10);
    rowLayout->setSpacing(5);
    top->addWidget(row);
    rowLayout->addWidget(createTableBox(row));
    rowLayout->addWidget(createItemBox(row, kind.labels), 1);
    top->addLayout(createOkCancel());
    showStored();
}

QGroupBox* CLFRepItemSelDlg::createTableBox(QWidget* parent) {
    auto* tabBox = new QGroupBox(parent);
    auto* tabLayout = new QVBoxLayout(tabBox);
    m_pTabGroup = new QButtonGroup(this);
    m_pTabGroup->setExclusive(true);
    for (size_t t = 0; t <= m_tables.size(); ++t) {
        const QString text =
            t < m_tables.size() ? QString::fromUtf8("表%1").arg(t + 1) : QString::fromUtf8("自制表");
        auto* b = new QRadioButton(text, tabBox);
        tabLayout->addWidget(b);
        m_pTabGroup->addButton(b, int(t));
        if (t == m_tables.size()) m_pCustomBtn = b;
    }
    tabLayout->addStretch(1);
    connect(m_pTabGroup, &QButtonGroup::idClicked, this, &CLFRepItemSelDlg::onChangeTab);
    return tabBox;
}

QGroupBox* CLFRepItemSelDlg::createItemBox(QWidget* parent, const std::vector<std::string>& labels) {
    // Items run down two columns.
    auto* itemBoxGroup = new QGroupBox(QString::fromUtf8("变量"), parent);
    auto* grid = new QGridLayout(itemBoxGroup);
    // No button group: Qt would make the items one Tab stop and send Down past them.
    const int perColumn = std::max(1, int(labels.size()) / 2);
    m_perColumn = perColumn;
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (size_t i = 0; i < labels.size(); ++i) {
        auto* cell = new QWidget(itemBoxGroup);
        auto* h = new QHBoxLayout(cell);
        h->setContentsMargins(0, 0, 0, 0);
        auto* order = new QLabel(kBlank, cell);
        order->setFont(fixed);
        order->setMinimumWidth(order->fontMetrics().horizontalAdvance(QStringLiteral("00")) + 2);
        auto* box = new QCheckBox(textcodec::fromLocal8(labels[i]), cell);
        box->setToolTip(itemTip(m_key, i, box->text()));
        h->addWidget(order);
        h->addWidget(box, 10000);
        grid->addWidget(cell, int(i) % perColumn, int(i) / perColumn);
        box->installEventFilter(this);
        connect(box, &QCheckBox::clicked, this, [this, i] { onChangeItem(int(i)); });
        connect(box, &QCheckBox::pressed, this, &CLFRepItemSelDlg::onPressed);
        connect(box, &QCheckBox::stateChanged, this, &CLFRepItemSelDlg::onStateChanged);
        m_boxes.push_back(box);
        m_order.push_back(order);
    }
    return itemBoxGroup;
}

QHBoxLayout* CLFRepItemSelDlg::createOkCancel() {
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(5, 5, 5, 5);
    buttons->setSpacing(20);
    auto* ok = new QPushButton(QString::fromUtf8("确定"), this);
    auto* cancel = new QPushButton(QString::fromUtf8("取消"), this);
    ok->setDefault(true);
    ok->setToolTip(QString::fromUtf8("按所选的列输出此报表（回车）"));
    cancel->setToolTip(QString::fromUtf8("不作改动（Esc）"));
    buttons->addWidget(ok);
    buttons->addStretch(1000);
    buttons->addWidget(cancel);
    connect(ok, &QPushButton::clicked, this, &CLFRepItemSelDlg::onOK);
    connect(cancel, &QPushButton::clicked, this, &CLFRepItemSelDlg::reject);
    return buttons;
}

void CLFRepItemSelDlg::showStored() {
    int tab = 0;
    if (auto t = m_objTableNo.find(m_key); t != m_objTableNo.end()) tab = t->second;
    screport::logDebug("sel tab idx is " + std::to_string(tab));
    if (tab < 0 || tab > customTable()) tab = 0; // a stored index this kind does not have
    m_pTabGroup->button(tab)->setChecked(true);
    onChangeTab(tab);
    if (tab == customTable()) {
        screport::logDebug("cotsum update!");
        int n = 0;
        if (auto v = m_objVars.find(m_key); v != m_objVars.end())
            for (int item : v->second) {
                if (item < 0 || item >= itemCount() || orderOf(item) > 0) continue;
                setOrder(item, ++n);
                m_boxes[size_t(item)]->setChecked(true);
            }
    } else {
        screport::logDebug("predefine trab");
    }
}

bool CLFRepItemSelDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    auto it = std::find(m_boxes.begin(), m_boxes.end(), watched);
    if (it == m_boxes.end()) return QDialog::eventFilter(watched, event);
    // The arrows move through the item grid: down the column, and across the columns.
    const int i = int(it - m_boxes.begin());
    int to = -1;
    switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Down:
        to = i + 1;
        break;
    case Qt::Key_Up:
        to = i - 1;
        break;
    case Qt::Key_Right:
        to = i + m_perColumn;
        break;
    case Qt::Key_Left:
        to = i - m_perColumn;
        break;
    default:
        return QDialog::eventFilter(watched, event);
    }
    if (to >= 0 && to < itemCount()) m_boxes[size_t(to)]->setFocus(Qt::TabFocusReason);
    return true;
}

QRadioButton* CLFRepItemSelDlg::tableButton(int t) const {
    return qobject_cast<QRadioButton*>(m_pTabGroup->button(t));
}

int CLFRepItemSelDlg::orderOf(int i) const {
    const QString t = m_order[size_t(i)]->text();
    return t == kBlank ? 0 : t.trimmed().toInt();
}

void CLFRepItemSelDlg::setOrder(int i, int n) {
    m_order[size_t(i)]->setText(n > 0 ? QString("%1").arg(n, 2) : kBlank);
}

void CLFRepItemSelDlg::onChangeTab(int t) {
    for (int i = 0; i < itemCount(); ++i) {
        setOrder(i, 0);
        m_boxes[size_t(i)]->setChecked(false);
    }
    if (t < 0 || t >= customTable()) return; // the custom table starts empty
    int j = 0;
    for (int n : m_tables[size_t(t)]) {
        const int i = n - 1;
        if (i < 0 || i >= itemCount()) continue;
        setOrder(i, ++j);
        m_boxes[size_t(i)]->setChecked(true);
    }
}

void CLFRepItemSelDlg::onChangeItem(int index) {
    screport::logDebug("onChangeItem : " + std::to_string(index));
}

void CLFRepItemSelDlg::onPressed() {
    m_bUserToggle = true;
}

void CLFRepItemSelDlg::onStateChanged(int state) {
    // Only a change the user made counts; the program's own ticks pass unnoticed.
    if (!m_bUserToggle) return;
    m_bUserToggle = false;
    auto* box = qobject_cast<QCheckBox*>(sender());
    auto it = std::find(m_boxes.begin(), m_boxes.end(), box);
    if (it == m_boxes.end()) return;
    const int i = int(it - m_boxes.begin());
    // Editing a predefined table makes it the custom table, starting from its items.
    m_pCustomBtn->setChecked(true);
    if (state == Qt::Checked) {
        int top = 0;
        for (int k = 0; k < itemCount(); ++k)
            top = std::max(top, orderOf(k));
        setOrder(i, top + 1);
    } else {
        const int old = orderOf(i);
        setOrder(i, 0);
        if (old > 0)
            for (int k = 0; k < itemCount(); ++k)
                if (orderOf(k) > old) setOrder(k, orderOf(k) - 1);
    }
}

void CLFRepItemSelDlg::onOK() {
    std::map<int, int> byOrder;
    for (int i = 0; i < itemCount(); ++i)
        if (orderOf(i) > 0) byOrder[orderOf(i)] = i;
    std::vector<int>& vars = m_objVars[m_key];
    vars.clear();
    for (const auto& [n, i] : byOrder) {
        (void)n;
        vars.push_back(i);
        screport::logDebug("add idx : " + std::to_string(i));
    }
    const int id = m_pTabGroup->checkedId();
    m_objTableNo[m_key] = id;
    screport::logDebug("save sel idx is " + std::to_string(id));
    accept();
}
