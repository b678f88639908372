// Bad data in a case database that people edit by hand: every row of each table
// changes the demo case, runs every report in both units and checks that the run either
// writes whole, readable files or fails with a message and leaves the last files alone.
#include "casegen/casegen.h"
#include "db/cdbutility.h"
#include "db/textcodec.h"
#include "hardening.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace demo = casegen::demo;
using testdb::Backend;
using testdb::gb;

namespace {

enum class Expect { Ok, Fails, Either };
// A value the database does not really hold: a run that succeeds must say so.
constexpr int kDamage = 1;
// No zero divisor: no more "nan" cells than the clean case has.
constexpr int kNoNewNaN = 2;

struct Row {
    std::string label;
    std::vector<std::string> sql; // UTF-8; applied in order inside a transaction
    int flags = 0;
    Expect pu = Expect::Ok, named = Expect::Ok;
    const char* error = nullptr; // UTF-8 text the failure must hold, when it fails
};

class BadData : public hard::DemoTest {
  protected:
    // One run of every report; checks whatever the outcome. Counts "nan" cells.
    void runChecked(const Row& row, int caseNo, bool perUnit) {
        SCOPED_TRACE(row.label + (perUnit ? " (p.u.)" : " (named)"));
        const Expect expect = perUnit ? row.pu : row.named;
        const QByteArray txt0 = hard::fileBytes(out("rep_txt.txt")),
                         htm0 = hard::fileBytes(out("sc_report.htm")),
                         xlsx0 = hard::fileBytes(out("sc_report.xlsx"));
        errors.clear();
        // Bad data reaches every fault point alike; four of them keep the many runs short.
        hard::FullRun r(caseNo, perUnit, project, 4);
        // Never an infinity, nor a number whose whole part is wider than any field.
        nanCells = 0;
        r.req.inspect = [&](const RepPortBase& m) {
            auto look = [&](const std::string& t) {
                nanCells += t.find("nan") != std::string::npos;
                EXPECT_EQ(t.find("inf"), std::string::npos) << t;
                EXPECT_LE(std::min(t.find_first_not_of("-0123456789"), t.size()), 21u) << t;
            };
            for (int p = 0; p < m.pageCount(); ++p) {
                const RecordStore& rs = m.page(p).records;
                for (int g = 0; g < rs.groupCount(); ++g)
                    for (int k = 0; k < rs.recordCount(g); ++k)
                        for (int c = 0; c < rs.cellCount(g, k); ++c)
                            look(std::string(rs.cell(g, k, c)));
                for (const auto& texts : m.page(p).grpTexts)
                    for (const std::string& t : texts)
                        look(t);
            }
        };
        const OutputResult res = runOutput(cdb.connection(), r.req);
        EXPECT_TRUE(expect == Expect::Either || res.ok() == (expect == Expect::Ok))
            << textcodec::toUtf8(res.error8);
        if (res.ok()) {
            EXPECT_FALSE((row.flags & kDamage) && res.problems.empty()) << "damage passed without a word";
            EXPECT_EQ(res.files.size(), 3u);
            for (const char* f : {"rep_txt.txt", "sc_report.htm"}) {
                const QByteArray b = hard::fileBytes(out(f));
                EXPECT_FALSE(b.isEmpty()) << f;
                EXPECT_EQ(hard::unreadable(b), "") << f;
            }
            EXPECT_TRUE(hard::wholeZip(hard::fileBytes(out("sc_report.xlsx"))));
            return;
        }
        EXPECT_TRUE(res.files.empty());
        EXPECT_FALSE(res.error8.empty());
        EXPECT_EQ(hard::unreadable(QByteArray::fromStdString(res.error8)), "");
        if (row.error) {
            EXPECT_EQ(res.error8, gb(row.error));
        }
        EXPECT_TRUE(std::any_of(errors.begin(), errors.end(), [&](const std::string& e) {
            return e.find(res.error8) != std::string::npos;
        })) << "the message goes to the error stream";
        EXPECT_TRUE(std::none_of(errors.begin(), errors.end(), [](const std::string& e) {
            return e.find("catch exception") != std::string::npos;
        })) << "a debug line, not an error";
        EXPECT_EQ(hard::fileBytes(out("rep_txt.txt")), txt0);
        EXPECT_EQ(hard::fileBytes(out("sc_report.htm")), htm0);
        EXPECT_EQ(hard::fileBytes(out("sc_report.xlsx")), xlsx0);
    }

    // Applies each row in a transaction that is rolled back afterwards; a row whose
    // change the back end refuses (a type or constraint the schema enforces) is skipped.
    // Returns how many rows applied.
    int runRows(const std::vector<Row>& rows, int caseNo) {
        int applied = 0, cleanNaN[2] = {0, 0};
        for (bool pu : {true, false}) {
            runChecked(Row{"clean", {}}, caseNo, pu);
            cleanNaN[pu] = nanCells;
        }
        for (const Row& row : rows) {
            QSqlDatabase& c = *cdb.database();
            EXPECT_TRUE(c.transaction());
            bool ok = true;
            for (const std::string& s : row.sql)
                ok = ok && hard::tryExec(cdb, s);
            for (bool pu : {true, false}) {
                if (!ok) break;
                runChecked(row, caseNo, pu);
                if (row.flags & kNoNewNaN) {
                    EXPECT_LE(nanCells, cleanNaN[pu]) << row.label;
                }
            }
            applied += ok;
            EXPECT_TRUE(c.rollback());
        }
        return applied;
    }

    int nanCells = 0; // of the last run
};

// Every column the reports read, set to NULL for the whole case: never a silent run.
TEST_P(BadData, NullInEveryColumnRead) {
    const std::vector<std::pair<const char*, std::vector<const char*>>> columns = {
        {"SCR_R120",
         {"I_Name", "J_Name", "ID_Name", "Percent", "T", "IR1", "II1", "IR2", "II2", "IR0", "II0"}},
        {"SCR_B120", {"bus_Name", "T", "VR1", "VI1", "VR2", "VI2", "VR0", "VI0"}},
        {"SCR_LINE1", {"I_Name", "J_Name", "ID_No", "R1", "X1", "B1_half", "Tk", "Type"}},
        {"SCR_LINE0", {"I_Name", "J_Name", "ID_No", "R0", "X0"}},
        {"SCR_BUS", {"BUS_Name", "SC1_MVA", "SC3_MVA", "Base_kV"}},
        {"SCR_LPC", {"Bus_Name", "Vrz", "Viz"}},
        {"LFR_BS_R", {"Bus_Name", "V", "Angle"}},
        {"SC_CASE", {"CASE_LF", "Type_Fault", "CAL_DATE", "CAL_TIME", "SCHEME"}},
    };
    // Names and numbers that lose their rows can end a named run (a bus without base
    // voltage or capacity); what must hold is a clean outcome either way. Texts for titles
    // and labels, and a column kept only as read, hold no number; a single-phase case
    // compares with the single-phase capacity only.
    const std::set<std::string> text = {"SC_CASE.CAL_DATE", "SC_CASE.CAL_TIME", "SC_CASE.SCHEME",
                                        "SCR_R120.ID_Name", "SCR_R120.Percent", "SCR_LINE1.Type",
                                        "SCR_BUS.SC3_MVA"};
    std::vector<Row> rows;
    for (const auto& [table, cols] : columns)
        for (const char* col : cols) {
            const std::string name = std::string(table) + "." + col;
            rows.push_back({name,
                            {"UPDATE " + std::string(table) + " SET " + col + "=NULL"},
                            text.count(name) ? 0 : kDamage,
                            Expect::Either,
                            Expect::Either});
        }
    const int applied = runRows(rows, demo::kCaseAToGround);
    EXPECT_GE(applied, int(rows.size()) / 2) << "most columns accept NULL";
}

// Text, NaN, infinities, huge, zero and tiny values where numbers belong. Zero values are
// numbers a calculation may write, a zero divisor's result "nan"; the others are not, or
// give results too large to write.
TEST_P(BadData, OddNumbers) {
    const int big = kDamage | kNoNewNaN;
    const std::vector<Row> rows = {
        {"text voltage", {"UPDATE SCR_B120 SET VR1='abc',VI1=' 1e'"}, kDamage},
        {"text impedance", {"UPDATE SCR_LINE1 SET R1='x',Tk='--1'"}, kDamage},
        {"infinite voltage", {"UPDATE SCR_B120 SET VR1=9e999,VI0=-9e999"}, kDamage},
        {"infinite current", {"UPDATE SCR_R120 SET IR1=9e999,II2=-9e999"}, kDamage},
        {"huge values", {"UPDATE SCR_B120 SET VR1=1e308,VI1=-1e308", "UPDATE SCR_R120 SET IR1=1e300"}, big},
        {"huge base", {"UPDATE SCR_BUS SET Base_kV=1e308,SC1_MVA=1e308"}, big},
        {"zero impedance and ratio",
         {"UPDATE SCR_LINE1 SET R1=0,X1=0,Tk=0", "UPDATE SCR_LINE0 SET R0=0,X0=0"}},
        {"tiny impedance", {"UPDATE SCR_LINE1 SET R1=1e-300,X1=-1e-300"}, big},
        {"zero currents", {"UPDATE SCR_R120 SET IR1=0,II1=0,IR2=0,II2=0,IR0=0,II0=0"}},
        {"tiny currents", {"UPDATE SCR_R120 SET IR1=1e-310,II1=0,IR0=4.9e-324"}, big},
        {"zero capacities and bases", {"UPDATE SCR_BUS SET SC1_MVA=0,SC3_MVA=0,Base_kV=0"}, kDamage},
        {"negative base", {"UPDATE SCR_BUS SET Base_kV=-110"}, kDamage},
        // No fault has voltages any more: nothing to report on.
        {"odd fault numbers",
         {"UPDATE SCR_R120 SET T=-5", "UPDATE SCR_B120 SET T=2147483647"},
         kDamage,
         Expect::Fails,
         Expect::Fails},
        {"odd percent", {"UPDATE SCR_R120 SET Percent=-1e300"}},
        {"odd fault type", {"UPDATE SC_CASE SET Type_Fault=99,CASE_LF=-3"}, kDamage},
        {"odd dates", {"UPDATE SC_CASE SET CAL_DATE='2',CAL_TIME=''"}},
    };
    const int applied = runRows(rows, demo::kCaseAToGround);
    // SQLite keeps every value as given; MariaDB refuses text and infinities in numbers.
    EXPECT_GE(applied, GetParam() == Backend::Sqlite ? int(rows.size()) : 10);
    EXPECT_EQ(runRows(rows, demo::kCaseThreePhase), applied);
}

// The case row stored twice, and a case with no results at all: the run stops before
// writing, naming the case. (Result rows stored twice: test_damage.)
TEST_P(BadData, CaseRowTwiceAndEmptyCase) {
    std::vector<Row> rows = {{"duplicate SC_CASE",
                              {"INSERT INTO SC_CASE SELECT * FROM SC_CASE WHERE Case_No=2"},
                              0,
                              Expect::Either,
                              Expect::Either},
                             {"empty case",
                              {},
                              0,
                              Expect::Fails,
                              Expect::Fails,
                              "短路作业没有计算结果，报表没有输出:IEEE14 单相接地"}};
    for (const char* table : {"SCR_R120", "SCR_B120", "SCR_LINE1", "SCR_LINE0", "SCR_BUS", "SCR_LPC"})
        rows.back().sql.push_back(std::string("DELETE FROM ") + table + " WHERE Case_No=2");
    EXPECT_GE(runRows(rows, demo::kCaseAToGround), 2);
}

// (Hostile names through every report: tests/ui/test_statements.)
INSTANTIATE_ON_BACKENDS(BadData);

// Tables missing, through the batch executable, and a 1 MB note.
class BadBatch : public ::testing::TestWithParam<Backend> {};

TEST_P(BadBatch, MissingTablesNamesAndNotes) {
    struct Drop {
        const char* table;
        int code; // exit code of a run of every report on the line-fault case
    };
    // A table the reports read is an error naming it (a database without its case table
    // is no case database); without the stored choices the batch takes its defaults.
    // SQLite finds a file without its case table at open; the server at the case lookup.
    const int noCaseTable = GetParam() == Backend::Sqlite ? 3 : 1;
    for (const Drop d :
         {Drop{"SCR_LINE0", 1}, Drop{"SCR_LINE1", 1}, Drop{"SCR_OUT", 0}, Drop{"SCR_CONT", 0},
          Drop{"LFR_BS_R", 1}, Drop{"SCR_FAULTBUS", 0}, Drop{"SCR_B120", 1}, Drop{"SC_CASE", noCaseTable}}) {
        SCOPED_TRACE(d.table);
        testdb::CaseDb db(GetParam());
        std::string err;
        ASSERT_TRUE(casegen::makeDemo(db.arg(), &err)) << err;
        db.exec(std::string("DROP TABLE ") + d.table);
        QTemporaryDir tmp;
        const hard::BatchRun r =
            hard::batch({"--batch", QString::fromStdString(db.arg()), tmp.path(),
                         QString::fromUtf8(demo::kCaseNames[demo::kCaseAToGround - 1]), "--reports", "all",
                         "--format", "txt,html,xlsx", "--units", "named"});
        EXPECT_FALSE(r.crashed) << r.err.toStdString();
        EXPECT_EQ(r.code, d.code) << r.err.toStdString();
        if (r.code == 0) {
            EXPECT_EQ(hard::unreadable(hard::fileBytes(tmp.path() + "/temp/rep_txt.txt")), "");
        } else {
            EXPECT_TRUE(r.err.contains("screport: ")) << r.err.toStdString();
            if (r.code != 1 || std::string(d.table) != "SC_CASE") {
                EXPECT_TRUE(r.err.contains(d.table)) << "names the table: " << r.err.toStdString();
            }
            EXPECT_FALSE(QDir(tmp.path() + "/temp").exists());
        }
    }

    testdb::CaseDb db(GetParam());
    std::string err;
    ASSERT_TRUE(casegen::makeDemo(db.arg(), &err)) << err;
    CDBUtility cdb;
    ASSERT_NE(cdb.opendb(db.arg().c_str()), nullptr);
    cdb.setDBType(DB_SC);
    // A 1 MB note is stored and read back whole.
    cdb.setCaseNo(1);
    const QString big = QString::fromUtf8("注'\\%") + QString(1 << 20, QChar('z'));
    cdb.save_caseNote("SC_CASE", cdb.getCaseName(), big);
    EXPECT_EQ(testdb::rows(*cdb.database(), "select Note from SC_CASE where Case_No=1"), QStringList{big});
    cdb.closedb();
}

// What a script learns from a batch run: 0 clean, 4 written with problems (listed on the
// error stream and in temp/data_problems.txt), 1 when strict. (A fault point the case does
// not have: test_damage; a run's error as status 1: test_demo.)
TEST_P(BadBatch, ExitStatusTellsWhatHappened) {
    testdb::CaseDb db(GetParam());
    std::string err;
    ASSERT_TRUE(casegen::makeDemo(db.arg(), &err)) << err;
    QTemporaryDir tmp;
    const QString list = tmp.path() + "/temp/data_problems.txt", txt = tmp.path() + "/temp/rep_txt.txt";
    auto run = [&](QStringList extra, int caseNo = demo::kCaseAToGround) {
        return hard::batch(QStringList{"--batch", QString::fromStdString(db.arg()), tmp.path(),
                                       QString::fromUtf8(demo::kCaseNames[caseNo - 1]), "--reports", "all",
                                       "--format", "txt"} +
                           extra);
    };
    hard::BatchRun r = run({});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    for (const char* word : {"数据错误", "catch exception", "不存在", "错误"})
        EXPECT_FALSE(r.err.contains(QString::fromUtf8(word))) << "a good run says nothing like an error";
    EXPECT_FALSE(QFile::exists(list));

    db.exec("UPDATE SCR_R120 SET IR1=NULL WHERE Case_No=2 AND I_Name='中心4'");
    r = run({});
    EXPECT_EQ(r.code, 4) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("1 个数据问题：空值(NULL) 1"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("SCR_R120.IR1  作业 2，故障点 中心4")))
        << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("rep_txt.txt"));
    std::string lists = hard::fileBytes(list).toStdString(); // each list whole
    const QByteArray written = hard::fileBytes(txt);

    QFile::remove(list);
    r = run({"--strict"});
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("数据有问题，报表没有输出"))) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(list)) << "the list says why nothing was written";
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(hard::fileBytes(txt), written);

    // Rows stored twice, the same or with other values, and a value past any plausible one
    // (case 4), a fault type the currents contradict (case 1): written, status 4, each named.
    for (const char* s :
         {"INSERT INTO SCR_R120 SELECT * FROM SCR_R120 WHERE Case_No=4 AND flg=1 AND I_Name='North3'",
          "INSERT INTO SCR_LINE1 SELECT * FROM SCR_LINE1 WHERE CASE_NO=4 AND I_Name='North3'",
          "INSERT INTO SCR_B120 (Case_No,bus_Name,T,VR1,VI1,VR2,VI2,VR0,VI0) SELECT "
          "Case_No,bus_Name,T,VR1+1,VI1,"
          "VR2,VI2,VR0,VI0 FROM SCR_B120 WHERE Case_No=4 AND bus_Name='South5' AND T=1",
          "INSERT INTO SCR_LINE0 (CASE_NO,I_Name,J_Name,ID_No,R0,X0) SELECT "
          "CASE_NO,I_Name,J_Name,ID_No,R0,X0+1 "
          "FROM SCR_LINE0 WHERE CASE_NO=4 AND I_Name='中心4' AND J_Name='South5'",
          "INSERT INTO SCR_BUS (CASE_NO,BUS_Name,SC1_MVA,SC3_MVA,Base_kV) SELECT CASE_NO,BUS_Name,SC1_MVA,"
          "SC3_MVA,Base_kV+1 FROM SCR_BUS WHERE CASE_NO=4 AND BUS_Name='North3'",
          "UPDATE SCR_B120 SET VI1=1e308 WHERE Case_No=4 AND bus_Name='末端14' AND T=2",
          "UPDATE SC_CASE SET Type_Fault=2 WHERE Case_No=1"})
        db.exec(s);
    for (int caseNo : {demo::kCaseABToGround, demo::kCaseThreePhase}) {
        r = run({}, caseNo);
        EXPECT_EQ(r.code, 4) << r.err.toStdString();
        lists += hard::fileBytes(list).toStdString();
    }
    testproc::expectGolden("baddata_problems.txt", lists);
}

INSTANTIATE_ON_BACKENDS(BadBatch);

} // namespace
