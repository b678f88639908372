#pragma once
// A small short-circuit case written by hand, so report cells can be checked against
// arithmetic on its numbers (see handcase.cpp for the network and its currents).
#include "support/testdb.h"

namespace handcase {

// Case 1: single-phase fault case (Type_Fault 2) without a load-flow case.
// Case 2: the same network as a three-phase case (Type_Fault 1, no negative or zero
// sequence anywhere) whose pre-fault voltages come from load-flow case 7.
constexpr int kCaseEarth = 1;
constexpr int kCaseThree = 2;

void insert(const testdb::CaseDb& db);

} // namespace handcase
