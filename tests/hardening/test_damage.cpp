// Damage of the kinds hand-edited case databases carry, one kind per row: the run names
// it (table, column, row) in its problem list, leaves exactly the cells computed from it
// empty, and every other cell is the clean run's, in both unit systems.
#include "casegen/casegen.h"
#include "db/cdbutility.h"
#include "db/textcodec.h"
#include "hardening.h"
#include "support/runs.h"

#include <QFile>
#include <QSqlDatabase>

#include <gtest/gtest.h>

#include <map>

namespace demo = casegen::demo;
using testdb::Backend;
using testdb::gb;

namespace {

using Cells = std::map<std::string, std::string>;

// Every value of every page, keyed by page, fault group, the record's identifying cells
// and column, so a row left out does not shift the others; a group or record met again
// gets keys of its own.
Cells cellsOf(const RepPortBase& m) {
    Cells out;
    std::map<std::string, int> seen;
    auto once = [&](const std::string& k) {
        const int n = seen[k]++;
        return n ? k + "#" + std::to_string(n) : k;
    };
    for (int p = 0; p < m.pageCount(); ++p) {
        const RepPage& pg = m.page(p);
        const std::string page = pg.titles.empty() ? std::to_string(p) : pg.titles.front();
        size_t ids = 0;
        while (!pg.headers.empty() && ids < pg.headers[0].size() && pg.headers[0][ids].isID)
            ++ids;
        for (int g = 0; g < pg.records.groupCount(); ++g) {
            const bool named = size_t(g) < pg.grpTexts.size() && !pg.grpTexts[size_t(g)].empty();
            const std::string grp =
                once(page + "|" + (named ? pg.grpTexts[size_t(g)][0] : "#" + std::to_string(g)));
            if (named)
                for (size_t k = 1; k < pg.grpTexts[size_t(g)].size(); ++k)
                    out[grp + "|line|" + std::to_string(k)] = pg.grpTexts[size_t(g)][k];
            for (int r = 0; r < pg.records.recordCount(g); ++r) {
                const int n = pg.records.cellCount(g, r);
                std::string id = grp + "|";
                for (int c = 0; c < n && size_t(c) < ids; ++c)
                    id += std::string(pg.records.cell(g, r, c)) + "|";
                id = once(id);
                for (int c = int(ids); c < n; ++c)
                    out[id + std::to_string(c)] = std::string(pg.records.cell(g, r, c));
            }
        }
    }
    return out;
}

struct Damage {
    const char* label;
    std::string sql;   // UTF-8, applied in a transaction that is rolled back; empty: none
    std::string where; // TABLE.COLUMN the entry names
    const char* key;   // UTF-8 text the entry's key holds
    int affects = 3;   // 1: cells change in per-unit output, 2: in named output (bits)
    // Cells may go with their rows or columns: a bus the voltage table does not know has
    // no row of its own, an unknown fault type no capacity columns.
    bool mayDrop = false;
    const char* fault = nullptr; // an extra chosen fault point (UTF-8)
};

// Rows of case 2 stored again: their key, the columns that name it, and a column with
// another value for a second row that differs.
struct Twice {
    const char* table;
    const char* cols;
    const char* keyCol;
    const char* key;
    const char* keyCols;
    const char* column;
    const char* value;
    int affects = 3;

    // The same row again (nothing changes), or with `column` set to `value`.
    Damage row(bool other) const {
        std::string sel = std::string(",") + cols + ",";
        const std::string c = std::string(",") + column + ",";
        if (other) sel.replace(sel.find(c), c.size(), std::string(",") + value + ",");
        return {table,
                std::string("INSERT INTO ") + table + " (" + cols + ") SELECT " +
                    sel.substr(1, sel.size() - 2) + " FROM " + table + " WHERE Case_No=2 AND " + keyCol +
                    "='" + key + "'",
                std::string(table) + "." + (other ? column : keyCols), key, other ? affects : 0};
    }
};

// The common kind: one column set to `value` in case 2's rows whose `keyCol` is `key`.
Damage set(const char* label, const std::string& where, const std::string& value, const char* keyCol,
           const char* key, int affects = 3) {
    const size_t dot = where.find('.');
    return {label,
            "UPDATE " + where.substr(0, dot) + " SET " + where.substr(dot + 1) + "=" + value +
                " WHERE Case_No=2 AND " + keyCol + "='" + key + "'",
            where, key, affects};
}

class Damaged : public hard::DemoTest {
  protected:
    // The first four fault points of the clean case, chosen before any damage.
    OutputResult run(bool perUnit, Cells& cells, const char* extraFault = nullptr) {
        if (chosen.empty()) chosen = testrun::faultPoints(demo::kCaseAToGround, 4);
        hard::FullRun r(demo::kCaseAToGround, perUnit, project, 4);
        r.faults = chosen;
        if (extraFault) r.faults.insert(r.faults.begin() + 1, SCPos{gb(extraFault), "", "", 0});
        r.req.inspect = [&](const RepPortBase& m) { cells = cellsOf(m); };
        return runOutput(cdb.connection(), r.req);
    }

    void check(const Damage& d) {
        for (bool pu : {true, false}) {
            SCOPED_TRACE(std::string(d.label) + (pu ? " (p.u.)" : " (named)"));
            Cells clean, bad;
            ASSERT_TRUE(run(pu, clean).ok());
            QSqlDatabase& c = *cdb.database();
            ASSERT_TRUE(c.transaction());
            if (!d.sql.empty()) {
                ASSERT_TRUE(hard::tryExec(cdb, d.sql)) << d.sql;
            }
            const OutputResult res = run(pu, bad, d.fault);
            ASSERT_TRUE(c.rollback());
            ASSERT_TRUE(res.ok()) << textcodec::toUtf8(res.error8);

            // Named in the list, and the list is in the file.
            bool named = false, leftOut = false;
            for (const dataproblems::Problem& p : res.problems) {
                named = named ||
                        (p.table + "." + p.column == d.where && p.key.find(gb(d.key)) != std::string::npos);
                leftOut = leftOut || p.action != dataproblems::Action::CellsEmpty;
            }
            EXPECT_TRUE(named) << d.where << " " << d.key;
            const QByteArray list = hard::fileBytes(tmp.path() + "/temp/data_problems.txt");
            EXPECT_TRUE(list.contains(QByteArray::fromStdString(d.where))) << list.size();

            // Only cells that became empty differ; a row or fault point left out is named.
            int emptied = 0;
            for (const auto& [key, text] : clean) {
                auto it = bad.find(key);
                if (it == bad.end()) {
                    EXPECT_TRUE(leftOut || d.mayDrop)
                        << "row gone without an entry: " << textcodec::toUtf8(key);
                    continue;
                }
                if (it->second == text) continue;
                EXPECT_EQ(it->second, "") << textcodec::toUtf8(key) << " was " << text;
                ++emptied;
            }
            for (const auto& [key, text] : bad)
                EXPECT_TRUE(clean.count(key)) << "new cell " << textcodec::toUtf8(key);
            if (d.affects & (pu ? 1 : 2)) {
                EXPECT_GT(emptied + int(clean.size() - bad.size()), 0) << "the damage reaches the reports";
            }
        }
    }

    SCPosList chosen;
};

TEST_P(Damaged, NamedAndOnlyItsCellsEmpty) {
    const std::string c2 = " WHERE Case_No=2";
    std::vector<Damage> rows = {
        set("null current", "SCR_R120.II0", "NULL", "I_Name", "中心4"),
        set("null voltage", "SCR_B120.VI2", "NULL", "bus_Name", "South5"),
        {"bus without voltages", "DELETE FROM SCR_B120" + c2 + " AND bus_Name='South5'", "SCR_B120.T",
         "South5", 3, true},
        set("null base voltage", "SCR_BUS.Base_kV", "NULL", "BUS_Name", "中心4", 2),
        set("zero base voltage", "SCR_BUS.Base_kV", "0", "BUS_Name", "中心4", 2),
        {"null base power", "UPDATE CDB_SB SET base_MVA=NULL", "CDB_SB.base_MVA", ""},
        {"zero base power", "UPDATE CDB_SB SET base_MVA=0", "CDB_SB.base_MVA", ""},
        set("zero ratio", "SCR_LINE1.Tk", "0", "I_Name", "中心4"),
        set("null impedance", "SCR_LINE1.R1", "NULL", "I_Name", "中心4"),
        set("null zero-sequence impedance", "SCR_LINE0.X0", "NULL", "I_Name", "中心4"),
        {"null fault type", "UPDATE SC_CASE SET Type_Fault=NULL" + c2, "SC_CASE.Type_Fault", "作业 2", 3,
         true},
        {"fault type 9", "UPDATE SC_CASE SET Type_Fault=9" + c2, "SC_CASE.Type_Fault", "作业 2", 3, true},
        {"null load-flow case", "UPDATE SC_CASE SET CASE_LF=NULL" + c2, "SC_CASE.CASE_LF", "作业 2"},
        {"null pre-fault voltage", "UPDATE LFR_BS_R SET V=NULL WHERE Bus_Name='中心4'", "LFR_BS_R.V",
         "中心4"},
        {"fault number without voltages", "UPDATE SCR_R120 SET T=999" + c2 + " AND I_Name='中心4'",
         "SCR_B120.T", "中心4"},
        {"a fault point the case does not have", "", "SCR_R120.ID_Name", "无此母线", 0, false, "无此母线"},
        // The currents are a ground fault's.
        {"three-phase type, ground-fault currents", "UPDATE SC_CASE SET Type_Fault=1" + c2,
         "SC_CASE.Type_Fault", "作业 2"},
        set("value past any plausible one", "SCR_B120.VR1", "1e308", "bus_Name", "South5"),
    };
    // Rows stored twice: the same values count once and change nothing, another value
    // leaves its column's cells empty.
    const char* bus = "CASE_NO,BUS_Name,SC1_MVA,SC3_MVA,Base_kV";
    const char* branch = "I_Name,J_Name,ID_No";
    for (const Twice& t : {
             Twice{"SCR_R120", "Case_No,flg,I_Name,J_Name,ID_Name,Percent,T,IR1,II1,IR2,II2,IR0,II0",
                   "I_Name", "中心4", "I_Name,J_Name,ID_Name,Percent", "II0", "II0+1"},
             Twice{"SCR_B120", "Case_No,bus_Name,T,VR1,VI1,VR2,VI2,VR0,VI0", "bus_Name", "South5",
                   "bus_Name,T", "VR2", "VR2+0.5"},
             Twice{"SCR_LINE1", "CASE_NO,I_Name,J_Name,ID_No,R1,X1,B1_half,Tk,Type", "I_Name", "中心4",
                   branch, "X1", "X1*2"},
             Twice{"SCR_LINE0", "CASE_NO,I_Name,J_Name,ID_No,R0,X0", "I_Name", "中心4", branch, "R0", "R0+1"},
             Twice{"SCR_BUS", bus, "BUS_Name", "中心4", "BUS_Name", "SC1_MVA", "SC1_MVA+5"},
         })
        for (bool other : {false, true}) {
            rows.push_back(t.row(other));
            // Chosen twice as well: still one group.
            if (std::string(t.table) == "SCR_R120") rows.back().fault = t.key;
        }
    rows.push_back(
        Twice{"SCR_BUS", bus, "BUS_Name", "中心4", "BUS_Name", "Base_kV", "Base_kV+1", 2}.row(true));
    if (GetParam() == Backend::Sqlite) // MariaDB refuses text and infinities in numbers
        rows.insert(rows.end(),
                    {set("text current", "SCR_R120.IR1", "'abc'", "I_Name", "中心4"),
                     set("infinite voltage", "SCR_B120.VR0", "9e999", "bus_Name", "South5"),
                     set("base voltage as text", "SCR_BUS.Base_kV", "'110kV'", "BUS_Name", "中心4", 2),
                     set("ratio as text", "SCR_LINE1.Tk", "'x'", "I_Name", "中心4"),
                     // Bytes that are neither UTF-8 nor GB18030: no name, the rows go.
                     {"undecodable bus name",
                      "UPDATE SCR_B120 SET bus_Name=CAST(X'80FF80' AS TEXT)" + c2 + " AND bus_Name='South5'",
                      "SCR_B120.bus_Name", "作业 2", 3, true}});
    for (const Damage& d : rows)
        check(d);

    // None of the chosen points exists: an error, and the last reports stay.
    Cells cells;
    ASSERT_TRUE(run(true, cells).ok());
    const QByteArray txt = hard::fileBytes(tmp.path() + "/temp/rep_txt.txt");
    SCPosList none{SCPos{gb("无此母线"), "", "", 0}};
    OutputRequest req = testrun::everyReport(demo::kCaseAToGround, true, project, none);
    const OutputResult res = runOutput(cdb.connection(), req);
    EXPECT_EQ(res.error8, gb("所选的故障点在作业中都不存在:无此母线"));
    EXPECT_EQ(hard::fileBytes(tmp.path() + "/temp/rep_txt.txt"), txt);
    // A clean run leaves no list behind.
    EXPECT_TRUE(res.problemsFile.empty());
    EXPECT_FALSE(QFile::exists(tmp.path() + "/temp/data_problems.txt"));
}

INSTANTIATE_ON_BACKENDS(Damaged);

} // namespace
