#pragma once
// Shared pieces of the hardening tests: a demo case database opened as the program
// opens it, a full output run, checks that a report is whole and readable, and the
// batch executable.
#include "db/cdbutility.h"
#include "sc/outputrun.h"
#include "support/proc.h"
#include "support/testdb.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace hard {

// Runs SQL (UTF-8) with bound text values on the connection of `db`; false when the
// back end rejects it (a schema constraint, a type the column cannot hold).
bool tryExec(const CDBUtility& db, const std::string& sqlUtf8, const QStringList& values = {});

// Writes the demo cases into `dbArg` and opens it in `db` as a short-circuit database,
// live tables, on case `caseNo` (0: no case chosen). Empty on success, else what failed.
std::string openDemo(CDBUtility& db, const std::string& dbArg, int caseNo = 0);

// A request for every report kind and item, every fault point of the case (the first
// `maxPoints` in calculation order; 0: all), all files. The request points at `faults`.
struct FullRun {
    FullRun(int caseNo, bool perUnit, const std::string& projectDir, size_t maxPoints = 0);
    FullRun(const FullRun&) = delete;
    SCPosList faults;
    OutputRequest req;
};

// The demo opened on each back end, the error stream collected, a project folder.
class DemoTest : public ::testing::TestWithParam<testdb::Backend> {
  protected:
    void SetUp() override;
    void TearDown() override;
    QString out(const char* name) const { return tmp.path() + "/temp/" + name; }

    std::unique_ptr<testdb::CaseDb> db;
    CDBUtility cdb;
    QTemporaryDir tmp;
    std::string project;
    testdb::LogCapture log;
    std::vector<std::string>& errors = log.errors;
};

using testproc::fileBytes;
// Empty when `bytes` is readable GB18030 text without stray control characters;
// otherwise what is wrong with it.
std::string unreadable(const QByteArray& bytes);
// Whether the bytes look like a whole zip archive (local header first, end record last).
bool wholeZip(const QByteArray& bytes);

using BatchRun = testproc::Outcome;
// The batch executable started in `workDir`, by default the source folder.
BatchRun batch(const QStringList& args, const QString& workDir = SCREPORT_SOURCE_DIR);

} // namespace hard
