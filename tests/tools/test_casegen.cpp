// The generated case databases, judged from their stored tables alone: the demo's stored
// choices and network copy, and a grid whose every stored number is what its stored
// network gives. (The demo's numbers: its reports' golden file.)
#include "casegen/casegen.h"
#include "storedcase.h"
#include "support/testdb.h"

#include <QSqlQuery>
#include <cmath>
#include <deque>
#include <gtest/gtest.h>
#include <memory>

using testdb::Backend;
using testdb::CaseDb;
namespace demo = casegen::demo;

namespace {

// Currents and voltages are a few p.u.; a consistent store balances to rounding.
constexpr double kTol = 1e-6;

casegen::GridOptions gridOptions() {
    casegen::GridOptions g;
    g.buses = 2000;
    g.faults = 20;
    g.faultType = 4; // every sequence carries current
    g.rf = 0.01;
    g.xf = 0.02;
    g.seed = 7;
    return g;
}

// One demo and one grid database per back end, made on first use, dropped at the end.
struct Shared : ::testing::Environment {
    std::map<std::pair<Backend, bool>, std::unique_ptr<CaseDb>> dbs;
    void TearDown() override { dbs.clear(); }
};
Shared* shared = static_cast<Shared*>(::testing::AddGlobalTestEnvironment(new Shared));

const std::string& madeDb(Backend b, bool grid = false) {
    auto& db = shared->dbs[{b, grid}];
    if (!db) {
        db = std::make_unique<CaseDb>(b); // an empty case database: the generator fills it
        std::string err;
        EXPECT_TRUE(grid ? casegen::makeGrid(db->arg(), gridOptions(), &err)
                         : casegen::makeDemo(db->arg(), &err))
            << err;
    }
    return db->arg();
}

// Every calculated case balances at every bus, in every sequence, before and during
// each fault; a fault inside a line cuts that line, so its two ends are left out.
void expectBalanced(const StoredCase& c) {
    ASSERT_FALSE(c.faults.empty());
    for (int seq = 0; seq < 3; ++seq)
        EXPECT_LT(maxImbalance(c, 0, seq), kTol) << "pre-fault, sequence " << seq;
    for (const StoredFault& f : c.faults) {
        std::set<int> skip;
        if (f.iName != f.jName) skip = {c.index.at(f.iName), c.index.at(f.jName)};
        for (int seq = 0; seq < 3; ++seq)
            EXPECT_LT(maxImbalance(c, f.T, seq, skip), kTol)
                << "case " << c.caseNo << " fault " << f.T << " (" << f.idName << "), sequence " << seq;
    }
}

// Phase conditions at the fault point, and generators that keep their EMF and answer
// the negative and zero sequence through their own impedances.
void expectFaultConditions(const StoredCase& c) {
    for (const StoredFault& f : c.faults) {
        const auto& v = c.v.at(f.T);
        for (const StoredGen& g : c.gens) {
            if (g.T != f.T) continue;
            const auto& z = c.genZ.at(g.name);
            const Cplx e = v[g.bus][0] + z[0] * g.i[0];
            const StoredGen& first = *std::find_if(c.gens.begin(), c.gens.end(), [&](const StoredGen& o) {
                return o.T == 1 && o.name == g.name;
            });
            EXPECT_LT(std::abs(e - (c.v.at(1)[g.bus][0] + z[0] * first.i[0])), 1e-9)
                << g.name << " T " << f.T;
            EXPECT_LT(std::abs(g.i[1] + v[g.bus][1] / z[1]), 1e-9) << g.name;
            EXPECT_LT(std::abs(g.i[2] + v[g.bus][2] / z[2]), 1e-9) << g.name;
        }
        if (f.iName != f.jName) continue; // the point inside a line has no stored voltage
        const auto I = phases(f.i);
        const auto V = phases(v[c.index.at(f.iName)]);
        const std::string at = "case " + std::to_string(c.caseNo) + " at " + f.iName;
        switch (c.type) {
        case 1:
            EXPECT_LT(std::abs(V[0] - c.zf * I[0]), 1e-9) << at;
            EXPECT_LT(std::abs(f.i[1]) + std::abs(f.i[2]), 1e-12) << at;
            break;
        case 2:
            EXPECT_LT(std::abs(I[1]) + std::abs(I[2]), 1e-9) << at;
            EXPECT_LT(std::abs(V[0] - c.zf * I[0]), 1e-9) << at;
            break;
        case 3:
            EXPECT_LT(std::abs(I[2]) + std::abs(I[0] + I[1]), 1e-9) << at;
            EXPECT_LT(std::abs(V[0] - V[1] - c.zf * I[0]), 1e-9) << at;
            break;
        case 4:
            EXPECT_LT(std::abs(I[2]), 1e-9) << at;
            EXPECT_LT(std::abs(V[0] - c.zf * (I[0] + I[1])), 1e-9) << at;
            EXPECT_LT(std::abs(V[1] - c.zf * (I[0] + I[1])), 1e-9) << at;
            break;
        default:
            ADD_FAILURE() << "fault type " << c.type;
        }
        EXPECT_GT(std::abs(I[0]), 0.5) << at << ": a fault that draws no current proves nothing";
    }
}

class CaseGenTest : public ::testing::TestWithParam<Backend> {};

TEST_P(CaseGenTest, DemoHoldsTheDocumentedCases) {
    // What the reports show of the demo (its fault points, line faults, the shunt branch,
    // the branch without zero-sequence data, the load-flow case) is in their golden file;
    // here what they do not show.
    StoredDb db(madeDb(GetParam()));
    EXPECT_EQ(
        db.number("SELECT COUNT(*) FROM SCR_R120 WHERE Case_No=" + std::to_string(demo::kCaseUncalculated)),
        0);
    EXPECT_EQ(db.number("SELECT base_MVA FROM CDB_SBBAK"), demo::kBaseMVA);

    QSqlQuery q = db.query("SELECT Case_No, CAL_DATE, CAL_TIME, Date, Time, Function, Simple_F "
                           "FROM SC_CASE WHERE calculate=1");
    while (q.next()) {
        const int n = q.value(0).toInt();
        for (int col = 1; col < 5; ++col)
            EXPECT_EQ(q.value(col).toString().size(), col % 2 ? 8 : 6) << "case " << n << " column " << col;
        EXPECT_EQ(q.value(5).toInt() + q.value(6).toInt(), 2);
        // The saved fault list is every fault point of the case.
        const std::string no = std::to_string(n);
        auto saved = db.texts("SELECT Bus_Name FROM SCR_FAULTBUS WHERE Case_No=" + no + " ORDER BY Bus_Name");
        std::vector<std::string> keys;
        for (const StoredFault& f : db.load(n).faults)
            keys.push_back(f.iName == f.jName ? f.iName : f.idName + "_" + std::to_string(f.percent));
        std::sort(keys.begin(), keys.end());
        std::sort(saved.begin(), saved.end());
        EXPECT_EQ(saved, keys) << "case " << n;
        const std::string flags = "LSummary+LDistribut+LShortBra+LBusVol+LLineCur+LVIZ+Lfile+Lreport";
        EXPECT_EQ(db.number("SELECT " + flags + " FROM SCR_OUT WHERE CASE_NO=" + no), 8);
    }

    // Every calculated case balances and meets its fault conditions: the generators'
    // currents are in no report.
    for (int n = 1; n < demo::kCaseUncalculated; ++n) {
        expectBalanced(db.load(n));
        expectFaultConditions(db.load(n));
    }
    // The network model and its backup copy agree, quoted name included.
    const std::pair<std::string, const char*> models[] = {
        {"CDB_NODE", "Node_Name"},   {"CDB_ACLINE", "ID_Name"},  {"CDB_TRANS_2W", "ID_Name"},
        {"CDB_TRANS_3W", "ID_Name"}, {"CDB_GENERAT", "ID_Name"}, {"CDB_LOAD", "ID_Name"},
        {"CDB_PCAPREA", "ID_Name"},  {"CDB_BREAKER", "ID_Name"}, {"CDB_PSTATION", "PS_Name"},
        {"CDB_ZONE", "Zone_Name"},   {"CDB_AREAS", "Area_Name"}};
    for (const auto& [t, name] : models)
        for (const std::string col : {"ID", name}) {
            const auto live = db.texts("SELECT " + col + " FROM " + t + " ORDER BY ID");
            EXPECT_FALSE(live.empty()) << t;
            EXPECT_EQ(live, db.texts("SELECT " + col + " FROM " + t + "BAK ORDER BY ID")) << t << " " << col;
        }
    EXPECT_EQ(db.texts("SELECT Node_Name FROM CDB_NODEBAK WHERE Node_Name='O''Neil13'").size(), 1u);
}

TEST_P(CaseGenTest, GridIsMeshedAndConsistent) {
    const casegen::GridOptions g = gridOptions();
    StoredDb db(madeDb(GetParam(), true));
    const StoredCase c = db.load(casegen::kGridCase);
    ASSERT_EQ(c.bus.size(), static_cast<size_t>(g.buses));
    const auto series =
        std::count_if(c.branches.begin(), c.branches.end(), [](const StoredBranch& b) { return b.i != b.j; });
    EXPECT_NEAR(series, 1.5 * g.buses, 0.05 * g.buses);
    std::set<std::string> faulted;
    for (const StoredFault& f : c.faults)
        faulted.insert(f.iName);
    EXPECT_EQ(faulted.size(), static_cast<size_t>(g.faults));
    EXPECT_EQ(c.type, g.faultType);
    EXPECT_EQ(c.zf, Cplx(g.rf, g.xf));
    expectBalanced(c);
    expectFaultConditions(c);

    // Far from the fault the voltages are nearly the pre-fault ones: the typical deviation
    // shrinks with every ten branches of distance, and beyond forty even the largest is small.
    std::vector<std::vector<int>> adj(c.bus.size());
    for (const StoredBranch& b : c.branches)
        if (b.i != b.j) adj[b.i].push_back(b.j), adj[b.j].push_back(b.i);
    for (const StoredFault& f : c.faults) {
        const int at = c.index.at(f.iName);
        std::vector<int> dist(c.bus.size(), -1);
        std::deque<int> todo{at};
        dist[at] = 0;
        while (!todo.empty()) {
            const int k = todo.front();
            todo.pop_front();
            for (int o : adj[k])
                if (dist[o] < 0) dist[o] = dist[k] + 1, todo.push_back(o);
        }
        std::map<int, std::vector<double>> band; // tens of branches -> |V1 - Vpre| + |V2| + |V0|
        for (size_t k = 0; k < c.bus.size(); ++k) {
            ASSERT_GE(dist[k], 0) << "grid not connected";
            const auto& v = c.v.at(f.T)[k];
            band[std::min(dist[k], 40) / 10].push_back(std::abs(v[0] - c.vpre[k]) + std::abs(v[1]) +
                                                       std::abs(v[2]));
        }
        EXPECT_GT(std::abs(c.v.at(f.T)[at][0] - c.vpre[at]), 0.5) << f.iName;
        double last = INFINITY;
        for (auto& [tens, dev] : band) {
            std::sort(dev.begin(), dev.end());
            const double median = dev[dev.size() / 2];
            EXPECT_LE(median, last) << f.iName << " at " << tens * 10 << " branches";
            last = median;
        }
        if (band.count(4)) {
            EXPECT_LT(band[4][band[4].size() / 2], 0.01) << f.iName;
            EXPECT_LT(band[4].back(), 0.1) << f.iName;
        }
    }
}

TEST_P(CaseGenTest, RefusesDataUnlessForced) {
    CaseDb db(GetParam());
    std::string err;
    casegen::GridOptions small;
    small.buses = 50;
    small.faults = 3;
    ASSERT_TRUE(casegen::makeGrid(db.arg(), small, &err)) << err;
    EXPECT_FALSE(casegen::makeDemo(db.arg(), &err));
    EXPECT_NE(err.find("--force"), std::string::npos) << err;
    {
        StoredDb s(db.arg());
        EXPECT_EQ(s.number("SELECT COUNT(*) FROM SC_CASE"), 1) << "the refused run changed the database";
    }
    casegen::WriteOptions force;
    casegen::RunInfo info;
    force.force = true;
    force.info = &info;
    ASSERT_TRUE(casegen::makeDemo(db.arg(), &err, force)) << err;
    EXPECT_GT(info.rows, 1000);
    EXPECT_FALSE(info.phases.empty());
    StoredDb s(db.arg());
    EXPECT_EQ(s.number("SELECT COUNT(*) FROM SC_CASE"), demo::kCaseCount);
    EXPECT_EQ(s.number("SELECT COUNT(*) FROM CDB_NODE"), demo::kBusCount + 1);
}

INSTANTIATE_ON_BACKENDS(CaseGenTest);

// The seed decides the grid; impossible options write nothing.
TEST(CaseGenGrid, SeedDecidesTheGridAndImpossibleOptionsAreRejected) {
    auto branches = [](unsigned seed) {
        CaseDb db(Backend::Sqlite);
        casegen::GridOptions g;
        g.buses = 300;
        g.faults = 5;
        g.seed = seed;
        std::string err;
        EXPECT_TRUE(casegen::makeGrid(db.arg(), g, &err)) << err;
        StoredDb s(db.arg());
        return s.texts("SELECT I_Name || '-' || J_Name || ':' || X1 FROM SCR_LINE1 ORDER BY ID_No");
    };
    const auto a = branches(3);
    EXPECT_EQ(a, branches(3));
    EXPECT_NE(a, branches(4));

    CaseDb db(Backend::Sqlite);
    std::string err;
    casegen::GridOptions g;
    g.buses = 10;
    g.faults = 11;
    EXPECT_FALSE(casegen::makeGrid(db.arg(), g, &err));
    g.faults = 2;
    g.faultType = 5;
    EXPECT_FALSE(casegen::makeGrid(db.arg(), g, &err));
    g.faultType = 1;
    g.buses = casegen::kMaxGridBuses + 1;
    EXPECT_FALSE(casegen::makeGrid(db.arg(), g, &err));
    StoredDb s(db.arg());
    EXPECT_EQ(s.number("SELECT COUNT(*) FROM SC_CASE"), 0);
}

} // namespace
