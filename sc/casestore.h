#pragma once
// The stored results of one short-circuit case, read from the database once and shared
// by every report of an output run. A value the database does not really hold is NaN
// here and already on the problem list.
#include "db/connection.h"
#include "db/dataproblems.h"
#include "db/dbquery.h"
#include "db/export.h"
#include "db/sqlstmt.h"
#include "sc/caserow.h"
#include "sc/quantities.h"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class ResultRows;

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

// Rows stored twice under one key (fault point, bus and fault, branch, bus).
namespace duprows {
// The columns that name a fault point, for its entry.
constexpr const char* kFaultPoint = "I_Name,J_Name,ID_Name,Percent";
// `later` joins `kept` column by column: an equal value stays, a differing one becomes NaN
// with a Conflict entry showing both (into `deferred` when given, else reported). A NaN
// stands for a value already on the list. Returns whether every column agreed.
SCREPORT_CORE_EXPORT bool merge(double* kept, const double* later, const char* const* columns, size_t n,
                                const char* table, const std::string& key,
                                std::vector<dataproblems::Problem>* deferred = nullptr,
                                dataproblems::Action a = dataproblems::Action::CellsEmpty);
// The entry of a key whose rows agree; `keyColumns` names the columns of the key.
SCREPORT_CORE_EXPORT void note(const char* table, const char* keyColumns, const std::string& key);
} // namespace duprows

class SCREPORT_CORE_EXPORT CaseStore {
  public:
    using Cx = scq::Cx;
    // The voltages of one bus, by fault number. The store keeps them fault by fault (a
    // report goes through every bus of one fault: those stay in one block of memory).
    class BusFaults {
      public:
        const SCB120Rec* find(int T) const { return m_store->volts(m_bus, T); }
        size_t count(int T) const { return find(T) ? 1 : 0; }
        // The bus's place among the case's buses: 0 to buses().size() - 1.
        int index() const { return m_bus; }

      private:
        friend class CaseStore;
        const CaseStore* m_store = nullptr;
        int m_bus = 0; // index into each fault's block
    };

    CaseStore(DbConnection db, int caseNo);
    CaseStore(const CaseStore&) = delete; // its buses point back at it
    CaseStore& operator=(const CaseStore&) = delete;

    int caseNo() const { return m_caseNo; }
    const std::string& caseNoText() const { return m_caseNoText; }

    // --- reads, each done once ---
    // The fault points the run reports (keys as findFault takes them): of the fault
    // results and bus voltages only their rows are read. Unset: every fault point.
    void chooseFaults(std::set<std::string> keys);
    // The fault results, bus voltages, pre-fault voltages and branches. `tick` is called
    // with the rows read so far every 4096 voltage rows (a cancel may throw from it).
    void loadResults(const std::function<void(long)>& tick = nullptr);
    bool resultsLoaded() const { return m_loaded; }
    // Stored short-circuit capacities of every bus.
    void loadCapacities();
    // The case's row of SC_CASE.
    const CaseRow& caseRow();
    // System base power, checked; NaN when bad.
    double baseMVA();
    // Base voltage in kV; throws the error text when the bus has none.
    double baseKV(const std::string& bus);
    bool hasBaseKV(const std::string& bus);
    // Capacities as loadCapacities read them; throw the error text for a bus without a row.
    double sc1MVA(const std::string& bus) const;
    double sc3MVA(const std::string& bus) const;
    // Every base voltage, with one statement (baseKV reads them on first use).
    void loadBaseVoltages();
    // A statement of the case's own, counted with the reads.
    dbq::Query query() const { return dbq::Query(m_db); }
    bool exec(dbq::Query& q, const SqlStmt& s);
    // Statements run: the reports must not run one per row.
    int queryCount() const { return m_queryCount; }

    // --- what was read ---
    const std::map<std::string, SCR120Rec>& faultRecords() const { return m_faults; }
    const SCR120Rec* findFault(const std::string& key) const;
    // A fault point whose stored record is unusable (already on the problem list).
    bool isBadFault(const std::string& key) const { return m_badFaults.count(key) > 0; }
    // The fault currents contradict the case's fault type (an entry): every zero-sequence
    // value is NaN, and what the type decides is unknown.
    bool typeContradicted() const { return m_typeContradicted; }
    const std::map<std::string, BusFaults>& buses() const { return m_buses; }
    const BusFaults* findBus(const std::string& bus) const;
    const SCB120Rec* findVolts(const std::string& bus, int T) const;
    // Pre-fault voltage: the load-flow case's when the case has one, else the calculation's.
    // NaN when the case's load-flow case number is bad; false when the bus has none.
    bool preFault(const std::string& key, Cx& v) const;
    // The load-flow case of the pre-fault state (0 for none or a bad one).
    int caseLF() const { return m_caseLF; }
    const std::vector<SCLine1Rec>& branches() const { return m_branches; }
    // Zero-sequence impedance of branch k (position in branches()); null when none is stored.
    const Cx* branchZ0(size_t k) const;

    // --- keys of the problem list ---
    std::string caseKey() const;
    std::string busKey(const std::string& bus) const;
    std::string busFaultKey(const std::string& bus, int T) const;
    std::string branchKey(const std::string& i, const std::string& j, int id) const;
    std::string faultKey(const std::string& key) const;

  private:
    // One fault's voltages: by bus index, or, when not every bus has them, at the place of
    // their bus in `bus` (sorted).
    struct FaultVolts {
        int T = 0;
        std::vector<int> bus;
        std::vector<SCB120Rec> v;
    };
    struct VoltPart;
    void addVolts(VoltPart& part, std::unordered_map<int, size_t>& slotOf);
    const SCB120Rec* volts(int bus, int T) const;
    const FaultVolts* faultVolts(int T) const;
    std::unique_ptr<ResultRows> select(const SqlStmt& s);
    // Throws the run's error text when the database failed under a read (lost, in use).
    void checkRead() const;
    void loadFaults();
    // The buses of the case's bus table, before any voltage: a bus without voltages under
    // a chosen fault is then still one the reports name.
    void seedBuses();
    void checkFaultType();
    void loadVoltages(const std::function<void(long)>& tick);
    SqlStmt voltageStatement() const;
    void loadPreFault();
    void loadBranches();
    void mergeRepeatedBranches(const char* table);
    template <class F> void readBusRows(const char* statement, F&& row);
    void reportBusProblem(const std::string& bus, const char* column) const;
    // A second row of a bus in SCR_BUS: its `n` values merged into `kept`.
    void repeatedBus(const std::string& bus, double* kept, const double* later, const char* const* columns,
                     size_t n);

    DbConnection m_db;
    int m_caseNo;
    std::string m_caseNoText;
    int m_queryCount = 0;

    bool m_loaded = false;
    bool m_filtered = false;        // chooseFaults was called
    std::set<std::string> m_chosen; // its keys
    bool m_someLeftOut = false;     // a fault point of the case was not chosen
    std::map<std::string, SCR120Rec> m_faults;
    std::set<std::string> m_badFaults;
    std::map<std::string, BusFaults> m_buses;
    std::vector<FaultVolts> m_volts; // sorted by fault number
    std::map<std::string, Cx> m_lpc;
    std::map<std::string, Cx> m_lfr;
    std::vector<SCLine1Rec> m_branches;
    std::vector<const Cx*> m_z0; // per branch, into m_line0
    std::map<BranchKey, Cx> m_line0;
    int m_caseLF = 0;
    bool m_caseLFBad = false;
    bool m_typeContradicted = false;
    const Cx m_noZ0{dataproblems::kBad, dataproblems::kBad}; // every branch's Z0 then

    bool m_capacitiesLoaded = false;
    std::map<std::string, Cx> m_capacities; // SC1_MVA real, SC3_MVA imaginary
    bool m_baseKVLoaded = false;
    std::map<std::string, double> m_baseKV;
    bool m_baseMVALoaded = false;
    double m_baseMVA = 0.0;
    bool m_caseRowRead = false;
    CaseRow m_caseRow;
    // Bad base voltages and capacities, reported when used: a bus no fault reaches may
    // well have none stored.
    std::map<std::string, std::vector<dataproblems::Problem>> m_busProblems;
    // Buses with more than one row; those whose columns read so far differ.
    std::set<std::string> m_busRepeated, m_busConflicts;
    void noteBusRepeat(const std::string& bus) const;
};
