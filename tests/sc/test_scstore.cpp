// Loading the stored results of a case and the lookups and quantities built on them.
#include "handcase.h"
#include "scfixture.h"

#include "db/resultrows.h"

using namespace sctest;

namespace {

class ScStoreTest : public ScCaseTest {};

// A run reads the results of the fault points it reports, and nothing of the others: no
// row, and so no entry for a bad value in one. The case's buses still come from its bus table.
TEST_P(ScStoreTest, OnlyTheChosenFaultPointsAreRead) {
    db->exec("UPDATE SCR_R120 SET IR1=NULL WHERE T=2 AND flg=1");
    db->exec("UPDATE SCR_B120 SET VR1=NULL WHERE T=2 AND bus_Name='B1'");
    auto p = builder(handcase::kCaseEarth);
    store().chooseFaults({"B1", "LN2_50"});
    p->loadVI();
    EXPECT_TRUE(problems.empty());
    EXPECT_TRUE(store().findFault("B1") && store().findFault("LN2_50"));
    EXPECT_EQ(store().findFault(gb("甲")), nullptr);
    EXPECT_EQ(store().findVolts("B1", 2), nullptr);
    ASSERT_NE(store().findVolts("B1", 3), nullptr);
    EXPECT_EQ(store().findVolts("B1", 3)->V1, std::complex<double>(0.5, 0));
    EXPECT_TRUE(store().findBus("E1"));
}

// What hand-edited rows hold where numbers belong, read as the reports read them (on the
// server the client library's typed rows, on SQLite its own interface). NULL and text are problems with their
// stored value; text that is a number is that number; a name longer than the first buffer of its column
// arrives whole.
TEST_P(ScStoreTest, NullAndTextWhereNumbersBelong) {
    if (GetParam() == Backend::MariaDb) // a DOUBLE column cannot hold text
        db->exec("ALTER TABLE SCR_B120 MODIFY VR1 VARCHAR(40), MODIFY VI2 VARCHAR(40)");
    const std::string longName = QString::fromUtf8("长").repeated(100).toStdString();
    db->exec("UPDATE SCR_B120 SET VR1='abc' WHERE Case_No=1 AND bus_Name='B1' AND T=1");
    db->exec("UPDATE SCR_B120 SET VI1=NULL WHERE Case_No=1 AND bus_Name='C1' AND T=1");
    db->exec("UPDATE SCR_B120 SET VI2=' 0.125 ' WHERE Case_No=1 AND bus_Name='D1' AND T=1");
    db->exec("UPDATE SCR_B120 SET bus_Name='" + longName + "' WHERE Case_No=1 AND bus_Name='乙' AND T=3");
    auto rows = cdb.connection().select(SqlStmt("select VR1 from SCR_B120"));
    ASSERT_TRUE(rows);
    EXPECT_TRUE(rows->binaryProtocol()) << "typed values from the engine's own library on both back ends";
    rows.reset();

    CaseStore p(cdb.connection(), handcase::kCaseEarth);
    p.loadResults();
    const SCB120Rec* b1 = p.findVolts("B1", 1);
    ASSERT_NE(b1, nullptr);
    EXPECT_TRUE(std::isnan(b1->V1.real()));
    EXPECT_EQ(b1->V1.imag(), 0.0);
    EXPECT_TRUE(std::isnan(p.findVolts("C1", 1)->V1.imag()));
    EXPECT_EQ(p.findVolts("D1", 1)->V2, std::complex<double>(-0.14, 0.125));
    ASSERT_NE(p.findVolts(gb(longName.c_str()), 3), nullptr);
    EXPECT_EQ(p.findVolts(gb(longName.c_str()), 3)->V1, std::complex<double>(0.45, 0));

    ASSERT_EQ(problems.size(), 2u);
    const auto& e = problems.entries();
    EXPECT_EQ(e[0].table + "." + e[0].column, "SCR_B120.VR1");
    EXPECT_EQ(e[0].kind, dataproblems::Kind::NotNumber);
    EXPECT_EQ(e[0].value, "'abc'");
    EXPECT_NE(e[0].key.find(gb("母线 B1，故障号 1")), std::string::npos) << textcodec::toUtf8(e[0].key);
    EXPECT_EQ(e[1].table + "." + e[1].column, "SCR_B120.VI1");
    EXPECT_EQ(e[1].kind, dataproblems::Kind::Null);
    EXPECT_EQ(e[1].value, "");
    EXPECT_NE(e[1].key.find(gb("母线 C1，故障号 1")), std::string::npos);
}

// (Rows stored twice: tests/hardening/test_damage.)
TEST_P(ScStoreTest, TablesAndBaseVoltagesAreReadOnceAndAMissingOneIsAnError) {
    CaseStore s(cdb.connection(), handcase::kCaseEarth);
    s.loadResults();
    const int queries = s.queryCount();
    s.loadResults();
    EXPECT_EQ(s.queryCount(), queries) << "a second load runs no statement";
    EXPECT_LE(queries, 7);

    auto p = builder(handcase::kCaseEarth);
    const int q0 = p->queryCount();
    EXPECT_DOUBLE_EQ(p->getBaseKV(gb("甲")), 220.0);
    EXPECT_DOUBLE_EQ(p->getBaseKV("B1"), 110.0);
    EXPECT_DOUBLE_EQ(p->getBaseKV("E1"), 110.0);
    EXPECT_EQ(p->queryCount(), q0 + 1);
    EXPECT_EQ(throwText([&] { p->getBaseKV("LN2_50"); }), gb("不能找到计算母线的电压基值:LN2_50"));
}

// A code outside 1..4 is no known fault type. (The four types' titles: the demo reports.)
TEST_P(ScStoreTest, TitlesOfFaultTypeAndCase) {
    for (int code : {0, 5}) {
        db->exec("UPDATE SC_CASE SET Type_Fault=" + std::to_string(code) + " WHERE Case_No=1");
        auto p = builder(handcase::kCaseEarth);
        const int r = p->addRP(false);
        p->addFaultTypeTitle(r);
        EXPECT_EQ(p->page(r).titles, std::vector<std::string>{gb("故障类型：未知")}) << code;
    }
    // (The case title of a case that exists: ScReportTest.FaultPointAndBranches.)
    auto none = builder(42);
    none->addCaseTitle(none->addRP(false));
    EXPECT_TRUE(none->page(0).titles.empty());
    // Its results cannot be loaded.
    EXPECT_EQ(throwText([&] { none->loadVI(); }), gb("在短路作业表中找不到指定的作业:42"));
    EXPECT_EQ(errorLines("在短路作业表中找不到指定的作业:42").size(), 1u);
}

// The fault type against the zero-sequence fault currents of the whole case: one entry,
// and no zero-sequence value is used.
TEST_P(ScStoreTest, FaultTypeTheCurrentsContradict) {
    auto check = [&](int caseNo, int type, bool contradicted) {
        const std::string c = std::to_string(caseNo), t = std::to_string(type);
        SCOPED_TRACE("case " + c + " type " + t);
        db->exec("UPDATE SC_CASE SET Type_Fault=" + t + " WHERE Case_No=" + c);
        problems = dataproblems::List();
        CaseStore s(cdb.connection(), caseNo);
        s.loadResults();
        EXPECT_EQ(s.typeContradicted(), contradicted);
        ASSERT_EQ(problems.size(), contradicted ? 1u : 0u);
        if (!contradicted) return;
        EXPECT_EQ(textcodec::toUtf8(dataproblems::lineText(problems.entries()[0])),
                  "SC_CASE.Type_Fault  作业 " + c + "  存储值 " + t + "  与计算结果不符，相关单元格留空");
        for (const auto& f : s.faultRecords())
            EXPECT_TRUE(std::isnan(f.second.I0.real())) << f.first;
        EXPECT_TRUE(std::isnan(s.findVolts("D1", 1)->V0.imag()));
        for (size_t k = 0; k < s.branches().size(); ++k)
            EXPECT_TRUE(s.branchZ0(k) && std::isnan(s.branchZ0(k)->real())) << k;
    };
    // Ground-fault currents contradict codes 1 and 3, three-phase ones 2 and 4.
    for (int type = 1; type <= 4; ++type) {
        check(handcase::kCaseEarth, type, type % 2 == 1);
        check(handcase::kCaseThree, type, type % 2 == 0);
    }
    // Rounding left in a three-phase result; one ground fault at a bus without a
    // zero-sequence path.
    db->exec("UPDATE SCR_R120 SET IR0=1e-9 WHERE Case_No=2 AND I_Name='B1'");
    check(handcase::kCaseThree, 1, false);
    db->exec("UPDATE SCR_R120 SET IR0=0, II0=0 WHERE Case_No=1 AND I_Name='B1'");
    check(handcase::kCaseEarth, 2, false);
}

INSTANTIATE_ON_BACKENDS(ScStoreTest);

} // namespace
