#pragma once
// The short-circuit report builder: the report model of one output run with the case it
// reports on (the store of its per-unit fault results, the fault points, the chosen
// items) and the quantities the six reports (sc/screports.h) take from it.
#include "db/dataproblems.h"
#include "db/export.h"
#include "report/repportbase.h"
#include "sc/casestore.h"
#include "sc/quantities.h"
#include "sc/reportkinds.h"
#include "sc/scpos.h"

#include <QString>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class SqlStmt;
class QSqlQuery;

class SCREPORT_CORE_EXPORT SCRepPort : public RepPortBase {
  public:
    using Cx = scq::Cx;
    using BusFaults = CaseStore::BusFaults;

    // `store` and `faults` (which may be null: no fault points) outlive the builder.
    SCRepPort(CaseStore& store, const std::set<std::string>& chosenReports,
              const std::map<std::string, std::vector<std::string>>& itemLabels,
              const std::map<std::string, std::vector<int>>& itemNumbers, const SCPosList* faults);

    // --- the store ---
    const CaseStore& store() const { return m_store; }
    // Reads the case's results into the store (once), answering a cancel while it reads.
    void loadVI();
    // The step name of loadVI in progress reports (UTF-8).
    static const char* const kReadStep;
    // The chosen fault points the case can report on; every other one is a data problem.
    SCPosList usableFaults(const SCPosList& chosen);
    // The fault points the reports are made for (not owned; null for none).
    void setFaults(const SCPosList* faults) { m_faults = faults; }

    // --- quantities ---
    // Base voltage in kV; throws the error text when the bus has none. All base voltages
    // of the case are read with one statement on first use.
    double getBaseKV(const std::string& bus) { return m_store.baseKV(bus); }
    // Fault type code; 0 when the stored one is no code 1 to 4 (a data problem).
    int getTypeFault();
    void addFaultTypeTitle(int r);
    void addCaseTitle(int r);

    // --- what the report builders (sc/screports.h) use ---
    CaseStore& store() { return m_store; }
    RepPage& pageAt(int r) { return pages()[size_t(r)]; }
    // The case's fault type as the summary read it (0: none usable; bad: a data problem).
    int typeFault() const { return m_typeFault; }
    void setTypeFault(int code, bool bad) {
        m_typeFault = code;
        m_typeBad = bad;
    }

    // Statements run for this builder's case: the reports must not run one per row.
    int queryCount() const { return m_store.queryCount(); }

    struct BranchBuses {
        const BusFaults* i = nullptr;
        const BusFaults* j = nullptr;
        const Cx* z0 = nullptr;
    };
    enum SeqNeed { NeedV1 = 1, NeedV2 = 2, NeedV0 = 4, NeedAll = 7 };

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
    // Sequence voltages of the bus at fault T; a bus missing from the results, or without
    // the fault, is a data problem and gives NaN.
    scq::SeqV seqVolts(const BusFaults* bf, const std::string& bus, int T, int need);
    const std::vector<BranchBuses>& branchBuses();
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
    // Whether the zero sequence exists is unknown: no fault type, or one the results contradict.
    bool typeUnknown() const { return m_typeBad || m_store.typeContradicted(); }
    // A cell of report `id` left empty for a result too large to write; `item` names its
    // column, `row` its row. Safe on a group's thread.
    void overflowed(reportkinds::Id id, const std::string& item, const std::string& row) const;
    // A branch's row under a fault point, for the problem list.
    std::string branchRow(const std::string& fault, const SCLine1Rec& b) const;

  private:
    CaseStore& m_store;
    const SCPosList* m_faults;
    const SCPosList m_noFaults;
    int m_typeFault = -1;
    bool m_typeBad = false;
    std::vector<BranchBuses> m_branchBuses;
    bool m_branchBusesBuilt = false;
};
