// The demo database: the IEEE 14-bus test system, its load flow and seven cases.
#include "builders.h"
#include "casewriter.h"
#include "loadflow.h"
#include "modelinserter.h"

#include "db/textcodec.h"

#include <chrono>

namespace casegen {
namespace {

using textcodec::gb;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// IEEE 14-bus data: loads and generation in MW / Mvar, set voltages in p.u.
struct BusData {
    double pd, qd, pg, vset;
    LfBus::Kind kind;
    int station;
    double baseKV;
    bool physical;
};
const BusData kBus[demo::kBusCount] = {
    {0.0, 0.0, 232.4, 1.060, LfBus::Slack, 0, 132, true}, {21.7, 12.7, 40.0, 1.045, LfBus::PV, 1, 132, true},
    {94.2, 19.0, 0.0, 1.010, LfBus::PV, 3, 132, true},    {47.8, -3.9, 0.0, 1.0, LfBus::PQ, 4, 132, true},
    {7.6, 1.6, 0.0, 1.0, LfBus::PQ, 2, 132, true},        {11.2, 7.5, 0.0, 1.070, LfBus::PV, 5, 33, true},
    {0.0, 0.0, 0.0, 1.0, LfBus::PQ, 4, 33, false},        {0.0, 0.0, 0.0, 1.090, LfBus::PV, 4, 11, true},
    {29.5, 16.6, 0.0, 1.0, LfBus::PQ, 4, 33, true},       {9.0, 5.8, 0.0, 1.0, LfBus::PQ, 6, 33, true},
    {3.5, 1.8, 0.0, 1.0, LfBus::PQ, 6, 33, true},         {6.1, 1.6, 0.0, 1.0, LfBus::PQ, 7, 33, true},
    {13.5, 5.8, 0.0, 1.0, LfBus::PQ, 7, 33, true},        {14.9, 5.0, 0.0, 1.0, LfBus::PQ, 8, 33, true}};

// Branches in IEEE numbering; for transformers `from` is the tap side, which becomes the
// J side of the stored branch.
enum BranchKind { Line, Trafo2, Winding3 };
struct BranchData {
    int id;
    const char* name;
    int from, to;
    double r, x, b, tap;
    BranchKind kind;
};
const BranchData kBranch[] = {{1, "东西线", 1, 2, 0.01938, 0.05917, 0.0528, 1, Line},
                              {2, "L1-5", 1, 5, 0.05403, 0.22304, 0.0492, 1, Line},
                              {3, "L2-3", 2, 3, 0.04699, 0.19797, 0.0438, 1, Line},
                              {4, "L2-4", 2, 4, 0.05811, 0.17632, 0.0340, 1, Line},
                              {5, "L2-5", 2, 5, 0.05695, 0.17388, 0.0346, 1, Line},
                              {6, "L3-4", 3, 4, 0.06701, 0.17103, 0.0128, 1, Line},
                              {7, "L4-5", 4, 5, 0.01335, 0.04211, 0.0064, 1, Line},
                              {8, "东河线", 6, 11, 0.09498, 0.19890, 0, 1, Line},
                              {9, "L6-12", 6, 12, 0.12291, 0.25581, 0, 1, Line},
                              {10, "L6-13", 6, 13, 0.06615, 0.13027, 0, 1, Line},
                              {11, "L9-10", 9, 10, 0.03181, 0.08450, 0, 1, Line},
                              {12, "L9-14", 9, 14, 0.12711, 0.27038, 0, 1, Line},
                              {13, "河口线", 10, 11, 0.08205, 0.19207, 0, 1, Line},
                              {14, "湖滨线", 12, 13, 0.22092, 0.19988, 0, 1, Line},
                              {15, "L13-14", 13, 14, 0.17093, 0.34802, 0, 1, Line},
                              {16, "1号主变", 4, 9, 0, 0.55618, 0, 0.969, Trafo2},
                              {17, "2号主变", 5, 6, 0, 0.25202, 0, 0.932, Trafo2},
                              {18, "中心三卷变", 4, 7, 0, 0.20912, 0, 0.978, Winding3},
                              {19, "中心三卷变", 9, 7, 0, 0.11001, 0, 1, Winding3},
                              {20, "中心三卷变", 8, 7, 0, 0.17615, 0, 1, Winding3}};
constexpr int kBranchCount = sizeof(kBranch) / sizeof(kBranch[0]);

struct GenData {
    int id;
    const char* name;
    int bus;
    double x1;
};
const GenData kGen[] = {{41, "1号机", 1, 0.06},
                        {42, "2号机", 2, 0.12},
                        {43, "North调相机", 3, 0.20},
                        {44, "东城调相机", 6, 0.20},
                        {45, "8号调相机", 8, 0.20}};

const char* const kLoadNames[demo::kBusCount] = {nullptr,  "负荷2",  "Load3",  "负荷4", "Load5",
                                                 "负荷6",  nullptr,  nullptr,  "负荷9", "负荷10",
                                                 "Load11", "负荷12", "负荷13", "负荷14"};
constexpr int kFirstLoadId = 22;
constexpr int kCapBus = 9;
constexpr double kCapB = 0.19;
constexpr const char* kCapName = "9号电容器";

struct StationData {
    const char* name;
    int zone;
};
const StationData kStation[] = {{"东山电厂", 1},    {"西湖电厂", 1},   {"South变电站", 1},
                                {"North Plant", 2}, {"中心变电站", 2}, {"东城站", 3},
                                {"河口站", 3},      {"湖滨站", 3},     {"末端站", 3}};
const char* const kZoneName[] = {"北一区", "Zone2 北二", "南区 Z3"};
const int kZoneArea[] = {1, 1, 2};
const char* const kAreaName[] = {"北部电网 North", "South Grid 南部"};
constexpr const char* kBreakerNode = "河口10#QF";
constexpr const char* kScheme = "IEEE14方案";
constexpr const char* kGroup = "BASE";

std::string busName(int ieee) {
    return gb(demo::kBusNames[ieee - 1]);
}

// Stored orientation of a branch: transformers have their tap on the J side.
void ends(const BranchData& d, int* i, int* j) {
    *i = (d.kind == Line ? d.from : d.to) - 1;
    *j = (d.kind == Line ? d.to : d.from) - 1;
}

ScNetwork branchesOnly() {
    ScNetwork n;
    n.buses = demo::kBusCount;
    for (const BranchData& d : kBranch) {
        ScBranch b;
        ends(d, &b.i, &b.j);
        b.z1 = Cplx(d.r, d.x);
        b.bHalf = d.b / 2;
        b.tk = d.tap;
        b.idNo = d.id;
        b.type = d.kind == Line ? kTypeLine : d.kind == Trafo2 ? kTypeTransformer : kTypeWinding3;
        // Lines: Z0 = 3 Z1. Transformers YNyn with both neutrals earthed: Z0 = Z1. The
        // tertiary (to bus 8) is an ungrounded star: no zero-sequence path.
        b.hasZ0 = !(d.kind == Winding3 && d.from == 8);
        b.z0 = d.kind == Line ? 3.0 * b.z1 : b.z1;
        n.branches.push_back(b);
    }
    ScBranch cap;
    cap.i = cap.j = kCapBus - 1;
    cap.z1 = 1.0 / Cplx(0, kCapB);
    cap.type = kTypeShunt;
    cap.idNo = demo::kGroundBranchNo;
    n.branches.push_back(cap);
    return n;
}

struct DemoState {
    ScNetwork withLoads, noLoad;
    Eigen::VectorXcd vLF;                   // load-flow voltages
    std::vector<std::complex<double>> sGen; // generator output, MVA
};

bool solveDemo(DemoState* s, std::string* err) {
    const ScNetwork base = branchesOnly();
    const Eigen::MatrixXcd y = Eigen::MatrixXcd(base.admittance(Seq::Pos));
    std::vector<LfBus> lf(demo::kBusCount);
    for (int k = 0; k < demo::kBusCount; ++k) {
        lf[k].kind = kBus[k].kind;
        lf[k].p = (kBus[k].pg - kBus[k].pd) / demo::kBaseMVA;
        lf[k].q = -kBus[k].qd / demo::kBaseMVA;
        lf[k].v = kBus[k].vset;
    }
    Eigen::VectorXcd v = Eigen::VectorXcd::Ones(demo::kBusCount);
    if (!loadFlow(y, lf, &v, err)) return false;
    s->vLF = v;
    const Eigen::VectorXcd inj = y * v;

    // Loads become constant admittances at their load-flow voltage; generators EMFs
    // behind their subtransient impedance, carrying their load-flow current.
    s->withLoads = base;
    s->noLoad = base;
    int loadId = kFirstLoadId;
    std::vector<Cplx> yLoad(demo::kBusCount, 0.0);
    for (int k = 0; k < demo::kBusCount; ++k) {
        if (!kLoadNames[k]) continue;
        yLoad[k] = Cplx(kBus[k].pd, -kBus[k].qd) / demo::kBaseMVA / std::norm(v[k]);
        ScBranch l;
        l.i = l.j = k;
        l.z1 = 1.0 / yLoad[k];
        l.type = kTypeLoad;
        l.idNo = loadId++;
        s->withLoads.branches.push_back(l);
    }
    for (const GenData& g : kGen) {
        const int k = g.bus - 1;
        ScGenerator sg;
        sg.bus = k;
        sg.z1 = sg.z2 = Cplx(g.x1 / 25, g.x1);
        sg.z0 = Cplx(0.4 * g.x1 / 25, 0.4 * g.x1);
        const Cplx ig = inj[k] + yLoad[k] * v[k];
        s->sGen.push_back(v[k] * std::conj(ig) * demo::kBaseMVA);
        sg.e = v[k] + sg.z1 * ig;
        s->withLoads.gens.push_back(sg);
        sg.e = 1.0;
        s->noLoad.gens.push_back(sg);
    }
    return true;
}

void writeModel(DbWriter& w, const DemoState& s) {
    ModelInserter sb(w, "CDB_SB", {"base_MVA"});
    sb.add(demo::kBaseMVA);
    ModelInserter area(w, "CDB_AREAS", {"ID", "Area_No", "Area_Name"});
    for (int a = 0; a < 2; ++a)
        area.add(a + 1).add(a + 1).text(gb(kAreaName[a]));
    ModelInserter zone(w, "CDB_ZONE", {"ID", "Zone_No", "Zone_Name", "Area_No"});
    for (int z = 0; z < 3; ++z)
        zone.add(z + 1).add(z + 1).text(gb(kZoneName[z])).add(kZoneArea[z]);
    ModelInserter st(w, "CDB_PSTATION", {"ID", "PS_Name", "Zone_No"});
    int sid = 1;
    for (const StationData& d : kStation)
        st.add(sid++).text(gb(d.name)).add(d.zone);

    ModelInserter node(w, "CDB_NODE", {"ID", "Node_Name", "PS_Name", "isPhyBus", "Base_kV", "GrpName"});
    for (int k = 0; k < demo::kBusCount; ++k)
        node.add(101 + k)
            .text(busName(k + 1))
            .text(gb(kStation[kBus[k].station].name))
            .add(kBus[k].physical ? 1 : 0)
            .add(kBus[k].baseKV)
            .text(kGroup);
    node.add(115)
        .text(gb(kBreakerNode))
        .text(gb(kStation[kBus[9].station].name))
        .add(0)
        .add(kBus[9].baseKV)
        .text(kGroup);

    ModelInserter line(w, "CDB_ACLINE",
                       {"ID", "ID_Name", "I_Name", "J_Name", "R1", "X1", "B1_half", "R0", "X0", "B0_half",
                        "Rated_kV", "GrpName", "Status"});
    ModelInserter t2(
        w, "CDB_TRANS_2W",
        {"ID", "ID_Name", "I_Name", "J_Name", "R1", "X1", "R0", "X0", "Tk", "Conn", "GrpName", "Status"});
    for (const BranchData& d : kBranch) {
        int i, j;
        ends(d, &i, &j);
        if (d.kind == Line)
            line.add(d.id)
                .text(gb(d.name))
                .text(busName(i + 1))
                .text(busName(j + 1))
                .add(d.r)
                .add(d.x)
                .add(d.b / 2)
                .add(3 * d.r)
                .add(3 * d.x)
                .add(0.0)
                .add(kBus[i].baseKV)
                .text(kGroup)
                .add(1);
        else if (d.kind == Trafo2)
            t2.add(d.id)
                .text(gb(d.name))
                .text(busName(i + 1))
                .text(busName(j + 1))
                .add(d.r)
                .add(d.x)
                .add(d.r)
                .add(d.x)
                .add(d.tap)
                .text("YNyn0")
                .text(kGroup)
                .add(1);
    }
    // One three-winding transformer: windings to buses 4 (tapped), 9 and 8, star point 7.
    const BranchData& w1 = kBranch[17];
    const BranchData& w2 = kBranch[18];
    const BranchData& w3 = kBranch[19];
    ModelInserter t3(w, "CDB_TRANS_3W",
                     {"ID",     "ID_Name",   "I_Name", "J_Name", "K_Name", "Name_1",  "Name_2",
                      "Name_3", "Node_Name", "R1",     "X1",     "R2",     "X2",      "R3",
                      "X3",     "Tk",        "Tk2",    "Tk3",    "Conn",   "GrpName", "Status"});
    t3.add(w1.id)
        .text(gb(w1.name))
        .text(busName(4))
        .text(busName(9))
        .text(busName(8))
        .text(busName(4))
        .text(busName(9))
        .text(busName(8))
        .text(busName(7))
        .add(w1.r)
        .add(w1.x)
        .add(w2.r)
        .add(w2.x)
        .add(w3.r)
        .add(w3.x)
        .add(w1.tap)
        .add(1.0)
        .add(1.0)
        .text("YNyn0y0")
        .text(kGroup)
        .add(1);

    ModelInserter gen(w, "CDB_GENERAT",
                      {"ID", "ID_Name", "Node_Name", "P", "Q", "V_set", "R1", "X1", "R2", "X2", "R0", "X0",
                       "Xd2", "GrpName", "Status"});
    for (size_t g = 0; g < s.withLoads.gens.size(); ++g) {
        const ScGenerator& sg = s.withLoads.gens[g];
        gen.add(kGen[g].id)
            .text(gb(kGen[g].name))
            .text(busName(kGen[g].bus))
            .add(s.sGen[g].real())
            .add(s.sGen[g].imag())
            .add(kBus[sg.bus].vset)
            .add(sg.z1.real())
            .add(sg.z1.imag())
            .add(sg.z2.real())
            .add(sg.z2.imag())
            .add(sg.z0.real())
            .add(sg.z0.imag())
            .add(sg.z1.imag())
            .text(kGroup)
            .add(1);
    }
    ModelInserter load(w, "CDB_LOAD", {"ID", "ID_Name", "Node_Name", "P", "Q", "GrpName", "Status"});
    int lid = kFirstLoadId;
    for (int k = 0; k < demo::kBusCount; ++k)
        if (kLoadNames[k])
            load.add(lid++)
                .text(gb(kLoadNames[k]))
                .text(busName(k + 1))
                .add(kBus[k].pd)
                .add(kBus[k].qd)
                .text(kGroup)
                .add(1);
    ModelInserter cap(w, "CDB_PCAPREA",
                      {"ID", "ID_Name", "Node_Name", "Q", "X1", "Rated_kV", "GrpName", "Status"});
    cap.add(demo::kGroundBranchNo)
        .text(gb(kCapName))
        .text(busName(kCapBus))
        .add(kCapB * demo::kBaseMVA)
        .add(-1.0 / kCapB)
        .add(kBus[kCapBus - 1].baseKV)
        .text(kGroup)
        .add(1);
    ModelInserter brk(w, "CDB_BREAKER", {"ID", "ID_Name", "I_Name", "J_Name", "GrpName", "Status"});
    brk.add(51).text("QF10").text(busName(10)).text(gb(kBreakerNode)).text(kGroup).add(1);

    Inserter si(w, "SCHEMEINF", {"ID", "SchName"});
    si.add(1).text(gb(kScheme));
    Inserter sc(w, "SCHEMECONT", {"IDSch", "GrpName", "Nlever"});
    sc.add(1).text(kGroup).add(1);
}

} // namespace

// The load flow as the package stores it; the short-circuit cases start from it.
void writeLoadFlow(DbWriter& w, const DemoState& s) {
    SeqFactor f;
    f.factor(s.withLoads.admittance(Seq::Pos));
    const CVec vpre = f.solve(s.withLoads.sourceCurrents());
    {
        Inserter lfc(w, "LF_CASE",
                     {"Case_No", "Case_Name", "SCHEME", "calculate", "Note", "CAL_DATE", "CAL_TIME", "Date",
                      "Time", "Vmin", "Vmax"});
        lfc.add(demo::kLoadFlowCase)
            .text(gb("IEEE14 潮流"))
            .text(gb(kScheme))
            .add(1)
            .text(gb("IEEE 14节点标准算例潮流"))
            .text("20250301")
            .text("091500")
            .text("20250228")
            .text("160000")
            .add(0.95)
            .add(1.10);
        Inserter lfr(w, "LFR_BS_R", {"CASE_NO", "Bus_Name", "V", "Angle"});
        for (int k = 0; k < demo::kBusCount; ++k)
            lfr.add(demo::kLoadFlowCase)
                .text(busName(k + 1))
                .add(std::abs(vpre[k]))
                .add(std::arg(vpre[k]) * 57.29577951308232);
    }
}

// Case n of the demo: its faults, fault type and network.
CaseSpec demoCase(int n, const DemoState& s) {
    std::vector<FaultSpec> allBuses;
    for (int k = 0; k < demo::kBusCount; ++k) {
        FaultSpec f;
        f.bus = k;
        allBuses.push_back(f);
    }
    auto lineIndex = [](const char* id) {
        for (int b = 0; b < kBranchCount; ++b)
            if (std::string(kBranch[b].name) == id) return b;
        return -1;
    };
    static const char* const notes[demo::kCaseCount] = {"全部母线三相金属性短路",
                                                        "全部母线A相金属性接地",
                                                        "全部母线AB两相短路",
                                                        "全部母线AB两相接地短路",
                                                        "线路L2-4与东西线中点A相接地，South5母线A相接地",
                                                        "不计负荷，电势1.0，经阻抗三相短路",
                                                        "作业已定义，尚未计算"};

    CaseSpec c;
    c.caseNo = n;
    c.name = gb(demo::kCaseNames[n - 1]);
    c.note = gb(notes[n - 1]);
    c.scheme = gb(kScheme);
    c.calDate = "20250301";
    c.calTime = "09" + std::to_string(30 + n) + "00";
    c.date = "20250228";
    c.time = "1630" + std::string(n < 10 ? "0" : "") + std::to_string(n);
    c.caseLF = demo::kLoadFlowCase;
    c.net = &s.withLoads;
    c.faults = allBuses;
    switch (n) {
    case demo::kCaseThreePhase:
        c.type = 1;
        break;
    case demo::kCaseAToGround:
        c.type = 2;
        break;
    case demo::kCaseAB:
        c.type = 3;
        break;
    case demo::kCaseABToGround:
        c.type = 4;
        break;
    case demo::kCaseLineFault: {
        c.type = 2;
        c.faults.clear();
        for (const char* id : {demo::kLineFaultId, demo::kLineFault2Id}) {
            FaultSpec f;
            f.branch = lineIndex(id);
            f.percent = 50;
            f.idName = gb(id);
            c.faults.push_back(f);
        }
        FaultSpec f;
        f.bus = 4;
        c.faults.push_back(f);
        break;
    }
    case demo::kCaseNoLoadFlow:
        c.type = 1;
        c.zf = Cplx(0.01, 0.05);
        c.caseLF = 0;
        c.net = &s.noLoad;
        break;
    case demo::kCaseUncalculated:
        c.type = 1;
        c.calculated = false;
        c.net = nullptr;
        c.calDate = c.calTime = "";
        c.faults.clear();
        break;
    }
    return c;
}

bool writeDemo(DbWriter& w, std::vector<PhaseTime>* phases, std::string* err) {
    auto t0 = Clock::now();
    DemoState s;
    if (!solveDemo(&s, err)) return false;
    phases->push_back({"network and load flow", since(t0)});

    t0 = Clock::now();
    writeModel(w, s);
    NetNames names;
    for (int k = 0; k < demo::kBusCount; ++k) {
        names.bus.push_back(busName(k + 1));
        names.baseKV.push_back(kBus[k].baseKV);
    }
    for (const GenData& g : kGen)
        names.gen.push_back(gb(g.name));

    writeLoadFlow(w, s);
    phases->push_back({"network tables", since(t0)});

    Timers timers;
    CaseWriter cw(w, names, demo::kBaseMVA);
    for (int n = 1; n <= demo::kCaseCount; ++n)
        if (!cw.write(demoCase(n, s), &timers, err)) return false;
    phases->push_back({"fault study", timers.solve});
    phases->push_back({"result tables", timers.write});
    return true;
}

} // namespace casegen
