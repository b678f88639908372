#include "casewriter.h"

#include "db/textcodec.h"
#include "sc/reportkinds.h"

#include <chrono>
#include <map>

namespace casegen {
namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

Capacity capacity(Cplx vpre, Cplx z1, Cplx z2, Cplx z0, double baseMVA) {
    // Bolted faults: three-phase |Vpre/Z1|, single-phase |IA| = |3 Vpre/(Z1+Z2+Z0)|.
    return {3.0 * std::abs(vpre) / std::abs(z1 + z2 + z0) * baseMVA, std::abs(vpre) / std::abs(z1) * baseMVA};
}

} // namespace

void writeCaseRow(DbWriter& w, const CaseSpec& c) {
    Inserter sc(w, "SC_CASE",
                {"Case_No", "Case_Name", "SCHEME", "calculate", "Note", "CAL_DATE", "CAL_TIME", "Date",
                 "Time", "Function", "Simple_F", "Type_Fault", "CASE_LF", "R_Fault", "X_Fault"});
    sc.add(c.caseNo).text(c.name).text(c.scheme).add(c.calculated ? 1 : 0).text(c.note);
    sc.text(c.calDate).text(c.calTime).text(c.date).text(c.time);
    sc.add(1).add(1).add(c.type).add(c.caseLF).add(c.zf.real()).add(c.zf.imag());
}

CaseWriter::CaseWriter(DbWriter& w, const NetNames& names, double baseMVA)
    : m_w(w), m_names(names), m_baseMVA(baseMVA) {
    for (const std::string& b : names.bus)
        m_busQ.push_back(textcodec::fromLocal8(b));
    for (const std::string& g : names.gen)
        m_genQ.push_back(textcodec::fromLocal8(g));
}

// The branches' parameters and the pre-fault voltages.
void CaseWriter::writeBranches(const CaseSpec& c, const ScNetwork& net, const CVec& vpre) {
    Inserter l1(m_w, "SCR_LINE1",
                {"CASE_NO", "I_Name", "J_Name", "ID_No", "R1", "X1", "B1_half", "Tk", "Type"});
    Inserter l0(m_w, "SCR_LINE0", {"CASE_NO", "I_Name", "J_Name", "ID_No", "R0", "X0"});
    for (const ScBranch& b : net.branches) {
        l1.add(c.caseNo).add(m_busQ[b.i]).add(m_busQ[b.j]).add(b.idNo);
        l1.add(b.z1.real()).add(b.z1.imag()).add(b.bHalf).add(b.tk).add(b.type);
        if (b.hasZ0)
            l0.add(c.caseNo).add(m_busQ[b.i]).add(m_busQ[b.j]).add(b.idNo).add(b.z0.real()).add(b.z0.imag());
    }
    Inserter lpc(m_w, "SCR_LPC", {"Case_No", "Bus_Name", "Vrz", "Viz"});
    for (int k = 0; k < net.buses; ++k)
        lpc.add(c.caseNo).add(m_busQ[k]).add(vpre[k].real()).add(vpre[k].imag());
}

// One fault's rows: the fault point's and the generators' currents, every bus's voltages.
void CaseWriter::writeFault(Inserter& r120, Inserter& b120, const CaseSpec& c, const FaultSpec& f, int T,
                            const FaultResult& r, std::vector<QString>& keys) {
    const ScNetwork& net = *c.net;
    if (f.bus >= 0) {
        r120.add(c.caseNo)
            .add(kFlgFaultPoint)
            .add(m_busQ[f.bus])
            .add(m_busQ[f.bus])
            .add(m_busQ[f.bus])
            .add(0);
        keys.push_back(m_busQ[f.bus]);
    } else {
        const ScBranch& b = net.branches[f.branch];
        r120.add(c.caseNo)
            .add(kFlgFaultPoint)
            .add(m_busQ[b.i])
            .add(m_busQ[b.j])
            .text(f.idName)
            .add(f.percent);
        keys.push_back(textcodec::fromLocal8(f.idName + "_" + std::to_string(f.percent)));
    }
    r120.add(T).add(r.i.i1.real()).add(r.i.i1.imag()).add(r.i.i2.real()).add(r.i.i2.imag());
    r120.add(r.i.i0.real()).add(r.i.i0.imag());
    for (size_t g = 0; g < net.gens.size(); ++g) {
        const ScGenerator& gen = net.gens[g];
        const Cplx i1 = (gen.e - r.v1[gen.bus]) / gen.z1, i2 = -r.v2[gen.bus] / gen.z2,
                   i0 = -r.v0[gen.bus] / gen.z0;
        r120.add(c.caseNo).add(kFlgGenerator).add(m_busQ[gen.bus]).add(m_busQ[gen.bus]).add(m_genQ[g]).add(0);
        r120.add(T).add(i1.real()).add(i1.imag()).add(i2.real()).add(i2.imag()).add(i0.real()).add(i0.imag());
    }
    for (int k = 0; k < net.buses; ++k) {
        b120.add(c.caseNo).add(m_busQ[k]).add(T);
        b120.add(r.v1[k].real()).add(r.v1[k].imag()).add(r.v2[k].real()).add(r.v2[k].imag());
        b120.add(r.v0[k].real()).add(r.v0[k].imag());
    }
}

// Each bus's capacities and base voltage, the fault list and the stored choices.
void CaseWriter::writeBusesAndChoices(const CaseSpec& c, const ScNetwork& net,
                                      const std::map<int, Capacity>& cap, const std::vector<QString>& keys) {
    Inserter bus(m_w, "SCR_BUS", {"CASE_NO", "BUS_Name", "SC1_MVA", "SC3_MVA", "Base_kV"});
    for (int k = 0; k < net.buses; ++k) {
        bus.add(c.caseNo).add(m_busQ[k]);
        auto it = cap.find(k);
        if (it != cap.end())
            bus.add(it->second.sc1).add(it->second.sc3);
        else
            bus.null().null();
        bus.add(m_names.baseKV[k]);
    }
    Inserter fb(m_w, "SCR_FAULTBUS", {"Case_No", "Bus_Name"});
    for (const QString& k : keys)
        fb.add(c.caseNo).add(k);
    std::vector<const char*> outColumns = {"CASE_NO", "Unit",      "On_area", "On_Zone",
                                           "On_Sub",  "OverLimit", "Lreport", "Lfile"};
    for (const reportkinds::Kind& k : reportkinds::kinds())
        outColumns.push_back(k.column.c_str());
    Inserter out(m_w, "SCR_OUT", outColumns);
    out.add(c.caseNo).add(1).add(0).add(0).add(0).add(0).add(1).add(1); // per unit, both outputs
    for (size_t k = 0; k < reportkinds::kinds().size(); ++k)
        out.add(1); // every kind
    bus.flush();
    fb.flush();
    out.flush();
}

bool CaseWriter::write(const CaseSpec& c, Timers* t, std::string* err) {
    auto t0 = Clock::now();
    writeCaseRow(m_w, c);
    t->write += since(t0);
    if (!c.net) return true;
    const ScNetwork& net = *c.net;

    t0 = Clock::now();
    FaultStudy study(net, c.type, c.zf);
    t->solve += since(t0);
    if (!study.ok()) {
        *err = "case " + std::to_string(c.caseNo) + ": " + study.error();
        return false;
    }
    const CVec& vpre = study.vpre();

    t0 = Clock::now();
    writeBranches(c, net, vpre);
    t->write += since(t0);

    std::map<int, Capacity> cap;
    if (c.allCapacities) {
        t0 = Clock::now();
        for (int k = 0; k < net.buses; ++k) {
            Cplx z1, z2, z0;
            study.thevenin(k, &z1, &z2, &z0);
            cap[k] = capacity(vpre[k], z1, z2, z0, m_baseMVA);
        }
        t->solve += since(t0);
    }

    Inserter r120(m_w, "SCR_R120",
                  {"Case_No", "flg", "I_Name", "J_Name", "ID_Name", "Percent", "T", "IR1", "II1", "IR2",
                   "II2", "IR0", "II0"});
    Inserter b120(m_w, "SCR_B120", {"Case_No", "bus_Name", "T", "VR1", "VI1", "VR2", "VI2", "VR0", "VI0"});
    std::vector<QString> keys;
    for (size_t n = 0; n < c.faults.size(); ++n) {
        const FaultSpec& f = c.faults[n];
        const int T = static_cast<int>(n) + 1;
        t0 = Clock::now();
        FaultResult r;
        if (f.bus >= 0) {
            r = study.atBus(f.bus);
            if (!c.allCapacities) cap[f.bus] = capacity(vpre[f.bus], r.z1, r.z2, r.z0, m_baseMVA);
        } else {
            r = study.onLine(f.branch, f.percent / 100.0);
        }
        t->solve += since(t0);

        t0 = Clock::now();
        writeFault(r120, b120, c, f, T, r, keys);
        t->write += since(t0);
    }

    t0 = Clock::now();
    writeBusesAndChoices(c, net, cap, keys);
    r120.flush();
    b120.flush();
    t->write += since(t0);
    return true;
}

} // namespace casegen
