#pragma once
// Newton-Raphson load flow in polar form, for the demo's pre-fault state.
#include <Eigen/Dense>
#include <string>
#include <vector>

namespace casegen {

struct LfBus {
    enum Kind { PQ, PV, Slack };
    Kind kind = PQ;
    double p = 0, q = 0; // specified net injection, p.u. (q for PQ buses only)
    double v = 1.0;      // voltage magnitude of PV and slack buses; slack angle 0
};

// Solves for the bus voltages; v holds the flat start on entry.
bool loadFlow(const Eigen::MatrixXcd& y, const std::vector<LfBus>& buses, Eigen::VectorXcd* v,
              std::string* err);

} // namespace casegen
