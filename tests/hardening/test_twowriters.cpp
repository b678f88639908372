// Another program on the same case database. Two programs saving the choices of one
// case at the same time: at every moment a reader sees exactly one writer's options with
// that writer's items, and one writer's whole fault list; no save is refused. A program
// that holds the case file longer than the busy timeout: a save runs again, an output run
// writes nothing.
#include "casegen/casegen.h"
#include "db/cdbutility.h"
#include "db/textcodec.h"
#include "hardening.h"
#include "saver/signature.h"
#include "support/testdb.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace demo = casegen::demo;

namespace {

struct Signature {
    casechoices::ObjectChoices c;
    casechoices::OutputOptions o;
    SCPosList faults;
    // OBJNO -> VAR1..VAR4 as text
    std::map<int, std::string> itemRows() const {
        std::map<int, std::string> rows;
        for (const std::string& key : c.m_selObjects) {
            auto vars = c.m_objVars.find(key);
            if (vars == c.m_objVars.end()) continue;
            std::string v;
            for (size_t i = 0; i < 4; ++i)
                v += (i ? "," : "") + std::to_string(i < vars->second.size() ? vars->second[i] : -1);
            rows[reportkinds::indexOf(key)] = v;
        }
        return rows;
    }
    std::vector<std::string> faultNames() const {
        std::vector<std::string> n;
        for (const SCPos& p : faults)
            n.push_back(p.name);
        std::sort(n.begin(), n.end());
        return n;
    }
};

// Rows on the connection of `db`, which the snapshot's transaction is on.
QStringList rows(const CDBUtility& db, const QString& sql) {
    return testdb::rows(*db.database(), sql);
}

// The stored fault points of a case, sorted.
std::vector<std::string> faultNames(const CDBUtility& db, int caseNo) {
    std::vector<std::string> out;
    for (const QString& s :
         rows(db, "select Bus_Name from SCR_FAULTBUS where CASE_NO=" + QString::number(caseNo)))
        out.push_back(textcodec::toLocal8(s));
    std::sort(out.begin(), out.end());
    return out;
}

// What a reader sees in one snapshot; empty when it is one writer's consistent set.
std::string inconsistency(const CDBUtility& db, const Signature sig[2], int caseNo) {
    const bool sqlite = db.dialect().isFileDatabase();
    const QString no = QString::number(caseNo);
    rows(db, sqlite ? "BEGIN" : "START TRANSACTION WITH CONSISTENT SNAPSHOT");
    const QStringList options = rows(db, "select Unit,On_Zone from SCR_OUT where CASE_NO=" + no);
    const QStringList items = rows(db, "select OBJNO,VAR1,VAR2,VAR3,VAR4 from SCR_CONT where Case_NO=" + no +
                                           " and OBJNO!=7 order by OBJNO");
    const std::vector<std::string> names = faultNames(db, caseNo);
    rows(db, "COMMIT");

    if (options.size() != 1) return std::to_string(options.size()) + " options rows";
    const int w = options[0].startsWith("1,") ? 0 : 1;
    if (options[0].endsWith(",1") != (w == 1)) return "options row mixes the writers";
    std::map<int, std::string> seen;
    for (const QString& r : items) {
        const int obj = r.section(',', 0, 0).toInt();
        if (seen.count(obj)) return "item row " + std::to_string(obj) + " twice";
        seen[obj] = r.section(',', 1).toStdString();
    }
    if (seen != sig[w].itemRows()) return "items are not those of the options' writer";
    if (!names.empty() && names != sig[0].faultNames() && names != sig[1].faultNames())
        return std::to_string(names.size()) + " fault points, not one writer's list";
    return std::string();
}

TEST(TwoWriters, SavingOneCaseAtOnceLeavesOneConsistentSet) {
    constexpr int kRounds = 60;
    Signature sig[2];
    for (int w = 0; w < 2; ++w)
        saver::fill(w, sig[w].c, sig[w].o, sig[w].faults);
    ASSERT_NE(sig[0].itemRows(), sig[1].itemRows());
    for (testdb::Backend b : testdb::backends()) {
        SCOPED_TRACE(testdb::backendName(b));
        testdb::CaseDb db(b);
        CDBUtility cdb;
        ASSERT_EQ(hard::openDemo(cdb, db.arg(), demo::kCaseThreePhase), "");
        ASSERT_TRUE(casechoices::saveOutputOptions(cdb, "SCR_OUT", sig[1].o, sig[1].c));
        ASSERT_TRUE(casechoices::saveFaultList(cdb, sig[1].faults));
        ASSERT_EQ(inconsistency(cdb, sig, demo::kCaseThreePhase), "");
        // Only this case's rows: the writers start on otherwise empty tables.
        for (const char* t : {"SCR_OUT", "SCR_CONT", "SCR_FAULTBUS"})
            db.exec(std::string("delete from ") + t +
                    " where Case_No!=" + std::to_string(demo::kCaseThreePhase));
        db.exec("delete from SCR_FAULTBUS");

        QProcess writers[2];
        for (int w = 0; w < 2; ++w)
            writers[w].start(SCREPORT_SAVER_EXE,
                             {QString::fromStdString(db.arg()), QString::number(demo::kCaseThreePhase),
                              QString::number(w), QString::number(kRounds)});
        int snapshots = 0;
        std::set<std::string> problems;
        while (writers[0].state() != QProcess::NotRunning || writers[1].state() != QProcess::NotRunning) {
            const std::string p = inconsistency(cdb, sig, demo::kCaseThreePhase);
            if (!p.empty()) problems.insert(p);
            ++snapshots;
            writers[0].waitForFinished(2);
            writers[1].waitForFinished(2);
        }
        for (int w = 0; w < 2; ++w) {
            EXPECT_EQ(writers[w].exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(writers[w].exitCode(), 0)
                << "saves refused by writer " << w << ": " << writers[w].readAllStandardError().toStdString();
        }
        EXPECT_TRUE(problems.empty()) << *problems.begin();
        EXPECT_EQ(inconsistency(cdb, sig, demo::kCaseThreePhase), "");
        EXPECT_GT(snapshots, 2);
        std::printf("[ two writers ] %s: %d snapshots read while 2 x %d saves ran\n",
                    testdb::backendName(b).c_str(), snapshots, 2 * kRounds);
        cdb.closedb();
    }
}

// Another program's connection holding the SQLite file with `begin` for `ms`, from a
// thread of its own; the constructor returns once the lock is held.
class FileHolder {
  public:
    FileHolder(const std::string& path, const char* begin, int ms)
        : m_thread([this, path, begin, ms] {
              {
                  QSqlDatabase c = QSqlDatabase::addDatabase("QSQLITE", "holder");
                  c.setDatabaseName(QString::fromStdString(path));
                  QSqlQuery q(c);
                  const bool held = c.open() && q.exec(begin);
                  m_state = held ? 1 : 2;
                  if (held) QThread::msleep(ms);
                  q.exec("COMMIT");
              }
              QSqlDatabase::removeDatabase("holder");
          }) {
        while (m_state == 0)
            QThread::msleep(1);
    }
    ~FileHolder() { m_thread.join(); }
    bool held() const { return m_state == 1; }

  private:
    std::atomic<int> m_state{0};
    std::thread m_thread;
};

// Another program holding the SQLite file past the busy timeout (5 s): a save is refused
// once, runs again and lands whole; a run whose reads were refused says so and keeps the
// last reports, even though the file is free again before the run ends.
TEST(AnotherProgram, ASaveRunsAgainARunWritesNothing) {
    testdb::CaseDb db(testdb::Backend::Sqlite);
    CDBUtility cdb;
    ASSERT_EQ(hard::openDemo(cdb, db.arg(), demo::kCaseThreePhase), "");
    testdb::LogCapture quiet;
    Signature sig;
    saver::fill(1, sig.c, sig.o, sig.faults);
    QElapsedTimer clock;
    qint64 waited = 0;
    {
        FileHolder other(db.arg(), "BEGIN IMMEDIATE", 5600);
        ASSERT_TRUE(other.held());
        clock.start();
        EXPECT_TRUE(casechoices::saveFaultList(cdb, sig.faults));
        waited = clock.elapsed();
    }
    EXPECT_GE(waited, 5000) << "the save waited out the busy timeout before it ran again";
    EXPECT_EQ(faultNames(cdb, demo::kCaseThreePhase), sig.faultNames());

    QTemporaryDir project;
    const hard::FullRun run(demo::kCaseThreePhase, true, project.path().toStdString(), 2);
    ASSERT_TRUE(runOutput(cdb.connection(), run.req).ok());
    const QString txt = project.path() + "/temp/rep_txt.txt";
    const QByteArray before = hard::fileBytes(txt);
    OutputResult res;
    {
        FileHolder other(db.arg(), "BEGIN EXCLUSIVE", 5600); // readers wait too
        ASSERT_TRUE(other.held());
        res = runOutput(cdb.connection(), run.req);
    }
    EXPECT_FALSE(res.ok());
    EXPECT_EQ(res.error8, textcodec::gb("数据库被其他程序占用，报表没有输出:") + db.arg());
    EXPECT_EQ(hard::fileBytes(txt), before);
    ASSERT_TRUE(runOutput(cdb.connection(), run.req).ok()) << "the next run reads the whole case again";
    cdb.closedb();
}

} // namespace
