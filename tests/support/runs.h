#pragma once
// Output runs the tests make again and again: every report of a case's fault points.
#include "sc/outputrun.h"

#include <string>

namespace testrun {

// The fault points of a case's stored results in fault-number order; the first
// `maxPoints` of them (0: all), on the case database opened last.
SCPosList faultPoints(int caseNo, size_t maxPoints = 0);
// Every report kind with every item of `faults`: text report, HTML and .xlsx workbooks,
// no viewer. `faults` must outlive the request.
OutputRequest everyReport(int caseNo, bool perUnit, const std::string& project, const SCPosList& faults);

} // namespace testrun
