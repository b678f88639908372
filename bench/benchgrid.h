#pragma once
// The benchmarks' synthetic grid: fault type 2, so every sequence carries current, and
// written anew over an earlier database.
#include "casegen/casegen.h"

#include <string>

inline bool makeBenchGrid(const std::string& dbArg, int buses, int faults, std::string* err) {
    casegen::GridOptions g;
    g.buses = buses;
    g.faults = faults;
    g.faultType = 2;
    casegen::WriteOptions wo;
    wo.force = true;
    return casegen::makeGrid(dbArg, g, err, wo);
}
