#pragma once
// Solving and storing one short-circuit case: its SC_CASE row, branch tables, pre-fault
// voltages, bus capacities, and per fault the fault-point row, the bus voltages and the
// generator currents; then its saved fault list and output options.
#include "dbwriter.h"
#include "scnetwork.h"

#include <map>
#include <string>
#include <vector>

namespace casegen {

// Names shared by every case of one database; all text GB18030.
struct NetNames {
    std::vector<std::string> bus; // per bus index
    std::vector<double> baseKV;   // per bus index
    std::vector<std::string> gen; // ID_Name per generator, same order as ScNetwork::gens
};

struct FaultSpec {
    int bus = -1;       // a bus fault, or
    int branch = -1;    // a fault on this branch of the case's network ...
    int percent = 0;    // ... at this percentage of its length from the I side
    std::string idName; // the line's ID_Name (line faults)
};

struct CaseSpec {
    int caseNo = 0;
    std::string name, note, scheme; // GB18030
    int type = 1;
    Cplx zf;
    int caseLF = 0;
    bool calculated = true;
    std::string calDate, calTime, date, time; // YYYYMMDD, HHMMSS
    const ScNetwork* net = nullptr;           // null for an uncalculated case
    std::vector<FaultSpec> faults;            // T = position + 1
    // SC1_MVA/SC3_MVA for every bus (else only for the fault buses, others NULL).
    bool allCapacities = true;
};

struct Timers {
    double solve = 0, write = 0;
};

// A bus's single-phase and three-phase short-circuit capacities, MVA.
struct Capacity {
    double sc1 = 0, sc3 = 0;
};

class CaseWriter {
  public:
    CaseWriter(DbWriter& w, const NetNames& names, double baseMVA);
    // False (and the reason) when the network cannot be solved; database errors are
    // collected by the DbWriter.
    bool write(const CaseSpec& c, Timers* t, std::string* err);

  private:
    void writeBranches(const CaseSpec& c, const ScNetwork& net, const CVec& vpre);
    void writeFault(Inserter& r120, Inserter& b120, const CaseSpec& c, const FaultSpec& f, int T,
                    const FaultResult& r, std::vector<QString>& keys);
    void writeBusesAndChoices(const CaseSpec& c, const ScNetwork& net, const std::map<int, Capacity>& cap,
                              const std::vector<QString>& keys);

    DbWriter& m_w;
    const NetNames& m_names;
    double m_baseMVA;
    std::vector<QString> m_busQ, m_genQ;
};

// SC_CASE row alone (also for uncalculated cases).
void writeCaseRow(DbWriter& w, const CaseSpec& c);

} // namespace casegen
