#include "screpport.h"

#include "db/dbquery.h"
#include "db/errortext.h"
#include "db/log.h"
#include "db/textcodec.h"
#include "sc/reportitems.h"

#include <algorithm>
#include <cmath>

using textcodec::gb;
namespace dp = dataproblems;

const char* const SCRepPort::kReadStep = "读取短路结果";

SCRepPort::SCRepPort(CaseStore& store, const std::set<std::string>& chosenReports,
                     const std::map<std::string, std::vector<std::string>>& itemLabels,
                     const std::map<std::string, std::vector<int>>& itemNumbers, const SCPosList* faults)
    : RepPortBase(store.caseNo(), dbq::text8(store.caseRow().name), chosenReports, itemLabels, itemNumbers),
      m_store(store), m_faults(faults) {}

const SCPosList& SCRepPort::faults() const {
    return m_faults ? *m_faults : m_noFaults;
}

void SCRepPort::loadVI() {
    m_store.loadResults([this](long rows) { checkRun(kReadStep, rows, 0); });
}

SCPosList SCRepPort::usableFaults(const SCPosList& chosen) {
    loadVI();
    SCPosList out;
    std::set<std::string> seen; // a fault point listed twice (stored twice) is reported once
    for (const SCPos& p : chosen) {
        if (!seen.insert(p.name).second) continue;
        if (m_store.findFault(p.name)) {
            out.push_back(p);
        } else if (!m_store.isBadFault(p.name)) {
            dp::report(dp::Problem{dp::Kind::Missing, "SCR_R120", "ID_Name", m_store.faultKey(p.name),
                                   std::string(), dp::Action::FaultLeftOut});
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------
// Branches

const std::vector<SCRepPort::BranchBuses>& SCRepPort::branchBuses() {
    if (!m_branchBusesBuilt) {
        const std::vector<SCLine1Rec>& branches = m_store.branches();
        m_branchBuses.clear();
        m_branchBuses.reserve(branches.size());
        for (size_t k = 0; k < branches.size(); ++k)
            m_branchBuses.push_back(BranchBuses{m_store.findBus(branches[k].I_Name),
                                                m_store.findBus(branches[k].J_Name), m_store.branchZ0(k)});
        m_branchBusesBuilt = true;
    }
    return m_branchBuses;
}

SCRepPort::BranchAt SCRepPort::branchAt(size_t k, int T, int need) {
    const BranchBuses& bb = branchBuses()[k];
    const SCLine1Rec& b = m_store.branches()[k];
    BranchAt at;
    at.vi = seqVolts(bb.i, b.I_Name, T, need);
    at.vj = seqVolts(bb.j, b.J_Name, T, need);
    at.e = scq::branchCurrents(b.Z1, b.B1_half, b.Tk, b.I_Name == b.J_Name, at.vi, at.vj,
                               need == NeedAll ? bb.z0 : nullptr);
    return at;
}

bool SCRepPort::branchBad(size_t k, const BranchAt& at) {
    const SCLine1Rec& b = m_store.branches()[k];
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
    const std::vector<SCLine1Rec>& branches = m_store.branches();
    if (cache.known.empty()) {
        cache.s.resize(branches.size());
        cache.known.assign(branches.size(), 0);
    }
    if (!cache.known[k]) {
        cache.s[k] = scaleOf(branches[k].I_Name);
        cache.known[k] = 1;
    }
    return cache.s[k];
}

// ---------------------------------------------------------------------------------------
// Quantities

void SCRepPort::missingVolts(const std::string& bus, int T, bool busKnown) {
    if (busKnown)
        dataproblems::report(dataproblems::Problem{dataproblems::Kind::Missing, "SCR_B120", "T",
                                                   m_store.busFaultKey(bus, T), std::string(),
                                                   dataproblems::Action::CellsEmpty});
    else
        dataproblems::report(dataproblems::Problem{dataproblems::Kind::Missing, "SCR_B120", "bus_Name",
                                                   m_store.busKey(bus), std::string(),
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

scq::Scale SCRepPort::scaleOf(const std::string& bus) {
    if (m_bPU) return scq::Scale::perUnit();
    return scq::Scale::named(m_store.baseMVA(), m_store.baseKV(bus));
}

scq::Scale SCRepPort::faultScale(const SCPos& p) {
    if (m_bPU) return scq::Scale::perUnit();
    const bool insideBranch = !p.iName.empty() && p.iName != p.jName;
    if (insideBranch && !m_store.hasBaseKV(p.name)) return scaleOf(p.iName);
    return scaleOf(p.name);
}

int SCRepPort::getTypeFault() {
    if (m_typeFault > 0) return m_typeFault;
    m_typeFault = 0;
    m_typeBad = true;
    const CaseRow& row = m_store.caseRow();
    if (row.found) {
        const dp::Checked t = dp::readNumber(row.typeFault, dp::Domain::FaultType);
        if (!t.ok)
            dp::report(dp::Problem{t.kind, "SC_CASE", "Type_Fault", m_store.caseKey(),
                                   dp::storedText(row.typeFault), dp::Action::CellsEmpty});
        m_typeBad = !t.ok;
        m_typeFault = m_typeBad ? 0 : int(t.value);
    } else {
        dp::report(dp::Problem{dp::Kind::Missing, "SC_CASE", "Type_Fault", m_store.caseKey(), std::string(),
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
    const CaseRow& row = m_store.caseRow();
    if (!row.found) return;
    const std::string date = scq::dateText(dbq::text8(row.calDate));
    const std::string time = scq::timeText(dbq::text8(row.calTime));
    addTitle(r, gb("短路作业名：") + m_strCaseName + gb("\t短路计算日期：") + date + gb("\t时间：") + time);
}

void SCRepPort::overflowed(reportkinds::Id id, const std::string& item, const std::string& row) const {
    dp::report(dp::Problem{dp::Kind::Overflow, gb(reportkinds::kind(id).step.c_str()), item, row,
                           std::string(), dp::Action::CellsEmpty});
}

std::string SCRepPort::branchRow(const std::string& fault, const SCLine1Rec& b) const {
    return m_store.faultKey(fault) + gb("，支路 ") + b.I_Name + " - " + b.J_Name + gb(" 号 ") +
           std::to_string(b.ID_No);
}

// ---------------------------------------------------------------------------------------
// Items

std::vector<int> SCRepPort::chosenItems(const std::string& key, int defined) const {
    std::vector<int> out;
    auto sel = m_itemSel.find(key);
    auto lab = m_itemLabels.find(key);
    if (sel == m_itemSel.end() || lab == m_itemLabels.end()) return out;
    const int n = std::min(defined, int(lab->second.size()));
    for (int x : sel->second)
        if (x >= 0 && x < n) out.push_back(x);
    return out;
}

std::string SCRepPort::itemLabel(const std::string& key, int n) const {
    auto lab = m_itemLabels.find(key);
    if (lab == m_itemLabels.end() || n < 0 || n >= int(lab->second.size())) return std::string();
    return lab->second[n];
}
