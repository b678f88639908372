#include "loadflow.h"

#include <cmath>

namespace casegen {

bool loadFlow(const Eigen::MatrixXcd& y, const std::vector<LfBus>& buses, Eigen::VectorXcd* vOut,
              std::string* err) {
    using Eigen::MatrixXd;
    using Eigen::VectorXcd;
    using Eigen::VectorXd;
    const int n = static_cast<int>(buses.size());
    const std::complex<double> j(0, 1);
    // Unknowns: the angle of every non-slack bus, then the magnitude of every PQ bus.
    std::vector<int> ang, mag;
    for (int k = 0; k < n; ++k) {
        if (buses[k].kind != LfBus::Slack) ang.push_back(k);
        if (buses[k].kind == LfBus::PQ) mag.push_back(k);
    }
    VectorXd va(n), vm(n);
    for (int k = 0; k < n; ++k) {
        va[k] = 0;
        vm[k] = buses[k].kind == LfBus::PQ ? 1.0 : buses[k].v;
    }
    const int na = static_cast<int>(ang.size()), nm = static_cast<int>(mag.size());
    for (int it = 0; it < 30; ++it) {
        VectorXcd v(n);
        for (int k = 0; k < n; ++k)
            v[k] = std::polar(vm[k], va[k]);
        const VectorXcd ibus = y * v;
        VectorXd f(na + nm);
        for (int a = 0; a < na; ++a)
            f[a] = (v[ang[a]] * std::conj(ibus[ang[a]])).real() - buses[ang[a]].p;
        for (int m = 0; m < nm; ++m)
            f[na + m] = (v[mag[m]] * std::conj(ibus[mag[m]])).imag() - buses[mag[m]].q;
        if (f.lpNorm<Eigen::Infinity>() < 1e-12) {
            *vOut = v;
            return true;
        }
        // dS/dVa = j diag(V) conj(diag(I) - Y diag(V)); dS/dVm = diag(V) conj(Y diag(V/|V|)) + conj(diag(I))
        // diag(V/|V|)
        Eigen::MatrixXcd dVa(n, n), dVm(n, n);
        for (int r = 0; r < n; ++r)
            for (int c = 0; c < n; ++c) {
                const std::complex<double> dia = r == c ? ibus[r] : 0.0;
                dVa(r, c) = j * v[r] * std::conj(dia - y(r, c) * v[c]);
                const std::complex<double> vn = v[c] / std::abs(v[c]);
                dVm(r, c) = v[r] * std::conj(y(r, c) * vn) + (r == c ? std::conj(ibus[r]) * vn : 0.0);
            }
        MatrixXd jac(na + nm, na + nm);
        for (int a = 0; a < na; ++a) {
            for (int b = 0; b < na; ++b)
                jac(a, b) = dVa(ang[a], ang[b]).real();
            for (int m = 0; m < nm; ++m)
                jac(a, na + m) = dVm(ang[a], mag[m]).real();
        }
        for (int m = 0; m < nm; ++m) {
            for (int b = 0; b < na; ++b)
                jac(na + m, b) = dVa(mag[m], ang[b]).imag();
            for (int c = 0; c < nm; ++c)
                jac(na + m, na + c) = dVm(mag[m], mag[c]).imag();
        }
        const VectorXd dx = jac.fullPivLu().solve(-f);
        for (int a = 0; a < na; ++a)
            va[ang[a]] += dx[a];
        for (int m = 0; m < nm; ++m)
            vm[mag[m]] += dx[na + m];
    }
    *err = "the load flow does not converge";
    return false;
}

} // namespace casegen
