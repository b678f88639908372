#pragma once
// Writes complete, calculated short-circuit case databases: the IEEE 14-bus demo and
// synthetic meshed grids for benchmarks. It stands in for the analysis package's own
// calculation, so every stored result is what the stored network physically gives.
//
// Branch model of SCR_LINE1 (I side i, J side j, Z1 = R1 + jX1, Y = jB1_half, ratio Tk):
// the series impedance Z1 joins bus i to an ideal transformer whose J-side winding is
// Tk times its inner voltage, so the inner node sits at Vj/Tk.
//   current leaving bus i into the branch: (Vi - Vj/Tk)/Z1 + Y*Vi
//   current leaving bus j into the branch: (Vj/Tk - Vi)/(Tk*Z1) + Y*Vj
// Lines have Tk = 1; transformers have Y = 0 and their tap on the J side. A row with
// I_Name = J_Name is a shunt branch to ground carrying Vi/Z1 (loads, capacitors).
// The negative sequence uses the same branches. Zero sequence (SCR_LINE0): a series
// Z0 = R0 + jX0 without charging or ratio; a branch missing there carries no
// zero-sequence current (ungrounded or delta windings, ungrounded shunts and loads).
//
// Generators are EMFs behind their sequence impedances (CDB_GENERAT R1/X1, R2/X2,
// R0/X0). Their sequence currents into the bus during fault T are stored in SCR_R120
// with flg = 2 (I_Name = J_Name = bus, ID_Name = generator, Percent 0). Fault points
// are the rows with flg = 1. At every bus and every fault, for each sequence:
//   sum of generator currents (flg 2) = sum of branch currents leaving + fault current.
// SC_CASE.R_Fault/X_Fault hold the fault impedance the case was calculated with.
#include <string>
#include <vector>

namespace casegen {

struct PhaseTime {
    std::string phase;
    double seconds = 0;
};

struct RunInfo {
    std::vector<PhaseTime> phases; // in the order they ran
    long long rows = 0;            // rows written, all tables
};

struct WriteOptions {
    // Replace an existing database (delete the SQLite file, drop the MariaDB database).
    // Without it, an existing database is filled only when it has the schema and no rows.
    bool force = false;
    RunInfo* info = nullptr; // phase times, when wanted
};

// The IEEE 14-bus demo with the cases listed in casegen::demo. dbArg is a SQLite path
// or a MariaDB database name, as the program takes it.
bool makeDemo(const std::string& dbArg, std::string* err, const WriteOptions& opt = {});

struct GridOptions {
    int buses = 2000;      // 2 .. kMaxGridBuses
    int faults = 20;       // fault buses, distinct, 1 .. buses
    int faultType = 1;     // 1 three-phase, 2 A to ground, 3 A-B, 4 A-B to ground
    double rf = 0, xf = 0; // fault impedance, p.u.
    unsigned seed = 1;     // same seed, same grid
};
constexpr int kMaxGridBuses = 100000;

// A synthetic meshed grid of about 1.5 buses branches per bus, one calculated case
// (number kGridCase) with faults at `faults` buses; no load-flow case (CASE_LF = 0).
bool makeGrid(const std::string& dbArg, const GridOptions& g, std::string* err, const WriteOptions& opt = {});
constexpr int kGridCase = 1;

// Modelling assumptions, as `sc-mkcase --help` prints them (UTF-8).
const char* assumptionsText();

// What the demo database holds. Names are UTF-8 here; in the database they are text,
// inside the program GB18030 (textcodec::gb).
namespace demo {

constexpr double kBaseMVA = 100.0;
constexpr int kBusCount = 14;
constexpr int kLoadFlowCase = 1; // LF_CASE with LFR_BS_R, named by the cases below

// SC_CASE numbers. Cases 1 to 4 have faults at all 14 buses, T = bus number order of
// kBusNames, a bolted fault (R_Fault = X_Fault = 0) and CASE_LF = kLoadFlowCase.
constexpr int kCaseThreePhase = 1; // Type_Fault 1
constexpr int kCaseAToGround = 2;  // Type_Fault 2
constexpr int kCaseAB = 3;         // Type_Fault 3
constexpr int kCaseABToGround = 4; // Type_Fault 4
// Type_Fault 2: faults at 50 % of two lines (kLineFault*) and at bus kBusNames[4];
// "短路点及其支路" is therefore disabled for it.
constexpr int kCaseLineFault = 5;
// Type_Fault 1 through Zf = 0.01 + j0.05 at all 14 buses, CASE_LF = 0: no load flow;
// loads are left out and every generator EMF is 1.0 p.u. at 0 degrees.
constexpr int kCaseNoLoadFlow = 6;
// calculate = 0 and no results: never listed as a calculated case.
constexpr int kCaseUncalculated = 7;
constexpr int kCaseCount = 7;

// Case names, index = case number - 1.
constexpr const char* kCaseNames[kCaseCount] = {"IEEE14 三相短路", "IEEE14 单相接地", "IEEE14 AB两相短路",
                                                "IEEE14 两相接地", "线路中点故障",    "无潮流 三相经阻抗",
                                                "未计算作业"};

// Bus names in IEEE numbering (index = IEEE bus number - 1). One holds a single quote.
constexpr const char* kBusNames[kBusCount] = {"东山1",  "西湖2",  "North3",   "中心4",  "South5",
                                              "东城6",  "星点7",  "调相8",    "Bay9南", "河口10",
                                              "Hill11", "湖滨12", "O'Neil13", "末端14"};
constexpr const char* kQuotedBus = "O'Neil13";

// Line faults of kCaseLineFault: ID_Name, I_Name, J_Name; key = ID_Name + "_50".
constexpr const char* kLineFaultId = "L2-4";
constexpr const char* kLineFaultKey = "L2-4_50";
constexpr const char* kLineFaultI = "西湖2";
constexpr const char* kLineFaultJ = "中心4";
constexpr const char* kLineFault2Id = "东西线";
constexpr const char* kLineFault2Key = "东西线_50";

// The shunt capacitor at bus 9: an SCR_LINE1 branch to ground (I_Name = J_Name).
// Loads are branches to ground too (Type kTypeLoad), except in kCaseNoLoadFlow.
constexpr const char* kGroundBranchBus = "Bay9南";
constexpr int kGroundBranchNo = 21;
// The tertiary winding 7-8 of the three-winding transformer (ungrounded star): in
// SCR_LINE1, missing from SCR_LINE0. Loads and the capacitor are missing there too.
constexpr const char* kNoZeroSeqI = "星点7";
constexpr const char* kNoZeroSeqJ = "调相8";
constexpr int kNoZeroSeqNo = 20;

} // namespace demo

// SCR_LINE1.Type codes written by the generator.
constexpr int kTypeLine = 1;
constexpr int kTypeTransformer = 2;
constexpr int kTypeWinding3 = 3; // one winding of a three-winding transformer
constexpr int kTypeShunt = 4;
constexpr int kTypeLoad = 5;

// SCR_R120.flg: fault points, and the generator currents of each fault.
constexpr int kFlgFaultPoint = 1;
constexpr int kFlgGenerator = 2;

} // namespace casegen
