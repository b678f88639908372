#include "casestore.h"

#include "db/dbquery.h"
#include "db/errortext.h"
#include "db/log.h"
#include "db/resultrows.h"
#include "db/sqlstmt.h"
#include "db/textcodec.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <deque>
#include <string_view>
#include <unordered_map>

using textcodec::gb;

bool BranchKey::operator<(const BranchKey& o) const {
    if (int c = I_Name.compare(o.I_Name)) return c < 0;
    if (int c = J_Name.compare(o.J_Name)) return c < 0;
    return ID_No < o.ID_No;
}

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
// table that no fault reaches may well have no capacity stored. A NULL waits as the NaN
// alone: a large case may hold one for most of its buses.
template <class KeyFn>
double numLater(const ResultRows& r, int col, const char* table, const char* column, KeyFn&& key,
                std::vector<dp::Problem>& later, dp::Domain d = dp::Domain::Finite) {
    const dp::Checked c = r.number(col, d);
    if (!c.ok && c.kind != dp::Kind::Null)
        later.push_back(dp::Problem{c.kind, table, column, key(), r.storedText(col), dp::Action::CellsEmpty});
    return c.value;
}

// Bytes that are text in neither encoding name no element: the row is left out, its
// bytes shown in hex.
template <class KeyFn>
bool decodable(const std::string& name8, const char* table, const char* column, KeyFn&& key) {
    if (textcodec::isValidGb18030(name8.data(), name8.size())) return true;
    dp::report(dp::Problem{dp::Kind::BadText, table, column, key(),
                           "0x" + QByteArray::fromStdString(name8).toHex().toUpper().toStdString(),
                           dp::Action::RowLeftOut});
    return false;
}

// A name that identifies the row; NULL and undecodable bytes leave the row out.
template <class KeyFn>
bool name(ResultRows& r, int col, const char* table, const char* column, KeyFn&& key, std::string& out) {
    if (r.isNull(col)) {
        dp::report(dp::Problem{dp::Kind::Null, table, column, key(), std::string(), dp::Action::RowLeftOut});
        return false;
    }
    out = r.text8(col);
    return decodable(out, table, column, key);
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

// A case value read without the reports' checks: only what is read depends on it.
int leniently(const QVariant& v) {
    const dp::Checked c = dp::readNumber(v, dp::Domain::Integer);
    return c.ok ? int(c.value) : 0;
}

const char* const kCurrentCols[6] = {"IR1", "II1", "IR2", "II2", "IR0", "II0"};

bool same(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

// The shortest text that reads back as the value; "?" for one already on the list.
std::string valueText(double x) {
    if (std::isnan(x)) return "?";
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, x).ptr);
}

} // namespace

namespace duprows {

bool merge(double* kept, const double* later, const char* const* columns, size_t n, const char* table,
           const std::string& key, std::vector<dp::Problem>* deferred, dp::Action a) {
    bool agree = true;
    for (size_t c = 0; c < n; ++c) {
        if (same(kept[c], later[c])) continue;
        agree = false;
        dp::Problem p{
            dp::Kind::Conflict, table, columns[c], key, valueText(kept[c]) + " / " + valueText(later[c]), a};
        if (deferred)
            deferred->push_back(std::move(p));
        else
            dp::report(std::move(p));
        kept[c] = dp::kBad;
    }
    return agree;
}

void note(const char* table, const char* keyColumns, const std::string& key) {
    dp::report(dp::Problem{dp::Kind::Duplicate, table, keyColumns, key, std::string(), dp::Action::UsedOnce});
}

} // namespace duprows

CaseStore::CaseStore(DbConnection db, int caseNo)
    : m_db(std::move(db)), m_caseNo(caseNo), m_caseNoText(std::to_string(caseNo)) {}

std::unique_ptr<ResultRows> CaseStore::select(const SqlStmt& s) {
    checkRead();
    ++m_queryCount;
    return m_db.select(s);
}

void CaseStore::checkRead() const {
    // What the database did not give would read as missing data: stop before anything
    // is derived from it.
    const std::string why = dbq::failureText(m_db, true);
    if (!why.empty() && (dbq::connectionLost() || dbq::lockRefused())) raiseError(why);
}

bool CaseStore::exec(dbq::Query& q, const SqlStmt& s) {
    ++m_queryCount;
    return q.exec(s);
}

// ---------------------------------------------------------------------------------------
// Keys of the problem list

std::string CaseStore::caseKey() const {
    return gb("作业 ") + m_caseNoText;
}
std::string CaseStore::busKey(const std::string& bus) const {
    return caseKey() + gb("，母线 ") + bus;
}
std::string CaseStore::busFaultKey(const std::string& bus, int T) const {
    return busKey(bus) + gb("，故障号 ") + std::to_string(T);
}
std::string CaseStore::branchKey(const std::string& i, const std::string& j, int id) const {
    return caseKey() + gb("，支路 ") + i + " - " + j + gb(" 号 ") + std::to_string(id);
}
std::string CaseStore::faultKey(const std::string& key) const {
    return caseKey() + gb("，故障点 ") + key;
}

// ---------------------------------------------------------------------------------------
// Loading

void CaseStore::loadResults(const std::function<void(long)>& tick) {
    if (m_loaded) return;
    screport::logDebug("loadVI...............");
    m_loaded = true;
    if (tick) tick(0);
    // Each statement's rows are read to the end, or dropped, before the next one runs.
    loadFaults();
    seedBuses();
    loadVoltages(tick);
    checkRead();
    // A fault without voltages cannot be reported on: the calculation did not finish it.
    for (auto it = m_faults.begin(); it != m_faults.end();) {
        if (faultVolts(it->second.T)) {
            ++it;
            continue;
        }
        dp::report(dp::Problem{dp::Kind::Missing, "SCR_B120", "T", faultKey(it->first),
                               std::to_string(it->second.T), dp::Action::FaultLeftOut});
        m_badFaults.insert(it->first);
        it = m_faults.erase(it);
    }
    checkFaultType();
    loadPreFault();
    loadBranches();
    checkRead();
}

void CaseStore::loadFaults() {
    SqlStmt s("select I_Name,J_Name,ID_Name,Percent,T,IR1,II1,IR2,II2,IR0,II0 from SCR_R120 where flg =1 "
              "and CASE_NO=");
    s.number(m_caseNoText);
    const char* tab = "SCR_R120";
    auto q = select(s);
    if (!q) return;
    std::set<std::string> twoT; // fault points stored with two fault numbers
    while (q->next()) {
        std::string iName, jName;
        auto rowKey = [&] { return caseKey() + gb("，故障点 ") + iName; };
        if (!name(*q, 0, tab, "I_Name", rowKey, iName) || !name(*q, 1, tab, "J_Name", rowKey, jName))
            continue;
        const std::string key = iName != jName ? q->text8(2) + "_" + q->text8(3) : iName;
        if (m_filtered && !m_chosen.count(key)) {
            m_someLeftOut = true; // not asked for: neither kept nor checked
            continue;
        }
        auto k = [&] { return faultKey(key); };
        int T = 0;
        if (!whole(*q, 4, tab, "T", k, T, dp::Action::FaultLeftOut)) {
            m_badFaults.insert(key);
            continue;
        }
        double v[6];
        for (int c = 0; c < 6; ++c)
            v[c] = num(*q, 5 + c, tab, kCurrentCols[c], k);
        auto [at, added] = m_faults.try_emplace(key);
        SCR120Rec& r = at->second;
        if (!added) {
            if (twoT.count(key)) continue;
            // Which voltages belong to it is unknown.
            double t[2] = {double(r.T), double(T)};
            static const char* const kT = "T";
            if (!duprows::merge(&t[0], &t[1], &kT, 1, tab, k(), nullptr, dp::Action::FaultLeftOut)) {
                twoT.insert(key);
                m_badFaults.insert(key);
                m_faults.erase(at);
                continue;
            }
            double kept[6] = {r.I1.real(), r.I1.imag(), r.I2.real(), r.I2.imag(), r.I0.real(), r.I0.imag()};
            if (duprows::merge(kept, v, kCurrentCols, 6, tab, k()))
                duprows::note(tab, duprows::kFaultPoint, k());
            std::copy(kept, kept + 6, v);
        }
        r.T = T;
        r.I1 = Cx(v[0], v[1]);
        r.I2 = Cx(v[2], v[3]);
        r.I0 = Cx(v[4], v[5]);
    }
}

void CaseStore::chooseFaults(std::set<std::string> keys) {
    m_chosen = std::move(keys);
    m_filtered = true;
}

void CaseStore::seedBuses() {
    SqlStmt s("select BUS_Name from SCR_BUS where CASE_NO=");
    s.number(m_caseNoText);
    // A database without the table names its buses by their voltages alone.
    if (!m_db.session().missingTables(s.sql()).empty()) return;
    auto q = select(s);
    if (!q) return;
    // A name that is no name is the entry of the reports that read the table's values.
    while (q->next()) {
        if (q->isNull(0)) continue;
        std::string bus = q->text8(0);
        if (!textcodec::isValidGb18030(bus.data(), bus.size())) continue;
        auto [it, added] = m_buses.try_emplace(std::move(bus));
        if (added) {
            it->second.m_store = this;
            it->second.m_bus = int(m_buses.size() - 1);
        }
    }
}

void CaseStore::checkFaultType() {
    const QVariant& stored = caseRow().typeFault;
    const dp::Checked type = dp::readNumber(stored, dp::Domain::FaultType);
    if (!type.ok) return; // the reports' entry
    scq::ZeroSeqSeen seen;
    for (const auto& f : m_faults)
        seen.add(f.second.I1, f.second.I0);
    if (!scq::typeContradicted(int(type.value), seen)) return;
    dp::report(dp::Problem{dp::Kind::Mismatch, "SC_CASE", "Type_Fault", caseKey(), dp::storedText(stored),
                           dp::Action::CellsEmpty});
    // Whether the code or the results are wrong nobody knows: no zero-sequence value is used.
    m_typeContradicted = true;
    for (auto& f : m_faults)
        f.second.I0 = m_noZ0;
    for (FaultVolts& f : m_volts)
        for (SCB120Rec& v : f.v)
            v.V0 = m_noZ0;
}

// The bus voltage rows of the table, read apart from the store: its buses in the order they first come, its
// faults' blocks in the order of its rows, bus numbers local to the part.
struct CaseStore::VoltPart {
    std::vector<std::string> names;
    std::set<int> undecodable; // buses whose names are no text: their rows are left out
    std::vector<FaultVolts> faults;
    long rows = 0;

    // `go` is asked every 4096 rows whether to read on.
    void read(ResultRows& q, const CaseStore& store, const std::function<bool(long)>& go) {
        const char* tab = "SCR_B120";
        // A name's bytes as stored lead to its bus without converting them again. Rows
        // come bus by bus or fault by fault in one order of buses: the last row's bus and
        // the one after it are tried before the hash.
        std::deque<std::string> stored; // the hashes' keys
        std::unordered_map<std::string_view, int> busOfBytes;
        std::unordered_map<std::string_view, int> busOfName;
        std::vector<std::string_view> bytesOf; // by bus; null for a name without bytes
        auto busOf = [&](std::string_view bytes) {
            if (bytes.data())
                if (auto known = busOfBytes.find(bytes); known != busOfBytes.end()) return known->second;
            const std::string& name8 = q.text8(0);
            int b;
            if (auto known = busOfName.find(name8); known != busOfName.end()) {
                b = known->second;
            } else {
                b = int(names.size());
                names.push_back(name8);
                if (!decodable(name8, tab, "bus_Name", [&] { return store.caseKey(); }))
                    undecodable.insert(b);
                busOfName.emplace(stored.emplace_back(name8), b);
                bytesOf.emplace_back();
            }
            if (bytes.data()) {
                const std::string_view key = stored.emplace_back(bytes);
                busOfBytes.emplace(key, b);
                if (!bytesOf[size_t(b)].data()) bytesOf[size_t(b)] = key;
            }
            return b;
        };
        std::unordered_map<int, size_t> slotOf;
        int lastT = 0, bus = -1;
        size_t lastSlot = size_t(-1);
        while (q.next()) {
            if ((++rows & 0xFFF) == 0 && !go(rows)) return;
            if (q.isNull(0)) {
                dp::report(dp::Problem{dp::Kind::Null, tab, "bus_Name", store.caseKey(), std::string(),
                                       dp::Action::RowLeftOut});
                continue;
            }
            const std::string_view bytes = q.textBytes(0);
            auto isBus = [&](int b) {
                return b >= 0 && size_t(b) < bytesOf.size() && bytesOf[size_t(b)].data() &&
                       bytesOf[size_t(b)] == bytes;
            };
            if (!bytes.data() || !isBus(bus)) bus = bytes.data() && isBus(bus + 1) ? bus + 1 : busOf(bytes);
            if (undecodable.count(bus)) continue;
            const std::string& bus8 = names[size_t(bus)];
            int T = 0;
            if (!whole(
                    q, 1, tab, "T", [&] { return store.busKey(bus8); }, T))
                continue;
            auto k = [&] { return store.busFaultKey(bus8, T); };
            if (lastSlot == size_t(-1) || T != lastT) {
                auto [slot, added] = slotOf.try_emplace(T, faults.size());
                if (added) {
                    // Fault by fault, the next block is as long as the last one.
                    const size_t last = lastSlot == size_t(-1) ? 0 : faults[lastSlot].v.size();
                    faults.push_back(FaultVolts{T, {}, {}});
                    faults.back().bus.reserve(last);
                    faults.back().v.reserve(last);
                }
                lastT = T;
                lastSlot = slot->second;
            }
            FaultVolts& f = faults[lastSlot];
            f.bus.push_back(bus);
            SCB120Rec& v = f.v.emplace_back();
            v.V1 = Cx(num(q, 2, tab, "VR1", k), num(q, 3, tab, "VI1", k));
            v.V2 = Cx(num(q, 4, tab, "VR2", k), num(q, 5, tab, "VI2", k));
            v.V0 = Cx(num(q, 6, tab, "VR0", k), num(q, 7, tab, "VI0", k));
        }
    }
};

// Rows of a part join the store after those of the parts before it, as if read in one.
void CaseStore::addVolts(VoltPart& part, std::unordered_map<int, size_t>& slotOf) {
    std::vector<int> index(part.names.size());
    for (size_t i = 0; i < part.names.size(); ++i) {
        if (part.undecodable.count(int(i))) continue; // no rows refer to it
        auto [it, added] = m_buses.try_emplace(std::move(part.names[i]));
        if (added) {
            it->second.m_store = this;
            it->second.m_bus = int(m_buses.size() - 1);
        }
        index[i] = it->second.m_bus;
    }
    for (FaultVolts& f : part.faults) {
        for (int& b : f.bus)
            b = index[size_t(b)];
        auto [slot, added] = slotOf.try_emplace(f.T, m_volts.size());
        if (added) {
            m_volts.push_back(std::move(f));
            continue;
        }
        FaultVolts& to = m_volts[slot->second];
        to.bus.insert(to.bus.end(), f.bus.begin(), f.bus.end());
        to.v.insert(to.v.end(), f.v.begin(), f.v.end());
    }
}

SqlStmt CaseStore::voltageStatement() const {
    SqlStmt s("select bus_Name,T,VR1,VI1,VR2,VI2,VR0,VI0 from SCR_B120 where Case_No=");
    s.number(m_caseNoText);
    // Only the chosen fault points' rows leave the database (through its index on the
    // fault number, where it has one).
    if (m_someLeftOut) {
        std::set<int> ts;
        for (const auto& f : m_faults)
            ts.insert(f.second.T);
        s << " and T in (";
        bool first = true;
        for (int t : ts) {
            s << (first ? "" : ",");
            s.number((long long)t);
            first = false;
        }
        s << ")";
    }
    return s;
}

void CaseStore::loadVoltages(const std::function<void(long)>& tick) {
    if (m_someLeftOut && m_faults.empty()) return;
    const SqlStmt s = voltageStatement();
    // One statement on the run's connection: every read of the run sees one state.
    std::unique_ptr<ResultRows> first = select(s);
    if (!first) return;
    VoltPart a;
    a.read(*first, *this, [&](long n) {
        if (tick) tick(n);
        return true;
    });
    std::unordered_map<int, size_t> slotOf;
    addVolts(a, slotOf);
    std::sort(m_volts.begin(), m_volts.end(),
              [](const FaultVolts& a, const FaultVolts& b) { return a.T < b.T; });
    const size_t buses = m_buses.size();
    std::vector<const std::string*> nameOf; // by bus index, made at the first repeated row
    auto repeated = [&](int T, int bus, SCB120Rec& kept, const SCB120Rec& later) {
        if (nameOf.empty()) {
            nameOf.resize(buses);
            for (const auto& [name, bf] : m_buses)
                nameOf[size_t(bf.m_bus)] = &name;
        }
        static const char* const cols[6] = {"VR1", "VI1", "VR2", "VI2", "VR0", "VI0"};
        double a[6] = {kept.V1.real(), kept.V1.imag(), kept.V2.real(),
                       kept.V2.imag(), kept.V0.real(), kept.V0.imag()};
        const double b[6] = {later.V1.real(), later.V1.imag(), later.V2.real(),
                             later.V2.imag(), later.V0.real(), later.V0.imag()};
        const std::string key = busFaultKey(*nameOf[size_t(bus)], T);
        if (duprows::merge(a, b, cols, 6, "SCR_B120", key)) duprows::note("SCR_B120", "bus_Name,T", key);
        kept = SCB120Rec{Cx(a[0], a[1]), Cx(a[2], a[3]), Cx(a[4], a[5])};
    };
    for (FaultVolts& f : m_volts) {
        // By bus index; two rows of one bus and fault are merged.
        if (!std::is_sorted(f.bus.begin(), f.bus.end())) {
            std::vector<size_t> order(f.bus.size());
            for (size_t i = 0; i < order.size(); ++i)
                order[i] = i;
            std::stable_sort(order.begin(), order.end(),
                             [&f](size_t a, size_t b) { return f.bus[a] < f.bus[b]; });
            FaultVolts g{f.T, {}, {}};
            for (size_t i : order) {
                g.bus.push_back(f.bus[i]);
                g.v.push_back(f.v[i]);
            }
            f = std::move(g);
        }
        size_t out = 0;
        for (size_t i = 0; i < f.bus.size(); ++i) {
            if (out > 0 && f.bus[out - 1] == f.bus[i]) {
                repeated(f.T, f.bus[i], f.v[out - 1], f.v[i]);
                continue;
            }
            f.bus[out] = f.bus[i];
            f.v[out++] = f.v[i];
        }
        f.bus.resize(out);
        f.v.resize(out);
        f.v.shrink_to_fit();
        // Every bus has this fault: its block is indexed by bus directly.
        if (out == buses)
            std::vector<int>().swap(f.bus);
        else
            f.bus.shrink_to_fit();
    }
}

void CaseStore::loadPreFault() {
    {
        SqlStmt s("select Bus_Name,Vrz,Viz from SCR_LPC where Case_No=");
        s.number(m_caseNoText);
        const char* tab = "SCR_LPC";
        if (auto q = select(s)) {
            while (q->next()) {
                std::string bus;
                if (!name(
                        *q, 0, tab, "Bus_Name", [&] { return caseKey(); }, bus))
                    continue;
                auto k = [&] { return busKey(bus); };
                m_lpc[bus] = Cx(num(*q, 1, tab, "Vrz", k), num(*q, 2, tab, "Viz", k));
            }
        }
    }
    if (!caseRow().found) raiseError(gb("在短路作业表中找不到指定的作业:") + m_caseNoText);
    // Without a load-flow case number nobody knows which pre-fault voltages apply.
    const dp::Checked lf = dp::readNumber(m_caseRow.caseLF, dp::Domain::Integer);
    if (!lf.ok)
        dp::report(dp::Problem{lf.kind, "SC_CASE", "CASE_LF", caseKey(), dp::storedText(m_caseRow.caseLF),
                               dp::Action::CellsEmpty});
    m_caseLFBad = !lf.ok;
    m_caseLF = m_caseLFBad ? 0 : int(lf.value);
    if (m_caseLF <= 0) return;
    const std::string caseLFText = std::to_string(m_caseLF);
    SqlStmt s("select Bus_Name,V,Angle from LFR_BS_R where CASE_NO=");
    s.number(caseLFText);
    const char* tab = "LFR_BS_R";
    auto q = select(s);
    if (!q) return;
    while (q->next()) {
        std::string bus;
        if (!name(
                *q, 0, tab, "Bus_Name", [&] { return gb("潮流作业 ") + caseLFText; }, bus))
            continue;
        auto k = [&] { return gb("潮流作业 ") + caseLFText + gb("，母线 ") + bus; };
        const double v = num(*q, 1, tab, "V", k);
        const double theta = num(*q, 2, tab, "Angle", k) * 0.017453292519943295;
        m_lfr[bus] = Cx(v * std::cos(theta), v * std::sin(theta));
    }
}

// A branch stored twice (the branches sorted) is one branch.
void CaseStore::mergeRepeatedBranches(const char* tab) {
    size_t out = 0;
    for (size_t i = 0; i < m_branches.size(); ++i) {
        SCLine1Rec& b = m_branches[i];
        if (out > 0) {
            SCLine1Rec& a = m_branches[out - 1];
            if (a.I_Name == b.I_Name && a.J_Name == b.J_Name && a.ID_No == b.ID_No) {
                static const char* const cols[5] = {"R1", "X1", "B1_half", "Tk", "Type"};
                double x[5] = {a.Z1.real(), a.Z1.imag(), a.B1_half, a.Tk, double(a.Type)};
                const double y[5] = {b.Z1.real(), b.Z1.imag(), b.B1_half, b.Tk, double(b.Type)};
                const std::string key = branchKey(a.I_Name, a.J_Name, a.ID_No);
                if (duprows::merge(x, y, cols, 5, tab, key)) duprows::note(tab, "I_Name,J_Name,ID_No", key);
                a.Z1 = Cx(x[0], x[1]);
                a.B1_half = x[2];
                a.Tk = x[3];
                a.Type = std::isnan(x[4]) ? 0 : a.Type;
                continue;
            }
        }
        if (out != i) m_branches[out] = std::move(b);
        ++out;
    }
    m_branches.resize(out);
}

void CaseStore::loadBranches() {
    {
        SqlStmt s("select I_Name,J_Name,ID_No,R1,X1,B1_half,Tk,Type from SCR_LINE1 where CASE_NO=");
        s.number(m_caseNoText);
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
                m_branches.push_back(std::move(b));
            }
        }
        // The database orders its own encoding; the program orders GB18030 bytes, as its
        // maps do, whatever the back end.
        std::stable_sort(m_branches.begin(), m_branches.end(), [](const SCLine1Rec& a, const SCLine1Rec& b) {
            if (int c = a.I_Name.compare(b.I_Name)) return c < 0;
            if (int c = a.J_Name.compare(b.J_Name)) return c < 0;
            return a.ID_No < b.ID_No;
        });
        mergeRepeatedBranches(tab);
    }
    // A three-phase fault has no zero-sequence network; with a contradicted type none is used.
    if (!m_typeContradicted && leniently(caseRow().typeFault) != 1) {
        SqlStmt s("select I_Name,J_Name,ID_No,R0,X0 from SCR_LINE0 where CASE_NO=");
        s.number(m_caseNoText);
        const char* tab = "SCR_LINE0";
        if (auto q = select(s)) {
            while (q->next()) {
                BranchKey bk;
                if (!branchOf(*q, tab, caseKey(), bk)) continue;
                auto k = [&] { return branchKey(bk.I_Name, bk.J_Name, bk.ID_No); };
                const Cx z0(num(*q, 3, tab, "R0", k), num(*q, 4, tab, "X0", k));
                auto [at, added] = m_line0.try_emplace(std::move(bk), z0);
                if (added) continue;
                static const char* const cols[2] = {"R0", "X0"};
                double x[2] = {at->second.real(), at->second.imag()};
                const double y[2] = {z0.real(), z0.imag()};
                if (duprows::merge(x, y, cols, 2, tab, k())) duprows::note(tab, "I_Name,J_Name,ID_No", k());
                at->second = Cx(x[0], x[1]);
            }
        }
    }
    m_z0.clear();
    m_z0.reserve(m_branches.size());
    for (const SCLine1Rec& b : m_branches) {
        auto it = m_line0.find(BranchKey{b.I_Name, b.J_Name, b.ID_No});
        m_z0.push_back(m_typeContradicted ? &m_noZ0 : it == m_line0.end() ? nullptr : &it->second);
    }
}

// Each row of SCR_BUS with a bus name (the statement's first column): `row(q, bus)`
// takes the columns after it.
template <class F> void CaseStore::readBusRows(const char* statement, F&& row) {
    SqlStmt s(statement);
    s.number(m_caseNoText);
    auto q = select(s);
    if (!q) return;
    while (q->next()) {
        std::string bus;
        if (name(
                *q, 0, "SCR_BUS", "BUS_Name", [&] { return caseKey(); }, bus))
            row(*q, bus);
    }
}

void CaseStore::loadCapacities() {
    if (m_capacitiesLoaded) return;
    m_capacitiesLoaded = true;
    readBusRows("SELECT BUS_Name,SC1_MVA,SC3_MVA from SCR_BUS where CASE_NO=",
                [this](const ResultRows& q, const std::string& bus) {
                    auto k = [&] { return busKey(bus); };
                    std::vector<dp::Problem> later;
                    const double v[2] = {numLater(q, 1, "SCR_BUS", "SC1_MVA", k, later),
                                         numLater(q, 2, "SCR_BUS", "SC3_MVA", k, later)};
                    if (!later.empty()) {
                        auto& kept = m_busProblems[bus];
                        kept.insert(kept.end(), later.begin(), later.end());
                    }
                    auto [at, added] = m_capacities.try_emplace(bus, v[0], v[1]);
                    if (added) return;
                    static const char* const cols[2] = {"SC1_MVA", "SC3_MVA"};
                    double x[2] = {at->second.real(), at->second.imag()};
                    repeatedBus(bus, x, v, cols, 2);
                    at->second = Cx(x[0], x[1]);
                });
}

void CaseStore::loadBaseVoltages() {
    if (m_baseKVLoaded) return;
    m_baseKVLoaded = true;
    readBusRows("select BUS_Name,Base_kV from SCR_BUS where CASE_NO=",
                [this](const ResultRows& q, const std::string& bus) {
                    std::vector<dp::Problem> later;
                    const double kv = numLater(
                        q, 1, "SCR_BUS", "Base_kV", [&] { return busKey(bus); }, later, dp::Domain::Positive);
                    if (!later.empty()) {
                        auto& kept = m_busProblems[bus];
                        kept.insert(kept.end(), later.begin(), later.end());
                    }
                    auto [at, added] = m_baseKV.try_emplace(bus, kv);
                    static const char* const col = "Base_kV";
                    if (!added) repeatedBus(bus, &at->second, &kv, &col, 1);
                });
}

// The two statements each see their own columns; the entries wait until the bus is used.
void CaseStore::repeatedBus(const std::string& bus, double* kept, const double* later,
                            const char* const* columns, size_t n) {
    m_busRepeated.insert(bus);
    if (!duprows::merge(kept, later, columns, n, "SCR_BUS", busKey(bus), &m_busProblems[bus]))
        m_busConflicts.insert(bus);
}

// Rows of a bus that agree in every column read so far.
void CaseStore::noteBusRepeat(const std::string& bus) const {
    if (m_busRepeated.count(bus) && !m_busConflicts.count(bus))
        duprows::note("SCR_BUS", "BUS_Name", busKey(bus));
}

void CaseStore::reportBusProblem(const std::string& bus, const char* column) const {
    bool told = false;
    auto it = m_busProblems.find(bus);
    if (it != m_busProblems.end())
        for (const dp::Problem& p : it->second)
            if (p.column == column) {
                dp::report(p);
                told = true;
            }
    // A bad value with nothing kept was NULL.
    if (!told)
        dp::report(dp::Problem{dp::Kind::Null, "SCR_BUS", column, busKey(bus), std::string(),
                               dp::Action::CellsEmpty});
}

double CaseStore::baseMVA() {
    if (!m_baseMVALoaded) {
        m_baseMVALoaded = true;
        m_baseMVA = dp::kBad;
        const std::string tab = "CDB_SB" + m_db.tableSuffix();
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

const CaseRow& CaseStore::caseRow() {
    if (!m_caseRowRead) {
        m_caseRowRead = true;
        ++m_queryCount;
        m_caseRow = readCaseRow(m_db, m_caseNoText);
    }
    return m_caseRow;
}

double CaseStore::baseKV(const std::string& bus) {
    loadBaseVoltages();
    auto it = m_baseKV.find(bus);
    if (it == m_baseKV.end()) raiseError(gb("不能找到计算母线的电压基值:") + bus);
    if (dp::bad(it->second)) reportBusProblem(bus, "Base_kV");
    noteBusRepeat(bus);
    return it->second;
}

bool CaseStore::hasBaseKV(const std::string& bus) {
    loadBaseVoltages();
    return m_baseKV.count(bus) > 0;
}

double CaseStore::sc1MVA(const std::string& bus) const {
    auto it = m_capacities.find(bus);
    if (it == m_capacities.end()) raiseError(gb("找不到母线对应的单相短路容量：") + bus);
    if (dp::bad(it->second.real())) reportBusProblem(bus, "SC1_MVA");
    noteBusRepeat(bus);
    return it->second.real();
}

double CaseStore::sc3MVA(const std::string& bus) const {
    auto it = m_capacities.find(bus);
    // The capacity message names the single-phase value; the same one is used for both.
    if (it == m_capacities.end()) raiseError(gb("找不到母线对应的单相短路容量：") + bus);
    if (dp::bad(it->second.imag())) reportBusProblem(bus, "SC3_MVA");
    noteBusRepeat(bus);
    return it->second.imag();
}

// ---------------------------------------------------------------------------------------
// Lookups

const SCR120Rec* CaseStore::findFault(const std::string& key) const {
    auto it = m_faults.find(key);
    return it == m_faults.end() ? nullptr : &it->second;
}

const CaseStore::BusFaults* CaseStore::findBus(const std::string& bus) const {
    auto it = m_buses.find(bus);
    return it == m_buses.end() ? nullptr : &it->second;
}

const CaseStore::FaultVolts* CaseStore::faultVolts(int T) const {
    if (m_volts.empty()) return nullptr;
    // Fault numbers are mostly 1, 2, 3, ...: try the place T would have then.
    const size_t at = size_t(T) - size_t(m_volts.front().T);
    if (at < m_volts.size() && m_volts[at].T == T) return &m_volts[at];
    auto it = std::lower_bound(m_volts.begin(), m_volts.end(), T,
                               [](const FaultVolts& f, int t) { return f.T < t; });
    return it == m_volts.end() || it->T != T ? nullptr : &*it;
}

const SCB120Rec* CaseStore::volts(int bus, int T) const {
    const FaultVolts* f = faultVolts(T);
    if (!f) return nullptr;
    if (f->bus.empty()) return size_t(bus) < f->v.size() ? &f->v[size_t(bus)] : nullptr;
    auto it = std::lower_bound(f->bus.begin(), f->bus.end(), bus);
    return it == f->bus.end() || *it != bus ? nullptr : &f->v[size_t(it - f->bus.begin())];
}

const SCB120Rec* CaseStore::findVolts(const std::string& bus, int T) const {
    const BusFaults* bf = findBus(bus);
    return bf ? bf->find(T) : nullptr;
}

bool CaseStore::preFault(const std::string& key, Cx& v) const {
    if (m_caseLFBad) {
        v = Cx(dp::kBad, dp::kBad);
        return true;
    }
    const auto& m = m_caseLF > 0 ? m_lfr : m_lpc;
    auto it = m.find(key);
    if (it == m.end()) return false;
    v = it->second;
    return true;
}

const CaseStore::Cx* CaseStore::branchZ0(size_t k) const {
    return k < m_z0.size() ? m_z0[k] : nullptr;
}
