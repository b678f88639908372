// The six short-circuit reports. Each builds one page of the model from the case's store;
// the item-based ones share the loop of scitems::appendCells over their item table.
#include "screports.h"

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
using BranchAt = SCRepPort::BranchAt;
using BranchBuses = SCRepPort::BranchBuses;
using BranchScales = SCRepPort::BranchScales;
constexpr int NeedV1 = SCRepPort::NeedV1, NeedAll = SCRepPort::NeedAll;

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
static void markBranchEnds(RepPage& p) {
    setBusGroupTitle(p, 0, gb("故障点"));
    setBusColumn(p, 0, gb("I侧"));
    setBusColumn(p, 1, gb("J侧"));
}

// ---------------------------------------------------------------------------------------
// Summary

// A fault point of the summary: its name parts, label and stored current parts.
struct SummaryRow {
    std::string iName, jName, percent, idName;
    double percentValue = 0.0;
    std::string label{};
    double part[6] = {}; // IR1, IR2, IR0, II1, II2, II0
    double mag = 0.0;
};

// The case's fault points with their currents, each once (a point stored twice is merged).
static std::vector<SummaryRow> summaryRows(SCRepPort& rp) {
    std::vector<SummaryRow> rows;
    std::map<std::string, size_t> rowOf; // a fault point stored twice is one row
    SqlStmt s("SELECT I_Name,J_Name,Percent,IR1,IR2,IR0,II1,II2,II0,ID_Name from SCR_R120 where flg=1 and "
              "CASE_NO=");
    s.number(rp.caseNoText());
    s << " order by I_Name,J_Name,Percent";
    dbq::Query q = rp.store().query();
    if (rp.store().exec(q, s)) {
        static const char* const kCols[6] = {"IR1", "IR2", "IR0", "II1", "II2", "II0"};
        while (q.next()) {
            if (q.isNull(0) || q.isNull(1)) {
                dataproblems::report(dataproblems::Problem{
                    dataproblems::Kind::Null, "SCR_R120", q.isNull(0) ? "I_Name" : "J_Name",
                    rp.store().caseKey(), std::string(), dataproblems::Action::RowLeftOut});
                continue;
            }
            SummaryRow row{q.text8(0), q.text8(1), q.text8(2), q.text8(9), dbq::toDouble(q.value(2))};
            row.label = row.iName == row.jName ? row.iName : row.idName + "_" + row.percent;
            const std::string key = rp.store().faultKey(row.label);
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
    return rows;
}

// The summary in the .xlsx: headings and units as on the other sheets, a chart of the
// fault currents.
static void summaryXlsx(RepPage& p, bool pu, const std::string& about) {
    setBusColumn(p, 0, gb("故障点"));
    // In the .xlsx the fault point is named as on the other sheets, units as on them.
    xlsxCell(p, 0, false)->xlsxHead = gb("故障母线");
    const char* const heads[] = {"短路电流", "短路容量", nullptr, "容量比"};
    for (int c = 1; RepCell* h = xlsxCell(p, c, false); ++c) {
        if (heads[c - 1]) h->xlsxHead = gb(heads[c - 1]);
        h->unit = c == 1 ? unitText('i', pu) : c == 4 ? "%" : "MVA";
    }
    RepChart chart;
    chart.kind = RepChart::PerRecord;
    chart.title = gb("各短路点的短路电流");
    chart.about = about;
    chart.valueCol = 1;
    p.chart = chart;
}

// The fault currents' magnitudes, the rows in GB18030 name order; whether the currents
// contradict the fault type (the magnitudes are then bad values).
static bool summaryMagnitudes(SCRepPort& rp, std::vector<SummaryRow>& rows, bool typeKnown,
                              const QVariant& typeValue) {
    // A fault type the currents contradict: what uses the zero sequence or the capacity
    // the type chooses stays empty.
    scq::ZeroSeqSeen seen;
    for (const SummaryRow& row : rows)
        seen.add(Cx(row.part[0], row.part[3]), Cx(row.part[2], row.part[5]));
    const bool contradicted = typeKnown && scq::typeContradicted(rp.typeFault(), seen);
    if (contradicted)
        dataproblems::report(dataproblems::Problem{dataproblems::Kind::Mismatch, "SC_CASE", "Type_Fault",
                                                   rp.store().caseKey(), dataproblems::storedText(typeValue),
                                                   dataproblems::Action::CellsEmpty});
    for (SummaryRow& row : rows) {
        const double* p = row.part;
        const double re = p[0] + p[1] + p[2];
        const double im = p[3] + p[4] + p[5];
        row.mag = contradicted ? dataproblems::kBad : std::sqrt(re * re + im * im);
    }
    // Names in GB18030 byte order, whatever the database's own order.
    std::stable_sort(rows.begin(), rows.end(), [](const SummaryRow& a, const SummaryRow& b) {
        if (int c = a.iName.compare(b.iName)) return c < 0;
        if (int c = a.jName.compare(b.jName)) return c < 0;
        return a.percentValue < b.percentValue;
    });
    return contradicted;
}

void portSummary(SCRepPort& rp) {
    rp.store().loadCapacities();
    const CaseRow& head = rp.store().caseRow();
    if (!head.found) return;
    const std::string note = dbq::text8(head.note);
    const std::string date = scq::dateText(dbq::text8(head.date));
    const std::string time = scq::timeText(dbq::text8(head.time));
    const QVariant typeValue = head.typeFault;
    const dataproblems::Checked typeRead =
        dataproblems::readNumber(typeValue, dataproblems::Domain::FaultType);

    const int r = rp.addRP(false);
    rp.addTitle(r, gb("短路电流简表"));
    rp.addTitle(r, gb("短路作业名：") + rp.caseName());
    rp.addTitle(r, gb("短路作业描述：") + note);
    rp.addTitle(r, gb("短路计算日期：\t") + date + gb("\t\t\t时间：\t") + time);
    const std::string currentHead = gb(rp.perUnit() ? "短路电流（p.u.）" : "短路电流（kA）"),
                      mvaHead = gb("短路容量（MVA）"), ratioHead = gb("容量比（%）");
    rp.addHeader(r, gb("母线名"), 18, true);
    rp.addHeader(r, currentHead, 20, false);
    rp.addHeader(r, mvaHead, 20, false);
    rp.setTypeFault(typeRead.ok ? int(typeRead.value) : 0, !typeRead.ok);
    if (!typeRead.ok)
        dataproblems::report(dataproblems::Problem{typeRead.kind, "SC_CASE", "Type_Fault",
                                                   rp.store().caseKey(), dataproblems::storedText(typeValue),
                                                   dataproblems::Action::CellsEmpty});
    rp.addFaultTypeTitle(r);
    // Three-phase cases compare with the stored three-phase capacity, single-phase ones
    // with the single-phase capacity.
    const bool withCapacity = rp.typeFault() == 1 || rp.typeFault() == 2;
    if (withCapacity) {
        rp.addHeader(r, gb(rp.typeFault() == 1 ? "三相容量" : "单相容量"), 18, false);
        rp.addHeader(r, ratioHead, 18, false);
    }
    summaryXlsx(rp.pageAt(r), rp.perUnit(), chartAbout(rp.caseName(), typeValue));

    std::vector<SummaryRow> rows = summaryRows(rp);
    const bool contradicted = summaryMagnitudes(rp, rows, typeRead.ok, typeValue);

    const double sb = rp.store().baseMVA();
    long done = 0;
    for (const SummaryRow& row : rows) {
        // Nothing here divides by a stored zero: a NaN can only come from a bad stored value.
        auto cell = [&](double v, int decimals, const std::string& head) {
            if (std::isnan(v)) return std::string();
            if (!scq::tooLarge(v)) return scq::fixed(v, decimals);
            rp.overflowed(reportkinds::Summary, head, rp.store().faultKey(row.label));
            return std::string();
        };
        const int k = rp.addRec(r);
        auto number = [&](double v, int decimals, const std::string& head) {
            const std::string t = cell(v, decimals, head);
            rp.pageAt(r).records.appendExact(0, k, t, &v, t.empty() ? 0 : 1);
        };
        rp.addText(r, k, row.label, 0);
        // Computed in both unit modes, so a missing base voltage stops either.
        const double f = scq::currentFactor(rp.store().baseMVA(), rp.getBaseKV(row.iName));
        number(rp.perUnit() ? row.mag : row.mag * f, 3, currentHead);
        number(row.mag * sb, 3, mvaHead);
        if (withCapacity) {
            double cap = rp.typeFault() == 1 ? rp.store().sc3MVA(row.iName) : rp.store().sc1MVA(row.iName);
            if (contradicted) cap = dataproblems::kBad;
            number(cap, 2, gb(rp.typeFault() == 1 ? "三相容量" : "单相容量"));
            if (cap < 0.001)
                rp.addText(r, k, std::string("0.00"), 0);
            else
                number(row.mag * (sb / cap) * 100.0, 2, ratioHead);
        }
        if (++done % 1024 == 0) rp.checkRun(stepOf(reportkinds::Summary), done, long(rows.size()), true);
    }
    rp.checkRun(stepOf(reportkinds::Summary), done, long(rows.size()), true);
}

// ---------------------------------------------------------------------------------------
// Distribution coefficients

void portDistribut(SCRepPort& rp) {
    const SCPosList& fl = rp.faults();
    if (fl.empty()) raiseError(gb("没有选择故障母线。"));
    rp.loadVI();
    screport::logDebug("portDistribut");
    const int n = int(fl.size());
    screport::logDebug("sc_buses size is " + std::to_string(n));

    const int r = rp.addRP(true);
    rp.addTitle(r, gb("电流分布系数结果报表"));
    rp.addCaseTitle(r);
    rp.addGrpTitle(r, gb("故障母线").c_str(), 10, false);
    rp.addHeader(r, gb("I侧母线"), 20, true);
    rp.addHeader(r, gb("J侧母线"), 20, true);
    rp.addHeader(r, gb("支路号"), 10, true);
    rp.addHeader(r, gb("分布系数"), 16, false);
    markBranchEnds(rp.pageAt(r));
    xlsxCell(rp.pageAt(r), 3, false)->unit = "p.u."; // of the fault current
    rp.setGrpSize(r, n);

    for (int i = 0; i < n; ++i) {
        const std::string& name = fl[size_t(i)].name;
        rp.addGrpText(r, i, name);
        const SCR120Rec* f = rp.store().findFault(name);
        if (!f) {
            screport::logError(gb("找不到短路点：") + name);
            continue;
        }
        const double i1f = std::abs(f->I1);
        for (size_t k = 0; k < rp.store().branches().size(); ++k) {
            const SCLine1Rec& b = rp.store().branches()[k];
            const BranchAt at = rp.branchAt(k, f->T, NeedV1);
            const int w = rp.addRec(r, i);
            rp.addText(r, w, b.I_Name, i);
            rp.addText(r, w, b.J_Name, i);
            rp.addText(r, w, double(b.ID_No), i);
            const double coef = i1f < 0.001 ? 0.0 : std::abs(at.e.i1i) / i1f;
            const bool bad = scitems::anyBad({f->I1, at.vi.v1, at.vj.v1, b.Z1}, {b.B1_half, b.Tk});
            std::string text;
            if (scq::tooLarge(coef))
                rp.overflowed(reportkinds::Distribution, gb("分布系数"), rp.branchRow(name, b));
            else if (!(bad && std::isnan(coef)))
                text = scq::fixed(coef, 4);
            rp.pageAt(r).records.appendExact(i, w, text, &coef, text.empty() || std::isnan(coef) ? 0 : 1);
        }
        rp.checkRun(stepOf(reportkinds::Distribution), i + 1, n, true);
        rp.groupDone(r, i);
    }
}

// ---------------------------------------------------------------------------------------
// Fault point and its branches

static void shortPointRow(SCRepPort& rp, int r, int i, const std::vector<int>& items, const scq::Scale& sc) {
    const std::string& name = rp.faults()[size_t(i)].name;
    const SCR120Rec* f = rp.store().findFault(name);
    if (!f) {
        screport::logDebug(gb("找不到母线：") + name);
        return;
    }
    Cx vpre;
    if (!rp.store().preFault(name, vpre)) {
        screport::logDebug(gb("找不到母线2：|") + name + "|");
        // A fault inside a branch has no bus and so no pre-fault voltage of its own.
        if (rp.store().findBus(name))
            dataproblems::report(dataproblems::Problem{
                dataproblems::Kind::Missing, rp.store().caseLF() > 0 ? "LFR_BS_R" : "SCR_LPC", "Bus_Name",
                rp.store().busKey(name), std::string(), dataproblems::Action::CellsEmpty});
        return;
    }
    if (!rp.store().findBus(name)) screport::logError(gb("m_SCB120找不到：") + name);
    rp.addGrpText(r, i, name);
    // Without the fault bus's own voltages the line keeps its name and no values.
    const SCB120Rec* v = rp.store().findVolts(name, f->T);
    if (!v) {
        rp.missingVolts(name, f->T, rp.store().findBus(name) != nullptr);
        return;
    }
    const ShortPointCtx c{
        f->I1,           f->I0, v->V1, v->V0, vpre, sc.kI, sc.kZ, rp.store().baseMVA(), rp.typeFault() == 1,
        rp.typeUnknown()};
    const bool bad = rp.typeUnknown() || scitems::anyBad({f->I1, f->I0, v->V1, v->V0, vpre},
                                                         {sc.kI, sc.kZ, rp.store().baseMVA()});
    const int over = scitems::appendCells(
        shortPointItems(), items, c, [&](std::string_view t) { rp.addGrpText(r, i, std::string(t)); }, bad);
    if (over >= 0)
        rp.overflowed(reportkinds::ShortBra, rp.itemLabel(reportkinds::kind(reportkinds::ShortBra).key, over),
                      rp.store().faultKey(name));
}

static void shortBranches(SCRepPort& rp, int r, int i, const std::vector<int>& items, const scq::Scale& sc) {
    const std::string& name = rp.faults()[size_t(i)].name;
    const SCR120Rec* f = rp.store().findFault(name);
    if (!f) {
        screport::logError(gb("m_SCR120中找不到母线：") + name);
        return;
    }
    const SCB120Rec* vf = rp.store().findVolts(name, f->T);
    if (!vf) return;
    BranchRowCtx c;
    c.v1f = vf->V1;
    c.v0f = vf->V0;
    c.i1f = f->I1;
    c.i0f = f->I0;
    c.hasPre = rp.store().preFault(name, c.vpre);
    c.type1 = rp.typeFault() == 1;
    c.typeBad = rp.typeUnknown();
    c.kI = sc.kI;
    c.kZ = sc.kZ;
    c.sb = rp.store().baseMVA();
    for (size_t k = 0; k < rp.store().branches().size(); ++k) {
        const SCLine1Rec& b = rp.store().branches()[k];
        const std::string* other = nullptr;
        if (b.I_Name == name)
            other = &b.J_Name;
        else if (b.J_Name == name)
            other = &b.I_Name;
        else
            continue;
        const SCB120Rec* vo = rp.store().findVolts(*other, f->T);
        if (!vo) {
            screport::logError(gb("找不到：T:") + std::to_string(f->T));
            rp.missingVolts(*other, f->T, rp.store().findBus(*other) != nullptr);
            return;
        }
        c.i1br = scq::div(c.v1f - vo->V1, b.Z1) + Cx(0.0, b.B1_half) * c.v1f;
        c.v0o = vo->V0;
        const Cx* z0 = rp.store().branchZ0(k);
        c.hasZ0 = z0 != nullptr;
        if (z0) c.z0 = *z0;
        c.i0br = c.hasZ0 ? scq::div(c.v0f - c.v0o, c.z0) : Cx();
        const int w = rp.addRec(r, i);
        rp.addText(r, w, *other, i);
        rp.addText(r, w, std::to_string(b.ID_No), i);
        const bool bad =
            rp.typeUnknown() || scitems::anyBad({c.v1f, c.v0f, c.i1f, c.i0f, vo->V1, vo->V0, b.Z1,
                                                 c.hasPre ? c.vpre : Cx(), c.hasZ0 ? c.z0 : Cx()},
                                                {b.B1_half, c.kI, c.kZ, c.sb});
        const int over = scitems::appendCells(
            branchRowItems(), items, c,
            [&](std::string_view t, const scitems::CellBuffer& b) {
                rp.pageAt(r).records.appendExact(i, w, t, b.exact, b.nExact);
            },
            bad);
        if (over >= 0)
            rp.overflowed(reportkinds::ShortBra,
                          rp.itemLabel(reportkinds::kind(reportkinds::ShortBra).key, over),
                          rp.branchRow(name, b));
    }
}

void portShortBra(SCRepPort& rp) {
    const SCPosList& fl = rp.faults();
    if (fl.empty()) raiseError(gb("没有选择故障母线。"));
    rp.loadVI();
    screport::logDebug("portShortBra");

    const std::string& key = reportkinds::kind(reportkinds::ShortBra).key;
    const std::vector<int> items = rp.chosenItems(key, int(branchRowItems().size()));
    const int r = rp.addRP(true);
    rp.addGrpTitle(r, gb("故障母线").c_str(), 10, false);
    rp.addHeader(r, gb("相连母线"), 18, true);
    rp.addHeader(r, gb("支路号"), 16, true);
    setBusGroupTitle(rp.pageAt(r), 0, gb("故障点"));
    setBusColumn(rp.pageAt(r), 0, gb("相连"));
    for (int n : items) {
        const std::string label = rp.itemLabel(key, n);
        rp.addGrpTitle(r, label.c_str(), 14, false);
        rp.addHeader(r, label, 16, false);
    }
    rp.addTitle(r, gb("短路点及其支路结果输出"));
    rp.addCaseTitle(r);

    if (!rp.store().caseRow().found) throw ErrorText(gb("在作业表中找不到相应的记录"));

    rp.addFaultTypeTitle(r);
    rp.addTitle(r, rp.perUnit() ? unitLinePU()
                                : gb("单位：电流（kA） 短路容量（MVA） 阻抗（ohm） 角度（deg.）"));
    for (size_t k = 0; k < items.size(); ++k) {
        const int item = items[k];
        for (RepCell* h :
             {xlsxCell(rp.pageAt(r), 2 + int(k), false), xlsxCell(rp.pageAt(r), 1 + int(k), true)}) {
            h->unit = unitText(shortBraQuantity(item), rp.perUnit());
            // Without a zero-sequence network its impedance is a fixed text, and in a
            // three-phase case its angle too.
            if (item == 6 || item == 10)
                h->noValue = {scq::fixed(kNoZ0, 4)};
            else if ((item == 7 || item == 11) && rp.typeFault() == 1)
                h->noValue = {"0.00"};
            if (!h->noValue.empty()) h->noValueWhy = gb("没有零序网络时的零序阻抗");
        }
    }
    const int n = int(fl.size());
    screport::logDebug("SC Bus count is " + std::to_string(n));
    rp.setGrpSize(r, n);
    for (int i = 0; i < n; ++i) {
        const scq::Scale sc = rp.faultScale(fl[size_t(i)]);
        shortPointRow(rp, r, i, items, sc);
        shortBranches(rp, r, i, items, sc);
        rp.checkRun(stepOf(reportkinds::ShortBra), i + 1, n, true);
        rp.groupDone(r, i);
    }
}

// ---------------------------------------------------------------------------------------
// The three large reports: a page of fault-point groups, read on two threads

// The page's head: the fault bus heading, the leading columns (bus names, then `ids`
// others), a column per chosen item (two with bothEnds: I side and J side).
struct FaultPage {
    int r = 0;
    const std::string& key;
    std::vector<int> items;
};
static FaultPage openFaultPage(SCRepPort& rp, reportkinds::Id id, int defined, int grpWidth, bool grpFlag,
                               std::initializer_list<std::pair<const char*, int>> leading, int itemWidth,
                               bool bothEnds) {
    rp.loadVI();
    FaultPage pg{0, reportkinds::kind(id).key, {}};
    pg.items = rp.chosenItems(pg.key, defined);
    pg.r = rp.addRP(true);
    rp.addGrpTitle(pg.r, gb("故障母线").c_str(), grpWidth, grpFlag);
    for (const auto& [head, width] : leading)
        rp.addHeader(pg.r, gb(head), width, true);
    for (int n : pg.items) {
        const std::string label = rp.itemLabel(pg.key, n);
        if (!bothEnds) {
            rp.addHeader(pg.r, label, itemWidth, false);
            continue;
        }
        rp.addHeader(pg.r, gb("I侧") + label, itemWidth, false);
        rp.addHeader(pg.r, gb("J侧") + label, itemWidth, false);
    }
    return pg;
}

// One group per chosen fault point, headed by its name (withUnknown: also one the case
// does not have). What named units need is read here, on this thread.
static const SCPosList& faultGroupsOf(SCRepPort& rp, int r, bool withUnknown) {
    const SCPosList& fl = rp.faultGroups(r);
    for (int i = 0; i < int(fl.size()); ++i)
        if (withUnknown || rp.store().findFault(fl[size_t(i)].name)) rp.addGrpText(r, i, fl[size_t(i)].name);
    if (!rp.perUnit()) {
        rp.store().baseMVA();
        rp.store().loadBaseVoltages();
    }
    return fl;
}

// ---------------------------------------------------------------------------------------
// Bus voltages

void portBusVol(SCRepPort& rp) {
    const FaultPage pg = openFaultPage(rp, reportkinds::BusVol, int(seqPhaseItems().size()), 10, false,
                                       {{"母线名", 20}}, 18, false);
    const int r = pg.r;
    const std::string& key = pg.key;
    const std::vector<int>& items = pg.items;
    setBusGroupTitle(rp.pageAt(r), 0, gb("故障点"));
    setBusColumn(rp.pageAt(r), 0, std::string());
    for (size_t k = 0; k < items.size(); ++k)
        xlsxCell(rp.pageAt(r), 1 + int(k), false)->unit = unitText(items[k] % 2 ? 'a' : 'v', rp.perUnit());
    // The voltage dip of the first fault points, where the positive-sequence magnitude is
    // shown: per unit whatever the report's units, kept apart from the table.
    std::shared_ptr<RepChart::Data> dip;
    const auto v1 = std::find(items.begin(), items.end(), 0);
    if (v1 != items.end()) {
        RepChart chart;
        chart.kind = RepChart::PerGroup;
        chart.title = gb("正序电压幅值分布");
        chart.about = chartAbout(rp.caseName(), rp.store().caseRow().typeFault);
        chart.valueCol = 1 + int(v1 - items.begin());
        chart.maxGroups = kProfileFaults;
        dip = chart.data = std::make_shared<RepChart::Data>();
        dip->valueTitle = rp.itemLabel(key, 0) + " (p.u.)";
        rp.pageAt(r).chart = chart;
    }
    rp.addTitle(r, gb("母线电压结果报告"));
    rp.addTitle(r, rp.perUnit() ? unitLinePU()
                                : gb("单位：电流（kA） 短路容量（MVA） 阻抗（ohm） 角度（deg.）"));
    const SCPosList& fl = faultGroupsOf(rp, r, true);
    const int n = int(fl.size());
    if (dip) { // each group fills its own series only
        const int series = std::min(n, kProfileFaults);
        for (const auto& bus : rp.store().buses())
            dip->categories.push_back(bus.first);
        for (int i = 0; i < series; ++i)
            dip->names.push_back(fl[size_t(i)].name);
        dip->values.assign(size_t(series), std::vector<double>(dip->categories.size(), std::nan("")));
    }

    rp.buildGroups(r, n, stepOf(reportkinds::BusVol), [&](int i, RecordStore& rs) {
        const std::string& name = fl[size_t(i)].name;
        const SCR120Rec* f = rp.store().findFault(name);
        if (!f) {
            screport::logError(gb("SCR120找不到:") + name);
            return;
        }
        size_t at = 0; // the bus's place among the chart's categories
        for (const auto& bus : rp.store().buses()) {
            const SCB120Rec* v = bus.second.find(f->T);
            ++at;
            if (!v) {
                dataproblems::report(dataproblems::Problem{dataproblems::Kind::Missing, "SCR_B120", "T",
                                                           rp.store().busFaultKey(bus.first, f->T),
                                                           std::string(), dataproblems::Action::RowLeftOut});
                continue;
            }
            const int w = rs.addRecord(0);
            rs.append(0, w, bus.first);
            if (dip && i < int(dip->values.size())) dip->values[size_t(i)][at - 1] = std::abs(v->V1);
            const double k = rp.perUnit() ? 1.0 : rp.scaleOf(bus.first).kU;
            const SeqPhaseCtx c = seqPhase(v->V1, v->V2, v->V0, k);
            // Magnitudes and angles only: any NaN comes from a bad stored value.
            const int over = scitems::appendCells(seqPhaseItems(), items, c, cellsOfRecord(rs, w), true);
            if (over >= 0)
                rp.overflowed(reportkinds::BusVol, rp.itemLabel(key, over),
                              rp.store().faultKey(name) + gb("，母线 ") + bus.first);
        }
    });
}

// The branches' numbers as their cells show them.
static std::vector<std::string> branchNumbers(const CaseStore& store) {
    std::vector<std::string> ids;
    ids.reserve(store.branches().size());
    for (const SCLine1Rec& b : store.branches())
        ids.push_back(std::to_string(b.ID_No));
    return ids;
}

// ---------------------------------------------------------------------------------------
// Branch currents

void portLineCur(SCRepPort& rp) {
    const FaultPage pg = openFaultPage(rp, reportkinds::LineCur, int(seqPhaseItems().size()), 10, false,
                                       {{"I侧母线", 18}, {"J侧母线", 18}, {"支路号", 16}}, 16, false);
    const int r = pg.r;
    const std::string& key = pg.key;
    const std::vector<int>& items = pg.items;
    markBranchEnds(rp.pageAt(r));
    for (size_t k = 0; k < items.size(); ++k)
        xlsxCell(rp.pageAt(r), 3 + int(k), false)->unit = unitText(items[k] % 2 ? 'a' : 'i', rp.perUnit());
    rp.addTitle(r, gb("支路电流结果报告"));
    rp.addTitle(r, rp.perUnit() ? unitLinePU() : gb("单位：幅值( kA )  角度(deg.)"));
    const SCPosList& fl = faultGroupsOf(rp, r, false);
    const int n = int(fl.size());
    rp.branchBuses();

    BranchScales scales[2];                                         // one per thread
    const std::vector<std::string> ids = branchNumbers(rp.store()); // once, not per fault point
    rp.buildGroups(r, n, stepOf(reportkinds::LineCur), [&](int i, RecordStore& rs) {
        const SCPos& p = fl[size_t(i)];
        const SCR120Rec* f = rp.store().findFault(p.name);
        if (!f) {
            screport::logError(gb("找不到短路点：") + p.name);
            return;
        }
        auto emitRow = [&](int w, const SeqPhaseCtx& c, bool bad, const SCLine1Rec* b) {
            const int over = scitems::appendCells(seqPhaseItems(), items, c, cellsOfRecord(rs, w), bad);
            if (over >= 0)
                rp.overflowed(reportkinds::LineCur, rp.itemLabel(key, over),
                              b ? rp.branchRow(p.name, *b) : rp.store().faultKey(p.name));
        };
        int w = rs.addRecord(0);
        rs.append(0, w, p.name);
        rs.append(0, w, p.name);
        rs.append(0, w, "0");
        emitRow(w, seqPhase(f->I1, f->I2, f->I0, rp.faultScale(p).kI), true, nullptr);

        for (size_t k = 0; k < rp.store().branches().size(); ++k) {
            const SCLine1Rec& b = rp.store().branches()[k];
            const BranchAt at = rp.branchAt(k, f->T, NeedAll);
            const double kI = rp.branchScale(scales[i % 2], k).kI;
            w = rs.addRecord(0);
            rs.append(0, w, b.I_Name);
            rs.append(0, w, b.J_Name);
            rs.append(0, w, ids[k]);
            emitRow(w, seqPhase(at.e.i1i, at.e.i2i, at.e.i0, kI), rp.branchBad(k, at) || std::isnan(kI), &b);
        }
    });
}

// ---------------------------------------------------------------------------------------
// Branch-end voltages, currents and apparent impedances

void portVIZ(SCRepPort& rp) {
    const FaultPage pg = openFaultPage(rp, reportkinds::BranchEnds, int(vizItems().size()), 18, true,
                                       {{"I侧母线", 18}, {"J侧母线", 18}, {"支路号", 16}}, 20, true);
    const int r = pg.r;
    const std::string& key = pg.key;
    const std::vector<int>& items = pg.items;
    markBranchEnds(rp.pageAt(r));
    for (int c = 3; c < 3 + 2 * int(items.size()); ++c) {
        setComplexColumn(rp.pageAt(r), c);
        const int item = items[size_t(c - 3) / 2];
        RepCell* h = xlsxCell(rp.pageAt(r), c, false);
        h->unit = unitText("viz"[item % 3], rp.perUnit());
        if (item % 3 == 2) { // the rule for small currents
            h->noValue = {"10000.0000 / 0.00", "0 / 0"};
            h->noValueWhy = gb("电流小于 0.001 p.u. 时的视在阻抗");
        }
    }
    rp.addTitle(r, gb("支路两端的电压、电流和视在阻抗结果报告"));
    rp.addTitle(r, gb(rp.perUnit() ? "单位：电压幅值（p.u.） 电流幅值（p.u.） 阻抗幅值（p.u.） 角度（deg.）"
                                   : "单位：电压幅值（ kV ） 电流幅值（kA） 阻抗幅值（ohm ） 角度（deg.）"));
    const SCPosList& fl = faultGroupsOf(rp, r, true);
    const int n = int(fl.size());
    rp.branchBuses();

    BranchScales scales[2];                                         // one per thread
    std::vector<BusVoltCells> voltCells[2];                         // one per thread
    const std::vector<std::string> ids = branchNumbers(rp.store()); // once, not per fault point
    rp.buildGroups(r, n, stepOf(reportkinds::BranchEnds), [&](int i, RecordStore& rs) {
        const std::string& name = fl[size_t(i)].name;
        const SCR120Rec* f = rp.store().findFault(name);
        if (!f) return;
        std::vector<BusVoltCells>& cells = voltCells[i % 2];
        cells.resize(rp.store().buses().size());
        for (size_t k = 0; k < rp.store().branches().size(); ++k) {
            const SCLine1Rec& b = rp.store().branches()[k];
            const int w = rs.addRecord(0);
            rs.append(0, w, b.I_Name);
            rs.append(0, w, b.J_Name);
            rs.append(0, w, ids[k]);
            VizCtx c;
            c.s = rp.branchScale(scales[i % 2],
                                 k); // before the ends: a missing base voltage ends the run first
            const BranchAt at = rp.branchAt(k, f->T, NeedAll);
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
            const BranchBuses& bb = rp.branchBuses()[k];
            if (bb.i) c.vc[0] = cells[size_t(bb.i->index())].at(i, c.s.kU);
            if (bb.j) c.vc[1] = cells[size_t(bb.j->index())].at(i, c.s.kU);
            const bool bad = rp.branchBad(k, at) || scitems::anyBad({}, {c.s.kU, c.s.kI, c.s.kZ});
            const int over = scitems::appendCells(vizItems(), items, c, cellsOfRecord(rs, w), bad);
            if (over >= 0)
                rp.overflowed(reportkinds::BranchEnds, rp.itemLabel(key, over), rp.branchRow(name, b));
        }
    });
}
