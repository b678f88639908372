// Grouping of a page's records by area, zone or station.
#include "repportbase.h"

#include "db/textcodec.h"

using textcodec::gb;

void RepPortBase::setGrpInfo(bool byArea, bool byZone, bool byST, std::shared_ptr<const BusLocations> where) {
    m_nodePlaces = std::move(where);
    m_bGrpArea = byArea;
    m_bGrpZone = byZone;
    m_bGrpST = byST;
    m_nGrpMode = byST ? 3 : byZone ? 2 : byArea ? 1 : 0;
}

void RepPortBase::addGrpTitle(int page, bool withST) {
    if (m_bGrpArea) addGrpTitle(page, gb("区域").c_str(), 16, false);
    if (m_bGrpZone) addGrpTitle(page, gb("分区").c_str(), 16, false);
    if (m_bGrpST && withST) addGrpTitle(page, gb("厂站").c_str(), 16, false);
}

void RepPortBase::fillGrp(int page, int grp, bool isST, const std::string& area, const std::string& zone,
                          const std::string& st) {
    auto& texts = m_pages[page].grpTexts[grp];
    if (m_bGrpArea) texts.push_back(area);
    if (m_bGrpZone) texts.push_back(zone);
    if (m_bGrpST && isST) texts.push_back(st);
}

int RepPortBase::addGrp(int page, const std::string& key, bool isST, const std::string& area,
                        const std::string& zone, const std::string& st) {
    RepPage& p = m_pages[page];
    const int n = p.records.groupCount();
    p.records.resizeGroups(n + 1);
    p.grpTexts.resize(size_t(n + 1));
    fillGrp(page, n, isST, area, zone, st);
    m_grpIndex[page][key] = n;
    return n;
}

int RepPortBase::getGrp(int page, const std::string& key, bool isST, const std::string& area,
                        const std::string& zone, const std::string& st) {
    auto pi = m_grpIndex.find(page);
    if (pi != m_grpIndex.end()) {
        auto ki = pi->second.find(key);
        if (ki != pi->second.end()) return ki->second;
    }
    return addGrp(page, key, isST, area, zone, st);
}

int RepPortBase::dealGrp(int page, const std::string& st, const std::string& zone, const std::string& area) {
    if (m_nGrpMode == 0) return 0;
    const std::string& key = m_nGrpMode == 1 ? area : m_nGrpMode == 2 ? zone : st;
    return getGrp(page, key, true, area, zone, st);
}

int RepPortBase::dealGrpOld(int page, const std::string& node) {
    if (m_nGrpMode == 0) return 0;
    // Where nodes lie was read once, by whoever set the grouping.
    const BusLocation* at = m_nodePlaces ? m_nodePlaces->find(node) : nullptr;
    static const std::string none;
    const std::string& key = !at               ? none
                             : m_nGrpMode == 1 ? at->area
                             : m_nGrpMode == 2 ? at->zone
                                               : at->station;
    return getGrp(page, key, true, "", "", "");
}

int RepPortBase::dealGrp2(int page, const std::string& zone1, const std::string& zone2,
                          const std::string& area1, const std::string& area2) {
    if (m_bGrpZone) return dealGrp2_Zone(page, zone1, zone2, area1, area2);
    if (!m_bGrpArea) {
        RepPage& p = m_pages[page];
        p.records.resizeGroups(1);
        return 0;
    }
    return dealGrp2_Area(page, zone1, zone2, area1, area2);
}

int RepPortBase::dealGrp2_Zone(int page, const std::string& zone1, const std::string& zone2,
                               const std::string& area1, const std::string& area2) {
    const std::string between = gb("分区间");
    if (area1 != area2) return getGrp(page, between, false, gb("区域间"), between, "");
    if (zone1 != zone2) return getGrp(page, between, false, area1, between, "");
    return getGrp(page, zone1, false, area1, zone1, "");
}

int RepPortBase::dealGrp2_Area(int page, const std::string& zone1, const std::string& zone2,
                               const std::string& area1, const std::string& area2) {
    (void)zone1;
    (void)zone2;
    if (area1 == area2) return getGrp(page, area1, false, area1, "", "");
    const std::string between = gb("区域间");
    return getGrp(page, between, false, between, "", "");
}
