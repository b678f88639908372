// The six short-circuit reports of SCRepPort. Each builds one page from the store; the
// item-based ones share the loop of scitems::appendCells over their item table.
#include "screpport.h"

#include "db/cdbutility.h"
#include "db/dataproblems.h"
#include "db/dbquery.h"
#include "db/errortext.h"
#include "db/log.h"
#include "db/sqlstmt.h"
#include "db/textcodec.h"
#include "sc/reportitems.h"
#include "sc/reportkinds.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using scq::Cx;
using textcodec::gb;

namespace {

// Where appendCells puts a record's cells: each with the values it was printed from.
auto cellsOfRecord(RecordStore& rs, int rec) {
    return [&rs, rec](std::string_view t, const scitems::CellBuffer& b) {
        rs.appendExact(0, rec, t, b.exact, b.nExact);
    };
}

// ---------------------------------------------------------------------------------------
// Item tables

// Sequence and phase values of one quantity (bus voltage, branch current): items are
// magnitude (4 decimals) and angle (2 decimals) of 1, 2, 0, A, B, C in turn.
struct SeqPhaseCtx {
    Cx s[6];
    double k = 1.0;
};

SeqPhaseCtx seqPhase(const Cx& x1, const Cx& x2, const Cx& x0, double k) {
    const scq::Phases p = scq::toPhases(x1, x2, x0);
    return SeqPhaseCtx{{x1, x2, x0, p.a, p.b, p.c}, k};
}

// One number cell per item.
template <class Ctx, class F> scitems::Item<Ctx> num(F value, int decimals) {
    return scitems::Item<Ctx>{scitems::number<Ctx>(value, decimals), {}};
}

const scitems::Table<SeqPhaseCtx>& seqPhaseItems() {
    using C = SeqPhaseCtx;
    static const scitems::Table<C> t = [] {
        scitems::Table<C> t;
        for (int k = 0; k < 6; ++k) {
            t.push_back(num<C>([k](const C& x) { return std::abs(x.s[k]) * x.k; }, 4));
            t.push_back(num<C>([k](const C& x) { return scq::angleDeg(x.s[k]); }, 2));
        }
        return t;
    }();
    return t;
}

// The fault point's line of the fault point and branches report.
struct ShortPointCtx {
    Cx i1f, i0f, v1f, v0f, vpre;
    double kI = 1.0, kZ = 1.0, sb = 0.0;
    bool type1 = false;
    bool typeBad = false; // no fault type: whether the zero sequence exists is unknown
};

constexpr double kBad = dataproblems::kBad;

// A three-phase fault has no zero-sequence network: fixed texts stand for its values.
constexpr double kNoZ0 = 10000.0;

const scitems::Table<ShortPointCtx>& shortPointItems() {
    using C = ShortPointCtx;
    static const scitems::Table<C> t = [] {
        auto z1 = [](const C& c) { return scq::div(c.vpre - c.v1f, c.i1f); };
        auto z0 = [](const C& c) { return scq::div(-c.v0f, c.i0f); };
        scitems::Table<C> t{
            num<C>([](const C& c) { return std::abs(c.i1f) * c.kI; }, 4),
            num<C>([](const C& c) { return std::abs(c.i0f) * c.kI; }, 4),
            num<C>([](const C& c) { return std::abs(c.i1f) * c.sb; }, 3),
            num<C>([](const C& c) { return std::abs(c.i0f) * c.sb; }, 3),
            num<C>([z1](const C& c) { return std::abs(z1(c)) * c.kZ; }, 4),
            num<C>([z1](const C& c) { return scq::angleDeg(z1(c)); }, 2),
            num<C>([z0](const C& c) { return c.typeBad ? kBad
                                             : c.type1 ? kNoZ0
                                                       : std::abs(z0(c)) * c.kZ; },
                   4),
            num<C>([z0](const C& c) { return c.typeBad ? kBad
                                             : c.type1 ? 0.0
                                                       : scq::angleDeg(z0(c)); }, 2),
        };
        // The system side of the fault point is the fault point itself.
        for (int n = 4; n < 8; ++n)
            t.push_back(t[size_t(n)]);
        return t;
    }();
    return t;
}

// One branch at the fault bus; "o" is its other end.
struct BranchRowCtx {
    Cx i1br, i0br, v1f, v0f, v0o, z0, vpre, i1f, i0f;
    bool hasZ0 = false, hasPre = false, type1 = false, typeBad = false;
    double kI = 1.0, kZ = 1.0, sb = 0.0;
    bool noZ0() const { return type1 || !hasZ0; }
    // The fixed text or the value of a zero-sequence item; neither without a fault type.
    double zeroSeq(double fixedText, double value) const {
        return typeBad ? kBad : noZ0() ? fixedText : value;
    }
};

const scitems::Table<BranchRowCtx>& branchRowItems() {
    using C = BranchRowCtx;
    static const scitems::Table<C> t = [] {
        // Items that need the pre-fault voltage stay empty without it.
        auto pre = [](scitems::Item<C> it) {
            auto f = it.cell;
            it.cell = [f](const C& c, scitems::CellBuffer& b) {
                return c.hasPre ? f(c, b) : std::string_view();
            };
            return it;
        };
        auto i0 = [](const C& c) { return std::abs(scq::div(c.v0f - c.v0o, c.z0)); };
        auto z1k = [](const C& c) { return scq::div(c.v1f - c.vpre, c.i1br); };
        auto z0k = [](const C& c) { return scq::div(c.v0f, c.v0f - c.v0o) * c.z0; };
        auto z1s = [](const C& c) { return scq::div(c.v1f - c.vpre, c.i1f + c.i1br); };
        auto z0s = [](const C& c) { return scq::div(c.v0f, c.i0f + c.i0br); };
        auto a0s = scitems::number<C>([z0s](const C& c) { return scq::angleDeg(z0s(c)); }, 4);
        return scitems::Table<C>{
            num<C>([](const C& c) { return std::abs(c.i1br) * c.kI; }, 4),
            num<C>([i0](const C& c) { return c.zeroSeq(0.0, i0(c) * c.kI); }, 4),
            num<C>([](const C& c) { return std::abs(c.i1br) * c.sb; }, 4),
            num<C>([i0](const C& c) { return c.zeroSeq(0.0, i0(c) * c.sb); }, 4),
            pre(num<C>([z1k](const C& c) { return std::abs(z1k(c)) * c.kZ; }, 4)),
            pre(num<C>([z1k](const C& c) { return scq::angleDeg(z1k(c)); }, 4)),
            num<C>([z0k](const C& c) { return c.zeroSeq(kNoZ0, std::abs(z0k(c)) * c.kZ); }, 4),
            num<C>([z0k](const C& c) { return c.zeroSeq(0.0, scq::angleDeg(z0k(c))); }, 2),
            pre(num<C>([z1s](const C& c) { return std::abs(z1s(c)) * c.kZ; }, 4)),
            pre(num<C>([z1s](const C& c) { return scq::angleDeg(z1s(c)); }, 4)),
            num<C>(
                [z0s](const C& c) {
                    return c.typeBad ? kBad : c.type1 ? kNoZ0 : !c.hasZ0 ? 0.0 : std::abs(z0s(c)) * c.kZ;
                },
                4),
            // Its fixed text has two decimals, its values four.
            scitems::Item<C>{[a0s](const C& c, scitems::CellBuffer& b) {
                                 if (c.typeBad) return std::string_view();
                                 return c.noZ0() ? std::string_view("0.00") : a0s(c, b);
                             },
                             {}},
        };
    }();
    return t;
}

// The voltage cells of one bus during one fault: the same on every branch that ends
// there, so each is formatted once per fault (and scale).
struct BusVoltCells {
    static constexpr size_t kRoom = 32; // longer texts are not kept
    int fault = -1;
    double kU = 0.0;
    unsigned filled = 0; // bit k: text[k] holds component k
    uint8_t len[6] = {};
    char text[6][kRoom];
    double exact[6][2];
    // The entry for fault i at scale kU, emptied when it held another.
    BusVoltCells* at(int i, double k) {
        if (fault != i || kU != k) {
            fault = i;
            kU = k;
            filled = 0;
        }
        return this;
    }
};

// Both ends of a branch: voltages and currents, components 1, 2, 0, A, B, C.
struct VizCtx {
    Cx v[2][6];
    Cx i[2][6];
    scq::Scale s;
    BusVoltCells* vc[2] = {nullptr, nullptr}; // the ends' buses' cells; null: none kept
};

const scitems::Table<VizCtx>& vizItems() {
    using C = VizCtx;
    using B = scitems::CellBuffer;
    static const scitems::Table<C> t = [] {
        scitems::Table<C> t;
        for (int k = 0; k < 6; ++k) {
            // Below this current the apparent impedance is meaningless.
            const char* none = (k == 1 || k == 2) ? "10000.0000 / 0.00" : "0 / 0";
            auto text = [](B& b, const Cx& z) { return scitems::complexCell(b, z); };
            auto volt = [k, text](int end) {
                return [k, end, text](const C& x, B& b) {
                    BusVoltCells* vc = x.vc[end];
                    if (vc && (vc->filled >> k & 1)) {
                        std::copy(vc->exact[k], vc->exact[k] + 2, b.exact);
                        b.nExact = 2;
                        return std::string_view(vc->text[k], vc->len[k]);
                    }
                    const Cx v = x.v[end][k] * x.s.kU;
                    const std::string_view t = text(b, v);
                    if (vc && !t.empty() && t.size() <= BusVoltCells::kRoom && !std::isnan(v.real()) &&
                        !std::isnan(v.imag())) {
                        std::copy(b.exact, b.exact + 2, vc->exact[k]);
                        std::memcpy(vc->text[k], t.data(), t.size());
                        vc->len[k] = uint8_t(t.size());
                        vc->filled |= 1u << k;
                    }
                    return t;
                };
            };
            auto cur = [k, text](int end) {
                return [k, end, text](const C& x, B& b) { return text(b, x.i[end][k] * x.s.kI); };
            };
            auto imp = [k, none, text](int end) {
                return [k, end, none, text](const C& x, B& b) {
                    const Cx& i = x.i[end][k];
                    if (std::abs(i) < 0.001) return std::string_view(none);
                    return text(b, scq::div(x.v[end][k], i) * x.s.kZ);
                };
            };
            t.push_back({volt(0), volt(1)});
            t.push_back({cur(0), cur(1)});
            t.push_back({imp(0), imp(1)});
        }
        return t;
    }();
    return t;
}

std::string unitLinePU() {
    return gb("单位：p.u.");
}

// Fault points whose voltage profile the bus voltage chart draws.
constexpr int kProfileFaults = 5;

// The progress step of a kind: one pointer per kind, as checkRun wants.
const char* stepOf(reportkinds::Id id) {
    return reportkinds::kind(id).step.c_str();
}

// Units of the .xlsx headings.
std::string unitText(char quantity, bool pu) {
    if (quantity == 'a') return gb("°");
    if (quantity == 's') return "MVA";
    if (pu) return "p.u.";
    return quantity == 'v' ? "kV" : quantity == 'i' ? "kA" : gb("Ω");
}

// What a cell of a fault point and branches item is: current, capacity, impedance, angle.
char shortBraQuantity(int item) {
    return item < 2 ? 'i' : item < 4 ? 's' : item % 2 ? 'a' : 'z';
}

// The case and its fault type, under a chart's title; the type is read without
// reporting it again.
std::string chartAbout(const std::string& caseName, const QVariant& typeFault) {
    static const char* const kTypes[] = {"未知", "ABC三相短路", "A相短路接地", "AB两相短路",
                                         "AB两相短路接地"};
    const dataproblems::Checked t = dataproblems::readNumber(typeFault, dataproblems::Domain::FaultType);
    const int code = t.ok && t.value >= 1 && t.value <= 4 ? int(t.value) : 0;
    return caseName + "  " + gb(kTypes[code]);
}

} // namespace

// The fault point and the two ends of a branch are buses: the .xlsx tables say where they lie.
void SCRepPort::markBranchEnds(int r) {
    setBusGroupTitle(m_pages[r], 0, gb("故障点"));
    setBusColumn(m_pages[r], 0, gb("I侧"));
    setBusColumn(m_pages[r], 1, gb("J侧"));
}

// ---------------------------------------------------------------------------------------
// Summary

void SCRepPort::portSummary() {
    m_store.loadCapacities();
    const CaseRow& head = m_store.caseRow();
    if (!head.found) return;
    const std::string note = dbq::text8(head.note);
    const std::string date = scq::dateText(dbq::text8(head.date));
    const std::string time = scq::timeText(dbq::text8(head.time));
    const QVariant typeValue = head.typeFault;
    const dataproblems::Checked typeRead =
        dataproblems::readNumber(typeValue, dataproblems::Domain::FaultType);

    const int r = addRP(false);
    addTitle(r, gb("短路电流简表"));
    addTitle(r, gb("短路作业名：") + m_strCaseName);
    addTitle(r, gb("短路作业描述：") + note);
    addTitle(r, gb("短路计算日期：\t") + date + gb("\t\t\t时间：\t") + time);
    const std::string currentHead = gb(m_bPU ? "短路电流（p.u.）" : "短路电流（kA）"),
                      mvaHead = gb("短路容量（MVA）"), ratioHead = gb("容量比（%）");
    addHeader(r, gb("母线名"), 18, true);
    addHeader(r, currentHead, 20, false);
    addHeader(r, mvaHead, 20, false);
    m_typeBad = !typeRead.ok;
    m_typeFault = m_typeBad ? 0 : int(typeRead.value);
    if (m_typeBad)
        dataproblems::report(dataproblems::Problem{typeRead.kind, "SC_CASE", "Type_Fault", m_store.caseKey(),
                                                   dataproblems::storedText(typeValue),
                                                   dataproblems::Action::CellsEmpty});
    addFaultTypeTitle(r);
    // Three-phase cases compare with the stored three-phase capacity, single-phase ones
    // with the single-phase capacity.
    const bool withCapacity = m_typeFault == 1 || m_typeFault == 2;
    if (withCapacity) {
        addHeader(r, gb(m_typeFault == 1 ? "三相容量" : "单相容量"), 18, false);
        addHeader(r, ratioHead, 18, false);
    }
    setBusColumn(m_pages[r], 0, gb("故障点"));
    // In the .xlsx the fault point is named as on the other sheets, units as on them.
    xlsxCell(m_pages[r], 0, false)->xlsxHead = gb("故障母线");
    const char* const heads[] = {"短路电流", "短路容量", nullptr, "容量比"};
    for (int c = 1; RepCell* h = xlsxCell(m_pages[r], c, false); ++c) {
        if (heads[c - 1]) h->xlsxHead = gb(heads[c - 1]);
        h->unit = c == 1 ? unitText('i', m_bPU) : c == 4 ? "%" : "MVA";
    }
    RepChart chart;
    chart.kind = RepChart::PerRecord;
    chart.title = gb("各短路点的短路电流");
    chart.about = chartAbout(m_strCaseName, typeValue);
    chart.valueCol = 1;
    m_pages[r].chart = chart;

    struct Row {
        std::string iName, jName, percent, idName;
        double percentValue = 0.0;
        std::string label{};
        double part[6] = {}; // IR1, IR2, IR0, II1, II2, II0
        double mag = 0.0;
    };
    std::vector<Row> rows;
    std::map<std::string, size_t> rowOf; // a fault point stored twice is one row
    SqlStmt s("SELECT I_Name,J_Name,Percent,IR1,IR2,IR0,II1,II2,II0,ID_Name from SCR_R120 where flg=1 and "
              "CASE_NO=");
    s.number(m_strCaseNo);
    s << " order by I_Name,J_Name,Percent";
    dbq::Query q = m_store.query();
    if (m_store.exec(q, s)) {
        static const char* const kCols[6] = {"IR1", "IR2", "IR0", "II1", "II2", "II0"};
        while (q.next()) {
            if (q.isNull(0) || q.isNull(1)) {
                dataproblems::report(dataproblems::Problem{
                    dataproblems::Kind::Null, "SCR_R120", q.isNull(0) ? "I_Name" : "J_Name",
                    m_store.caseKey(), std::string(), dataproblems::Action::RowLeftOut});
                continue;
            }
            Row row{q.text8(0), q.text8(1), q.text8(2), q.text8(9), dbq::toDouble(q.value(2))};
            row.label = row.iName == row.jName ? row.iName : row.idName + "_" + row.percent;
            const std::string key = m_store.faultKey(row.label);
            for (int c = 0; c < 6; ++c) {
                const QVariant v = q.value(3 + c);
                const dataproblems::Checked x = dataproblems::readNumber(v);
                if (!x.ok)
                    dataproblems::report(dataproblems::Problem{x.kind, "SCR_R120", kCols[c], key,
                                                               dataproblems::storedText(v),
                                                               dataproblems::Action::CellsEmpty});
                row.part[c] = x.value;
            }
            auto [at, added] = rowOf.try_emplace(row.label, rows.size());
            if (!added) {
                if (duprows::merge(rows[at->second].part, row.part, kCols, 6, "SCR_R120", key))
                    duprows::note("SCR_R120", duprows::kFaultPoint, key);
                continue;
            }
            rows.push_back(std::move(row));
        }
    }
    // A fault type the currents contradict: what uses the zero sequence or the capacity
    // the type chooses stays empty.
    scq::ZeroSeqSeen seen;
    for (const Row& row : rows)
        seen.add(Cx(row.part[0], row.part[3]), Cx(row.part[2], row.part[5]));
    const bool contradicted = typeRead.ok && scq::typeContradicted(m_typeFault, seen);
    if (contradicted)
        dataproblems::report(dataproblems::Problem{dataproblems::Kind::Mismatch, "SC_CASE", "Type_Fault",
                                                   m_store.caseKey(), dataproblems::storedText(typeValue),
                                                   dataproblems::Action::CellsEmpty});
    for (Row& row : rows) {
        const double* p = row.part;
        const double re = p[0] + p[1] + p[2];
        const double im = p[3] + p[4] + p[5];
        row.mag = contradicted ? dataproblems::kBad : std::sqrt(re * re + im * im);
    }
    // Names in GB18030 byte order, whatever the database's own order.
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        if (int c = a.iName.compare(b.iName)) return c < 0;
        if (int c = a.jName.compare(b.jName)) return c < 0;
        return a.percentValue < b.percentValue;
    });

    const double sb = m_store.baseMVA();
    long done = 0;
    for (const Row& row : rows) {
        // Nothing here divides by a stored zero: a NaN can only come from a bad stored value.
        auto cell = [&](double v, int decimals, const std::string& head) {
            if (std::isnan(v)) return std::string();
            if (!scq::tooLarge(v)) return scq::fixed(v, decimals);
            overflowed(reportkinds::Summary, head, m_store.faultKey(row.label));
            return std::string();
        };
        const int k = addRec(r);
        auto number = [&](double v, int decimals, const std::string& head) {
            const std::string t = cell(v, decimals, head);
            m_pages[size_t(r)].records.appendExact(0, k, t, &v, t.empty() ? 0 : 1);
        };
        addText(r, k, row.label, 0);
        // Computed in both unit modes, so a missing base voltage stops either.
        const double f = scq::currentFactor(m_store.baseMVA(), getBaseKV(row.iName));
        number(m_bPU ? row.mag : row.mag * f, 3, currentHead);
        number(row.mag * sb, 3, mvaHead);
        if (withCapacity) {
            double cap = m_typeFault == 1 ? m_store.sc3MVA(row.iName) : m_store.sc1MVA(row.iName);
            if (contradicted) cap = dataproblems::kBad;
            number(cap, 2, gb(m_typeFault == 1 ? "三相容量" : "单相容量"));
            if (cap < 0.001)
                addText(r, k, std::string("0.00"), 0);
            else
                number(row.mag * (sb / cap) * 100.0, 2, ratioHead);
        }
        if (++done % 1024 == 0) checkRun(stepOf(reportkinds::Summary), done, long(rows.size()), true);
    }
    checkRun(stepOf(reportkinds::Summary), done, long(rows.size()), true);
}

// ---------------------------------------------------------------------------------------
// Distribution coefficients

void SCRepPort::portDistribut() {
    const SCPosList& fl = faults();
    if (fl.empty()) raiseError(gb("没有选择故障母线。"));
    loadVI();
    screport::logDebug("portDistribut");
    const int n = int(fl.size());
    screport::logDebug("sc_buses size is " + std::to_string(n));

    const int r = addRP(true);
    addTitle(r, gb("电流分布系数结果报表"));
    addCaseTitle(r);
    addGrpTitle(r, gb("故障母线").c_str(), 10, false);
    addHeader(r, gb("I侧母线"), 20, true);
    addHeader(r, gb("J侧母线"), 20, true);
    addHeader(r, gb("支路号"), 10, true);
    addHeader(r, gb("分布系数"), 16, false);
    markBranchEnds(r);
    xlsxCell(m_pages[r], 3, false)->unit = "p.u."; // of the fault current
    setGrpSize(r, n);

    for (int i = 0; i < n; ++i) {
        const std::string& name = fl[size_t(i)].name;
        addGrpText(r, i, name);
        const SCR120Rec* f = m_store.findFault(name);
        if (!f) {
            screport::logError(gb("找不到短路点：") + name);
            continue;
        }
        const double i1f = std::abs(f->I1);
        for (size_t k = 0; k < m_store.branches().size(); ++k) {
            const SCLine1Rec& b = m_store.branches()[k];
            const BranchAt at = branchAt(k, f->T, NeedV1);
            const int w = addRec(r, i);
            addText(r, w, b.I_Name, i);
            addText(r, w, b.J_Name, i);
            addText(r, w, double(b.ID_No), i);
            const double coef = i1f < 0.001 ? 0.0 : std::abs(at.e.i1i) / i1f;
            const bool bad = scitems::anyBad({f->I1, at.vi.v1, at.vj.v1, b.Z1}, {b.B1_half, b.Tk});
            std::string text;
            if (scq::tooLarge(coef))
                overflowed(reportkinds::Distribution, gb("分布系数"), branchRow(name, b));
            else if (!(bad && std::isnan(coef)))
                text = scq::fixed(coef, 4);
            m_pages[size_t(r)].records.appendExact(i, w, text, &coef,
                                                   text.empty() || std::isnan(coef) ? 0 : 1);
        }
        checkRun(stepOf(reportkinds::Distribution), i + 1, n, true);
        groupDone(r, i);
    }
}

// ---------------------------------------------------------------------------------------
// Fault point and its branches

void SCRepPort::portShortBra() {
    const SCPosList& fl = faults();
    if (fl.empty()) raiseError(gb("没有选择故障母线。"));
    loadVI();
    screport::logDebug("portShortBra");

    const std::string& key = reportkinds::kind(reportkinds::ShortBra).key;
    const std::vector<int> items = chosenItems(key, int(branchRowItems().size()));
    const int r = addRP(true);
    addGrpTitle(r, gb("故障母线").c_str(), 10, false);
    addHeader(r, gb("相连母线"), 18, true);
    addHeader(r, gb("支路号"), 16, true);
    setBusGroupTitle(m_pages[r], 0, gb("故障点"));
    setBusColumn(m_pages[r], 0, gb("相连"));
    for (int n : items) {
        const std::string label = itemLabel(key, n);
        addGrpTitle(r, label.c_str(), 14, false);
        addHeader(r, label, 16, false);
    }
    addTitle(r, gb("短路点及其支路结果输出"));
    addCaseTitle(r);

    if (!m_store.caseRow().found) throw ErrorText(gb("在作业表中找不到相应的记录"));

    addFaultTypeTitle(r);
    addTitle(r, m_bPU ? unitLinePU() : gb("单位：电流（kA） 短路容量（MVA） 阻抗（ohm） 角度（deg.）"));
    for (size_t k = 0; k < items.size(); ++k) {
        const int item = items[k];
        for (RepCell* h : {xlsxCell(m_pages[r], 2 + int(k), false), xlsxCell(m_pages[r], 1 + int(k), true)}) {
            h->unit = unitText(shortBraQuantity(item), m_bPU);
            // Without a zero-sequence network its impedance is a fixed text, and in a
            // three-phase case its angle too.
            if (item == 6 || item == 10)
                h->noValue = {scq::fixed(kNoZ0, 4)};
            else if ((item == 7 || item == 11) && m_typeFault == 1)
                h->noValue = {"0.00"};
            if (!h->noValue.empty()) h->noValueWhy = gb("没有零序网络时的零序阻抗");
        }
    }
    const int n = int(fl.size());
    screport::logDebug("SC Bus count is " + std::to_string(n));
    setGrpSize(r, n);
    for (int i = 0; i < n; ++i) {
        const scq::Scale sc = faultScale(fl[size_t(i)]);
        shortPointRow(r, i, items, sc);
        shortBranches(r, i, items, sc);
        checkRun(stepOf(reportkinds::ShortBra), i + 1, n, true);
        groupDone(r, i);
    }
}

void SCRepPort::shortPointRow(int r, int i, const std::vector<int>& items, const scq::Scale& sc) {
    const std::string& name = faults()[size_t(i)].name;
    const SCR120Rec* f = m_store.findFault(name);
    if (!f) {
        screport::logDebug(gb("找不到母线：") + name);
        return;
    }
    Cx vpre;
    if (!m_store.preFault(name, vpre)) {
        screport::logDebug(gb("找不到母线2：|") + name + "|");
        // A fault inside a branch has no bus and so no pre-fault voltage of its own.
        if (m_store.findBus(name))
            dataproblems::report(dataproblems::Problem{
                dataproblems::Kind::Missing, m_store.caseLF() > 0 ? "LFR_BS_R" : "SCR_LPC", "Bus_Name",
                m_store.busKey(name), std::string(), dataproblems::Action::CellsEmpty});
        return;
    }
    if (!m_store.findBus(name)) screport::logError(gb("m_SCB120找不到：") + name);
    addGrpText(r, i, name);
    // Without the fault bus's own voltages the line keeps its name and no values.
    const SCB120Rec* v = m_store.findVolts(name, f->T);
    if (!v) {
        missingVolts(name, f->T, m_store.findBus(name) != nullptr);
        return;
    }
    const ShortPointCtx c{
        f->I1, f->I0, v->V1, v->V0, vpre, sc.kI, sc.kZ, m_store.baseMVA(), m_typeFault == 1, typeUnknown()};
    const bool bad = typeUnknown() ||
                     scitems::anyBad({f->I1, f->I0, v->V1, v->V0, vpre}, {sc.kI, sc.kZ, m_store.baseMVA()});
    const int over = scitems::appendCells(
        shortPointItems(), items, c, [&](std::string_view t) { addGrpText(r, i, std::string(t)); }, bad);
    if (over >= 0)
        overflowed(reportkinds::ShortBra, itemLabel(reportkinds::kind(reportkinds::ShortBra).key, over),
                   m_store.faultKey(name));
}

void SCRepPort::shortBranches(int r, int i, const std::vector<int>& items, const scq::Scale& sc) {
    const std::string& name = faults()[size_t(i)].name;
    const SCR120Rec* f = m_store.findFault(name);
    if (!f) {
        screport::logError(gb("m_SCR120中找不到母线：") + name);
        return;
    }
    const SCB120Rec* vf = m_store.findVolts(name, f->T);
    if (!vf) return;
    BranchRowCtx c;
    c.v1f = vf->V1;
    c.v0f = vf->V0;
    c.i1f = f->I1;
    c.i0f = f->I0;
    c.hasPre = m_store.preFault(name, c.vpre);
    c.type1 = m_typeFault == 1;
    c.typeBad = typeUnknown();
    c.kI = sc.kI;
    c.kZ = sc.kZ;
    c.sb = m_store.baseMVA();
    for (size_t k = 0; k < m_store.branches().size(); ++k) {
        const SCLine1Rec& b = m_store.branches()[k];
        const std::string* other = nullptr;
        if (b.I_Name == name)
            other = &b.J_Name;
        else if (b.J_Name == name)
            other = &b.I_Name;
        else
            continue;
        const SCB120Rec* vo = m_store.findVolts(*other, f->T);
        if (!vo) {
            screport::logError(gb("找不到：T:") + std::to_string(f->T));
            missingVolts(*other, f->T, m_store.findBus(*other) != nullptr);
            return;
        }
        c.i1br = scq::div(c.v1f - vo->V1, b.Z1) + Cx(0.0, b.B1_half) * c.v1f;
        c.v0o = vo->V0;
        const Cx* z0 = m_store.branchZ0(k);
        c.hasZ0 = z0 != nullptr;
        if (z0) c.z0 = *z0;
        c.i0br = c.hasZ0 ? scq::div(c.v0f - c.v0o, c.z0) : Cx();
        const int w = addRec(r, i);
        addText(r, w, *other, i);
        addText(r, w, std::to_string(b.ID_No), i);
        const bool bad = typeUnknown() || scitems::anyBad({c.v1f, c.v0f, c.i1f, c.i0f, vo->V1, vo->V0, b.Z1,
                                                           c.hasPre ? c.vpre : Cx(), c.hasZ0 ? c.z0 : Cx()},
                                                          {b.B1_half, c.kI, c.kZ, c.sb});
        const int over = scitems::appendCells(
            branchRowItems(), items, c,
            [&](std::string_view t, const scitems::CellBuffer& b) {
                m_pages[size_t(r)].records.appendExact(i, w, t, b.exact, b.nExact);
            },
            bad);
        if (over >= 0)
            overflowed(reportkinds::ShortBra, itemLabel(reportkinds::kind(reportkinds::ShortBra).key, over),
                       branchRow(name, b));
    }
}

// ---------------------------------------------------------------------------------------
// Bus voltages

void SCRepPort::portBusVol() {
    loadVI();
    screport::logDebug("portBusVol");
    const std::string& key = reportkinds::kind(reportkinds::BusVol).key;
    const std::vector<int> items = chosenItems(key, int(seqPhaseItems().size()));
    const int r = addRP(true);
    addGrpTitle(r, gb("故障母线").c_str(), 10, false);
    addHeader(r, gb("母线名"), 20, true);
    for (int n : items) {
        const std::string label = itemLabel(key, n);
        screport::logDebug(label);
        addHeader(r, label, 18, false);
    }
    setBusGroupTitle(m_pages[r], 0, gb("故障点"));
    setBusColumn(m_pages[r], 0, std::string());
    for (size_t k = 0; k < items.size(); ++k)
        xlsxCell(m_pages[r], 1 + int(k), false)->unit = unitText(items[k] % 2 ? 'a' : 'v', m_bPU);
    // The voltage dip of the first fault points, where the positive-sequence magnitude is
    // shown: per unit whatever the report's units, kept apart from the table.
    std::shared_ptr<RepChart::Data> dip;
    const auto v1 = std::find(items.begin(), items.end(), 0);
    if (v1 != items.end()) {
        RepChart chart;
        chart.kind = RepChart::PerGroup;
        chart.title = gb("正序电压幅值分布");
        chart.about = chartAbout(m_strCaseName, m_store.caseRow().typeFault);
        chart.valueCol = 1 + int(v1 - items.begin());
        chart.maxGroups = kProfileFaults;
        dip = chart.data = std::make_shared<RepChart::Data>();
        dip->valueTitle = itemLabel(key, 0) + " (p.u.)";
        m_pages[r].chart = chart;
    }
    addTitle(r, gb("母线电压结果报告"));
    addTitle(r, m_bPU ? unitLinePU() : gb("单位：电流（kA） 短路容量（MVA） 阻抗（ohm） 角度（deg.）"));
    const SCPosList& fl = faultGroups(r);
    const int n = int(fl.size());
    for (int i = 0; i < n; ++i)
        addGrpText(r, i, fl[size_t(i)].name);
    if (!m_bPU) { // read here: the groups may be built on another thread
        m_store.baseMVA();
        m_store.loadBaseVoltages();
    }
    if (dip) { // each group fills its own series only
        const int series = std::min(n, kProfileFaults);
        for (const auto& bus : m_store.buses())
            dip->categories.push_back(bus.first);
        for (int i = 0; i < series; ++i)
            dip->names.push_back(fl[size_t(i)].name);
        dip->values.assign(size_t(series), std::vector<double>(dip->categories.size(), std::nan("")));
    }

    buildGroups(r, n, stepOf(reportkinds::BusVol), [&](int i, RecordStore& rs) {
        const std::string& name = fl[size_t(i)].name;
        const SCR120Rec* f = m_store.findFault(name);
        if (!f) {
            screport::logError(gb("SCR120找不到:") + name);
            return;
        }
        size_t at = 0; // the bus's place among the chart's categories
        for (const auto& bus : m_store.buses()) {
            const SCB120Rec* v = bus.second.find(f->T);
            ++at;
            if (!v) {
                dataproblems::report(dataproblems::Problem{dataproblems::Kind::Missing, "SCR_B120", "T",
                                                           m_store.busFaultKey(bus.first, f->T),
                                                           std::string(), dataproblems::Action::RowLeftOut});
                continue;
            }
            const int w = rs.addRecord(0);
            rs.append(0, w, bus.first);
            if (dip && i < int(dip->values.size())) dip->values[size_t(i)][at - 1] = std::abs(v->V1);
            const double k = m_bPU ? 1.0 : scaleOf(bus.first).kU;
            const SeqPhaseCtx c = seqPhase(v->V1, v->V2, v->V0, k);
            // Magnitudes and angles only: any NaN comes from a bad stored value.
            const int over = scitems::appendCells(seqPhaseItems(), items, c, cellsOfRecord(rs, w), true);
            if (over >= 0)
                overflowed(reportkinds::BusVol, itemLabel(key, over),
                           m_store.faultKey(name) + gb("，母线 ") + bus.first);
        }
    });
}

// The branches' numbers as their cells show them.
std::vector<std::string> SCRepPort::branchNumbers() const {
    std::vector<std::string> ids;
    ids.reserve(m_store.branches().size());
    for (const SCLine1Rec& b : m_store.branches())
        ids.push_back(std::to_string(b.ID_No));
    return ids;
}

// ---------------------------------------------------------------------------------------
// Branch currents

void SCRepPort::portLineCur() {
    loadVI();
    screport::logDebug("portLineCur");
    const std::string& key = reportkinds::kind(reportkinds::LineCur).key;
    const std::vector<int> items = chosenItems(key, int(seqPhaseItems().size()));
    const int r = addRP(true);
    addGrpTitle(r, gb("故障母线").c_str(), 10, false);
    addHeader(r, gb("I侧母线"), 18, true);
    addHeader(r, gb("J侧母线"), 18, true);
    addHeader(r, gb("支路号"), 16, true);
    for (int n : items) {
        const std::string label = itemLabel(key, n);
        screport::logDebug(label);
        addHeader(r, label, 16, false);
    }
    markBranchEnds(r);
    for (size_t k = 0; k < items.size(); ++k)
        xlsxCell(m_pages[r], 3 + int(k), false)->unit = unitText(items[k] % 2 ? 'a' : 'i', m_bPU);
    addTitle(r, gb("支路电流结果报告"));
    addTitle(r, m_bPU ? unitLinePU() : gb("单位：幅值( kA )  角度(deg.)"));
    const SCPosList& fl = faultGroups(r);
    const int n = int(fl.size());
    for (int i = 0; i < n; ++i)
        if (m_store.findFault(fl[size_t(i)].name)) addGrpText(r, i, fl[size_t(i)].name);
    if (!m_bPU) { // read here: the groups may be built on another thread
        m_store.baseMVA();
        m_store.loadBaseVoltages();
    }
    branchBuses();
    screport::logDebug(" m_store.branches().size():" + std::to_string(m_store.branches().size()));

    BranchScales scales[2];                               // one per thread
    const std::vector<std::string> ids = branchNumbers(); // once, not per fault point
    buildGroups(r, n, stepOf(reportkinds::LineCur), [&](int i, RecordStore& rs) {
        const SCPos& p = fl[size_t(i)];
        const SCR120Rec* f = m_store.findFault(p.name);
        if (!f) {
            screport::logError(gb("找不到短路点：") + p.name);
            return;
        }
        auto emitRow = [&](int w, const SeqPhaseCtx& c, bool bad, const SCLine1Rec* b) {
            const int over = scitems::appendCells(seqPhaseItems(), items, c, cellsOfRecord(rs, w), bad);
            if (over >= 0)
                overflowed(reportkinds::LineCur, itemLabel(key, over),
                           b ? branchRow(p.name, *b) : m_store.faultKey(p.name));
        };
        int w = rs.addRecord(0);
        rs.append(0, w, p.name);
        rs.append(0, w, p.name);
        rs.append(0, w, "0");
        emitRow(w, seqPhase(f->I1, f->I2, f->I0, faultScale(p).kI), true, nullptr);

        for (size_t k = 0; k < m_store.branches().size(); ++k) {
            const SCLine1Rec& b = m_store.branches()[k];
            const BranchAt at = branchAt(k, f->T, NeedAll);
            const double kI = branchScale(scales[i % 2], k).kI;
            w = rs.addRecord(0);
            rs.append(0, w, b.I_Name);
            rs.append(0, w, b.J_Name);
            rs.append(0, w, ids[k]);
            emitRow(w, seqPhase(at.e.i1i, at.e.i2i, at.e.i0, kI), branchBad(k, at) || std::isnan(kI), &b);
        }
    });
}

// ---------------------------------------------------------------------------------------
// Branch-end voltages, currents and apparent impedances

void SCRepPort::portVIZ() {
    loadVI();
    screport::logDebug("portLineCur");
    const std::string& key = reportkinds::kind(reportkinds::BranchEnds).key;
    const std::vector<int> items = chosenItems(key, int(vizItems().size()));
    const int r = addRP(true);
    addGrpTitle(r, gb("故障母线").c_str(), 18, true);
    addHeader(r, gb("I侧母线"), 18, true);
    addHeader(r, gb("J侧母线"), 18, true);
    addHeader(r, gb("支路号"), 16, true);
    for (int n : items) {
        const std::string label = itemLabel(key, n);
        screport::logDebug(label);
        addHeader(r, gb("I侧") + label, 20, false);
        addHeader(r, gb("J侧") + label, 20, false);
    }
    markBranchEnds(r);
    for (int c = 3; c < 3 + 2 * int(items.size()); ++c) {
        setComplexColumn(m_pages[r], c);
        const int item = items[size_t(c - 3) / 2];
        RepCell* h = xlsxCell(m_pages[r], c, false);
        h->unit = unitText("viz"[item % 3], m_bPU);
        if (item % 3 == 2) { // the rule for small currents
            h->noValue = {"10000.0000 / 0.00", "0 / 0"};
            h->noValueWhy = gb("电流小于 0.001 p.u. 时的视在阻抗");
        }
    }
    addTitle(r, gb("支路两端的电压、电流和视在阻抗结果报告"));
    addTitle(r, gb(m_bPU ? "单位：电压幅值（p.u.） 电流幅值（p.u.） 阻抗幅值（p.u.） 角度（deg.）"
                         : "单位：电压幅值（ kV ） 电流幅值（kA） 阻抗幅值（ohm ） 角度（deg.）"));
    const SCPosList& fl = faultGroups(r);
    const int n = int(fl.size());
    for (int i = 0; i < n; ++i)
        addGrpText(r, i, fl[size_t(i)].name);
    if (!m_bPU) { // read here: the groups may be built on another thread
        m_store.baseMVA();
        m_store.loadBaseVoltages();
    }
    branchBuses();

    BranchScales scales[2];                               // one per thread
    std::vector<BusVoltCells> voltCells[2];               // one per thread
    const std::vector<std::string> ids = branchNumbers(); // once, not per fault point
    buildGroups(r, n, stepOf(reportkinds::BranchEnds), [&](int i, RecordStore& rs) {
        const std::string& name = fl[size_t(i)].name;
        const SCR120Rec* f = m_store.findFault(name);
        if (!f) return;
        std::vector<BusVoltCells>& cells = voltCells[i % 2];
        cells.resize(m_store.buses().size());
        for (size_t k = 0; k < m_store.branches().size(); ++k) {
            const SCLine1Rec& b = m_store.branches()[k];
            const int w = rs.addRecord(0);
            rs.append(0, w, b.I_Name);
            rs.append(0, w, b.J_Name);
            rs.append(0, w, ids[k]);
            VizCtx c;
            c.s = branchScale(scales[i % 2], k); // before the ends: a missing base voltage ends the run first
            const BranchAt at = branchAt(k, f->T, NeedAll);
            const scq::SeqV &vi = at.vi, &vj = at.vj;
            const scq::BranchEnds& e = at.e;
            const scq::SeqV* ends[2] = {&vi, &vj};
            const Cx cur[2][3] = {{e.i1i, e.i2i, e.i0}, {e.i1j, e.i2j, e.i0}};
            for (int end = 0; end < 2; ++end) {
                const scq::SeqV& v = *ends[end];
                const scq::Phases pv = scq::toPhases(v.v1, v.v2, v.v0);
                const scq::Phases pi = scq::toPhases(cur[end][0], cur[end][1], cur[end][2]);
                const Cx vv[6] = {v.v1, v.v2, v.v0, pv.a, pv.b, pv.c};
                const Cx ii[6] = {cur[end][0], cur[end][1], cur[end][2], pi.a, pi.b, pi.c};
                std::copy(vv, vv + 6, c.v[end]);
                std::copy(ii, ii + 6, c.i[end]);
            }
            const BranchBuses& bb = m_branchBuses[k];
            if (bb.i) c.vc[0] = cells[size_t(bb.i->index())].at(i, c.s.kU);
            if (bb.j) c.vc[1] = cells[size_t(bb.j->index())].at(i, c.s.kU);
            const bool bad = branchBad(k, at) || scitems::anyBad({}, {c.s.kU, c.s.kI, c.s.kZ});
            const int over = scitems::appendCells(vizItems(), items, c, cellsOfRecord(rs, w), bad);
            if (over >= 0) overflowed(reportkinds::BranchEnds, itemLabel(key, over), branchRow(name, b));
        }
    });
}
