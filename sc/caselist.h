#pragma once
// Every short-circuit case of an open case database, for --list-cases and for a batch
// run over all calculated cases.
#include "db/export.h"

#include <string>
#include <vector>

class CDBUtility;

struct CaseInfo {
    int number = 0;
    std::string name;        // GB18030
    int faultType = 0;       // 1 to 4; 0 when the stored value is none of them
    bool calculated = false; // calculate = 1: the case has results
    std::string note;        // GB18030
};

// In case-number order. A row whose number is no whole number is left out and named on
// the error stream as a data problem. An unreadable case table throws ErrorText.
SCREPORT_CORE_EXPORT std::vector<CaseInfo> listCases(const CDBUtility& db);
// English name of a fault type ("three-phase" ...), "unknown" for 0.
SCREPORT_CORE_EXPORT const char* faultTypeName(int faultType);
