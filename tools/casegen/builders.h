#pragma once
// The two kinds of database the generator writes, on an open writer.
#include "casegen.h"
#include "dbwriter.h"

#include <string>
#include <vector>

namespace casegen {

bool writeDemo(DbWriter& w, std::vector<PhaseTime>* phases, std::string* err);
bool checkGridOptions(const GridOptions& g, std::string* err);
bool writeGrid(DbWriter& w, const GridOptions& g, std::vector<PhaseTime>* phases, std::string* err);

} // namespace casegen
