#include "commtreeview.h"

#include "db/cdbutility.h"
#include "db/dbquery.h"
#include "db/log.h"
#include "db/textcodec.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>
#include <climits>
#include <functional>
#include <set>
#include <tuple>

using textcodec::gb;

CommTreeView* g_pCommTree = nullptr;

namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kNameRole = Qt::UserRole + 1;
constexpr int kLoadedRole = Qt::UserRole + 2;

std::map<int, CommTreeView::Kind>& registry() {
    static std::map<int, CommTreeView::Kind> r;
    return r;
}

std::map<std::string, int>& labelCodes() {
    static std::map<std::string, int> r;
    return r;
}

const CommTreeView::Kind& kind(int code) {
    static const CommTreeView::Kind none;
    auto it = registry().find(code);
    return it == registry().end() ? none : it->second;
}

bool isLineKind(const std::string& label8) {
    return label8 == gb("交流线") || label8 == gb("直流线");
}

} // namespace

CommTreeView::CommTreeView(const CDBUtility& db, QWidget* parent, const char* name, Qt::WindowFlags f)
    : QTreeWidget(parent), m_db(db) {
    setWindowFlags(windowFlags() | f);
    if (name) setObjectName(textcodec::fromLocal8(name));
    setColumnCount(1);
    setHeaderLabels({QString()});
    setHeaderHidden(true); // one unnamed column: a header would be an empty bar
    setSortingEnabled(false);
    setRootIsDecorated(true);
    header()->setStretchLastSection(true);
    // Levels load on double click; Qt's own expand-on-double-click would fight it.
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* it, int) { onDoubleClicked(it); });
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* it, int) { onSelectChanged(it); });
    // Opening a level that was never read by its arrow reads it, as a double click does.
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* it) {
        const int k = kindOf(it);
        if ((k == kArea || k == kZone || k == kStation) && !it->data(0, kLoadedRole).toBool()) expandItem(it);
    });

    auto folder = [this](int code, int parent, const char* label) {
        Kind k;
        k.parent = parent;
        k.label = gb(label);
        registerKind(code, k);
    };
    auto level = [this](int code, int parent, const char* label, const char* table, const char* nameCol) {
        Kind k;
        k.parent = parent;
        k.label = gb(label);
        k.table = table;
        k.nameCol = nameCol;
        k.idCol = "ID";
        registerKind(code, k);
    };
    folder(kRoot, 0, "全部");
    folder(kAreaACLines, kRoot, "区域间交流线");
    folder(kAreaDCLines, kRoot, "区域间直流线");
    level(kArea, kRoot, "区域", "CDB_AREAS", "Area_Name");
    level(kZone, kArea, "分区", "CDB_ZONE", "Zone_Name");
    folder(kZoneACLines, kArea, "分区间交流线");
    folder(kZoneDCLines, kArea, "分区间直流线");
    folder(kStationACLines, kZone, "厂站间交流线");
    folder(kStationDCLines, kZone, "厂站间直流线");
    level(kStation, kZone, "厂站", "CDB_PSTATION", "PS_Name");
    folder(14, kStation, "两绕组变压器");
    folder(16, kStation, "三绕组变压器");
    folder(18, kStation, "发电机");
    folder(20, kStation, "负荷");
    folder(22, kStation, "串联电容电抗器");
    folder(24, kStation, "并联电容电抗器");
    folder(26, kStation, "移相变压器");
    folder(28, kStation, "开关");
    folder(30, kStation, "刀闸");
    folder(kBusFolder, kStation, "物理母线");
    folder(kInnerACFolder, kStation, "厂站内交流线");
    folder(kInnerDCFolder, kStation, "厂站内直流线");
}

CommTreeView::~CommTreeView() {
    if (g_pCommTree == this) g_pCommTree = nullptr;
}

const std::string& CommTreeView::sfx() const {
    return m_db.getTableSuffix();
}

void CommTreeView::registerKind(int code, const Kind& k) {
    Kind r = k;
    if (!r.table.empty()) r.table += sfx();
    registry()[code] = r;
    if (!k.table.empty()) registerLabel(k.label, code);
}

void CommTreeView::registerLabel(const std::string& label8, int code) {
    labelCodes()[label8] = code;
}

const std::map<int, CommTreeView::Kind>& CommTreeView::kindRegistry() {
    return registry();
}
const std::map<std::string, int>& CommTreeView::kindCodes() {
    return labelCodes();
}

int CommTreeView::kindOf(const QTreeWidgetItem* item) {
    return item ? item->data(0, kKindRole).toInt() : 0;
}

std::string CommTreeView::nameOf(const QTreeWidgetItem* item) {
    return item ? item->data(0, kNameRole).toByteArray().toStdString() : std::string();
}

QTreeWidgetItem* CommTreeView::findItem(int kindCode, const std::string& name8) const {
    auto k = m_byName.find(kindCode);
    if (k == m_byName.end()) return nullptr;
    auto it = k->second.find(name8);
    return it == k->second.end() ? nullptr : it->second;
}

QTreeWidgetItem* CommTreeView::findFolder(QTreeWidgetItem* parent, int folderKind) const {
    if (!parent) return nullptr;
    const QString label = textcodec::fromLocal8(kind(folderKind).label);
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == label && kindOf(parent->child(i)) == folderKind)
            return parent->child(i);
    return nullptr;
}

QTreeWidgetItem* CommTreeView::newItem(QTreeWidgetItem* parent, int kindCode, const std::string& name8,
                                       int insertAt) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, textcodec::fromLocal8(name8));
    item->setData(0, kKindRole, kindCode);
    item->setData(0, kNameRole, QByteArray::fromStdString(name8));
    if (parent) {
        if (insertAt >= 0 && insertAt <= parent->childCount())
            parent->insertChild(insertAt, item);
        else
            parent->addChild(item);
    } else {
        addTopLevelItem(item);
    }
    m_byName[kindCode][name8] = item;
    return item;
}

void CommTreeView::forget(QTreeWidgetItem* item) {
    auto k = m_byName.find(kindOf(item));
    if (k != m_byName.end()) {
        auto it = k->second.find(nameOf(item));
        if (it != k->second.end() && it->second == item) k->second.erase(it);
    }
    for (int i = 0; i < item->childCount(); ++i)
        forget(item->child(i));
}

void CommTreeView::removeChildren(QTreeWidgetItem* item) {
    for (int i = 0; i < item->childCount(); ++i)
        forget(item->child(i));
    const QList<QTreeWidgetItem*> children = item->takeChildren();
    qDeleteAll(children);
}

void CommTreeView::removeItem(QTreeWidgetItem* item) {
    forget(item);
    delete item;
}

void CommTreeView::createRootItem() {
    m_byName.clear();
    clear();
    m_root = newItem(nullptr, kRoot, kind(kRoot).label);
    decorate(m_root);
}

void CommTreeView::reloadRoot() {
    createRootItem();
    SqlStmt s;
    s << "select Area_Name from CDB_AREAS" << sfx();
    fillRows(m_root, kArea, s);
    fillFolder(m_root, kAreaACLines, kACLine, betweenAreas(kACLine), 0);
    fillFolder(m_root, kAreaDCLines, kDCLine, betweenAreas(kDCLine), 0);
    m_root->setExpanded(true);
}

void CommTreeView::fillRows(QTreeWidgetItem* parent, int kindCode, const SqlStmt& s) {
    dbq::Query q(m_db.connection());
    if (!q.exec(s)) {
        screport::logError(s.text());
        return;
    }
    while (q.next()) {
        QTreeWidgetItem* item = newItem(parent, kindCode, q.text8(0));
        // Not read yet: show that there is something to open.
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        decorate(item);
    }
}

QTreeWidgetItem* CommTreeView::childNamed(QTreeWidgetItem* parent, int kindCode,
                                          const std::string& name8) const {
    if (!parent) return nullptr;
    for (int i = 0; i < parent->childCount(); ++i) {
        QTreeWidgetItem* c = parent->child(i);
        if (kindOf(c) == kindCode && nameOf(c) == name8) return c;
    }
    return nullptr;
}

void CommTreeView::showRootOnly() {
    if (!m_root) return reloadRoot();
    collapseAll();
    clearSelection();
    m_root->setExpanded(true);
}

void CommTreeView::openLevel(QTreeWidgetItem* item) {
    if (item->data(0, kLoadedRole).toBool())
        item->setExpanded(true);
    else
        expandItem(item);
}

void CommTreeView::markLoaded(QTreeWidgetItem* item) {
    item->setData(0, kLoadedRole, true);
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

QTreeWidgetItem* CommTreeView::fillFolder(QTreeWidgetItem* parent, int folderKind, int elemKind,
                                          const SqlStmt& s, int nameCol, int insertAt) {
    dbq::Query q(m_db.connection());
    if (!q.exec(s)) {
        screport::logError(s.text());
        return nullptr;
    }
    QTreeWidgetItem* folder = nullptr;
    QList<QTreeWidgetItem*> rows;
    while (q.next()) {
        if (!folder) folder = newItem(parent, folderKind, kind(folderKind).label, insertAt);
        const std::string name8 = q.text8(nameCol);
        auto* item = new QTreeWidgetItem;
        item->setText(0, textcodec::fromLocal8(name8));
        item->setData(0, kKindRole, elemKind);
        item->setData(0, kNameRole, QByteArray::fromStdString(name8));
        decorate(item);
        m_byName[elemKind][name8] = item;
        rows << item;
    }
    // One insertion for the whole folder: a large folder stays fast.
    if (folder) folder->addChildren(rows);
    return folder;
}

QTreeWidgetItem* CommTreeView::refillFolder(QTreeWidgetItem* folder, int elemKind, const SqlStmt& s,
                                            int nameCol) {
    QTreeWidgetItem* parent = folder->parent();
    if (!parent) return nullptr;
    const int at = parent->indexOfChild(folder);
    const int folderKind = kindOf(folder);
    removeItem(folder);
    return fillFolder(parent, folderKind, elemKind, s, nameCol, at);
}

// --- statements -------------------------------------------------------------------

SqlStmt CommTreeView::betweenAreas(int lineKind) const {
    const Kind& k = kind(lineKind);
    const std::string sf = sfx();
    SqlStmt s;
    s << "select a.ID_Name,a." << k.idCol << " from " << k.table << " a,CDB_NODE" << sf << " nd1,CDB_NODE"
      << sf << " nd2,CDB_PSTATION" << sf << " ps1,CDB_PSTATION" << sf << " ps2,CDB_ZONE" << sf
      << " z1,CDB_ZONE" << sf << " z2 where a.I_Name=nd1.Node_Name "
      << " and a.J_Name=nd2.Node_Name and ps1.PS_Name=nd1.PS_Name and ps2.PS_Name=nd2.PS_Name and "
      << " ps1.Zone_No=z1.Zone_No and ps2.Zone_No=z2.Zone_No and z1.Area_No!=z2.Area_No order by ID_Name";
    return s;
}

SqlStmt CommTreeView::betweenZones(int lineKind, const std::string& area8) const {
    const Kind& k = kind(lineKind);
    const std::string sf = sfx();
    SqlStmt s;
    s << "select a.ID_Name,a." << k.idCol << " from " << k.table << " a,CDB_NODE" << sf << " nd1,CDB_NODE"
      << sf << " nd2,CDB_PSTATION" << sf << " ps1,CDB_PSTATION" << sf << " ps2,CDB_ZONE" << sf
      << " z1,CDB_ZONE" << sf << " z2,CDB_AREAS" << sf << " a1 where "
      << "a.I_Name=nd1.Node_Name "
      << " and a.J_Name=nd2.Node_Name and ps1.PS_Name=nd1.PS_Name and ps2.PS_Name=nd2.PS_Name and "
      << " ps1.Zone_No=z1.Zone_No and ps2.Zone_No=z2.Zone_No and z1.Zone_No!=z2.Zone_No "
      << " and z1.Area_No=a1.Area_No and z1.Area_No=z2.Area_No and a1.Area_Name=";
    s.str(area8);
    s << " order by ID_Name";
    return s;
}

SqlStmt CommTreeView::betweenStations(int lineKind, const std::string& zone8) const {
    const Kind& k = kind(lineKind);
    const std::string sf = sfx();
    SqlStmt s;
    s << "select a.ID_Name,a." << k.idCol << " from " << k.table << " a,CDB_NODE" << sf << " nd1,CDB_NODE"
      << sf << " nd2,CDB_PSTATION" << sf << " ps1,CDB_PSTATION" << sf << " ps2,CDB_ZONE" << sf << " z1 where "
      << "a.I_Name=nd1.Node_Name "
      << " and a.J_Name=nd2.Node_Name and ps1.PS_Name=nd1.PS_Name and ps2.PS_Name=nd2.PS_Name and "
      << " ps1.Zone_No=z1.Zone_No and ps1.Zone_No=ps2.Zone_No and z1.Zone_Name=";
    s.str(zone8);
    s << " and nd1.PS_Name!=nd2.PS_Name order by ID_Name";
    return s;
}

SqlStmt CommTreeView::insideStation(int lineKind, const std::string& station8) const {
    const Kind& k = kind(lineKind);
    const std::string sf = sfx();
    SqlStmt s;
    s << "select a." << k.idCol << ",a." << k.nameCol << " from " << k.table << " a,CDB_NODE" << sf
      << " b1 ,CDB_NODE" << sf << " b2 where "
      << " a.I_Name=b1.Node_Name and a.J_Name=b2.Node_Name and b1.PS_Name=b2.PS_Name and b1.PS_Name=";
    s.str(station8);
    s << " order by a." << k.nameCol;
    return s;
}

SqlStmt CommTreeView::busesOfStation(int busKind, const std::string& station8) const {
    const Kind& k = kind(busKind);
    SqlStmt s;
    s << "select a." << k.idCol << ",a." << k.nameCol << " from " << k.table << " a,CDB_NODE" << sfx()
      << " b where " << m_busCond << "a." << k.nodeCol << "=b.Node_Name and b.PS_Name=";
    s.str(station8);
    s << " order by a." << k.nameCol;
    return s;
}

SqlStmt CommTreeView::elementsOfStation(int elemKind, const std::string& station8) const {
    const Kind& k = kind(elemKind);
    SqlStmt s;
    s << "select a." << k.idCol << ",a." << k.nameCol << " from " << k.table << " a,CDB_NODE" << sfx()
      << " b where a." << k.nodeCol << "=b.Node_Name and b.PS_Name=";
    s.str(station8);
    // An element connected at several buses of the station is listed once.
    s << " group by a." << k.nameCol << " order by a." << k.nameCol;
    return s;
}

// --- expansion ----------------------------------------------------------------------

void CommTreeView::onDoubleClicked(QTreeWidgetItem* item) {
    screport::logDebug("onDoubleClicked!");
    expandItem(item);
}

void CommTreeView::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return QTreeWidget::keyPressEvent(event);
    event->accept();
    // Opening a level that was never read reads it (itemExpanded).
    if (QTreeWidgetItem* item = currentItem()) item->setExpanded(!item->isExpanded());
}

void CommTreeView::onSelectChanged(QTreeWidgetItem* item) {
    (void)item;
}

void CommTreeView::expandItem(QTreeWidgetItem* item) {
    if (!item) return;
    const int k = kindOf(item);
    QTreeWidgetItem* parent = item->parent();
    const std::string parentName = nameOf(parent);
    QTreeWidgetItem* opened = item;
    switch (k) {
    case kRoot:
        reloadRoot();
        return;
    case kAreaACLines:
    case kAreaDCLines: {
        const int line = k == kAreaACLines ? kACLine : kDCLine;
        opened = refillFolder(item, line, betweenAreas(line), 0);
        break;
    }
    case kArea:
        expandArea(item);
        break;
    case kZone:
        expandZone(item);
        break;
    case kZoneACLines:
    case kZoneDCLines: {
        screport::logDebug("Zone_ACLine_item");
        const int line = k == kZoneACLines ? kACLine : kDCLine;
        opened = refillFolder(item, line, betweenZones(line, parentName), 0);
        break;
    }
    case kStationACLines:
    case kStationDCLines: {
        const int line = k == kStationACLines ? kACLine : kDCLine;
        opened = refillFolder(item, line, betweenStations(line, parentName), 0);
        break;
    }
    case kStation:
        expandStation(item);
        break;
    case kBusFolder:
        opened = refillFolder(item, kBus, busesOfStation(kBus, parentName), 1);
        break;
    case kInnerACFolder:
    case kInnerDCFolder: {
        const int line = k == kInnerACFolder ? kInnerACLine : kInnerDCLine;
        opened = refillFolder(item, line, insideStation(line, parentName), 1);
        break;
    }
    case kInnerACLine:
    case kInnerDCLine: {
        if (k == kInnerACLine) screport::logDebug("Internal_ACLine_item !");
        // The line's folder is listed again from the lines that leave the station.
        QTreeWidgetItem* station = parent ? parent->parent() : nullptr;
        opened = station ? refillFolder(parent, k, elementsOfStation(k, nameOf(station)), 1) : nullptr;
        break;
    }
    default:
        if (k >= 14 && k <= 30 && k % 2 == 0)
            opened = refillFolder(item, k + 1, elementsOfStation(k + 1, parentName), 1);
        break;
    }
    if (opened) opened->setExpanded(true);
}

void CommTreeView::expandArea(QTreeWidgetItem* item) {
    const std::string area = nameOf(item);
    screport::logDebug("expand_Area:" + area);
    markLoaded(item);
    removeChildren(item);
    fillFolder(item, kZoneACLines, kACLine, betweenZones(kACLine, area), 0);
    fillFolder(item, kZoneDCLines, kDCLine, betweenZones(kDCLine, area), 0);
    const std::string sf = sfx();
    SqlStmt s;
    s << "select Zone_Name from CDB_ZONE" << sf << " z,CDB_AREAS" << sf
      << " a where z.Area_No=a.Area_No and a.Area_Name=";
    s.str(area);
    s << " order by Zone_Name";
    fillRows(item, kZone, s);
}

void CommTreeView::expandZone(QTreeWidgetItem* item) {
    const std::string zone = nameOf(item);
    markLoaded(item);
    removeChildren(item);
    fillFolder(item, kStationACLines, kACLine, betweenStations(kACLine, zone), 0);
    fillFolder(item, kStationDCLines, kDCLine, betweenStations(kDCLine, zone), 0);
    const std::string sf = sfx();
    SqlStmt s;
    s << "select PS_Name from CDB_PSTATION" << sf << " ps,CDB_ZONE" << sf
      << " z where z.Zone_No=ps.Zone_No and z.Zone_Name=";
    s.str(zone);
    s << " order by PS_Name";
    fillRows(item, kStation, s);
}

void CommTreeView::expandStation(QTreeWidgetItem* item) {
    const std::string st = nameOf(item);
    screport::logDebug("expand_ST:" + st);
    markLoaded(item);
    removeChildren(item);
    fillFolder(item, kBusFolder, kBus, busesOfStation(kBus, st), 1);
    for (int folder : {18, 20, 16, 14, 28, 30, 26, 24, 22})
        fillFolder(item, folder, folder + 1, elementsOfStation(folder + 1, st), 1);
    fillFolder(item, kInnerACFolder, kInnerACLine, insideStation(kInnerACLine, st), 1);
    fillFolder(item, kInnerDCFolder, kInnerDCLine, insideStation(kInnerDCLine, st), 1);
}

// --- search -------------------------------------------------------------------------

int CommTreeView::search(const std::string& kindLabel8, const std::string& text8) {
    m_matches.clear();
    m_matchTotal = 0;
    if (text8.empty()) return 0;
    auto code = labelCodes().find(kindLabel8);
    if (code == labelCodes().end()) {
        screport::logError(gb("不能找到类型:") + kindLabel8 + "!");
        return 0;
    }
    RowShape shape;
    const SqlStmt s = searchStatement(code->second, text8, &shape);
    dbq::Query q(m_db.connection());
    if (!q.exec(s)) {
        screport::logError(s.text());
        return 0;
    }
    // LIKE may ignore letter case (SQLite does); names must contain the text as typed.
    const QString want = textcodec::fromLocal8(text8);
    // Several records of one element (one per data group) are one stop of the walk.
    std::set<std::string> seen;
    while (q.next()) {
        Match m = matchOf(q, shape);
        m.label = kindLabel8;
        if (!textcodec::fromLocal8(m.name).contains(want, Qt::CaseSensitive)) continue;
        if (!seen.insert(m.name + '\x01' + m.station + '\x01' + m.zone + '\x01' + m.area).second) continue;
        m_matches.push_back(std::move(m));
    }
    sortMatches();
    m_matchTotal = int(m_matches.size());
    if (m_matches.empty()) {
        screport::logDebugU("没有找到！");
        clearSelection(); // the earlier match is no answer to this search
        setCurrentItem(nullptr);
    }
    return searchNext();
}

SqlStmt CommTreeView::searchStatement(int k, const std::string& text8, RowShape* shape) const {
    const Kind& kd = kind(k);
    const std::string sf = sfx();
    SqlStmt s;
    if (k == kArea) {
        *shape = AreaRow;
        s << "select Area_Name from CDB_AREAS" << sf << " where Area_Name like ";
        s.containing(text8);
    } else if (k == kZone) {
        *shape = ZoneRow;
        s << "select zn.Zone_Name,ar.Area_Name from CDB_ZONE" << sf << " zn,CDB_AREAS" << sf
          << " ar where zn.Area_No=ar.Area_No and zn.Zone_Name like ";
        s.containing(text8);
    } else if (k == kStation) {
        *shape = StationRow;
        s << "select ps.PS_Name,zn.Zone_Name,ar.Area_Name from CDB_PSTATION" << sf << " ps,CDB_ZONE" << sf
          << " zn,CDB_AREAS" << sf
          << " ar where ps.Zone_No=zn.Zone_No and zn.Area_No=ar.Area_No and ps.PS_Name like ";
        s.containing(text8);
    } else if (k == kACLine || k == kDCLine) {
        *shape = LineRow;
        s << "select "
             "a.ID_Name,nd1.PS_Name,zn1.Zone_Name,ar1.Area_Name,nd2.PS_Name,zn2.Zone_Name,ar2.Area_Name from "
          << kd.table << " a,CDB_NODE" << sf << " nd1,CDB_NODE" << sf << " nd2,CDB_PSTATION" << sf
          << " ps1,CDB_PSTATION" << sf << " ps2,CDB_ZONE" << sf << " zn1,CDB_ZONE" << sf << " zn2,CDB_AREAS"
          << sf << " ar1,CDB_AREAS" << sf << " ar2 where "
          << "a.I_Name=nd1.Node_Name and a.J_Name=nd2.Node_Name and nd1.PS_Name=ps1.PS_Name and "
             "nd2.PS_Name=ps2.PS_Name and ps1.Zone_No=zn1.Zone_No and ps2.Zone_No=zn2.Zone_No and "
             "zn1.Area_No=ar1.Area_No and zn2.Area_No=ar2.Area_No and a.ID_Name like ";
        s.containing(text8);
        s << " order by a.ID_Name";
        screport::logDebug("find out line:" + text8);
    } else {
        *shape = ElementRow;
        s << "select a." << kd.idCol << ",a." << kd.nameCol << ",nd.PS_Name,zn.Zone_Name,ar.Area_Name from "
          << kd.table << " a,CDB_NODE" << sf << " nd,CDB_PSTATION" << sf << " ps,CDB_ZONE" << sf
          << " zn,CDB_AREAS" << sf
          << " ar where "
          // The station folder lists physical buses only; a match outside it could not be shown.
          << (k == kBus ? m_busCond : std::string()) << "a." << kd.nodeCol
          << "=nd.Node_Name and nd.PS_Name=ps.PS_Name and ps.Zone_No=zn.Zone_No and zn.Area_No=ar.Area_No "
             "and a."
          << kd.nameCol << " like ";
        s.containing(text8);
        s << "  order by a." << kd.nameCol;
    }
    return s;
}

CommTreeView::Match CommTreeView::matchOf(dbq::Query& q, RowShape shape) {
    Match m;
    auto col = [&](int i) { return q.text8(i); };
    switch (shape) {
    case AreaRow:
        m.name = col(0);
        break;
    case ZoneRow:
        m.name = col(0);
        m.area = col(1);
        break;
    case StationRow:
        m.name = col(0);
        m.zone = col(1);
        m.area = col(2);
        break;
    case LineRow:
        m.name = col(0);
        if (col(3) == col(6)) { // same area at both ends, else it lies between areas
            m.area = col(3);
            if (col(2) == col(5)) {
                m.zone = col(2);
                if (col(1) == col(4)) m.station = col(1);
            }
        }
        break;
    case ElementRow:
        m.name = col(1);
        m.station = col(2);
        m.zone = col(3);
        m.area = col(4);
        break;
    }
    return m;
}

void CommTreeView::sortMatches() {
    // In the tree's order: area by area as listed, then zone, station and name; what lies
    // between zones or areas after what lies inside them.
    std::map<std::string, int> areaAt;
    for (int i = 0; m_root && i < m_root->childCount(); ++i)
        if (kindOf(m_root->child(i)) == kArea) areaAt.emplace(nameOf(m_root->child(i)), i);
    auto place = [&](const Match& m) {
        const auto a = areaAt.find(m.area);
        return std::tuple(m.area.empty(), a == areaAt.end() ? INT_MAX : a->second, m.zone.empty(), m.zone,
                          m.station.empty(), m.station, m.name);
    };
    std::stable_sort(m_matches.begin(), m_matches.end(),
                     [&](const Match& a, const Match& b) { return place(a) < place(b); });
}

int CommTreeView::searchNext() {
    if (m_matches.empty()) return 0;
    const Match m = m_matches.front();
    m_matches.pop_front();
    // Only the path to the match is open afterwards, as after a rebuild from the root;
    // levels already read are reused, so walking through many matches stays quick.
    showRootOnly();

    const bool line = isLineKind(m.label);
    const int code = labelCodes().count(m.label) ? labelCodes().at(m.label) : 0;
    if (line) screport::logDebug("selectLine:" + m.name);
    const int ac = code == kACLine;
    // Walks down from the root; the element is selected at the level where its path ends.
    [&] {
        if (code == kArea) return selectItem(childNamed(m_root, kArea, m.name));
        if (line && m.area.empty()) return selectIn(m_root, ac ? kAreaACLines : kAreaDCLines, m.name);
        QTreeWidgetItem* area = childNamed(m_root, kArea, m.area);
        if (!area) {
            screport::logError(gb("找不到区域：") + m.area);
            return;
        }
        openLevel(area);
        if (code == kZone) return selectItem(childNamed(area, kZone, m.name));
        if (line && m.zone.empty()) return selectIn(area, ac ? kZoneACLines : kZoneDCLines, m.name);
        QTreeWidgetItem* zone = childNamed(area, kZone, m.zone);
        if (!zone) return;
        openLevel(zone);
        if (code == kStation) return selectItem(childNamed(zone, kStation, m.name));
        if (line && m.station.empty()) return selectIn(zone, ac ? kStationACLines : kStationDCLines, m.name);
        QTreeWidgetItem* station = childNamed(zone, kStation, m.station);
        if (!station) return;
        openLevel(station);
        if (line) return selectIn(station, ac ? kInnerACFolder : kInnerDCFolder, m.name);
        selectIn(station, kind(code).parent, m.name);
    }();
    return int(m_matches.size());
}

void CommTreeView::selectIn(QTreeWidgetItem* parent, int folderKind, const std::string& name8) {
    QTreeWidgetItem* folder = findFolder(parent, folderKind);
    if (!folder) {
        screport::logError("line_dir is NULL");
        return;
    }
    folder->setExpanded(true);
    for (int i = 0; i < folder->childCount(); ++i)
        if (nameOf(folder->child(i)) == name8) return selectItem(folder->child(i));
}

void CommTreeView::selectItem(QTreeWidgetItem* item) {
    if (!item) return;
    clearSelection();
    setCurrentItem(item);
    item->setSelected(true);
    scrollToItem(item, QAbstractItemView::PositionAtCenter); // never clipped at an edge
}

// --- CheckTreeView --------------------------------------------------------------------

CheckTreeView::CheckTreeView(const CDBUtility& db, QWidget* parent, const char* name, Qt::WindowFlags f)
    : CommTreeView(db, parent, name, f) {
    createRootItem();
    rootItem()->setExpanded(true);
}
