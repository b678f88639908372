#include "screpport.h"

#include "db/cdbutility.h"
#include "db/dbquery.h"
#include "db/errortext.h"
#include "db/log.h"
#include "db/resultrows.h"
#include "db/sqlstmt.h"
#include "db/textcodec.h"
#include "sc/reportitems.h"

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

SCRepPort::~SCRepPort() {
    abandonOutput();
}

bool SCRepPort::run(QSqlQuery& q, const SqlStmt& s) {
    ++m_queryCount;
    return dbq::exec(q, s);
}

std::unique_ptr<ResultRows> SCRepPort::select(const SqlStmt& s) {
    ++m_queryCount;
    return ResultRows::select(s);
}

const SCPosList& SCRepPort::faults() const {
    return sc_buses ? *sc_buses : m_noFaults;
}

// ---------------------------------------------------------------------------------------
// Keys of the problem list

std::string SCRepPort::caseKey() const {
    return gb("作业 ") + m_strCaseNo;
}
std::string SCRepPort::busKey(const std::string& bus) const {
    return caseKey() + gb("，母线 ") + bus;
}
std::string SCRepPort::busFaultKey(const std::string& bus, int T) const {
    return busKey(bus) + gb("，故障号 ") + std::to_string(T);
}
std::string SCRepPort::branchKey(const std::string& i, const std::string& j, int id) const {
    return caseKey() + gb("，支路 ") + i + " - " + j + gb(" 号 ") + std::to_string(id);
}
std::string SCRepPort::faultKey(const std::string& key) const {
    return caseKey() + gb("，故障点 ") + key;
}

// ---------------------------------------------------------------------------------------
// Loading

namespace {

namespace dp = dataproblems;

// Column `col` of the current row as a number of domain `d`. A bad value is put on the
// problem list (key() names the row) and gives NaN.
template <class KeyFn>
double num(const ResultRows& r, int col, const char* table, const char* column, KeyFn&& key,
           dp::Domain d = dp::Domain::Finite, dp::Action a = dp::Action::CellsEmpty) {
    const dp::Checked c = r.number(col, d);
    if (!c.ok) dp::report(dp::Problem{c.kind, table, column, key(), r.storedText(col), a});
    return c.value;
}

// As num, but the problem waits in `later` until the value is used: a bus of the case
// table that no fault reaches may well have no capacity stored.
template <class KeyFn>
double numLater(const ResultRows& r, int col, const char* table, const char* column, KeyFn&& key,
                std::vector<dp::Problem>& later, dp::Domain d = dp::Domain::Finite) {
    const dp::Checked c = r.number(col, d);
    if (!c.ok)
        later.push_back(dp::Problem{c.kind, table, column, key(), r.storedText(col), dp::Action::CellsEmpty});
    return c.value;
}

// A name that identifies the row; NULL leaves the row out.
template <class KeyFn>
bool name(ResultRows& r, int col, const char* table, const char* column, KeyFn&& key, std::string& out) {
    if (r.isNull(col)) {
        dp::report(dp::Problem{dp::Kind::Null, table, column, key(), std::string(), dp::Action::RowLeftOut});
        return false;
    }
    out = r.text8(col);
    return true;
}

// A whole number that identifies the row (fault number, branch number); a bad one
// leaves the row out.
template <class KeyFn>
bool whole(const ResultRows& r, int col, const char* table, const char* column, KeyFn&& key, int& out,
           dp::Action a = dp::Action::RowLeftOut) {
    const double v = num(r, col, table, column, key, dp::Domain::Integer, a);
    if (dp::bad(v)) return false;
    out = int(v);
    return true;
}

// I_Name, J_Name and ID_No of a branch row; a bad one leaves the row out.
bool branchOf(ResultRows& q, const char* tab, const std::string& caseKey, BranchKey& k) {
    auto rowKey = [&] { return caseKey + gb("，支路 ") + k.I_Name + " - " + k.J_Name; };
    return name(q, 0, tab, "I_Name", rowKey, k.I_Name) && name(q, 1, tab, "J_Name", rowKey, k.J_Name) &&
           whole(q, 2, tab, "ID_No", rowKey, k.ID_No);
}

} // namespace

const char* const SCRepPort::kReadStep = "读取短路结果";

void SCRepPort::loadVI() {
    if (m_loaded) return;
    screport::logDebug("loadVI...............");
    m_loaded = true;
    m_branchBusesBuilt = false;
    m_badFaults.clear();
    checkRun(kReadStep, 0, 0);
    long rowsRead = 0; // the bus voltages are most of what is read: a cancel check every 4096

    // Each statement's rows are read to the end, or dropped, before the next one runs.
    {
        m_SCR120.clear();
        SqlStmt s("select I_Name,J_Name,ID_Name,Percent,T,IR1,II1,IR2,II2,IR0,II0 from SCR_R120 where flg =1 "
                  "and CASE_NO=");
        s.number(m_strCaseNo);
        const char* tab = "SCR_R120";
        if (auto q = select(s)) {
            while (q->next()) {
                std::string iName, jName;
                auto rowKey = [&] { return caseKey() + gb("，故障点 ") + iName; };
                if (!name(*q, 0, tab, "I_Name", rowKey, iName) || !name(*q, 1, tab, "J_Name", rowKey, jName))
                    continue;
                const std::string key = iName != jName ? q->text8(2) + "_" + q->text8(3) : iName;
                auto k = [&] { return faultKey(key); };
                int T = 0;
                if (!whole(*q, 4, tab, "T", k, T, dp::Action::FaultLeftOut)) {
                    m_badFaults.insert(key);
                    continue;
                }
                SCR120Rec& r = m_SCR120[key];
                r.T = T;
                r.I1 = Cx(num(*q, 5, tab, "IR1", k), num(*q, 6, tab, "II1", k));
                r.I2 = Cx(num(*q, 7, tab, "IR2", k), num(*q, 8, tab, "II2", k));
                r.I0 = Cx(num(*q, 9, tab, "IR0", k), num(*q, 10, tab, "II0", k));
            }
        }
    }
    {
        m_SCB120.clear();
        SqlStmt s("select bus_Name,T,VR1,VI1,VR2,VI2,VR0,VI0 from SCR_B120 where Case_No=");
        s.number(m_strCaseNo);
        const char* tab = "SCR_B120";
        if (auto q = select(s)) {
            // Rows usually come bus by bus: look up a name only when it changes.
            std::string bus8;
            BusFaults* bus = nullptr;
            while (q->next()) {
                if ((++rowsRead & 0xFFF) == 0) checkRun(kReadStep, rowsRead, 0);
                if (q->isNull(0)) {
                    dp::report(dp::Problem{dp::Kind::Null, tab, "bus_Name", caseKey(), std::string(),
                                           dp::Action::RowLeftOut});
                    continue;
                }
                const std::string& name8 = q->text8(0);
                if (!bus || name8 != bus8) {
                    bus8 = name8;
                    bus = &m_SCB120[bus8];
                }
                int T = 0;
                if (!whole(
                        *q, 1, tab, "T", [&] { return busKey(bus8); }, T))
                    continue;
                auto k = [&] { return busFaultKey(bus8, T); };
                SCB120Rec& v = (*bus)[T];
                v.V1 = Cx(num(*q, 2, tab, "VR1", k), num(*q, 3, tab, "VI1", k));
                v.V2 = Cx(num(*q, 4, tab, "VR2", k), num(*q, 5, tab, "VI2", k));
                v.V0 = Cx(num(*q, 6, tab, "VR0", k), num(*q, 7, tab, "VI0", k));
            }
        }
    }
    // A fault without voltages cannot be reported on: the calculation did not finish it.
    {
        // Usually the first bus holds every fault: look per fault, not per stored voltage.
        auto hasVolts = [this](int T) {
            return std::any_of(m_SCB120.begin(), m_SCB120.end(),
                               [T](const auto& b) { return b.second.count(T) > 0; });
        };
        for (auto it = m_SCR120.begin(); it != m_SCR120.end();) {
            if (hasVolts(it->second.T)) {
                ++it;
                continue;
            }
            dp::report(dp::Problem{dp::Kind::Missing, "SCR_B120", "T", faultKey(it->first),
                                   std::to_string(it->second.T), dp::Action::FaultLeftOut});
            m_badFaults.insert(it->first);
            it = m_SCR120.erase(it);
        }
    }
    {
        m_SCLPC.clear();
        SqlStmt s("select Bus_Name,Vrz,Viz from SCR_LPC where Case_No=");
        s.number(m_strCaseNo);
        const char* tab = "SCR_LPC";
        if (auto q = select(s)) {
            while (q->next()) {
                std::string bus;
                if (!name(
                        *q, 0, tab, "Bus_Name", [&] { return caseKey(); }, bus))
                    continue;
                auto k = [&] { return busKey(bus); };
                m_SCLPC[bus] = Cx(num(*q, 1, tab, "Vrz", k), num(*q, 2, tab, "Viz", k));
            }
        }
    }
    std::string caseLFText;
    {
        if (!caseRow().found) raiseError(gb("在短路作业表中找不到指定的作业:") + m_strCaseNo);
        // Without a load-flow case number nobody knows which pre-fault voltages apply.
        const double lf = caseValue(m_caseRow.caseLF, "CASE_LF", dp::Domain::Integer, dp::Action::CellsEmpty);
        m_caseLFBad = dp::bad(lf);
        m_caseLF = m_caseLFBad ? 0 : int(lf);
        caseLFText = std::to_string(m_caseLF);
    }
    m_LFRBS.clear();
    if (m_caseLF > 0) {
        SqlStmt s("select Bus_Name,V,Angle from LFR_BS_R where CASE_NO=");
        s.number(caseLFText);
        const char* tab = "LFR_BS_R";
        if (auto q = select(s)) {
            while (q->next()) {
                std::string bus;
                if (!name(
                        *q, 0, tab, "Bus_Name", [&] { return gb("潮流作业 ") + caseLFText; }, bus))
                    continue;
                auto k = [&] { return gb("潮流作业 ") + caseLFText + gb("，母线 ") + bus; };
                const double v = num(*q, 1, tab, "V", k);
                const double theta = num(*q, 2, tab, "Angle", k) * 0.017453292519943295;
                m_LFRBS[bus] = Cx(v * std::cos(theta), v * std::sin(theta));
            }
        }
    }
    {
        m_SCLine1.clear();
        SqlStmt s("select I_Name,J_Name,ID_No,R1,X1,B1_half,Tk,Type from SCR_LINE1 where CASE_NO=");
        s.number(m_strCaseNo);
        s << " ORDER BY I_NAME,J_NAME,ID_NO";
        const char* tab = "SCR_LINE1";
        if (auto q = select(s)) {
            while (q->next()) {
                BranchKey bk;
                if (!branchOf(*q, tab, caseKey(), bk)) continue;
                SCLine1Rec b;
                b.I_Name = std::move(bk.I_Name);
                b.J_Name = std::move(bk.J_Name);
                b.ID_No = bk.ID_No;
                auto k = [&] { return branchKey(b.I_Name, b.J_Name, b.ID_No); };
                b.Z1 = Cx(num(*q, 3, tab, "R1", k), num(*q, 4, tab, "X1", k));
                b.B1_half = num(*q, 5, tab, "B1_half", k);
                b.Tk = num(*q, 6, tab, "Tk", k, dp::Domain::Positive);
                b.Type = q->toInt(7); // kept as read, no report uses it
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
        const char* tab = "SCR_LINE0";
        if (auto q = select(s)) {
            while (q->next()) {
                BranchKey bk;
                if (!branchOf(*q, tab, caseKey(), bk)) continue;
                auto k = [&] { return branchKey(bk.I_Name, bk.J_Name, bk.ID_No); };
                const Cx z0(num(*q, 3, tab, "R0", k), num(*q, 4, tab, "X0", k));
                m_SCLine0[std::move(bk)] = z0;
            }
        }
    }
}

void SCRepPort::loadSCBus() {
    m_SCBus.clear();
    SqlStmt s("SELECT BUS_Name,SC1_MVA,SC3_MVA from SCR_BUS where CASE_NO=");
    s.number(m_strCaseNo);
    auto q = select(s);
    if (!q) return;
    const char* tab = "SCR_BUS";
    while (q->next()) {
        std::string bus;
        if (!name(
                *q, 0, tab, "BUS_Name", [&] { return caseKey(); }, bus))
            continue;
        auto k = [&] { return busKey(bus); };
        std::vector<dp::Problem>& later = m_busProblems[bus];
        m_SCBus[bus] =
            Cx(numLater(*q, 1, tab, "SC1_MVA", k, later), numLater(*q, 2, tab, "SC3_MVA", k, later));
    }
}

void SCRepPort::ensureBaseKV() {
    if (m_baseKVLoaded) return;
    m_baseKVLoaded = true;
    SqlStmt s("select BUS_Name,Base_kV from SCR_BUS where CASE_NO=");
    s.number(m_strCaseNo);
    auto q = select(s);
    if (!q) return;
    const char* tab = "SCR_BUS";
    // The first row of a bus is the one a single lookup would have found.
    while (q->next()) {
        std::string bus;
        if (!name(
                *q, 0, tab, "BUS_Name", [&] { return caseKey(); }, bus))
            continue;
        if (m_baseKV.count(bus)) continue;
        m_baseKV.emplace(bus, numLater(
                                  *q, 1, tab, "Base_kV", [&] { return busKey(bus); }, m_busProblems[bus],
                                  dp::Domain::Positive));
    }
}

void SCRepPort::reportBusProblem(const std::string& bus, const char* column) const {
    auto it = m_busProblems.find(bus);
    if (it == m_busProblems.end()) return;
    for (const dp::Problem& p : it->second)
        if (p.column == column) dp::report(p);
}

SCPosList SCRepPort::usableFaults(const SCPosList& chosen) {
    loadVI();
    SCPosList out;
    for (const SCPos& p : chosen) {
        if (m_SCR120.count(p.name)) {
            out.push_back(p);
        } else if (!m_badFaults.count(p.name)) {
            dp::report(dp::Problem{dp::Kind::Missing, "SCR_R120", "ID_Name", faultKey(p.name), std::string(),
                                   dp::Action::FaultLeftOut});
        }
    }
    return out;
}

double SCRepPort::baseMVA() {
    if (!m_baseMVALoaded) {
        m_baseMVALoaded = true;
        m_baseMVA = dp::kBad;
        const std::string tab = "CDB_SB" + CDBUtility::m_strTableSuffix;
        SqlStmt s;
        s << "select base_MVA from " << tab;
        auto q = select(s);
        if (q && q->next())
            m_baseMVA = num(
                *q, 0, tab.c_str(), "base_MVA", [] { return std::string(); }, dp::Domain::Positive);
        else
            dp::report(dp::Problem{dp::Kind::Missing, tab, "base_MVA", std::string(), std::string(),
                                   dp::Action::CellsEmpty});
    }
    return m_baseMVA;
}

const CaseRow& SCRepPort::caseRow() {
    if (!m_caseRowRead) {
        m_caseRowRead = true;
        ++m_queryCount;
        m_caseRow = readCaseRow(m_strCaseNo);
    }
    return m_caseRow;
}

double SCRepPort::caseValue(const QVariant& v, const char* column, dp::Domain d, dp::Action a) {
    const dp::Checked c = dp::readNumber(v, d);
    if (!c.ok) dp::report(dp::Problem{c.kind, "SC_CASE", column, caseKey(), dp::storedText(v), a});
    return c.value;
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

SCB120Rec& SCRepPort::BusFaults::operator[](int T) {
    // Rows come in fault order as a rule: appending keeps the block sorted.
    if (m_v.empty() || m_v.back().first < T) return m_v.emplace_back(T, SCB120Rec()).second;
    auto it = std::lower_bound(m_v.begin(), m_v.end(), T, [](const auto& e, int t) { return e.first < t; });
    if (it == m_v.end() || it->first != T) it = m_v.emplace(it, T, SCB120Rec());
    return it->second;
}

const SCB120Rec* SCRepPort::BusFaults::find(int T) const {
    // Fault numbers are mostly 1, 2, 3, ...: try the place T would have then.
    if (!m_v.empty()) {
        const size_t at = size_t(T) - size_t(m_v.front().first);
        if (at < m_v.size() && m_v[at].first == T) return &m_v[at].second;
    }
    auto it = std::lower_bound(m_v.begin(), m_v.end(), T, [](const auto& e, int t) { return e.first < t; });
    return it == m_v.end() || it->first != T ? nullptr : &it->second;
}

const SCB120Rec* SCRepPort::findVolts(const std::string& bus, int T) const {
    const BusFaults* bf = findBus(bus);
    return bf ? bf->find(T) : nullptr;
}

bool SCRepPort::getPreFault(const std::string& key, Cx& v) const {
    if (m_caseLFBad) {
        v = Cx(dataproblems::kBad, dataproblems::kBad);
        return true;
    }
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

bool SCRepPort::branchBad(size_t k, const BranchAt& at) {
    const SCLine1Rec& b = m_SCLine1[k];
    const Cx* z0 = branchBuses()[k].z0;
    return scitems::anyBad(
        {at.vi.v1, at.vi.v2, at.vi.v0, at.vj.v1, at.vj.v2, at.vj.v0, b.Z1, z0 ? *z0 : Cx()},
        {b.B1_half, b.Tk});
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

void SCRepPort::missingVolts(const std::string& bus, int T, bool busKnown) {
    if (busKnown)
        dataproblems::report(dataproblems::Problem{dataproblems::Kind::Missing, "SCR_B120", "T",
                                                   busFaultKey(bus, T), std::string(),
                                                   dataproblems::Action::CellsEmpty});
    else
        dataproblems::report(dataproblems::Problem{dataproblems::Kind::Missing, "SCR_B120", "bus_Name",
                                                   busKey(bus), std::string(),
                                                   dataproblems::Action::CellsEmpty});
}

scq::SeqV SCRepPort::seqVolts(const BusFaults* bf, const std::string& bus, int T, int /*need*/) {
    const Cx nan(dataproblems::kBad, dataproblems::kBad);
    scq::SeqV v{nan, nan, nan};
    const SCB120Rec* r = bf ? bf->find(T) : nullptr;
    if (!r) {
        missingVolts(bus, T, bf != nullptr);
        return v;
    }
    return scq::SeqV{r->V1, r->V2, r->V0};
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

double SCRepPort::getBaseKV(const std::string& bus) {
    ensureBaseKV();
    auto it = m_baseKV.find(bus);
    if (it == m_baseKV.end()) raiseError(gb("不能找到计算母线的电压基值:") + bus);
    if (dp::bad(it->second)) reportBusProblem(bus, "Base_kV");
    return it->second;
}

scq::Scale SCRepPort::scaleOf(const std::string& bus) {
    if (m_bPU) return scq::Scale::perUnit();
    return scq::Scale::named(baseMVA(), getBaseKV(bus));
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
    m_typeFault = 0;
    m_typeBad = true;
    if (caseRow().found) {
        const double t =
            caseValue(m_caseRow.typeFault, "Type_Fault", dp::Domain::FaultType, dp::Action::CellsEmpty);
        m_typeBad = dp::bad(t);
        m_typeFault = m_typeBad ? 0 : int(t);
    } else {
        dp::report(dp::Problem{dp::Kind::Missing, "SC_CASE", "Type_Fault", caseKey(), std::string(),
                               dp::Action::CellsEmpty});
    }
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
    const CaseRow& row = caseRow();
    if (!row.found) return;
    const std::string date = scq::dateText(dbq::text8(row.calDate));
    const std::string time = scq::timeText(dbq::text8(row.calTime));
    addTitle(r, gb("短路作业名：") + m_strCaseName + gb("\t短路计算日期：") + date + gb("\t时间：") + time);
}

double SCRepPort::getSC1MVA(const std::string& bus) const {
    auto it = m_SCBus.find(bus);
    if (it == m_SCBus.end()) raiseError(gb("找不到母线对应的单相短路容量：") + bus);
    if (dp::bad(it->second.real())) reportBusProblem(bus, "SC1_MVA");
    return it->second.real();
}

double SCRepPort::getSC3MVA(const std::string& bus) const {
    auto it = m_SCBus.find(bus);
    // The capacity message names the single-phase value; the same one is used for both.
    if (it == m_SCBus.end()) raiseError(gb("找不到母线对应的单相短路容量：") + bus);
    if (dp::bad(it->second.imag())) reportBusProblem(bus, "SC3_MVA");
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
