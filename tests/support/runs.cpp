#include "runs.h"

#include "sc/casechoices.h"
#include "sc/reportkinds.h"

namespace testrun {

SCPosList faultPoints(int caseNo, size_t maxPoints) {
    SCPosList out = casechoices::allFaultPoints(std::to_string(caseNo));
    if (maxPoints > 0 && out.size() > maxPoints) out.resize(maxPoints);
    return out;
}

OutputRequest everyReport(int caseNo, bool perUnit, const std::string& project, const SCPosList& faults) {
    OutputRequest r;
    r.projectDir = project;
    r.caseNo = caseNo;
    r.itemLabels = reportkinds::itemLabels();
    for (const auto& k : reportkinds::kinds()) {
        r.chosenKeys.insert(k.key);
        for (size_t i = 0; i < k.labels.size(); ++i)
            r.itemSel[k.key].push_back(int(i));
    }
    r.faults = &faults;
    r.perUnit = perUnit;
    r.writeSheet = true;
    r.openViewers = false;
    return r;
}

} // namespace testrun
