#pragma once
// A case database on each back end, opened as the program opens it, with helpers to build
// reports and read their cells.
#include "db/cdbutility.h"
#include "db/errortext.h"
#include "db/textcodec.h"
#include "sc/reportkinds.h"
#include "sc/screports.h"
#include "support/testdb.h"

#include <QSqlDatabase>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sctest {

using testdb::Backend;
using testdb::gb;
using testdb::throwText;

class ScCaseTest : public ::testing::TestWithParam<Backend> {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Fills the database before it is opened; the hand case by default.
    virtual void fill();

    // A builder over a new store of the case; every item of every kind chosen in order.
    std::unique_ptr<SCRepPort> builder(int caseNo, bool perUnit = true);
    // The store of the builder made last.
    CaseStore& store() { return *stores.back(); }

    std::vector<std::string> row(const SCRepPort& p, int page, int grp, int rec) const;
    std::vector<std::string> errorLines(const std::string& prefixUtf8) const;

    std::unique_ptr<testdb::CaseDb> db;
    CDBUtility cdb;
    std::set<std::string> chosen;
    std::map<std::string, std::vector<std::string>> labels;
    std::map<std::string, std::vector<int>> items;
    SCPosList faults;
    std::deque<std::unique_ptr<CaseStore>> stores; // outlive the builders over them
    dataproblems::List problems;                   // the builders' data problems
    testdb::LogCapture log;
};

} // namespace sctest
