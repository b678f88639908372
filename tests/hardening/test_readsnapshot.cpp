// A calculation committing while reports are made. Each commit rescales the case's
// currents and bus voltages by the same factor, alternately 2 and 1/2 (exact in binary),
// so the distribution coefficients of every committed state are the same and the other
// reports are one of two. A run that reads parts of two states shows coefficients that
// are neither, or a summary whose fault currents are not those of the fault points'
// report (each reads the currents with a statement of its own).
#include "casegen/casegen.h"
#include "support/proc.h"
#include "support/testdb.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <gtest/gtest.h>
#include <thread>

namespace {

enum class Setting { SqliteRollbackJournal, SqliteWal, InnoDb, MyIsam };

// One commit: every current and bus voltage of the grid case times `f`. MyISAM has no
// transactions: the table locks make the two statements one change for other readers.
std::string rescale(QSqlDatabase& db, Setting s, double f) {
    auto times = [&](const char* table, const char* re, const char* im) {
        QStringList set;
        for (const char* seq : {"1", "2", "0"})
            for (const char* part : {re, im})
                set << QString("%1%2=%1%2*%3").arg(part, seq).arg(f);
        return QString("UPDATE %1 SET %2 WHERE Case_No=%3").arg(table, set.join(',')).arg(casegen::kGridCase);
    };
    const bool myisam = s == Setting::MyIsam;
    const QString begin = s == Setting::InnoDb ? "START TRANSACTION"
                          : myisam             ? "LOCK TABLES SCR_R120 WRITE, SCR_B120 WRITE"
                                               : "BEGIN IMMEDIATE";
    QSqlQuery q(db);
    for (const QString& sql : {begin, times("SCR_R120", "IR", "II"), times("SCR_B120", "VR", "VI"),
                               QString(myisam ? "UNLOCK TABLES" : "COMMIT")})
        if (!q.exec(sql)) {
            const std::string why = (sql + ": " + q.lastError().text()).toStdString();
            q.exec(myisam ? "UNLOCK TABLES" : "ROLLBACK");
            return why;
        }
    return std::string();
}

// Commits rescalings from a thread of its own until stopped.
class Writer {
  public:
    Writer(const testdb::CaseDb& db, Setting s)
        : m_thread([this, &db, s] {
              db.with([&](QSqlDatabase& c) {
                  for (double f = 2; !m_stop;) {
                      const std::string why = rescale(c, s, f);
                      if (why.empty()) {
                          f = 1 / f;
                          ++commits;
                      } else {
                          refused = why;
                      }
                  }
              });
          }) {}
    ~Writer() { stop(); }
    void stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }
    std::atomic<int> commits{0};
    std::string refused; // the last commit refused; read after stop()

  private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

void expectOneStatePerRun(Setting s) {
    constexpr int kRuns = 20;
    const bool sqlite = s == Setting::SqliteRollbackJournal || s == Setting::SqliteWal;
    if (!sqlite && !testdb::mariaDbAvailable() && !testdb::mariaDbRequired())
        GTEST_SKIP() << "no MariaDB test server";
    testdb::CaseDb db(sqlite ? testdb::Backend::Sqlite : testdb::Backend::MariaDb);
    casegen::GridOptions g;
    g.buses = 2000;
    g.faults = 10;
    std::string err;
    ASSERT_TRUE(casegen::makeGrid(db.arg(), g, &err)) << err;
    if (s == Setting::SqliteWal) db.exec("PRAGMA journal_mode=WAL");
    if (s == Setting::MyIsam)
        for (const QString& t : db.rows("SELECT TABLE_NAME FROM information_schema.TABLES WHERE "
                                        "TABLE_SCHEMA=DATABASE()")) {
            // MyISAM keys hold 1000 bytes: the voltages' covering index does not fit.
            if (t.compare("SCR_B120", Qt::CaseInsensitive) == 0)
                db.exec(("ALTER TABLE " + t + " DROP INDEX IX_SCR_B120, ADD INDEX IX_SCR_B120 (Case_No, T)")
                            .toStdString());
            db.exec(("ALTER TABLE " + t + " ENGINE=MyISAM").toStdString());
        }
    if (sqlite) { // the generator leaves a rollback journal
        EXPECT_EQ(db.rows("PRAGMA journal_mode"), QStringList{s == Setting::SqliteWal ? "wal" : "delete"});
    }

    QTemporaryDir dir;
    auto report = [&](int* status) {
        const testproc::Outcome r =
            testproc::run(SCREPORT_EXE, {"--batch", QString::fromStdString(db.arg()), dir.path(),
                                         QString::number(casegen::kGridCase), "--reports",
                                         "summary,distribution,shortbra", "--format", "txt"});
        *status = r.code;
        return testproc::fileBytes(dir.path() + "/temp/rep_txt.txt");
    };
    auto commit = [&](double f) { db.with([&](QSqlDatabase& c) { ASSERT_EQ(rescale(c, s, f), ""); }); };
    int status = 0;
    const QByteArray quiet = report(&status);
    ASSERT_EQ(status, 0);
    commit(2);
    const QByteArray doubled = report(&status);
    commit(0.5);
    ASSERT_NE(quiet, doubled) << "the summary shows the rescaling";

    int mixed = 0, failed = 0;
    QByteArray firstMixed;
    QElapsedTimer clock;
    clock.start();
    Writer w(db, s);
    for (int i = 0; i < kRuns; ++i) {
        const QByteArray got = report(&status);
        if (status != 0)
            ++failed;
        else if (got != quiet && got != doubled && !mixed++)
            firstMixed = got;
    }
    w.stop();
    std::printf("[ read snapshot ] %d of %d runs mixed two states, %d failed, %d commits in %.1f s%s%s\n",
                mixed, kRuns, failed, w.commits.load(), clock.elapsed() / 1000.0,
                w.refused.empty() ? "" : "; refused: ", w.refused.c_str());
    EXPECT_GE(w.commits, kRuns / 4) << "the writer committed while the runs read";
    EXPECT_EQ(failed, 0);
    // Against the state it starts with.
    auto common = [&](const QByteArray& a) {
        qsizetype n = 0;
        while (n < a.size() && n < firstMixed.size() && a[n] == firstMixed[n])
            ++n;
        return n;
    };
    const QByteArray& want = common(doubled) > common(quiet) ? doubled : quiet;
    EXPECT_EQ(mixed, 0) << testproc::differences({{"rep_txt.txt", want}}, {{"rep_txt.txt", firstMixed}});
}

class ReadSnapshot : public ::testing::TestWithParam<Setting> {};

TEST_P(ReadSnapshot, OneStatePerRun) {
    expectOneStatePerRun(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Settings, ReadSnapshot,
                         ::testing::Values(Setting::SqliteRollbackJournal, Setting::SqliteWal,
                                           Setting::InnoDb, Setting::MyIsam));

} // namespace
