#pragma once
// Fresh case databases for tests, on SQLite and on the private MariaDB server.
#include <QSqlDatabase>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testdb {

enum class Backend { Sqlite, MariaDb };

std::string backendName(Backend b);
// SQLite always; MariaDB when the test server is reachable. Under CI=true a missing
// server is a failure, never a silent skip (see mariaDbRequired()).
std::vector<Backend> backends();
bool mariaDbAvailable();
bool mariaDbRequired();

// Runs SQL (UTF-8 text) on a side connection to the case database `arg`; fails the test on error.
void exec(Backend b, const std::string& arg, const std::string& sqlUtf8);
// rows() of `sql` there.
QStringList rows(Backend b, const std::string& arg, const QString& sql);

// A new, empty case database with every table; dropped (or deleted) on destruction.
// On MariaDB, on the test server or on the server at `socket` (an OwnServer's).
class CaseDb {
  public:
    explicit CaseDb(Backend b, const std::string& socket = std::string());
    ~CaseDb();
    CaseDb(const CaseDb&) = delete;
    CaseDb& operator=(const CaseDb&) = delete;

    // The argument opendb takes.
    const std::string& arg() const { return m_arg; }
    Backend backend() const { return m_backend; }
    // The server's socket; empty for SQLite.
    const std::string& socket() const { return m_socket; }
    void exec(const std::string& sqlUtf8) const;
    // rows() and nameColumns() on a side connection.
    QStringList rows(const QString& sql, const QVariantList& values = {}, QChar sep = ',') const;
    std::vector<std::pair<QString, QString>> nameColumns() const;
    // `f` on an open side connection, the server speaking UTF-8.
    void with(const std::function<void(QSqlDatabase&)>& f) const;

  private:
    Backend m_backend;
    std::string m_socket;
    std::string m_arg;
    std::string m_dir;
};

// Every row of `sql` on `db` (`?` bound to `values`), its columns joined by `sep`, NULL as
// "<null>"; a failure fails the test.
QStringList rows(QSqlDatabase db, const QString& sql, const QVariantList& values = {}, QChar sep = ',');
// Every (table, column) of `db` whose column name ends in "name", in any letter case.
std::vector<std::pair<QString, QString>> nameColumns(const QSqlDatabase& db);

// A MariaDB server of the test's own in a temporary folder, so that a test can kill it at
// a chosen moment. Stopped and removed on destruction.
class OwnServer {
  public:
    // CaseSensitive keeps table names as given (lower_case_table_names=0), as most
    // servers do; the test server stores them in lower case.
    enum class TableNames { LowerCase, CaseSensitive };
    explicit OwnServer(TableNames names = TableNames::LowerCase);
    ~OwnServer();
    OwnServer(const OwnServer&) = delete;
    OwnServer& operator=(const OwnServer&) = delete;

    bool start();
    // After kill(): the server again, on the data it had.
    bool restart();
    std::string socket() const { return m_dir + "/mysqld.sock"; }
    // SIGKILL: the server goes away without a word to its clients.
    void kill();

  private:
    std::string m_dir;
    TableNames m_names;
};

// Points the case database (SCREPORT_DB_SOCKET, SCREPORT_DB_USER) at a server for the lifetime of
// the object, then puts the previous settings back.
class ServerEnv {
  public:
    explicit ServerEnv(const std::string& socket);
    ~ServerEnv();
    ServerEnv(const ServerEnv&) = delete;
    ServerEnv& operator=(const ServerEnv&) = delete;

  private:
    bool m_had = false;
    std::string m_old;
};

// A parameterized suite on every back end, its runs named by the back end.
#define INSTANTIATE_ON_BACKENDS(Suite)                                                                       \
    INSTANTIATE_TEST_SUITE_P(Backends, Suite, ::testing::ValuesIn(testdb::backends()),                       \
                             [](const auto& info) { return testdb::backendName(info.param); })

// The program's debug and error lines while alive.
class LogCapture {
  public:
    LogCapture();
    ~LogCapture();
    std::vector<std::string> debug, errors;
};

// GB18030 bytes of a UTF-8 literal.
std::string gb(const char* utf8);
// The text of the ErrorText `f` throws; "<nothing thrown>" when it throws none.
std::string throwText(const std::function<void()>& f);

} // namespace testdb
