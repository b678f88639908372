#include "casegen.h"

#include "builders.h"
#include "dbwriter.h"

#include <chrono>
#include <functional>

namespace casegen {
namespace {

using Clock = std::chrono::steady_clock;
double since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

using Body = std::function<bool(DbWriter&, std::vector<PhaseTime>*, std::string*)>;

bool run(const std::string& dbArg, const WriteOptions& opt, std::string* err, const Body& body) {
    std::string local;
    if (!err) err = &local;
    std::vector<PhaseTime> phases;
    bool ok = false;
    long long rows = 0;
    {
        DbWriter w;
        auto t0 = Clock::now();
        if (!w.open(dbArg, opt.force, err)) return false;
        phases.push_back({"create database", since(t0)});
        ok = body(w, &phases, err);
        if (ok) { // commit() reports the first failed insert instead, and rolls back
            t0 = Clock::now();
            ok = w.commit(err);
            phases.push_back({"commit", since(t0)});
        }
        rows = w.rows();
    }
    if (opt.info) {
        opt.info->phases = phases;
        opt.info->rows = rows;
    }
    return ok;
}

} // namespace

bool makeDemo(const std::string& dbArg, std::string* err, const WriteOptions& opt) {
    return run(dbArg, opt, err,
               [](DbWriter& w, std::vector<PhaseTime>* p, std::string* e) { return writeDemo(w, p, e); });
}

bool makeGrid(const std::string& dbArg, const GridOptions& g, std::string* err, const WriteOptions& opt) {
    std::string local;
    if (!checkGridOptions(g, err ? err : &local)) return false; // before touching the database
    return run(dbArg, opt, err, [&g](DbWriter& w, std::vector<PhaseTime>* p, std::string* e) {
        return writeGrid(w, g, p, e);
    });
}

const char* assumptionsText() {
    return R"(Modelling assumptions
  Per unit on a 100 MVA system base; base voltages in SCR_BUS.Base_kV and CDB_NODE.Base_kV.
  Branches (SCR_LINE1): series Z1 = R1 + jX1, charging B1_half at each end, off-nominal
    ratio Tk on the J side (the inner node of the branch sits at Vj/Tk):
      current leaving the I side  (Vi - Vj/Tk)/Z1 + jB1_half*Vi
      current leaving the J side  (Vj/Tk - Vi)/(Tk*Z1) + jB1_half*Vj
    I_Name = J_Name: a shunt to ground carrying Vi/Z1 (capacitors, and loads as
    constant admittances P - jQ at their load-flow voltage). The negative sequence
    network is the positive one with the generators' negative-sequence impedances.
  Zero sequence (SCR_LINE0): a series Z0 with no charging and no ratio.
    Lines: Z0 = 3 Z1, zero-sequence charging neglected.
    Two-winding transformers YNyn0, both neutrals solidly earthed: Z0 = Z1.
    Three-winding transformer YNyn0y0: the windings to buses 4 and 9 have Z0 = Z1,
      the tertiary to bus 8 is an ungrounded star and has no zero-sequence path.
    Synthetic grids: one transformer in ten is YNy0 (ungrounded secondary), unless
      that would leave a zero-sequence island without an earthed generator.
    Loads and capacitors are ungrounded: no zero-sequence path.
  Generators: EMF behind Z1 = Z2 = R + jX''d with R = X''d/25, Z0 = 0.4 Z1, neutral
    solidly earthed (demo X''d: 0.06, 0.12 and 0.20 for the three condensers).
    Demo cases with a load flow: the EMF carries the load-flow generator current;
    without one (CASE_LF = 0): loads left out, every EMF 1.0 p.u. at 0 degrees.
    Synthetic grids: no loads, EMF 1.00 to 1.08 p.u. at -8 to 0 degrees.
  Pre-fault voltages (SCR_LPC, and LFR_BS_R of the load-flow case): the network fed
    by the generator EMFs, which reproduces the load flow.
  Faults (phase A reference; types 3 and 4 involve phases A and B), fault impedance Zf:
    1 three-phase        I1 = Vpre/(Z1+Zf)
    2 A to ground        I1 = I2 = I0 = Vpre/(Z1+Z2+Z0+3Zf)
    3 A-B                I1 = Vpre/(Z1+Z2+Zf), I2 = -a^2 I1, Zf between A and B
    4 A-B to ground      I1 = Vpre/(Z1 + Z2 Zg/(Z2+Zg)), Zg = Z0+3Zf,
                         I2 = -a^2 I1 Zg/(Z2+Zg), I0 = -a I1 Z2/(Z2+Zg), Zf to ground
    with Z1, Z2, Z0 the Thevenin impedances of the fault point; bus voltages
    V1 = Vpre - Z1(k,f) I1, V2 = -Z2(k,f) I2, V0 = -Z0(k,f) I0.
  A fault at p % of a line cuts the line there for that fault; its stored row keeps
    the whole line, so report currents of that line are not the ones of that fault.
  SCR_R120: flg 1 the fault point, flg 2 each generator's sequence currents into its
    bus during fault T. SCR_BUS: SC3_MVA = |Vpre/Z1| S_B, SC1_MVA = |3 Vpre/(Z1+Z2+Z0)| S_B
    (bolted; synthetic grids: fault buses only, NULL elsewhere).
)";
}

} // namespace casegen
