#include "handcase.h"

#include <string>

namespace handcase {
namespace {

// Buses (base kV): 甲 220, 乙 110, B1 110, C1 110, D1 110, E1 110 (E1 has no results).
// Branches (I side, J side, number, Z1, B1_half, Tk; Z0 when stored):
//   甲-甲 9  j0.25            (to ground)            Z0 j0.5
//   甲-B1 1  j0.1                                     Z0 j0.3
//   乙-B1 2  j0.2                                     (no Z0)
//   B1-C1 3  j0.1, B1_half 0.02                       Z0 j0.3
//   乙-D1 4  j0.15, Tk 1.05                           Z0 j0.15
//   C1-E1 5  0.01+j0.05                               (no Z0)
// Fault T=1 at B1, voltages V1/V2/V0:
//   甲 0.8/-0.1/-0.05  乙 0.7/-0.15/-0.1  B1 0.5/-0.25/-0.2  C1 0.5/-0.25/-0.2  D1 0.72/-0.14/-0.1
// Currents reaching B1 through its branches, which the fault current equals:
//   I1: 甲-B1 (0.8-0.5)/j0.1 = -j3; 乙-B1 (0.7-0.5)/j0.2 = -j1;
//       B1-C1 leaves (0.5-0.5)/j0.1 + j0.02*0.5 = +j0.01     => I1f = -j4.01
//   I2: -j1.5, -j0.5, leaving j0.02*(-0.25) = -j0.005           => I2f = -j1.995
//   I0: 甲-B1 (-0.05+0.2)/j0.3 = -j0.5, 乙-B1 none, B1-C1 0     => I0f = -j0.5
void results(const testdb::CaseDb& db, int c, bool threePhase) {
    // '#' stands for the case number.
    auto exec = [&](std::string sql) {
        for (size_t at; (at = sql.find('#')) != std::string::npos;)
            sql.replace(at, 1, std::to_string(c));
        db.exec(sql);
    };
    auto v = [&](double x) { return threePhase ? std::string("0") : std::to_string(x); };
    exec("INSERT INTO SCR_LINE1 (CASE_NO,I_Name,J_Name,ID_No,R1,X1,B1_half,Tk,Type) VALUES "
         "(#,'甲','甲',9,0,0.25,0,1,4),(#,'甲','B1',1,0,0.1,0,1,1),(#,'乙','B1',2,0,0.2,0,1,1),"
         "(#,'B1','C1',3,0,0.1,0.02,1,1),(#,'乙','D1',4,0,0.15,0,1.05,2),(#,'C1','E1',5,0.01,0.05,0,1,1)");
    exec("INSERT INTO SCR_LINE0 (CASE_NO,I_Name,J_Name,ID_No,R0,X0) VALUES "
         "(#,'甲','甲',9,0,0.5),(#,'甲','B1',1,0,0.3),(#,'B1','C1',3,0,0.3),(#,'乙','D1',4,0,0.15)");
    // Fault points: buses B1 (T 1), 甲 (T 2), C1 (T 4) and the middle of line LN2 (T 3).
    exec("INSERT INTO SCR_R120 (Case_No,flg,I_Name,J_Name,ID_Name,Percent,T,IR1,II1,IR2,II2,IR0,II0) VALUES "
         "(#,1,'B1','B1','B1',0,1,0,-4.01,0," +
         v(-1.995) + ",0," + v(-0.5) + "),(#,1,'甲','甲','甲',0,2,0,-5,0," + v(-2) + ",0," + v(-1) +
         "),(#,1,'乙','B1','LN2',50,3,0,-3,0," + v(-1) + ",0," + v(-0.5) +
         "),(#,1,'C1','C1','C1',0,4,0,-2,0," + v(-1) + ",0," + v(-0.4) +
         "),(#,2,'甲','甲','G1',0,1,0,-9,0,0,0,0)");
    std::string volts;
    auto row = [&](const char* bus, int t, double v1, double v2, double v0) {
        volts += std::string(volts.empty() ? "" : ",") + "(#,'" + bus + "'," + std::to_string(t) + "," +
                 std::to_string(v1) + ",0," + v(v2) + ",0," + v(v0) + ",0)";
    };
    row("甲", 1, 0.8, -0.1, -0.05), row("乙", 1, 0.7, -0.15, -0.1), row("B1", 1, 0.5, -0.25, -0.2);
    row("C1", 1, 0.5, -0.25, -0.2), row("D1", 1, 0.72, -0.14, -0.1);
    // T 2: C1 has no entry
    row("甲", 2, 0.3, -0.2, -0.1), row("乙", 2, 0.6, -0.1, -0.05), row("B1", 2, 0.55, -0.12, -0.06);
    row("D1", 2, 0.62, -0.09, -0.04);
    row("甲", 3, 0.75, -0.1, -0.05), row("乙", 3, 0.45, -0.2, -0.15), row("B1", 3, 0.5, -0.18, -0.12);
    row("C1", 3, 0.5, -0.18, -0.12), row("D1", 3, 0.47, -0.19, -0.14);
    row("B1", 4, 0.6, -0.2, -0.1), row("C1", 4, 0.4, -0.3, -0.2);
    exec("INSERT INTO SCR_B120 (Case_No,bus_Name,T,VR1,VI1,VR2,VI2,VR0,VI0) VALUES " + volts);
    exec("INSERT INTO SCR_BUS (CASE_NO,BUS_Name,SC1_MVA,SC3_MVA,Base_kV) VALUES (#,'甲',1200,1500,220),"
         "(#,'乙',0.0005,600,110),(#,'B1',800,1000,110),(#,'C1',300,400,110),(#,'D1',200,250,110),"
         "(#,'E1',100,120,110)");
}

} // namespace

void insert(const testdb::CaseDb& db) {
    db.exec("INSERT INTO SC_CASE (Case_No,Case_Name,SCHEME,calculate,Note,CAL_DATE,CAL_TIME,Date,Time,"
            "Function,Simple_F,Type_Fault,CASE_LF) VALUES "
            "(1,'手工一','S',1,'单相接地测试','20240116','101112','20240115','083005',1,1,2,0),"
            "(2,'手工三相','S',1,'三相测试','20240116','101112','20240115','083005',1,1,1,7)");
    db.exec("INSERT INTO CDB_SB (base_MVA) VALUES (100)");
    db.exec("INSERT INTO CDB_SBBAK (base_MVA) VALUES (100)");
    results(db, kCaseEarth, false);
    results(db, kCaseThree, true);
    // Pre-fault voltages: case 1 from the calculation (C1 has none), case 2 from load flow 7.
    db.exec("INSERT INTO SCR_LPC (Case_No,Bus_Name,Vrz,Viz) VALUES "
            "(1,'甲',1,0),(1,'乙',1,0),(1,'B1',1.02,0),(1,'D1',1,0),(2,'B1',0.5,0)");
    db.exec("INSERT INTO LFR_BS_R (CASE_NO,Bus_Name,V,Angle) VALUES "
            "(7,'甲',1.0,0),(7,'乙',1.0,0),(7,'B1',1.0,90),(7,'C1',1.0,0),(7,'D1',1.0,0)");
}

} // namespace handcase
