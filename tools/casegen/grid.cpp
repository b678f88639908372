// Synthetic meshed grids for benchmarks: buses on a lattice in three voltage bands,
// a random spanning tree of lattice edges plus random extra edges (about 1.5 branches
// per bus), generators and capacitors at random buses, faults at random buses.
#include "builders.h"
#include "casewriter.h"
#include "modelinserter.h"

#include "db/textcodec.h"

#include <QDateTime>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <numeric>
#include <random>
#include <tuple>

namespace casegen {
namespace {

using Clock = std::chrono::steady_clock;
double since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

const double kBandKV[3] = {220, 110, 35};

// Uniform numbers from the raw engine: the same seed gives the same grid everywhere.
class Rng {
  public:
    explicit Rng(unsigned seed) : m_e(seed) {}
    double uni(double a, double b) { return a + (b - a) * (m_e() / 4294967296.0); }
    int below(int n) { return static_cast<int>(m_e() % static_cast<unsigned>(n)); }
    template <class T> void shuffle(std::vector<T>& v) {
        for (size_t k = v.size(); k > 1; --k)
            std::swap(v[k - 1], v[below(static_cast<int>(k))]);
    }

  private:
    std::mt19937 m_e;
};

class UnionFind {
  public:
    explicit UnionFind(int n) : m_p(n) { std::iota(m_p.begin(), m_p.end(), 0); }
    int find(int x) {
        while (m_p[x] != x)
            x = m_p[x] = m_p[m_p[x]];
        return x;
    }
    bool unite(int a, int b) {
        a = find(a);
        b = find(b);
        if (a == b) return false;
        m_p[a] = b;
        return true;
    }

  private:
    std::vector<int> m_p;
};

std::string fmt(const char* f, int n) {
    char buf[64];
    std::snprintf(buf, sizeof buf, f, n);
    return buf;
}

struct Grid {
    int n = 0, width = 0;
    std::vector<int> band;        // per bus
    std::vector<int> station;     // per bus
    std::vector<int> stationZone; // per station
    std::vector<int> zoneArea;    // per zone (area = band + 1)
    ScNetwork net;
    std::vector<int> capBus;
    std::vector<int> faultBus;
};

// A random spanning tree of the square grid's neighbours, then spare neighbours up to
// 1.5 branches per bus.
std::vector<std::pair<int, int>> gridEdges(int n, int w, Rng& rng) {
    std::vector<std::pair<int, int>> cand;
    for (int k = 0; k < n; ++k) {
        if (k % w + 1 < w && k + 1 < n) cand.emplace_back(k, k + 1);
        if (k + w < n) cand.emplace_back(k, k + w);
    }
    rng.shuffle(cand);
    UnionFind uf(n);
    std::vector<std::pair<int, int>> edges, spare;
    for (const auto& e : cand)
        (uf.unite(e.first, e.second) ? edges : spare).push_back(e);
    const size_t target = static_cast<size_t>(std::lround(1.5 * n));
    for (size_t k = 0; k < spare.size() && edges.size() < target; ++k)
        edges.push_back(spare[k]);
    std::sort(edges.begin(), edges.end());
    return edges;
}

// A line within a voltage band, a transformer between two.
ScBranch edgeBranch(const std::pair<int, int>& e, const std::vector<int>& band, Rng& rng, int idNo) {
    ScBranch b;
    const int ba = band[e.first], bb = band[e.second];
    b.idNo = idNo;
    if (ba == bb) {
        b.i = e.first;
        b.j = e.second;
        double x, rx, bh;
        // Charging grows with length, as the reactance does; the grid has no loads and
        // no reactors to absorb it, so it stays at the light end of real lines.
        if (ba == 0) {
            x = rng.uni(0.005, 0.03), rx = rng.uni(0.08, 0.15), bh = x * rng.uni(0.1, 0.2);
        } else if (ba == 1) {
            x = rng.uni(0.03, 0.15), rx = rng.uni(0.2, 0.4), bh = x * rng.uni(0.01, 0.02);
        } else {
            x = rng.uni(0.2, 0.8), rx = rng.uni(0.5, 1.0), bh = 0;
        }
        b.z1 = Cplx(x * rx, x);
        b.bHalf = bh;
        b.hasZ0 = true;
        b.z0 = 3.0 * b.z1;
        b.type = kTypeLine;
    } else {
        // Lower voltage on the I side, the tap on the higher-voltage J side.
        const bool firstLow = ba > bb;
        b.i = firstLow ? e.first : e.second;
        b.j = firstLow ? e.second : e.first;
        const double x = std::min(ba, bb) == 0 ? rng.uni(0.05, 0.2) : rng.uni(0.3, 0.8);
        b.z1 = Cplx(x / 40, x);
        b.tk = rng.uni(0.95, 1.05);
        b.hasZ0 = rng.uni(0, 1) >= 0.1; // the rest: ungrounded secondary star
        b.z0 = b.z1;
        b.type = kTypeTransformer;
    }
    return b;
}

// Every zero-sequence island needs an earthed generator: give it back the earthed
// winding of a transformer that joins it to the rest.
void earthZeroSequenceIslands(ScNetwork& net) {
    const int n = net.buses;
    for (bool changed = true; changed;) {
        changed = false;
        UnionFind z(n);
        for (const ScBranch& b : net.branches)
            if (b.hasZ0 && b.i != b.j) z.unite(b.i, b.j);
        std::vector<char> earthed(n, 0);
        for (const ScGenerator& sg : net.gens)
            earthed[z.find(sg.bus)] = 1;
        for (ScBranch& b : net.branches) {
            if (b.hasZ0 || b.i == b.j) continue;
            const int ri = z.find(b.i), rj = z.find(b.j);
            if (ri != rj && (!earthed[ri] || !earthed[rj])) {
                b.hasZ0 = true;
                earthed[ri] = earthed[rj] = earthed[ri] || earthed[rj];
                z.unite(ri, rj);
                changed = true;
            }
        }
    }
}

// Stations of 2 x 2 buses and zones of 10 x 10, never across a voltage band.
void placeStations(Grid& g) {
    const int n = g.n, w = g.width;
    std::map<std::tuple<int, int, int>, int> stations, zones;
    g.station.resize(n);
    for (int k = 0; k < n; ++k) {
        const int r = k / w, c = k % w, b = g.band[k];
        auto z = zones.emplace(std::make_tuple(b, r / 10, c / 10), static_cast<int>(zones.size()));
        if (z.second) g.zoneArea.push_back(b);
        auto s = stations.emplace(std::make_tuple(b, r / 2, c / 2), static_cast<int>(stations.size()));
        if (s.second) g.stationZone.push_back(z.first->second);
        g.station[k] = s.first->second;
    }
}

Grid buildGrid(const GridOptions& o) {
    Grid g;
    Rng rng(o.seed);
    const int n = o.buses;
    g.n = n;
    g.width = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
    const int w = g.width, h = (n + w - 1) / w;
    const int b1 = std::max(1, static_cast<int>(std::lround(h * 0.3)));
    const int b2 = b1 + static_cast<int>(std::lround(h * 0.4));
    g.band.resize(n);
    for (int k = 0; k < n; ++k) {
        const int r = k / w;
        g.band[k] = r < b1 ? 0 : r < b2 ? 1 : 2;
    }

    const std::vector<std::pair<int, int>> edges = gridEdges(n, w, rng);

    ScNetwork& net = g.net;
    net.buses = n;
    int id = 1;
    for (const auto& e : edges)
        net.branches.push_back(edgeBranch(e, g.band, rng, id++));

    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    rng.shuffle(order);
    const int gens = std::max(1, n / 25);
    for (int k = 0; k < gens; ++k) {
        ScGenerator sg;
        sg.bus = order[k];
        const double x = rng.uni(0.05, 0.25);
        sg.z1 = sg.z2 = Cplx(x / 25, x);
        sg.z0 = 0.4 * sg.z1;
        sg.e = std::polar(rng.uni(1.0, 1.08), rng.uni(-8.0, 0.0) * 0.017453292519943295);
        net.gens.push_back(sg);
    }
    rng.shuffle(order);
    // Capacitors on the two upper bands only: on the weak 35 kV band they would sit in
    // series resonance with the long feeders behind them.
    for (int k = 0, placed = 0; k < n && placed < n / 100; ++k) {
        if (g.band[order[k]] == 2) continue;
        ++placed;
        ScBranch c;
        c.i = c.j = order[k];
        c.z1 = 1.0 / Cplx(0, rng.uni(0.02, 0.1));
        c.type = kTypeShunt;
        c.idNo = id++;
        net.branches.push_back(c);
        g.capBus.push_back(order[k]);
    }

    earthZeroSequenceIslands(net);
    placeStations(g);

    rng.shuffle(order);
    g.faultBus.assign(order.begin(), order.begin() + o.faults);
    return g;
}

void writeGridModel(DbWriter& w, const Grid& g, const NetNames& names) {
    using textcodec::gb;
    ModelInserter sb(w, "CDB_SB", {"base_MVA"});
    sb.add(100.0);
    ModelInserter area(w, "CDB_AREAS", {"ID", "Area_No", "Area_Name"});
    std::vector<char> usedBand(3, 0);
    for (int b : g.band)
        usedBand[b] = 1;
    for (int b = 0; b < 3; ++b)
        if (usedBand[b])
            area.add(b + 1).add(b + 1).text(gb("区域") + fmt("%d ", b + 1) + fmt("%dkV", int(kBandKV[b])));
    ModelInserter zone(w, "CDB_ZONE", {"ID", "Zone_No", "Zone_Name", "Area_No"});
    for (size_t z = 0; z < g.zoneArea.size(); ++z)
        zone.add(int(z) + 1)
            .add(int(z) + 1)
            .text(gb("分区") + fmt("%03d", int(z) + 1))
            .add(g.zoneArea[z] + 1);
    ModelInserter st(w, "CDB_PSTATION", {"ID", "PS_Name", "Zone_No"});
    std::vector<std::string> stName;
    for (size_t s = 0; s < g.stationZone.size(); ++s) {
        stName.push_back(gb("站") + fmt("%05d", int(s) + 1));
        st.add(int(s) + 1).text(stName.back()).add(g.stationZone[s] + 1);
    }
    ModelInserter node(w, "CDB_NODE", {"ID", "Node_Name", "PS_Name", "isPhyBus", "Base_kV", "GrpName"});
    for (int k = 0; k < g.n; ++k)
        node.add(k + 1)
            .text(names.bus[k])
            .text(stName[g.station[k]])
            .add(1)
            .add(names.baseKV[k])
            .text("BASE");

    ModelInserter line(w, "CDB_ACLINE",
                       {"ID", "ID_Name", "I_Name", "J_Name", "R1", "X1", "B1_half", "R0", "X0", "Rated_kV",
                        "GrpName", "Status"});
    ModelInserter t2(
        w, "CDB_TRANS_2W",
        {"ID", "ID_Name", "I_Name", "J_Name", "R1", "X1", "R0", "X0", "Tk", "Conn", "GrpName", "Status"});
    ModelInserter cap(w, "CDB_PCAPREA",
                      {"ID", "ID_Name", "Node_Name", "Q", "X1", "Rated_kV", "GrpName", "Status"});
    for (const ScBranch& b : g.net.branches) {
        if (b.type == kTypeLine)
            line.add(b.idNo)
                .text(fmt("L%05d", b.idNo))
                .text(names.bus[b.i])
                .text(names.bus[b.j])
                .add(b.z1.real())
                .add(b.z1.imag())
                .add(b.bHalf)
                .add(b.z0.real())
                .add(b.z0.imag())
                .add(names.baseKV[b.i])
                .text("BASE")
                .add(1);
        else if (b.type == kTypeTransformer)
            t2.add(b.idNo)
                .text(fmt("T%05d", b.idNo))
                .text(names.bus[b.i])
                .text(names.bus[b.j])
                .add(b.z1.real())
                .add(b.z1.imag())
                .add(b.z0.real())
                .add(b.z0.imag())
                .add(b.tk)
                .text(b.hasZ0 ? "YNyn0" : "YNy0")
                .text("BASE")
                .add(1);
        else
            cap.add(b.idNo)
                .text(fmt("C%05d", b.idNo))
                .text(names.bus[b.i])
                .add(-100.0 / b.z1.imag())
                .add(b.z1.imag())
                .add(names.baseKV[b.i])
                .text("BASE")
                .add(1);
    }
    ModelInserter gen(w, "CDB_GENERAT",
                      {"ID", "ID_Name", "Node_Name", "R1", "X1", "R2", "X2", "R0", "X0", "Xd2", "V_set",
                       "GrpName", "Status"});
    for (size_t k = 0; k < g.net.gens.size(); ++k) {
        const ScGenerator& sg = g.net.gens[k];
        gen.add(int(k) + 1)
            .text(names.gen[k])
            .text(names.bus[sg.bus])
            .add(sg.z1.real())
            .add(sg.z1.imag())
            .add(sg.z2.real())
            .add(sg.z2.imag())
            .add(sg.z0.real())
            .add(sg.z0.imag())
            .add(sg.z1.imag())
            .add(std::abs(sg.e))
            .text("BASE")
            .add(1);
    }
}

} // namespace

bool checkGridOptions(const GridOptions& o, std::string* err) {
    if (o.buses < 2 || o.buses > kMaxGridBuses)
        *err = "the grid needs 2 to " + std::to_string(kMaxGridBuses) + " buses";
    else if (o.faults < 1 || o.faults > o.buses)
        *err = "the number of faults must lie between 1 and the number of buses";
    else if (o.faultType < 1 || o.faultType > 4)
        *err = "fault types are 1 to 4";
    else
        return true;
    return false;
}

bool writeGrid(DbWriter& w, const GridOptions& o, std::vector<PhaseTime>* phases, std::string* err) {
    if (!checkGridOptions(o, err)) return false;
    auto t0 = Clock::now();
    const Grid g = buildGrid(o);
    NetNames names;
    for (int k = 0; k < g.n; ++k) {
        names.bus.push_back(fmt("B%05d", k + 1));
        names.baseKV.push_back(kBandKV[g.band[k]]);
    }
    for (size_t k = 0; k < g.net.gens.size(); ++k)
        names.gen.push_back(fmt("G%05d", int(k) + 1));
    phases->push_back({"grid", since(t0)});

    t0 = Clock::now();
    writeGridModel(w, g, names);
    phases->push_back({"network tables", since(t0)});

    CaseSpec c;
    c.caseNo = kGridCase;
    c.name = textcodec::gb("合成电网") + fmt(" N=%d", o.buses) + fmt(" M=%d", o.faults);
    c.note = textcodec::gb("合成网格算例") + fmt(", seed %d", static_cast<int>(o.seed)) +
             fmt(", %d branches", static_cast<int>(g.net.branches.size()));
    c.scheme = "BASE";
    c.type = o.faultType;
    c.zf = Cplx(o.rf, o.xf);
    const QDateTime now = QDateTime::currentDateTime();
    c.calDate = c.date = now.toString("yyyyMMdd").toStdString();
    c.calTime = c.time = now.toString("HHmmss").toStdString();
    c.net = &g.net;
    c.allCapacities = false;
    for (int b : g.faultBus) {
        FaultSpec f;
        f.bus = b;
        c.faults.push_back(f);
    }
    Timers timers;
    CaseWriter cw(w, names, 100.0);
    if (!cw.write(c, &timers, err)) return false;
    phases->push_back({"fault study", timers.solve});
    phases->push_back({"result tables", timers.write});
    return true;
}

} // namespace casegen
