#pragma once
// The user's choices kept per case in the case database: the options row, the item
// choices of each report kind and the list of fault points. No widgets: the report
// dialog maps its controls to these records, the batch mode reads them directly.
#include "db/dataproblems.h"
#include "db/export.h"
#include "sc/scpos.h"

#include <map>
#include <set>
#include <string>
#include <vector>

class CDBUtility;

namespace casechoices {

// What the user chose of the report kinds, keyed by report key (GB18030). Columns,
// labels, item tables and object numbers are the kinds' own (reportkinds); the item
// selection dialog edits the two item maps in place.
struct SCREPORT_CORE_EXPORT ObjectChoices {
    std::set<std::string> m_selObjects;                // keys that are checked
    std::map<std::string, std::vector<int>> m_objVars; // key -> chosen items, 0-based; kinds with items only
    std::map<std::string, int> m_objTableNo;           // key -> chosen item table

    // The first item table of every kind that has one, less one, appended to its list.
    void seedObjectVars();
};

// One row of the options table.
struct SCREPORT_CORE_EXPORT OutputOptions {
    bool unit = true; // per unit
    bool onArea = true;
    bool onZone = true;
    bool onSub = true;
    bool overLimit = false;
    bool hasOverLimit = false; // whether the table has the OverLimit column
    bool lreport = false;
    bool lfile = true;
    std::map<std::string, bool> columns; // every other column of the row, by its name

    // The check state stored under `column` (letter case ignored); false when absent.
    bool column(const std::string& column) const;
};

// Maximum number of items stored per report kind.
constexpr int kMaxObjectVars = 20;

// Reads the options row of `caseNo`. False (and a line on the error stream) when the
// case has none; `out` is then left as it was. What cannot be used as stored goes to
// `problems` (to the error stream when null) with what is used instead: a unit other than
// the 0 or 1 the dialog writes is per unit; of several rows of the case the first counts.
SCREPORT_CORE_EXPORT bool loadOutputOptions(const std::string& table, int caseNo, OutputOptions& out,
                                            dataproblems::List* problems = nullptr);
// The report keys whose column is set in `opts`.
SCREPORT_CORE_EXPORT std::set<std::string> checkedObjects(const OutputOptions& opts);

// The table of the cases' item rows.
SCREPORT_CORE_EXPORT std::string objectVarTable(const CDBUtility& db);
// Reads the item rows of `caseNo` into c.m_objTableNo and c.m_objVars. An item number
// that is not one of its kind's items is left out and goes to `problems` (as above); of
// several rows of a kind the first counts.
SCREPORT_CORE_EXPORT void loadObjectVars(const std::string& table, const std::string& caseNo,
                                         ObjectChoices& c, dataproblems::List* problems = nullptr);
// The row a problem of a kind's item row names: the case and the kind.
SCREPORT_CORE_EXPORT std::string itemRowKey(const std::string& caseNo, const std::string& kindKey);
// Inserts the item row of `object` for the current case of `db`.
SCREPORT_CORE_EXPORT void saveObjectVars(const CDBUtility& db, const std::string& table,
                                         const std::string& object, const ObjectChoices& c);

// Replaces the options row and item rows of the current case of `db`: `opts` gives the
// option flags, c.m_selObjects the checked kinds, in one transaction. False, with the stored
// rows as they were, when the old row could not be deleted or the new one not written.
SCREPORT_CORE_EXPORT bool saveOutputOptions(const CDBUtility& db, const std::string& table,
                                            const OutputOptions& opts, const ObjectChoices& c);

// The stored fault points of the current case of `db`, with their branch and position filled
// from the case's fault results.
SCREPORT_CORE_EXPORT void loadFaultList(const CDBUtility& db, SCPosList& out);
// Every fault point of the case, in fault-number order: what a case without stored
// choices reports.
SCREPORT_CORE_EXPORT SCPosList allFaultPoints(const std::string& caseNo);
// Replaces the stored fault points of the current case of `db` in one transaction: when a
// statement fails the previous list stays.
SCREPORT_CORE_EXPORT bool saveFaultList(const CDBUtility& db, const SCPosList& list);

// The fault-point key of a SCR_R120 row: the bus for a fault at a bus, else
// ID_Name "_" Percent.
SCREPORT_CORE_EXPORT std::string faultKey(const std::string& idName, const std::string& iName,
                                          const std::string& jName, const std::string& percent);

} // namespace casechoices
