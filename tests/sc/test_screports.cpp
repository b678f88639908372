// The six reports on the hand case, one row per run: kind, case, unit, fault points and
// what changes before it. Every run's pages, data problems, error lines and the text it
// throws are compared whole with sc_handcase.txt, the same on both back ends. The cells
// were checked against arithmetic on the stored numbers (see handcase.cpp): B1's summary
// row 6.505 = |-j4.01 - j1.995 - j0.5|, 甲-B1's coefficient 3 / 4.01, its impedance at the
// I side 0.8 / -j3, named currents times 100 / (sqrt(3) kV), impedances times kV^2 / 100.
#include "handcase.h"
#include "scfixture.h"
#include "support/proc.h"

#include <optional>

using namespace sctest;

namespace {

class ScReportTest : public ScCaseTest {
  protected:
    // A fresh hand case and choices: the changes of earlier rows are gone.
    void fresh() {
        TearDown();
        SetUp();
    }
    std::string dump(const SCRepPort& p) const {
        const std::vector<std::string> none;
        std::string s = "pages " + std::to_string(p.pageCount()) + "\n";
        for (int pg = 0; pg < p.pageCount(); ++pg) {
            const RepPage& page = p.page(pg);
            for (const std::string& t : page.titles)
                s += "title " + t + "\n";
            for (const auto& cells : page.headers) {
                s += "head";
                for (const RepCell& c : cells)
                    s += " | " + c.text;
                s += "\n";
            }
            for (const RepCell& c : page.grpTitles)
                s += "grptitle " + c.text + " " + std::to_string(c.width) + (c.isID ? " id\n" : "\n");
            for (int g = 0; g < p.groupCount(pg); ++g) {
                s += "group";
                for (const std::string& t :
                     size_t(g) < page.grpTexts.size() ? page.grpTexts[size_t(g)] : none)
                    s += " | " + t;
                s += "\n";
                for (int r = 0; r < p.recordCount(pg, g); ++r) {
                    s += " ";
                    for (const std::string& c : row(p, pg, g, r))
                        s += " | " + c;
                    s += "\n";
                }
            }
        }
        return s;
    }
};

using Build = void (*)(SCRepPort&);

TEST_P(ScReportTest, EveryKindOnTheHandCase) {
    const int earth = handcase::kCaseEarth, three = handcase::kCaseThree;
    const SCPos ln2{"LN2_50", gb("乙"), "B1", 50};
    using Items = std::optional<std::vector<int>>; // the row's kind's chosen items
    using Sql = std::vector<const char*>;          // database changes
    // clang-format off
    const struct {
        const char* label;
        Build build;
        int caseNo;
        bool perUnit;
        std::vector<const char*> faults;
        Sql sql = {};
        Items items = {};
        std::function<void()> before = {}; // what else changes
    } rows[] = {
        {"summary", &portSummary, earth, true, {}},
        {"summary named", &portSummary, earth, false, {}},
        {"summary three-phase", &portSummary, three, true, {}},
        {"summary of no case", &portSummary, 42, true, {}},
        {"summary two-phase, no zero sequence, B1 without capacities", &portSummary, earth, true, {},
         {"UPDATE SC_CASE SET Type_Fault=3 WHERE Case_No=1", "UPDATE SCR_R120 SET IR0=0, II0=0 WHERE Case_No=1",
          "UPDATE SCR_BUS SET SC1_MVA=0, SC3_MVA=0 WHERE BUS_Name='B1'"}},
        {"summary without C1's base voltage", &portSummary, earth, true, {},
         {"DELETE FROM SCR_BUS WHERE BUS_Name='C1'"}},
        {"distribution", &portDistribut, earth, true, {"B1", "X9"}},
        {"distribution, fault current below 0.001", &portDistribut, earth, true, {"B1"},
         {"UPDATE SCR_R120 SET II1=-0.0005 WHERE Case_No=1 AND I_Name='B1'"}},
        {"distribution without faults", &portDistribut, earth, true, {}},
        {"distribution outside a run, E1 no bus of the case: problems are error lines", &portDistribut, earth, true,
         {"B1"}, {"DELETE FROM SCR_BUS WHERE BUS_Name='E1'"}, {}, [] { dataproblems::setCurrent(nullptr); }},
        {"fault point and branches", &portShortBra, earth, true, {"B1", "C1", "LN2_50", "X9"}},
        {"fault point and branches without faults", &portShortBra, earth, true, {}},
        {"fault point and branches, SK1 only", &portShortBra, earth, true, {"B1"}, {}, Items{{2}}},
        {"fault point and branches named", &portShortBra, earth, false, {"B1"}, {}, Items{{0, 4, 2}}},
        {"fault point and branches three-phase", &portShortBra, three, true, {"B1"}, {},
         Items{{4, 6, 7, 1, 3, 10, 11}}},
        {"fault point and branches named, inside a line", &portShortBra, earth, false, {}, {}, {},
         [&] { faults = {ln2}; }},
        {"fault point and branches named without B1's base voltage", &portShortBra, earth, false, {"B1"},
         {"DELETE FROM SCR_BUS WHERE BUS_Name='B1'"}},
        {"bus voltages", &portBusVol, earth, true, {"B1", "甲", "X9", "LN2_50"}},
        {"bus voltages named, items 7 then 0", &portBusVol, earth, false, {"B1", "甲", "X9", "LN2_50"}, {},
         Items{{7, 0}}},
        {"bus voltages without items", &portBusVol, earth, true, {"B1", "甲", "X9", "LN2_50"}, {}, Items(std::vector<int>())},
        {"bus voltages without faults or an item list", &portBusVol, earth, true, {}, {}, {},
         [&] { items.erase(gb("母线电压")); }},
        {"bus voltages named without D1's base voltage", &portBusVol, earth, false, {"B1", "甲", "X9", "LN2_50"},
         {"DELETE FROM SCR_BUS WHERE BUS_Name='D1'"}},
        {"branch currents", &portLineCur, earth, true, {"B1", "LN2_50", "X9"}},
        {"branch currents named", &portLineCur, earth, false, {}, {}, {},
         [&] { faults = {SCPos{"B1", "B1", "B1", 0}, ln2}; }},
        {"branch ends", &portVIZ, earth, true, {"B1"}},
        {"branch ends named", &portVIZ, earth, false, {"B1"}},
        {"branch ends three-phase, currents first", &portVIZ, three, true, {"C1"}, {}, Items{{1, 0}}},
        {"branch ends three-phase, dead ends at fault 4", &portVIZ, three, true, {"C1"},
         {"INSERT INTO SCR_B120 (Case_No,bus_Name,T,VR1,VI1,VR2,VI2,VR0,VI0) VALUES "
          "(2,'乙',4,0,0,0,0,0,0),(2,'D1',4,0,0,0,0,0,0)"}, Items{{5, 8, 2, 11}}},
    };
    // clang-format on
    std::string out;
    bool changed = false; // by the last row's `before`
    for (const auto& r : rows) {
        if (changed) fresh();
        changed = !r.sql.empty() || r.items || r.before;
        problems = dataproblems::List();
        faults.clear();
        for (const char* f : r.faults)
            faults.push_back(SCPos{gb(f), "", "", 0});
        for (const char* sql : r.sql)
            db->exec(sql);
        for (const reportkinds::Kind& k : reportkinds::kinds())
            if (r.items && k.build == r.build) items[k.key] = *r.items;
        if (r.before) r.before();
        const size_t logged = log.errors.size();
        auto p = builder(r.caseNo, r.perUnit);
        const std::string thrown = throwText([&] { r.build(*p); });
        out += "== " + std::string(r.label) + "\n" + textcodec::toUtf8(dump(*p));
        if (thrown != "<nothing thrown>") out += "throws " + textcodec::toUtf8(thrown) + "\n";
        for (const auto& e : problems.entries())
            out += "problem " + textcodec::toUtf8(dataproblems::lineText(e)) + "\n";
        for (size_t i = logged; i < log.errors.size(); ++i)
            out += "error " + textcodec::toUtf8(log.errors[i]) + "\n";
    }
    testproc::expectGolden("sc_handcase.txt", out);
}

INSTANTIATE_ON_BACKENDS(ScReportTest);

} // namespace
