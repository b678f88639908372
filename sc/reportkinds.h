#pragma once
// The six short-circuit report kinds in one table: per kind its key, names, option
// column, items, the rule that allows it for a case, the report that builds it and the
// tables and columns it reads. The dialogs, the stored choices, the batch mode, the
// output run, the schema and the case generator take them from here. Texts are GB18030
// unless said otherwise.
#include "db/connection.h"
#include "db/export.h"
#include "db/schema.h"

#include <map>
#include <set>
#include <string>
#include <vector>

class SCRepPort;

namespace reportkinds {

// What a calculated case offers, for the rules that allow a kind.
struct CaseFacts {
    bool function = false;      // SC_CASE.Function
    bool simple = false;        // SC_CASE.Simple_F: a full simple calculation
    int faultType = 0;          // SC_CASE.Type_Fault
    bool faultInBranch = false; // a fault point lies inside a branch
};

// Position in the table, which is also the OBJNo of its stored item row.
enum Id { Summary, Distribution, ShortBra, BusVol, LineCur, BranchEnds, KindCount };

// A table a kind reads besides the case row and the base power, with the columns it
// needs there; the run checks them before it reads anything.
struct TableNeed {
    enum When {
        Always,
        NamedUnits,       // a run in kV, kA, MVA and ohm
        ZeroSequence,     // a case whose fault type is not three-phase
        LoadFlowVoltages, // pre-fault voltages from the case's load flow (CASE_LF > 0)
        StoredPreFault    // pre-fault voltages the calculation stored itself
    };
    std::string table;
    std::vector<std::string> columns;
    When when = Always;
};

struct Kind {
    Id id = Summary;
    std::string key;                       // check box text, chosen-kinds set and item-map key
    std::string column;                    // column of SCR_OUT holding the check state
    std::string shortName;                 // command-line name
    std::string step;                      // progress step, UTF-8: the key without its line break
    std::vector<std::string> labels;       // item labels, item number = position; none: nothing to choose
    std::vector<std::vector<int>> presets; // item tables, numbers counted from 1
    bool (*allowed)(const CaseFacts&) = nullptr; // whether a case can give it
    void (*build)(SCRepPort&) = nullptr;         // adds its page to the builder
    std::vector<TableNeed> reads;
    // Whether it reads fault results and bus voltages (through the fault list).
    bool readsVoltages() const;
};

// In the fixed order of a run.
SCREPORT_CORE_EXPORT const std::vector<Kind>& kinds();
SCREPORT_CORE_EXPORT const Kind& kind(Id id);
// Index of a key or a short name, -1 when unknown.
SCREPORT_CORE_EXPORT int indexOf(const std::string& keyOrShortName);
// The short names joined by ", ", for usage texts.
SCREPORT_CORE_EXPORT std::string shortNames();

// The labels as the report model reads them, by key.
SCREPORT_CORE_EXPORT std::map<std::string, std::vector<std::string>> itemLabels();

// The keys of the kinds a calculated case allows. Throws the error text when the case
// has no row.
SCREPORT_CORE_EXPORT std::set<std::string> enabledKinds(const DbConnection& db, const std::string& caseNo);

// Every table of a case database: the schema's, with SCR_OUT's column per kind.
SCREPORT_CORE_EXPORT std::vector<schema::Table> caseTables();

} // namespace reportkinds
