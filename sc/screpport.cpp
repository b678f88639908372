#include "screpport.h"

#include "db/cdbutility.h"
#include "db/dbquery.h"
#include "db/errortext.h"
#include "db/log.h"
#include "db/sqlstmt.h"
#include "db/textcodec.h"
#include "sc/reportkinds.h"
#include "sc/warningsink.h"

#include <QSqlQuery>

#include <algorithm>
#include <cmath>

using textcodec::gb;

bool BranchKey::operator<(const BranchKey& o) const {
    if (int c = I_Name.compare(o.I_Name)) return c < 0;
    if (int c = J_Name.compare(o.J_Name)) return c < 0;
    return ID_No < o.ID_No;
}

SCRepPort::SCRepPort(const std::string& projectDir, int caseNo, const std::set<std::string>& chosenReports,
                     const std::map<std::string, std::vector<std::string>>& itemLabels,
                     const std::map<std::string, std::vector<int>>& itemNumbers, const SCPosList* buses)
    : RepPortBase(projectDir, caseNo, chosenReports, itemLabels, itemNumbers), sc_buses(buses) {}

SCRepPort::~SCRepPort() = default;

bool SCRepPort::run(QSqlQuery& q, const SqlStmt& s) {
    ++m_queryCount;
    return dbq::exec(q, s);
}

const SCPosList& SCRepPort::faults() const {
    return sc_buses ? *sc_buses : m_noFaults;
}

// ---------------------------------------------------------------------------------------
// Loading

void SCRepPort::loadVI() {
    if (m_loaded) return;
    screport::logDebug("loadVI...............");
    m_loaded = true;
    m_branchBusesBuilt = false;

    QSqlQuery q = dbq::newQuery();
    {
        m_SCR120.clear();
        SqlStmt s("select I_Name,J_Name,ID_Name,Percent,T,IR1,II1,IR2,II2,IR0,II0 from SCR_R120 where flg =1 "
                  "and CASE_NO=");
        s.number(m_strCaseNo);
        if (run(q, s)) {
            while (q.next()) {
                const std::string iName = dbq::text8(q.value(0));
                const std::string jName = dbq::text8(q.value(1));
                screport::logDebug("scr insert:" + iName);
                const std::string key =
                    iName != jName ? dbq::text8(q.value(2)) + "_" + dbq::text8(q.value(3)) : iName;
                screport::logDebug(".......");
                screport::logDebug("bus_name:" + key);
                screport::logDebug(".....");
                screport::logDebug("m_SCR120 insert:" + key);
                SCR120Rec& r = m_SCR120[key];
                r.T = dbq::toInt(q.value(4));
                r.I1 = Cx(dbq::toDouble(q.value(5)), dbq::toDouble(q.value(6)));
                r.I2 = Cx(dbq::toDouble(q.value(7)), dbq::toDouble(q.value(8)));
                r.I0 = Cx(dbq::toDouble(q.value(9)), dbq::toDouble(q.value(10)));
            }
        }
    }
    {
        m_SCB120.clear();
        SqlStmt s("select bus_Name,T,VR1,VI1,VR2,VI2,VR0,VI0 from SCR_B120 where Case_No=");
        s.number(m_strCaseNo);
        if (run(q, s)) {
            // Rows usually come bus by bus: convert and look up a name only when it changes.
            QString lastName;
            BusFaults* bus = nullptr;
            while (q.next()) {
                const QVariant nv = q.value(0);
                const QString name = nv.toString();
                if (!bus || name != lastName) {
                    bus = &m_SCB120[dbq::text8(nv)];
                    lastName = name;
                }
                SCB120Rec& v = (*bus)[dbq::toInt(q.value(1))];
                v.V1 = Cx(dbq::toDouble(q.value(2)), dbq::toDouble(q.value(3)));
                v.V2 = Cx(dbq::toDouble(q.value(4)), dbq::toDouble(q.value(5)));
                v.V0 = Cx(dbq::toDouble(q.value(6)), dbq::toDouble(q.value(7)));
            }
        }
    }
    {
        m_SCLPC.clear();
        SqlStmt s("select Bus_Name,Vrz,Viz from SCR_LPC where Case_No=");
        s.number(m_strCaseNo);
        if (run(q, s)) {
            while (q.next()) {
                const std::string bus = dbq::text8(q.value(0));
                screport::logDebug(bus + "|");
                m_SCLPC[bus] = Cx(dbq::toDouble(q.value(1)), dbq::toDouble(q.value(2)));
            }
        }
    }
    std::string caseLFText;
    {
        SqlStmt s("select CASE_LF from SC_CASE where Case_No=");
        s.number(m_strCaseNo);
        if (!run(q, s) || !q.next()) raiseError(gb("在短路作业表中找不到指定的作业:") + m_strCaseNo);
        m_caseLF = dbq::toInt(q.value(0));
        caseLFText = dbq::text8(q.value(0));
    }
    m_LFRBS.clear();
    if (m_caseLF > 0) {
        SqlStmt s("select Bus_Name,V,Angle from LFR_BS_R where CASE_NO=");
        s.number(caseLFText);
        if (run(q, s)) {
            while (q.next()) {
                const double v = dbq::toDouble(q.value(1));
                const double theta = dbq::toDouble(q.value(2)) * 0.017453292519943295;
                m_LFRBS[dbq::text8(q.value(0))] = Cx(v * std::cos(theta), v * std::sin(theta));
            }
        }
    }
    {
        m_SCLine1.clear();
        SqlStmt s("select I_Name,J_Name,ID_No,R1,X1,B1_half,Tk,Type from SCR_LINE1 where CASE_NO=");
        s.number(m_strCaseNo);
        s << " ORDER BY I_NAME,J_NAME,ID_NO";
        if (run(q, s)) {
            while (q.next()) {
                SCLine1Rec b;
                b.I_Name = dbq::text8(q.value(0));
                b.J_Name = dbq::text8(q.value(1));
                b.ID_No = dbq::toInt(q.value(2));
                b.Z1 = Cx(dbq::toDouble(q.value(3)), dbq::toDouble(q.value(4)));
                b.B1_half = dbq::toDouble(q.value(5));
                b.Tk = dbq::toDouble(q.value(6));
                b.Type = dbq::toInt(q.value(7));
                m_SCLine1.push_back(std::move(b));
            }
        }
        // The database orders its own encoding; the program orders GB18030 bytes, as its
        // maps do, whatever the back end.
        std::stable_sort(m_SCLine1.begin(), m_SCLine1.end(), [](const SCLine1Rec& a, const SCLine1Rec& b) {
            if (int c = a.I_Name.compare(b.I_Name)) return c < 0;
            if (int c = a.J_Name.compare(b.J_Name)) return c < 0;
            return a.ID_No < b.ID_No;
        });
    }
    // A three-phase fault has no zero-sequence network.
    if (m_typeFault != 1) {
        m_SCLine0.clear();
        SqlStmt s("select I_Name,J_Name,ID_No,R0,X0 from SCR_LINE0 where CASE_NO=");
        s.number(m_strCaseNo);
        if (run(q, s)) {
            while (q.next()) {
                BranchKey k{dbq::text8(q.value(0)), dbq::text8(q.value(1)), dbq::toInt(q.value(2))};
                m_SCLine0[std::move(k)] = Cx(dbq::toDouble(q.value(3)), dbq::toDouble(q.value(4)));
            }
        }
    }
}

void SCRepPort::loadSCBus() {
    m_SCBus.clear();
    SqlStmt s("SELECT BUS_Name,SC1_MVA,SC3_MVA from SCR_BUS where CASE_NO=");
    s.number(m_strCaseNo);
    QSqlQuery q = dbq::newQuery();
    if (!run(q, s)) return;
    while (q.next())
        m_SCBus[dbq::text8(q.value(0))] = Cx(dbq::toDouble(q.value(1)), dbq::toDouble(q.value(2)));
}

void SCRepPort::ensureBaseKV() {
    if (m_baseKVLoaded) return;
    m_baseKVLoaded = true;
    SqlStmt s("select BUS_Name,Base_kV from SCR_BUS where CASE_NO=");
    s.number(m_strCaseNo);
    QSqlQuery q = dbq::newQuery();
    if (!run(q, s)) return;
    // The first row of a bus is the one a single lookup would have found.
    while (q.next())
        m_baseKV.emplace(dbq::text8(q.value(0)), dbq::toDouble(q.value(1)));
}

// ---------------------------------------------------------------------------------------
// Lookups

const SCR120Rec* SCRepPort::findFault(const std::string& key) const {
    auto it = m_SCR120.find(key);
    return it == m_SCR120.end() ? nullptr : &it->second;
}

const SCRepPort::BusFaults* SCRepPort::findBus(const std::string& bus) const {
    auto it = m_SCB120.find(bus);
    return it == m_SCB120.end() ? nullptr : &it->second;
}

const SCB120Rec* SCRepPort::findVolts(const std::string& bus, int T) const {
    const BusFaults* bf = findBus(bus);
    if (!bf) return nullptr;
    auto it = bf->find(T);
    return it == bf->end() ? nullptr : &it->second;
}

bool SCRepPort::getPreFault(const std::string& key, Cx& v) const {
    const auto& m = m_caseLF > 0 ? m_LFRBS : m_SCLPC;
    auto it = m.find(key);
    if (it == m.end()) return false;
    v = it->second;
    return true;
}

bool SCRepPort::getLineZ0(int k, Cx& z0) const {
    if (k < 0 || k >= int(m_SCLine1.size())) return false;
    const SCLine1Rec& b = m_SCLine1[k];
    auto it = m_SCLine0.find(BranchKey{b.I_Name, b.J_Name, b.ID_No});
    if (it == m_SCLine0.end()) return false;
    z0 = it->second;
    return true;
}

const std::vector<SCRepPort::BranchBuses>& SCRepPort::branchBuses() {
    if (!m_branchBusesBuilt) {
        m_branchBuses.clear();
        m_branchBuses.reserve(m_SCLine1.size());
        for (const SCLine1Rec& b : m_SCLine1) {
            BranchBuses bb;
            bb.i = findBus(b.I_Name);
            bb.j = findBus(b.J_Name);
            auto it = m_SCLine0.find(BranchKey{b.I_Name, b.J_Name, b.ID_No});
            bb.z0 = it == m_SCLine0.end() ? nullptr : &it->second;
            m_branchBuses.push_back(bb);
        }
        m_branchBusesBuilt = true;
    }
    return m_branchBuses;
}

SCRepPort::BranchAt SCRepPort::branchAt(size_t k, int T, int need) {
    const BranchBuses& bb = branchBuses()[k];
    const SCLine1Rec& b = m_SCLine1[k];
    BranchAt at;
    at.vi = seqVolts(bb.i, b.I_Name, T, need);
    at.vj = seqVolts(bb.j, b.J_Name, T, need);
    at.e = scq::branchCurrents(b.Z1, b.B1_half, b.Tk, b.I_Name == b.J_Name, at.vi, at.vj,
                               need == NeedAll ? bb.z0 : nullptr);
    return at;
}

const SCPosList& SCRepPort::faultGroups(int r) {
    const SCPosList& fl = faults();
    screport::logDebug("selected bus count is " + std::to_string(fl.size()));
    setGrpSize(r, int(fl.size()));
    return fl;
}

const scq::Scale& SCRepPort::branchScale(BranchScales& cache, size_t k) {
    if (cache.known.empty()) {
        cache.s.resize(m_SCLine1.size());
        cache.known.assign(m_SCLine1.size(), 0);
    }
    if (!cache.known[k]) {
        cache.s[k] = scaleOf(m_SCLine1[k].I_Name);
        cache.known[k] = 1;
    }
    return cache.s[k];
}

// ---------------------------------------------------------------------------------------
// Quantities

namespace {

const char* const kGetVWho[3] = {
    "SCRepPort::getV1(), m_SCB120 找不到:", "SCRepPort::getV2(), m_SCB120 找不到:",
    "SCRepPort::getV0(), m_SCB120 找不到:"};

void warnMissingBus(int which, const std::string& bus) {
    dataWarning(gb("数据错误"), gb(kGetVWho[which]) + bus);
}

} // namespace

scq::SeqV SCRepPort::seqVolts(const BusFaults* bf, const std::string& bus, int T, int need) {
    scq::SeqV v;
    if (!bf) {
        if (need & NeedV1) warnMissingBus(0, bus);
        if (need & NeedV2) warnMissingBus(1, bus);
        if (need & NeedV0) warnMissingBus(2, bus);
        return v;
    }
    auto it = bf->find(T);
    if (it != bf->end()) v = scq::SeqV{it->second.V1, it->second.V2, it->second.V0};
    return v;
}

SCRepPort::Cx SCRepPort::getV1(const std::string& bus, int T) {
    return seqVolts(findBus(bus), bus, T, NeedV1).v1;
}
SCRepPort::Cx SCRepPort::getV2(const std::string& bus, int T) {
    return seqVolts(findBus(bus), bus, T, NeedV2).v2;
}
SCRepPort::Cx SCRepPort::getV0(const std::string& bus, int T) {
    return seqVolts(findBus(bus), bus, T, NeedV0).v0;
}

SCRepPort::Cx SCRepPort::getVA(const std::string& bus, int T) const {
    const SCB120Rec* r = findVolts(bus, T);
    return r ? scq::toPhases(r->V1, r->V2, r->V0).a : Cx();
}
SCRepPort::Cx SCRepPort::getVB(const std::string& bus, int T) const {
    const SCB120Rec* r = findVolts(bus, T);
    return r ? scq::toPhases(r->V1, r->V2, r->V0).b : Cx();
}
SCRepPort::Cx SCRepPort::getVC(const std::string& bus, int T) const {
    const SCB120Rec* r = findVolts(bus, T);
    return r ? scq::toPhases(r->V1, r->V2, r->V0).c : Cx();
}

double SCRepPort::getBaseKV(const std::string& bus) {
    ensureBaseKV();
    auto it = m_baseKV.find(bus);
    if (it == m_baseKV.end()) raiseError(gb("不能找到计算母线的电压基值:") + bus);
    return it->second;
}

double SCRepPort::dbBaseMVA() {
    if (!m_dbBaseMVALoaded) {
        ++m_queryCount;
        m_dbBaseMVA = CDBUtility::getBaseMVA();
        m_dbBaseMVALoaded = true;
    }
    return m_dbBaseMVA;
}

scq::Scale SCRepPort::scaleOf(const std::string& bus) {
    if (m_bPU) return scq::Scale::perUnit();
    return scq::Scale::named(dbBaseMVA(), getBaseKV(bus));
}

scq::Scale SCRepPort::faultScale(const SCPos& p) {
    if (m_bPU) return scq::Scale::perUnit();
    ensureBaseKV();
    const bool insideBranch = !p.iName.empty() && p.iName != p.jName;
    if (insideBranch && !m_baseKV.count(p.name)) return scaleOf(p.iName);
    return scaleOf(p.name);
}

int SCRepPort::getTypeFault() {
    if (m_typeFault > 0) return m_typeFault;
    SqlStmt s("SELECT Type_Fault from SC_CASE where CASE_NO=");
    s.number(m_strCaseNo);
    QSqlQuery q = dbq::newQuery();
    m_typeFault = run(q, s) && q.next() ? dbq::toInt(q.value(0)) : 0;
    return m_typeFault;
}

void SCRepPort::addFaultTypeTitle(int r) {
    const int code = getTypeFault();
    m_typeFault = code;
    const char* line = "故障类型：未知";
    switch (code) {
    case 1:
        line = "故障类型：ABC三相短路";
        break;
    case 2:
        line = "故障类型：A相短路接地";
        break;
    case 3:
        line = "故障类型：AB两相短路";
        break;
    case 4:
        line = "故障类型： AB两相短路接地";
        break;
    default:
        break;
    }
    addTitle(r, gb(line));
}

void SCRepPort::addCaseTitle(int r) {
    SqlStmt s("SELECT CAL_DATE, CAL_TIME from SC_CASE WHERE CASE_NO=");
    s.number(m_strCaseNo);
    QSqlQuery q = dbq::newQuery();
    if (!run(q, s) || !q.next()) return;
    const std::string date = scq::dateText(dbq::text8(q.value(0)));
    const std::string time = scq::timeText(dbq::text8(q.value(1)));
    addTitle(r, gb("短路作业名：") + m_strCaseName + gb("\t短路计算日期：") + date + gb("\t时间：") + time);
}

QString SCRepPort::angleText(const Cx& z, int decimals) {
    return QString::fromLatin1(scq::angleText(z, decimals).c_str());
}

double SCRepPort::getSC1MVA(const std::string& bus) const {
    auto it = m_SCBus.find(bus);
    if (it == m_SCBus.end()) raiseError(gb("找不到母线对应的单相短路容量：") + bus);
    return it->second.real();
}

double SCRepPort::getSC3MVA(const std::string& bus) const {
    auto it = m_SCBus.find(bus);
    // The capacity message names the single-phase value; the same one is used for both.
    if (it == m_SCBus.end()) raiseError(gb("找不到母线对应的单相短路容量：") + bus);
    return it->second.imag();
}

// ---------------------------------------------------------------------------------------
// Items

std::vector<int> SCRepPort::chosenItems(const std::string& key, int defined) const {
    std::vector<int> out;
    auto sel = m_pItemSel.find(key);
    auto lab = m_pItemLabels.find(key);
    if (sel == m_pItemSel.end() || lab == m_pItemLabels.end()) return out;
    const int n = std::min(defined, int(lab->second.size()));
    for (int x : sel->second)
        if (x >= 0 && x < n) out.push_back(x);
    return out;
}

std::string SCRepPort::itemLabel(const std::string& key, int n) const {
    auto lab = m_pItemLabels.find(key);
    if (lab == m_pItemLabels.end() || n < 0 || n >= int(lab->second.size())) return std::string();
    return lab->second[n];
}

bool SCRepPort::portByKey(const std::string& key) {
    switch (reportkinds::indexOf(key)) {
    case 0:
        portSummary();
        return true;
    case 1:
        portDistribut();
        return true;
    case 2:
        portShortBra();
        return true;
    case 3:
        portBusVol();
        return true;
    case 4:
        portLineCur();
        return true;
    case 5:
        portVIZ();
        return true;
    default:
        return false;
    }
}
