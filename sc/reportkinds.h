#pragma once
// The six short-circuit report kinds: keys, option columns, item labels and presets.
// Shared by the dialogs, the batch mode and the reports. Texts are GB18030.
#include "db/export.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace reportkinds {

struct Kind {
    std::string key;                       // check box text, chosen-kinds set and item-map key
    std::string column;                    // column of SCR_OUT holding the check state
    std::string shortName;                 // command-line name
    std::vector<std::string> labels;       // item labels, item number = position
    std::vector<std::vector<int>> presets; // item tables, numbers counted from 1
};

// In their fixed order: summary, distribution, fault point and branches, bus voltage,
// branch current, branch-end values.
SCREPORT_CORE_EXPORT const std::vector<Kind>& kinds();
// Index of a key or a short name, -1 when unknown.
SCREPORT_CORE_EXPORT int indexOf(const std::string& keyOrShortName);

// The maps the report model reads.
SCREPORT_CORE_EXPORT std::map<std::string, std::vector<std::string>> itemLabels();

// The keys of the kinds a calculated case supports: the summary needs a full simple
// calculation, the distribution report also a three-phase fault, the fault point report
// a case without faults inside branches. Throws the error text when the case has no row.
SCREPORT_CORE_EXPORT std::set<std::string> enabledKinds(const std::string& caseNo);

} // namespace reportkinds
