#pragma once
// The few places where MySQL/MariaDB and SQLite need different SQL. Nothing else in
// the program asks which back end it is on.
#include "export.h"
#include "sqlstmt.h"

#include <QSqlDatabase>
#include <QString>
#include <string>
#include <vector>

class QSqlError;

class SCREPORT_CORE_EXPORT SqlDialect {
  public:
    enum Backend { MySql, Sqlite };

    explicit SqlDialect(Backend b = MySql) : m_backend(b) {}

    // A database argument that names a file (or looks like one) is a SQLite case database;
    // anything else is a database on the MySQL/MariaDB server.
    static Backend backendFor(const std::string& dbArg);

    QString driverName() const;
    bool isFileDatabase() const { return m_backend == Sqlite; }
    // Sets what the driver needs before open(): the server and login as a MySQL client
    // finds them (ServerLogin: option files, environment, command line); nothing for
    // SQLite. False, with `why` naming server, user and reason, when the server cannot be
    // reached or refuses the login; on success `why` names the server and the user.
    bool configure(QSqlDatabase& db, QString* why = nullptr) const;
    // What a case database file turned out to be, before and after the driver opened it.
    enum class FileState { Fine, CannotOpen, Damaged, NoCaseTables, InUse };
    // From the file alone, before the driver sees it: SQLite would create a missing file and
    // take an empty one for an empty database. Missing or unreadable, empty, no SQLite file,
    // shorter than its header says. `why` gets the reason. Always Fine on the server.
    FileState checkFile(const QString& name, QString* why) const;
    // After open: a cheap read of the schema and of the short-circuit case table, so that a
    // damaged page or another program's file shows now and not later as a missing case.
    // No integrity check: it stays cheap on a large file. Fine on the server; InUse for a
    // file another program holds locked beyond the busy timeout.
    FileState probe(QSqlDatabase& db, QString* why) const;
    // The engine's own words for a failure, else the driver's.
    static QString errorReason(const QSqlError& e);
    // Session settings after open: Unicode on the wire, so every column character set
    // comes back as the same text.
    void afterOpen(QSqlDatabase& db) const;
    // Column types and table options for the schema.
    std::string intType() const;
    std::string realType() const;
    std::string nameType() const;
    std::string textType() const;
    std::string tableOptions() const;
    std::string quoteIdentifier(const std::string& name) const;

    // Deletes the rows of `table` that belong to the case named `caseName` of `caseTab`;
    // `extraCond` is trusted SQL appended to the condition (may be empty).
    SqlStmt deleteByCaseName(const std::string& table, const std::string& caseTab,
                             const std::string& caseName, const std::string& extraCond,
                             bool lowerAliasCase = false) const;

    // The statements that open a write transaction no other writer under the same `lock`
    // overlaps: SQLite takes the file's write lock at once (waiting out the busy timeout),
    // so two writers never deadlock half way; the server takes a named lock (the first
    // statement answers 1 when it has it) and then starts the transaction.
    std::vector<SqlStmt> beginExclusive(const std::string& lock) const;
    // Ends it (commit or roll back), then lets the next writer in.
    std::vector<SqlStmt> endExclusive(const std::string& lock, bool commit) const;
    // The statements after which every read sees one committed state until endRead: a
    // consistent-snapshot transaction where the tables keep transactions (and on a file),
    // read locks on `locks` ("table" or "table AS alias", every name a statement of the
    // reads uses) otherwise, so that writers wait; a lock not granted within
    // `waitSeconds` fails as a lock conflict.
    std::vector<SqlStmt> beginRead(bool transactional, const std::vector<std::string>& locks,
                                   int waitSeconds) const;
    std::vector<SqlStmt> endRead(bool transactional) const;
    // The database went away under a statement: a server that stopped or dropped the
    // connection, a case file that can no longer be read. What was read is incomplete.
    bool isConnectionLost(const QSqlError& e) const;
    // A statement refused because of another writer (a deadlock, a lock wait that timed
    // out, a busy file): the transaction is worth running again.
    bool isLockConflict(const QSqlError& e) const;

  private:
    Backend m_backend;
};
