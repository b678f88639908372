#pragma once
// What each of the two concurrent writers saves, so the test can tell whose rows it sees.
#include "sc/casechoices.h"
#include "sc/reportkinds.h"

#include <string>

namespace saver {

// Writer `w` (0 or 1): the kinds at positions of its parity, items {w, w+1, w+3}, per
// unit for writer 0 and zone grouping for writer 1, and its own fault points (with a
// quote and a GB18030 character whose second byte is 0x5C).
inline void fill(int w, casechoices::ObjectChoices& c, casechoices::OutputOptions& o, SCPosList& faults) {
    c.seedObjectVars();
    const auto& kinds = reportkinds::kinds();
    for (size_t i = 0; i < kinds.size(); ++i) {
        if (int(i % 2) != w) continue;
        c.m_selObjects.insert(kinds[i].key);
        auto vars = c.m_objVars.find(kinds[i].key);
        if (vars != c.m_objVars.end()) vars->second = {w, w + 1, w + 3};
    }
    o.unit = w == 0;
    o.onZone = w == 1;
    const int count = w == 0 ? 5 : 8;
    for (int k = 0; k < count; ++k) {
        SCPos p;
        p.name = std::string(w == 0 ? "A'" : "B\x95\x5c") + std::to_string(k);
        faults.push_back(p);
    }
}

} // namespace saver
