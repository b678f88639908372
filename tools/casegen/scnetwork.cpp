#include "scnetwork.h"

#include <cmath>

namespace casegen {
namespace {

const Cplx kJ(0.0, 1.0);
const Cplx kA(std::cos(2.0943951023931953), std::sin(2.0943951023931953));

} // namespace

SpMat ScNetwork::admittance(Seq s) const {
    std::vector<Eigen::Triplet<Cplx>> t;
    t.reserve(branches.size() * 4 + gens.size() + buses);
    for (int k = 0; k < buses; ++k)
        t.emplace_back(k, k, Cplx(0.0)); // keep the diagonal structural
    for (const ScBranch& b : branches) {
        if (s == Seq::Zero) {
            if (!b.hasZ0) continue;
            const Cplx y = 1.0 / b.z0;
            t.emplace_back(b.i, b.i, y);
            if (b.i == b.j) continue;
            t.emplace_back(b.j, b.j, y);
            t.emplace_back(b.i, b.j, -y);
            t.emplace_back(b.j, b.i, -y);
            continue;
        }
        const Cplx y = 1.0 / b.z1;
        if (b.i == b.j) {
            t.emplace_back(b.i, b.i, y);
            continue;
        }
        const Cplx yc = kJ * b.bHalf;
        t.emplace_back(b.i, b.i, y + yc);
        t.emplace_back(b.j, b.j, y / (b.tk * b.tk) + yc);
        t.emplace_back(b.i, b.j, -y / b.tk);
        t.emplace_back(b.j, b.i, -y / b.tk);
    }
    for (const ScGenerator& g : gens) {
        const Cplx z = s == Seq::Pos ? g.z1 : s == Seq::Neg ? g.z2 : g.z0;
        t.emplace_back(g.bus, g.bus, 1.0 / z);
    }
    SpMat y(buses, buses);
    y.setFromTriplets(t.begin(), t.end());
    y.makeCompressed();
    return y;
}

CVec ScNetwork::sourceCurrents() const {
    CVec j = CVec::Zero(buses);
    for (const ScGenerator& g : gens)
        j[g.bus] += g.e / g.z1;
    return j;
}

SeqCurrents faultCurrents(int type, Cplx vpre, Cplx z1, Cplx z2, Cplx z0, Cplx zf) {
    SeqCurrents c;
    switch (type) {
    case 1:
        c.i1 = vpre / (z1 + zf);
        break;
    case 2:
        c.i1 = c.i2 = c.i0 = vpre / (z1 + z2 + z0 + 3.0 * zf);
        break;
    case 3:
        // Phases A and B: phase C is the symmetrical one. Its positive-sequence voltage is
        // a*Vpre, and going back to phase A reference turns I2 by a and I1 by a^2.
        c.i1 = vpre / (z1 + z2 + zf);
        c.i2 = -kA * kA * c.i1;
        break;
    case 4: {
        const Cplx zg = z0 + 3.0 * zf;
        c.i1 = vpre / (z1 + z2 * zg / (z2 + zg));
        c.i2 = -kA * kA * c.i1 * zg / (z2 + zg);
        c.i0 = -kA * c.i1 * z2 / (z2 + zg);
        break;
    }
    default:
        break;
    }
    return c;
}

bool SeqFactor::factor(const SpMat& y) {
    m_lu.analyzePattern(y);
    m_lu.factorize(y);
    return m_lu.info() == Eigen::Success;
}

CVec SeqFactor::solve(const CVec& rhs) const {
    return m_lu.solve(rhs);
}

CVec SeqFactor::column(int k, int n) const {
    CVec e = CVec::Zero(n);
    e[k] = 1.0;
    return m_lu.solve(e);
}

FaultStudy::FaultStudy(const ScNetwork& net, int type, Cplx zf) : m_net(net), m_type(type), m_zf(zf) {
    static const char* names[3] = {"positive", "negative", "zero"};
    const Seq seqs[3] = {Seq::Pos, Seq::Neg, Seq::Zero};
    for (int s = 0; s < 3; ++s) {
        if (!m_f[s].factor(net.admittance(seqs[s]))) {
            m_err = std::string("the ") + names[s] + "-sequence admittance matrix is singular";
            return;
        }
    }
    m_vpre = m_f[0].solve(net.sourceCurrents());
    m_ok = true;
}

FaultResult FaultStudy::solve(const SeqFactor* f[3], const CVec& vpre, int n, int at, int keep) const {
    const CVec c1 = f[0]->column(at, n), c2 = f[1]->column(at, n), c0 = f[2]->column(at, n);
    FaultResult r;
    r.z1 = c1[at];
    r.z2 = c2[at];
    r.z0 = c0[at];
    r.i = faultCurrents(m_type, vpre[at], r.z1, r.z2, r.z0, m_zf);
    r.v1 = vpre.head(keep) - c1.head(keep) * r.i.i1;
    r.v2 = -c2.head(keep) * r.i.i2;
    r.v0 = -c0.head(keep) * r.i.i0;
    return r;
}

FaultResult FaultStudy::atBus(int f) const {
    const SeqFactor* fs[3] = {&m_f[0], &m_f[1], &m_f[2]};
    return solve(fs, m_vpre, m_net.buses, f, m_net.buses);
}

FaultResult FaultStudy::onLine(int b, double fraction) const {
    ScNetwork cut = m_net;
    const ScBranch line = cut.branches[b];
    const int p = cut.buses++;
    cut.branches.erase(cut.branches.begin() + b);
    ScBranch a = line, c = line;
    a.j = p;
    a.z1 = line.z1 * fraction;
    a.z0 = line.z0 * fraction;
    c.i = p;
    c.z1 = line.z1 * (1.0 - fraction);
    c.z0 = line.z0 * (1.0 - fraction);
    a.bHalf = c.bHalf = 0;
    cut.branches.push_back(a);
    cut.branches.push_back(c);
    for (int end : {line.i, line.j}) { // the line's charging, where the whole line had it
        if (line.bHalf == 0) break;
        ScBranch sh;
        sh.i = sh.j = end;
        sh.z1 = 1.0 / (kJ * line.bHalf);
        cut.branches.push_back(sh);
    }
    SeqFactor f[3];
    const Seq seqs[3] = {Seq::Pos, Seq::Neg, Seq::Zero};
    for (int s = 0; s < 3; ++s)
        f[s].factor(cut.admittance(seqs[s]));
    const SeqFactor* fs[3] = {&f[0], &f[1], &f[2]};
    return solve(fs, f[0].solve(cut.sourceCurrents()), cut.buses, p, m_net.buses);
}

void FaultStudy::thevenin(int k, Cplx* z1, Cplx* z2, Cplx* z0) const {
    *z1 = m_f[0].column(k, m_net.buses)[k];
    *z2 = m_f[1].column(k, m_net.buses)[k];
    *z0 = m_f[2].column(k, m_net.buses)[k];
}

} // namespace casegen
