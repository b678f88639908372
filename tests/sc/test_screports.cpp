// The six reports on the hand case: layouts, cells against arithmetic on the stored
// numbers (see handcase.cpp), placeholders and the failure rules.
#include "handcase.h"
#include "scfixture.h"

#include <cmath>

using namespace sctest;
using Strings = std::vector<std::string>;

namespace {

const double kS3 = std::sqrt(3.0);

class ScReportTest : public ScCaseTest {
  protected:
    std::vector<std::string> headers(const SCRepPort& p, int page) {
        std::vector<std::string> h;
        for (const RepCell& c : p.page(page).headers.at(0))
            h.push_back(c.text);
        return h;
    }
    Strings gbs(std::initializer_list<const char*> l) {
        Strings v;
        for (const char* s : l)
            v.push_back(gb(s));
        return v;
    }
};

TEST_P(ScReportTest, SummaryPerUnitAndNamed) {
    auto p = builder(handcase::kCaseEarth);
    p->portSummary();
    ASSERT_EQ(p->pageCount(), 1);
    const RepPage& pg = p->page(0);
    EXPECT_EQ(pg.titles, gbs({"短路电流简表", "短路作业名：手工一", "短路作业描述：单相接地测试",
                              "短路计算日期：\t2024/01/15\t\t\t时间：\t08:30:05", "故障类型：A相短路接地"}));
    EXPECT_EQ(headers(*p, 0),
              gbs({"母线名", "短路电流（p.u.）", "短路容量（MVA）", "单相容量", "容量比（%）"}));
    EXPECT_TRUE(pg.grpTitles.empty());
    ASSERT_EQ(p->recordCount(0, 0), 4);
    // Byte order of the I side: B1, C1, 甲 (the named row below), then LN2 whose I side is 乙.
    // B1: |I1 + I2 + I0| = |-j4.01 - j1.995 - j0.5| = 6.505; capacity 6.505 * 100;
    // single-phase capacity 800 MVA: 6.505 * (100 / 800) * 100 = 81.3125
    EXPECT_EQ(row(*p, 0, 0, 0), (Strings{"B1", "6.505", "650.500", "800.00", "81.31"}));
    // LN2_50 takes 乙's capacity, 0.0005 MVA: below 0.001, so no division
    EXPECT_EQ(row(*p, 0, 0, 3), (Strings{"LN2_50", "4.500", "450.000", "0.00", "0.00"}));

    auto n = builder(handcase::kCaseEarth, false);
    n->portSummary();
    EXPECT_EQ(headers(*n, 0)[1], gb("短路电流（kA）"));
    // 6.505 * 100 / (sqrt(3) * 110) = 3.414239 kA; capacity stays in MVA
    EXPECT_EQ(cell(*n, 0, 0, 0, 1), "3.414");
    EXPECT_EQ(cell(*n, 0, 0, 0, 2), "650.500");
    // 甲 at 220 kV: |-j5 - j2 - j1| = 8 -> 8 * 100 / (sqrt(3) * 220) = 2.099 kA
    EXPECT_EQ(cell(*n, 0, 0, 2, 1), "2.099");
}

TEST_P(ScReportTest, SummaryOfOtherFaultTypesAndErrors) {
    // Three-phase: the stored three-phase capacity. B1: |I| = 4.01, 1000 MVA:
    // 4.01 * (100 / 1000) * 100 = 40.10
    auto p = builder(handcase::kCaseThree);
    p->portSummary();
    EXPECT_EQ(headers(*p, 0)[3], gb("三相容量"));
    EXPECT_EQ(row(*p, 0, 0, 0), (Strings{"B1", "4.010", "401.000", "1000.00", "40.10"}));
    EXPECT_EQ(p->page(0).titles.back(), gb("故障类型：ABC三相短路"));

    // Two-phase, no zero-sequence current: three columns, and a bus without stored
    // capacities does not matter. B1: |-j4.01 - j1.995| = 6.005
    db->exec("UPDATE SC_CASE SET Type_Fault=3 WHERE Case_No=1");
    db->exec("UPDATE SCR_R120 SET IR0=0, II0=0 WHERE Case_No=1");
    db->exec("UPDATE SCR_BUS SET SC1_MVA=0, SC3_MVA=0 WHERE BUS_Name='B1'");
    auto q = builder(handcase::kCaseEarth);
    q->portSummary();
    EXPECT_EQ(headers(*q, 0).size(), 3u);
    EXPECT_EQ(row(*q, 0, 0, 0), (Strings{"B1", "6.005", "600.500"}));
    EXPECT_TRUE(problems.empty());

    // No case row: no sheet at all.
    auto none = builder(42);
    none->portSummary();
    EXPECT_EQ(none->pageCount(), 0);

    // The base voltage is looked up for every row, also in per-unit output.
    db->exec("DELETE FROM SCR_BUS WHERE BUS_Name='C1'");
    auto e = builder(handcase::kCaseEarth);
    EXPECT_EQ(throwText([&] { e->portSummary(); }), gb("不能找到计算母线的电压基值:C1"));
}

TEST_P(ScReportTest, DistributionCoefficients) {
    faultList({"B1", "X9"});
    auto p = builder(handcase::kCaseEarth);
    p->portDistribut();
    const RepPage& pg = p->page(0);
    EXPECT_EQ(pg.titles.at(0), gb("电流分布系数结果报表"));
    EXPECT_EQ(headers(*p, 0), gbs({"I侧母线", "J侧母线", "支路号", "分布系数"}));
    ASSERT_EQ(p->groupCount(0), 2);
    EXPECT_EQ(pg.grpTexts[0], Strings{"B1"});
    // |I1f| = 4.01; branches in store order
    ASSERT_EQ(p->recordCount(0, 0), 6);
    // B1-C1 leaves B1 with its charging only: j0.02 * 0.5 = j0.01 -> 0.01 / 4.01
    EXPECT_EQ(row(*p, 0, 0, 0), (Strings{"B1", "C1", "3", "0.0025"}));
    // C1-E1: E1 has no voltages, so the coefficient is no number: an empty cell.
    EXPECT_EQ(row(*p, 0, 0, 1), (Strings{"C1", "E1", "5", ""}));
    // 甲-B1: (0.8 - 0.5) / j0.1 = -j3 -> 3 / 4.01 = 0.7481
    EXPECT_EQ(row(*p, 0, 0, 2), (Strings{gb("甲"), "B1", "1", "0.7481"}));
    // 甲-甲 to ground: 0.8 / j0.25 = -j3.2 -> 0.7980
    EXPECT_EQ(row(*p, 0, 0, 3), (Strings{gb("甲"), gb("甲"), "9", "0.7980"}));
    // 乙-D1, ratio 1.05: (0.7 - 0.72 / 1.05) / j0.15 -> 0.0952381 / 4.01 = 0.0238
    EXPECT_EQ(cell(*p, 0, 0, 5, 3), "0.0238");
    ASSERT_EQ(problems.size(), 1u);
    // E1 is a bus of the case without voltages under the fault.
    EXPECT_EQ(problems.entries()[0].column + problems.entries()[0].key,
              "T" + gb("作业 1，母线 E1，故障号 1"));
    // An unknown fault point keeps its group title, without rows.
    EXPECT_EQ(pg.grpTexts[1], Strings{"X9"});
    EXPECT_EQ(p->recordCount(0, 1), 0);
    EXPECT_EQ(errorLines("找不到短路点：X9").size(), 1u);

    // A fault current below 0.001 p.u. makes every coefficient 0.
    db->exec("UPDATE SCR_R120 SET II1=-0.0005 WHERE Case_No=1 AND I_Name='B1'");
    auto z = builder(handcase::kCaseEarth);
    z->portDistribut();
    for (int r = 0; r < z->recordCount(0, 0); ++r)
        EXPECT_EQ(cell(*z, 0, 0, r, 3), "0.0000");

    faults.clear();
    auto e = builder(handcase::kCaseEarth);
    EXPECT_EQ(throwText([&] { e->portDistribut(); }), gb("没有选择故障母线。"));
    EXPECT_EQ(e->pageCount(), 0);
}

TEST_P(ScReportTest, FaultPointAndBranches) {
    faultList({"B1", "C1", "LN2_50", "X9"});
    auto p = builder(handcase::kCaseEarth);
    p->portShortBra();
    const RepPage& pg = p->page(0);
    EXPECT_EQ(headers(*p, 0), gbs({"相连母线", "支路号", "IK1", "IK0", "SK1", "SK0", "Z1K", "A1K", "Z0K",
                                   "A0K", "Z1S", "A1S", "Z0S", "A0S"}));
    EXPECT_EQ(pg.grpTitles.size(), 13u);
    EXPECT_EQ(pg.titles,
              gbs({"短路点及其支路结果输出", "短路作业名：手工一\t短路计算日期：2024/01/16\t时间：10:11:12",
                   "故障类型：A相短路接地", "单位：p.u."}));
    ASSERT_EQ(p->groupCount(0), 4);
    // Fault point B1: I1f = -j4.01, I0f = -j0.5, V1f 0.5, V0f -0.2, pre-fault 1.02.
    // Z1K = (1.02 - 0.5) / -j4.01 = j0.129676; Z0K = 0.2 / -j0.5 = j0.4
    EXPECT_EQ(pg.grpTexts[0], (Strings{"B1", "4.0100", "0.5000", "401.000", "50.000", "0.1297", "90.00",
                                       "0.4000", "90.00", "0.1297", "90.00", "0.4000", "90.00"}));
    ASSERT_EQ(p->recordCount(0, 0), 3);
    // B1-C1 (B1 on the I side): I1br = 0 + j0.02 * 0.5 = j0.01; no zero-sequence
    // difference, so Z0K divides by zero.
    Strings c1 = row(*p, 0, 0, 0);
    EXPECT_EQ(Strings(c1.begin(), c1.begin() + 6),
              (Strings{"C1", "3", "0.0100", "0.0000", "1.0000", "0.0000"}));
    EXPECT_EQ(c1[8], "nan");
    // 甲-B1 (B1 on the J side): I1br = (0.5 - 0.8) / j0.1 = j3;
    // I0 = (-0.2 + 0.05) / j0.3 = j0.5; Z1K = (0.5 - 1.02) / j3 = j0.173333;
    // Z0K = (-0.2 / -0.15) * j0.3 = j0.4; Z1S = -0.52 / (-j4.01 + j3) = -j0.514851;
    // (Z0S divides by -j0.5 + j0.5, about nothing, and is left out.)
    const Strings jr = row(*p, 0, 0, 1);
    EXPECT_EQ(Strings(jr.begin(), jr.begin() + 12),
              (Strings{gb("甲"), "1", "3.0000", "0.5000", "300.0000", "50.0000", "0.1733", "90.0000",
                       "0.4000", "90.00", "0.5149", "270.0000"}));
    // 乙-B1 has no zero-sequence impedance: I1br = (0.5 - 0.7) / j0.2 = j1;
    // Z1K = -0.52 / j1 = j0.52; Z1S = -0.52 / (-j4.01 + j1) = -j0.172757
    EXPECT_EQ(row(*p, 0, 0, 2),
              (Strings{gb("乙"), "2", "1.0000", "0.0000", "100.0000", "0.0000", "0.5200", "90.0000",
                       "10000.0000", "0.00", "0.1728", "270.0000", "0.0000", "0.00"}));
    // C1 has no pre-fault voltage: no group line; the branch rows are written with the
    // pre-fault items empty, and stop at C1-E1 whose E1 has no voltages.
    EXPECT_TRUE(pg.grpTexts[1].empty());
    EXPECT_EQ(problems.entries().front().table + problems.entries().front().key,
              "SCR_LPC" + gb("作业 1，母线 C1"));
    ASSERT_EQ(p->recordCount(0, 1), 1);
    const Strings b1 = row(*p, 0, 1, 0);
    ASSERT_EQ(b1.size(), 14u);
    EXPECT_EQ(b1[0], "B1");
    for (int k : {4, 5, 8, 9})
        EXPECT_EQ(b1[size_t(k + 2)], "") << k;
    // Z0S at C1 (fault 4): I0br = (-0.2 + 0.1) / j0.3 = j0.333333, I0f = -j0.4:
    // -0.2 / (-j0.4 + j0.333333) = -j3
    EXPECT_EQ(b1[12], "3.0000");
    EXPECT_EQ(b1[13], "270.0000");
    EXPECT_EQ(errorLines("找不到：T:4").size(), 1u);
    // The fault inside LN2 has no pre-fault voltage and no bus: an empty group.
    EXPECT_TRUE(pg.grpTexts[2].empty());
    EXPECT_EQ(p->recordCount(0, 2), 0);
    EXPECT_EQ(errorLines("m_SCR120中找不到母线：X9").size(), 1u);
    EXPECT_EQ(p->recordCount(0, 3), 0);

    faults.clear();
    auto e = builder(handcase::kCaseEarth);
    EXPECT_EQ(throwText([&] { e->portShortBra(); }), gb("没有选择故障母线。"));
}

TEST_P(ScReportTest, FaultPointAndBranchesNamedAndThreePhase) {
    faultList({"B1"});
    // Only item 2 (SK1): capacity with 3 decimals on the group line, 4 on the rows.
    items[gb("短路点及其支路")] = {2};
    auto only = builder(handcase::kCaseEarth);
    only->portShortBra();
    EXPECT_EQ(headers(*only, 0), gbs({"相连母线", "支路号", "SK1"}));
    EXPECT_EQ(only->page(0).grpTexts[0], (Strings{"B1", "401.000"}));
    EXPECT_EQ(row(*only, 0, 0, 1), (Strings{gb("甲"), "1", "300.0000"}));

    // Named, 110 kV: kI = 100 / (sqrt(3) 110) = 0.524864; kZ = 121:
    // 4.01 kI = 2.1047 kA, 0.52 / 4.01 kZ = 15.6908 ohm
    items[gb("短路点及其支路")] = {0, 4, 2};
    auto n = builder(handcase::kCaseEarth, false);
    n->portShortBra();
    EXPECT_EQ(n->page(0).titles.back(), gb("单位：电流（kA） 短路容量（MVA） 阻抗（ohm） 角度（deg.）"));
    EXPECT_EQ(n->page(0).grpTexts[0], (Strings{"B1", "2.1047", "15.6908", "401.000"}));

    // Three-phase case, pre-fault voltages of load flow 7 (B1 at 1.0 / 90 degrees):
    // Z1K = |j1 - 0.5| / 4.01 = 1.118034 / 4.01 = 0.2788; zero-sequence items are fixed texts.
    items[gb("短路点及其支路")] = {4, 6, 7, 1, 3, 10, 11};
    auto t = builder(handcase::kCaseThree);
    t->portShortBra();
    EXPECT_EQ(t->page(0).grpTexts[0],
              (Strings{"B1", "0.2788", "10000.0000", "0.00", "0.0000", "0.000", "10000.0000", "0.00"}));
    for (int r = 0; r < t->recordCount(0, 0); ++r) {
        const Strings cells = row(*t, 0, 0, r);
        EXPECT_EQ(Strings(cells.begin() + 3, cells.end()),
                  (Strings{"10000.0000", "0.00", "0.0000", "0.0000", "10000.0000", "0.00"}))
            << r;
    }

    // A fault inside a branch in named output takes the base voltage of its I side.
    faults = {SCPos{"LN2_50", gb("乙"), "B1", 50}};
    auto l = builder(handcase::kCaseEarth, false);
    EXPECT_NO_THROW(l->portShortBra());
    // A bus without base voltage stops the run.
    faultList({"B1"});
    db->exec("DELETE FROM SCR_BUS WHERE BUS_Name='B1'");
    auto m = builder(handcase::kCaseEarth, false);
    EXPECT_EQ(throwText([&] { m->portShortBra(); }), gb("不能找到计算母线的电压基值:B1"));
}

TEST_P(ScReportTest, BusVoltages) {
    faultList({"B1", "甲", "X9", "LN2_50"});
    auto p = builder(handcase::kCaseEarth);
    p->portBusVol();
    const RepPage& pg = p->page(0);
    EXPECT_EQ(pg.titles, gbs({"母线电压结果报告", "单位：p.u."}));
    EXPECT_EQ(headers(*p, 0).size(), 13u);
    EXPECT_EQ(headers(*p, 0)[7], gb("A相电压幅值"));
    // Group B1 (fault 1): every bus with voltages for fault 1, in byte order.
    ASSERT_EQ(p->recordCount(0, 0), 5);
    Strings names;
    for (int r = 0; r < 5; ++r)
        names.push_back(cell(*p, 0, 0, r, 0));
    EXPECT_EQ(names, (Strings{"B1", "C1", "D1", gb("甲"), gb("乙")}));
    // B1: V1 0.5, V2 -0.25, V0 -0.2; VA = 0.05; VB = -0.325 - j0.649519 (|VB| 0.726292,
    // 180 + atan(0.649519 / 0.325) = 243.42); VC its mirror at 116.58
    EXPECT_EQ(row(*p, 0, 0, 0), (Strings{"B1", "0.5000", "0.00", "0.2500", "180.00", "0.2000", "180.00",
                                         "0.0500", "0.00", "0.7263", "243.42", "0.7263", "116.58"}));
    // Group 甲 (fault 2): C1 has no voltages for it and is left out.
    ASSERT_EQ(p->recordCount(0, 1), 4);
    EXPECT_EQ(cell(*p, 0, 1, 1, 0), "D1");
    EXPECT_EQ(pg.grpTexts[2], Strings{"X9"});
    EXPECT_EQ(p->recordCount(0, 2), 0);
    EXPECT_EQ(errorLines("SCR120找不到:X9").size(), 1u);
    EXPECT_EQ(p->recordCount(0, 3), 5) << "the fault inside LN2 reaches every bus";

    // Named: magnitudes times the bus's base voltage; items in the order chosen.
    items[gb("母线电压")] = {7, 0};
    auto n = builder(handcase::kCaseEarth, false);
    n->portBusVol();
    EXPECT_EQ(headers(*n, 0), gbs({"母线名", "A相电压相角", "正序电压幅值"}));
    EXPECT_EQ(row(*n, 0, 0, 0), (Strings{"B1", "0.00", "55.0000"})); // 0.5 * 110
    EXPECT_EQ(cell(*n, 0, 1, 2, 0), gb("甲"));
    EXPECT_EQ(cell(*n, 0, 1, 2, 2), "66.0000"); // fault 2: 0.3 * 220

    // No item: names only. A missing base voltage stops the named report.
    items[gb("母线电压")] = {};
    auto e = builder(handcase::kCaseEarth);
    e->portBusVol();
    EXPECT_EQ(row(*e, 0, 0, 0), Strings{"B1"});
    db->exec("DELETE FROM SCR_BUS WHERE BUS_Name='D1'");
    auto m = builder(handcase::kCaseEarth, false);
    EXPECT_EQ(throwText([&] { m->portBusVol(); }), gb("不能找到计算母线的电压基值:D1"));
    // No fault at all: headings and no group.
    faults.clear();
    items.erase(gb("母线电压")); // a missing item list is an empty one
    auto none = builder(handcase::kCaseEarth);
    none->portBusVol();
    EXPECT_EQ(none->groupCount(0), 0);
    EXPECT_EQ(headers(*none, 0), Strings{gb("母线名")});
}

TEST_P(ScReportTest, BranchCurrents) {
    faultList({"B1", "LN2_50", "X9"});
    auto p = builder(handcase::kCaseEarth);
    p->portLineCur();
    EXPECT_EQ(p->page(0).titles, gbs({"支路电流结果报告", "单位：p.u."}));
    EXPECT_EQ(headers(*p, 0).size(), 15u);
    // The fault point's row, then every branch.
    ASSERT_EQ(p->recordCount(0, 0), 7);
    // IA = -j(4.01 + 1.995 + 0.5) = -j6.505
    const Strings fr = row(*p, 0, 0, 0);
    EXPECT_EQ(Strings(fr.begin(), fr.begin() + 11),
              (Strings{"B1", "B1", "0", "4.0100", "270.00", "1.9950", "270.00", "0.5000", "270.00", "6.5050",
                       "270.00"}));
    // IB = a^2(-j4.01) + a(-j1.995) - j0.5 = (-0.866025 * 4.01 + 0.866025 * 1.995)
    //      + j(0.5 * 4.01 + 0.5 * 1.995 - 0.5)
    const std::complex<double> ib(-0.8660254037844386 * (4.01 - 1.995), 0.5 * (4.01 + 1.995) - 0.5);
    EXPECT_EQ(cell(*p, 0, 0, 0, 11), scq::fixed(std::abs(ib), 4));
    // 甲-甲 to ground: 0.8 / j0.25 = -j3.2; zero sequence -0.05 / j0.5 = j0.1
    const Strings gr = row(*p, 0, 0, 4);
    EXPECT_EQ(Strings(gr.begin(), gr.begin() + 9),
              (Strings{gb("甲"), gb("甲"), "9", "3.2000", "270.00", "0.4000", "90.00", "0.1000", "90.00"}));
    // 乙-B1 has no zero-sequence impedance: 0.0000 / 0.00
    EXPECT_EQ(cell(*p, 0, 0, 5, 7), "0.0000");
    EXPECT_EQ(cell(*p, 0, 0, 5, 8), "0.00");
    // 乙-D1, ratio 1.05: (0.7 - 0.72 / 1.05) / j0.15 = -j0.0952381
    EXPECT_EQ(cell(*p, 0, 0, 6, 3), "0.0952");
    EXPECT_EQ(cell(*p, 0, 0, 6, 4), "270.00");
    // C1-E1: E1 has no voltages: every value of its rows is empty but the zero sequence,
    // which without an impedance is 0 whatever the voltages; one entry for the bus.
    for (int col = 3; col < 15; ++col)
        EXPECT_EQ(cell(*p, 0, 0, 2, col), col == 7 ? "0.0000" : col == 8 ? "0.00" : "") << col;
    EXPECT_EQ(problems.entries().front().key, gb("作业 1，母线 E1，故障号 1"));
    // The fault inside LN2: its own row, then the branches.
    EXPECT_EQ(p->page(0).grpTexts[1], Strings{"LN2_50"});
    EXPECT_EQ(cell(*p, 0, 1, 0, 3), "3.0000");
    // An unknown fault point: no title text, no rows.
    EXPECT_TRUE(p->page(0).grpTexts[2].empty());
    EXPECT_EQ(p->recordCount(0, 2), 0);
    EXPECT_EQ(errorLines("找不到短路点：X9").size(), 1u);

    // Named: the fault row in B1's kA, branch rows in their I side's; LN2_50 in 乙's.
    faults = {SCPos{"B1", "B1", "B1", 0}, SCPos{"LN2_50", gb("乙"), "B1", 50}};
    auto n = builder(handcase::kCaseEarth, false);
    n->portLineCur();
    EXPECT_EQ(n->page(0).titles.back(), gb("单位：幅值( kA )  角度(deg.)"));
    EXPECT_EQ(cell(*n, 0, 0, 0, 3), "2.1047"); // 4.01 * 0.524864
    EXPECT_EQ(cell(*n, 0, 0, 4, 3), "0.8398"); // 3.2 * 100 / (sqrt(3) 220): the 220 kV side
    EXPECT_EQ(cell(*n, 0, 1, 0, 3), scq::fixed(3 * 100 / (kS3 * 110), 4)); // 乙 at 110 kV
}

TEST_P(ScReportTest, BranchEnds) {
    faultList({"B1"});
    auto p = builder(handcase::kCaseEarth);
    p->portVIZ();
    const RepPage& pg = p->page(0);
    EXPECT_EQ(pg.titles, gbs({"支路两端的电压、电流和视在阻抗结果报告",
                              "单位：电压幅值（p.u.） 电流幅值（p.u.） 阻抗幅值（p.u.） 角度（deg.）"}));
    EXPECT_EQ(pg.grpTitles.at(0).width, 18);
    EXPECT_TRUE(pg.grpTitles.at(0).isID);
    EXPECT_EQ(headers(*p, 0).size(), 3u + 36u);
    EXPECT_EQ(headers(*p, 0)[3 + 12], gb("I侧零序序电压"));
    ASSERT_EQ(p->recordCount(0, 0), 6);
    // 甲-B1: I side 0.8, J side 0.5; current -j3 at both ends (no charging);
    // impedances 0.8 / -j3 = j0.266667 and 0.5 / -j3 = j0.166667
    const Strings jb = row(*p, 0, 0, 2);
    EXPECT_EQ(Strings(jb.begin(), jb.begin() + 9),
              (Strings{gb("甲"), "B1", "1", "0.8000 / 0.00", "0.5000 / 0.00", "3.0000 / 270.00",
                       "3.0000 / 270.00", "0.2667 / 90.00", "0.1667 / 90.00"}));
    // Zero-sequence current (-0.05 + 0.2) / j0.3 = -j0.5, the same at both ends.
    EXPECT_EQ(jb[3 + 14], "0.5000 / 270.00");
    EXPECT_EQ(jb[3 + 15], "0.5000 / 270.00");
    // B1-C1: no zero-sequence current, 乙-B1: no zero-sequence impedance.
    for (int r : {0, 4}) {
        EXPECT_EQ(cell(*p, 0, 0, r, 3 + 16), "10000.0000 / 0.00") << r;
        EXPECT_EQ(cell(*p, 0, 0, r, 3 + 17), "10000.0000 / 0.00") << r;
    }
    EXPECT_EQ(cell(*p, 0, 0, 4, 3 + 14), "0.0000 / 0.00");
    // 甲-甲 to ground: the same bus and the same current at both ends.
    const Strings g = row(*p, 0, 0, 3);
    EXPECT_EQ(g[3], g[4]);
    EXPECT_EQ(g[5], "3.2000 / 270.00");
    EXPECT_EQ(g[6], g[5]);

    // Named: every cell of a row scaled with its I side's base voltage (甲, 220 kV):
    // 0.5 * 220 = 110 kV on the J side, impedances times 220^2 / 100 = 484.
    auto n = builder(handcase::kCaseEarth, false);
    n->portVIZ();
    EXPECT_EQ(n->page(0).titles.back(),
              gb("单位：电压幅值（ kV ） 电流幅值（kA） 阻抗幅值（ohm ） 角度（deg.）"));
    const Strings nj = row(*n, 0, 0, 2);
    EXPECT_EQ(nj[4], "110.0000 / 0.00");
    EXPECT_EQ(nj[7], scq::fixed(0.8 / 3 * 484, 4) + " / 90.00");
    EXPECT_EQ(nj[8], "80.6667 / 90.00");
    EXPECT_EQ(nj[5], scq::fixed(3 * 100 / (kS3 * 220), 4) + " / 270.00");

    // Items 1 then 0: current columns before voltage columns.
    const std::string key = gb("支路两端的电压、\n电流和视在阻抗");
    items[key] = {1, 0};
    faultList({"C1"});
    auto t = builder(handcase::kCaseThree);
    t->portVIZ();
    EXPECT_EQ(headers(*t, 0), gbs({"I侧母线", "J侧母线", "支路号", "I侧正序电流", "J侧正序电流",
                                   "I侧正序电压", "J侧正序电压"}));
    // Three-phase case: no negative or zero-sequence current, fixed texts for their
    // impedances; at fault 4 乙-D1, whose ends are dead, carries no current at all: "0 / 0".
    // Branches that reach 甲 or E1, which have no voltages at fault 4, stay empty.
    db->exec("INSERT INTO SCR_B120 (Case_No,bus_Name,T,VR1,VI1,VR2,VI2,VR0,VI0) VALUES "
             "(2,'乙',4,0,0,0,0,0,0),(2,'D1',4,0,0,0,0,0,0)");
    items[key] = {5, 8, 2, 11};
    problems = dataproblems::List();
    auto u = builder(handcase::kCaseThree);
    u->portVIZ();
    for (int r = 0; r < u->recordCount(0, 0); ++r) {
        const Strings c = row(*u, 0, 0, r);
        const bool known = r == 0 || r >= 4;
        for (int k = 3; k < 7; ++k) {
            // No zero-sequence network in a three-phase case: no zero-sequence current,
            // whatever the ends hold.
            const bool noZ0 = k >= 5;
            EXPECT_EQ(c[size_t(k)], known || noZ0 ? "10000.0000 / 0.00" : "") << r << " " << k;
        }
    }
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems.entries()[0].key, gb("作业 2，母线 E1，故障号 4"));
    EXPECT_EQ(problems.entries()[1].key, gb("作业 2，母线 甲，故障号 4"));
    EXPECT_EQ(cell(*u, 0, 0, 5, 7), "0 / 0");
    EXPECT_EQ(cell(*u, 0, 0, 5, 10), "0 / 0");
}

INSTANTIATE_ON_BACKENDS(ScReportTest);

} // namespace
