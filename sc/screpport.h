#pragma once
// The short-circuit report builder: the stored per-unit fault results of one case and
// the six reports made from them. One object serves one output run.
#include "db/dataproblems.h"
#include "db/export.h"
#include "report/repportbase.h"
#include "sc/caserow.h"
#include "sc/quantities.h"
#include "sc/scpos.h"

#include <QString>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class SqlStmt;
class QSqlQuery;
class ResultRows;

// A value the database does not really hold is NaN in the store (dataproblems.h).
struct SCR120Rec {
    scq::Cx I1, I2, I0;
    int T = 0; // number of the fault within the case
};

struct SCB120Rec {
    scq::Cx V1, V2, V0;
};

struct SCLine1Rec {
    std::string I_Name;
    std::string J_Name;
    int ID_No = 0;
    scq::Cx Z1;
    double B1_half = 0.0;
    double Tk = 1.0;
    int Type = 0;
};

struct BranchKey {
    std::string I_Name;
    std::string J_Name;
    int ID_No = 0;
    bool operator<(const BranchKey& o) const;
};

class SCREPORT_CORE_EXPORT SCRepPort : public RepPortBase {
  public:
    using Cx = scq::Cx;
    // Fault number -> voltages of one bus, kept sorted in one block: read once, looked up
    // for every branch end of every fault.
    class BusFaults {
      public:
        // The entry of fault T, made when missing (loading).
        SCB120Rec& operator[](int T);
        const SCB120Rec* find(int T) const;
        size_t count(int T) const { return find(T) ? 1 : 0; }

      private:
        std::vector<std::pair<int, SCB120Rec>> m_v;
    };

    SCRepPort(const std::string& projectDir, int caseNo, const std::set<std::string>& chosenReports,
              const std::map<std::string, std::vector<std::string>>& itemLabels,
              const std::map<std::string, std::vector<int>>& itemNumbers, const SCPosList* sc_buses);
    ~SCRepPort() override;

    // --- the store ---
    // Reads every result table of the case once; later calls return at once.
    void loadVI();
    // The step name of loadVI in progress reports (UTF-8).
    static const char* const kReadStep;
    // Stored short-circuit capacities of every bus (SC1_MVA real, SC3_MVA imaginary).
    void loadSCBus();

    const SCR120Rec* findFault(const std::string& key) const;
    const BusFaults* findBus(const std::string& bus) const;
    const SCB120Rec* findVolts(const std::string& bus, int T) const;
    // Pre-fault voltage: the load-flow case's when the case has one, else the calculation's.
    // NaN when the case's load-flow case number is bad.
    bool getPreFault(const std::string& key, Cx& v) const;
    // The chosen fault points the case can report on; every other one is a data problem.
    SCPosList usableFaults(const SCPosList& chosen);
    // System base power, read (and checked) once per builder; NaN when bad.
    double baseMVA();
    // The case's row of SC_CASE, read once per builder.
    const CaseRow& caseRow();
    // Zero-sequence impedance of branch k (position in m_SCLine1).
    bool getLineZ0(int k, Cx& z0) const;

    // --- quantities ---
    // A bus missing from the results, or without the fault, is a data problem and gives NaN.
    Cx getV1(const std::string& bus, int T);
    Cx getV2(const std::string& bus, int T);
    Cx getV0(const std::string& bus, int T);
    // Base voltage in kV; throws the error text when the bus has none. All base voltages
    // of the case are read with one statement on first use.
    double getBaseKV(const std::string& bus);
    // Fault type code; 0 when the stored one is no code 1 to 4 (a data problem).
    int getTypeFault();
    void addFaultTypeTitle(int r);
    void addCaseTitle(int r);
    double getSC1MVA(const std::string& bus) const;
    double getSC3MVA(const std::string& bus) const;

    // --- the six reports, each adding one page ---
    void portSummary();
    void portDistribut();
    void portShortBra();
    void portBusVol();
    void portLineCur();
    void portVIZ();

    // Statements this builder has run: the reports must not run one per row.
    int queryCount() const { return m_queryCount; }

    const SCPosList* sc_buses;
    bool m_loaded = false;
    std::map<std::string, SCR120Rec> m_SCR120;
    std::map<std::string, BusFaults> m_SCB120;
    std::map<std::string, Cx> m_SCLPC;
    std::map<std::string, Cx> m_LFRBS;
    std::map<BranchKey, Cx> m_SCLine0;
    std::vector<SCLine1Rec> m_SCLine1;
    std::map<std::string, Cx> m_SCBus;
    int m_typeFault = -1;
    int m_caseLF = -1;
    bool m_caseLFBad = false;

  private:
    struct BranchBuses {
        const BusFaults* i = nullptr;
        const BusFaults* j = nullptr;
        const Cx* z0 = nullptr;
    };
    enum SeqNeed { NeedV1 = 1, NeedV2 = 2, NeedV0 = 4, NeedAll = 7 };

    bool run(QSqlQuery& q, const SqlStmt& s);
    void markBranchEnds(int r);
    // The bulk reads of the result tables: typed rows, counted like run().
    std::unique_ptr<ResultRows> select(const SqlStmt& s);
    // Keys of the data-problem list.
    std::string caseKey() const;
    std::string busKey(const std::string& bus) const;
    std::string busFaultKey(const std::string& bus, int T) const;
    std::string branchKey(const std::string& i, const std::string& j, int id) const;
    std::string faultKey(const std::string& key) const;
    // A missing entry of the voltage table, once per bus (and fault).
    void missingVolts(const std::string& bus, int T, bool busKnown);
    const SCPosList& faults() const;
    // Chosen items of a report key that have a label and a definition (count of them).
    std::vector<int> chosenItems(const std::string& key, int defined) const;
    std::string itemLabel(const std::string& key, int n) const;
    // Scales of a row referred to a bus; all 1 in per-unit output.
    scq::Scale scaleOf(const std::string& bus);
    // Scales referred to a fault point: its bus, or for a fault inside a branch whose key
    // is no bus, the branch's I side.
    scq::Scale faultScale(const SCPos& p);
    // Sequence voltages as getV1/getV2/getV0 give them, warnings included.
    scq::SeqV seqVolts(const BusFaults* bf, const std::string& bus, int T, int need);
    const std::vector<BranchBuses>& branchBuses();
    std::vector<std::string> branchNumbers() const;
    // Voltages at both ends of branch k and its end currents during fault T; the
    // zero-sequence path only with `need` NeedAll.
    struct BranchAt {
        scq::SeqV vi, vj;
        scq::BranchEnds e;
    };
    BranchAt branchAt(size_t k, int T, int need);
    // The branch's stored values or its ends' voltages hold a bad value.
    bool branchBad(size_t k, const BranchAt& at);
    // The fault list as the groups of page r, with the debug line that counts them.
    const SCPosList& faultGroups(int r);
    // Scales referred to the I side of each branch, read once per report on first use:
    // the base voltage of a branch no fault reaches is never asked for.
    struct BranchScales {
        std::vector<scq::Scale> s;
        std::vector<char> known;
    };
    const scq::Scale& branchScale(BranchScales& cache, size_t k);
    void ensureBaseKV();
    void shortPointRow(int r, int i, const std::vector<int>& items, const scq::Scale& s);
    void shortBranches(int r, int i, const std::vector<int>& items, const scq::Scale& s);

    const SCPosList m_noFaults;
    int m_queryCount = 0;
    bool m_baseKVLoaded = false;
    std::map<std::string, double> m_baseKV;
    bool m_baseMVALoaded = false;
    double m_baseMVA = 0.0;
    bool m_caseRowRead = false;
    CaseRow m_caseRow;
    // A number of the case row, as num() checks a result column.
    double caseValue(const QVariant& v, const char* column, dataproblems::Domain d, dataproblems::Action a);
    bool m_typeBad = false;
    // Bad base voltages and capacities of the case table's buses, reported when used.
    std::map<std::string, std::vector<dataproblems::Problem>> m_busProblems;
    void reportBusProblem(const std::string& bus, const char* column) const;
    // Fault points whose stored record is unusable, already on the problem list.
    std::set<std::string> m_badFaults;
    std::vector<BranchBuses> m_branchBuses;
    bool m_branchBusesBuilt = false;
};
