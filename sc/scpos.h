#pragma once
#include <string>
#include <vector>

// One chosen fault point. `name` is the fault-point key: the bus name for a fault at
// a bus, or the branch's ID_Name, "_" and the percentage for a fault inside a branch.
struct SCPos {
    std::string name;
    std::string iName;
    std::string jName;
    int percent = 0;
};

using SCPosList = std::vector<SCPos>;
