#pragma once
// The sequence networks of one short-circuit case and the fault study on them.
#include "casegen.h"

#include <Eigen/SparseCore>
#include <Eigen/SparseLU>
#include <complex>
#include <memory>
#include <vector>

namespace casegen {

using Cplx = std::complex<double>;
using CVec = Eigen::VectorXcd;
using SpMat = Eigen::SparseMatrix<Cplx>;

enum class Seq { Pos, Neg, Zero };

// One SCR_LINE1 row and, when hasZ0, its SCR_LINE0 row. See casegen.h for the model.
struct ScBranch {
    int i = 0, j = 0; // bus indices; i == j: a shunt to ground
    Cplx z1;          // positive and negative sequence
    double bHalf = 0;
    double tk = 1;
    bool hasZ0 = false;
    Cplx z0;
    int type = kTypeLine;
    int idNo = 0;
};

struct ScGenerator {
    int bus = 0;
    Cplx z1, z2, z0;
    Cplx e; // internal EMF, constant during the fault
};

struct ScNetwork {
    int buses = 0;
    std::vector<ScBranch> branches;
    std::vector<ScGenerator> gens;

    SpMat admittance(Seq s) const;
    // Norton currents of the generators (E / Z1) into their buses.
    CVec sourceCurrents() const;
};

// Sequence currents at the fault (phase A reference) for fault types 1 to 4, from the
// pre-fault voltage and the Thevenin impedances of the fault point. Types 3 and 4 involve
// phases A and B; zf lies per phase (1), phase to ground (2), between A and B (3) or in the
// common path to ground (4).
struct SeqCurrents {
    Cplx i1, i2, i0;
};
SeqCurrents faultCurrents(int type, Cplx vpre, Cplx z1, Cplx z2, Cplx z0, Cplx zf);

class SeqFactor {
  public:
    bool factor(const SpMat& y);
    CVec solve(const CVec& rhs) const;
    CVec column(int k, int n) const; // Z e_k

  private:
    Eigen::SparseLU<SpMat, Eigen::COLAMDOrdering<int>> m_lu;
};

struct FaultResult {
    SeqCurrents i;
    Cplx z1, z2, z0; // Thevenin impedances of the fault point
    CVec v1, v2, v0; // every bus of the network (not the inner point of a line fault)
};

// Factorises the three sequence networks once and solves faults on them.
class FaultStudy {
  public:
    FaultStudy(const ScNetwork& net, int type, Cplx zf);
    bool ok() const { return m_ok; }
    const std::string& error() const { return m_err; }
    // Pre-fault voltages: the network fed by its generator EMFs.
    const CVec& vpre() const { return m_vpre; }

    FaultResult atBus(int f) const;
    // A fault at `fraction` of line branch b, measured from its I side. The line is cut
    // there for this fault only; its charging stays at its two ends.
    FaultResult onLine(int b, double fraction) const;
    // Thevenin impedances of bus k (for the stored short-circuit capacities).
    void thevenin(int k, Cplx* z1, Cplx* z2, Cplx* z0) const;

  private:
    FaultResult solve(const SeqFactor* f[3], const CVec& vpre, int n, int at, int keep) const;

    const ScNetwork& m_net;
    int m_type;
    Cplx m_zf;
    bool m_ok = false;
    std::string m_err;
    SeqFactor m_f[3];
    CVec m_vpre;
};

} // namespace casegen
