#pragma once
// Running statements on the one connection and reading their columns as the
// program's 8-bit text and numbers.
#include "connection.h"
#include "export.h"
#include "resultrows.h"
#include "sqlstmt.h"

#include <QSqlError>
#include <QSqlRecord>
#include <QVariant>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dbq {

// One statement on the open database, run through the engine's own library: text comes
// and goes as the database holds it, table names as the database spells them.
class SCREPORT_CORE_EXPORT Query {
  public:
    // On the connection of the case database opened last.
    Query();
    explicit Query(DbConnection db);
    // Binds and runs; true when the statement ran.
    bool exec(const SqlStmt& s);
    bool next() { return m_rows && m_rows->next(); }
    // Whether the statement gave columns (a select).
    bool isSelect() const { return m_rows && m_rows->columns() > 0; }
    bool isNull(int col) const { return !m_rows || m_rows->isNull(col); }
    // GB18030 text; empty for NULL.
    std::string text8(int col) { return m_rows ? m_rows->text8(col) : std::string(); }
    // Invalid for NULL, a number as a number, text as a string (text8() for the bytes).
    QVariant value(int col) { return m_rows ? m_rows->value(col) : QVariant(); }
    // The column named `name` (letter case ignored), -1 when the statement has none.
    int indexOf(const char* name) const;
    // By column name; NULL when there is no such column.
    QVariant value(const char* name);
    ResultRows* rows() { return m_rows.get(); }

  private:
    DbConnection m_db;
    std::unique_ptr<ResultRows> m_rows;
};

// Runs `s` on the connection of the case database opened last; true when it ran.
SCREPORT_CORE_EXPORT bool run(const SqlStmt& s);
// Tables the program names that the database lacks, noted when a statement that names
// them failed; cleared with clearConnectionLost(). As the program writes them.
SCREPORT_CORE_EXPORT void noteMissingTables(const std::vector<std::string>& names);
SCREPORT_CORE_EXPORT const std::vector<std::string>& missingTables();
// Why statements on `db` failed or read less than it holds, when the cause is known:
// the server went away (named), another program holds the database, tables are missing.
// `outputRun`: worded for a run that writes nothing. Empty otherwise.
SCREPORT_CORE_EXPORT std::string failureText(const DbConnection& db, bool outputRun = false);
// Set when a statement failed because the server could not be reached (it stopped,
// the connection dropped). Nothing clears it but clearConnectionLost(): an output run
// clears it first and checks it before writing, so reports read from a half-answered
// case never replace good ones.
SCREPORT_CORE_EXPORT bool connectionLost();
SCREPORT_CORE_EXPORT void clearConnectionLost();
// Set when a statement was refused because another program held the database (a busy
// case file, a lock wait that timed out) outside our own write transactions: what was
// read is incomplete just the same. Cleared like connectionLost().
SCREPORT_CORE_EXPORT bool lockRefused();
SCREPORT_CORE_EXPORT void clearLockRefused();
// A read outside QSqlQuery (the client library's own statements) failed with `e`: noted
// as exec() notes its failures.
SCREPORT_CORE_EXPORT void noteFailure(const QSqlError& e);
// The statement hook, for reads that run statements of their own.
SCREPORT_CORE_EXPORT void announce(const SqlStmt& s);
// Called with every statement exec() runs, before it runs: the review test lists what
// the program sends with it. Null (the default) for none.
using StatementHook = std::function<void(const SqlStmt&)>;
SCREPORT_CORE_EXPORT void setStatementHook(StatementHook hook);
// Runs `body` as one transaction that no other writer under `lockKey` overlaps (two
// programs saving the same case's choices take turns), committing when it returns true
// and rolling back otherwise. A transaction refused because of another writer runs
// again, a few times. False when it could not be committed.
SCREPORT_CORE_EXPORT bool exclusiveTransaction(const std::string& lockKey, const std::function<bool()>& body);

// A value as GB18030 text; an integral double shows without decimals, NULL as empty text.
SCREPORT_CORE_EXPORT std::string text8(const QVariant& v);
SCREPORT_CORE_EXPORT std::string numberText8(double d);
// A value as a number; NULL and text that is no number give 0.
SCREPORT_CORE_EXPORT double toDouble(const QVariant& v);
SCREPORT_CORE_EXPORT int toInt(const QVariant& v);
SCREPORT_CORE_EXPORT bool toBool(const QVariant& v);

// First row's column 0, or the fallback.
SCREPORT_CORE_EXPORT std::string firstText(const SqlStmt& s, const std::string& fallback = std::string());

// The columns of `table` (none when it does not exist).
SCREPORT_CORE_EXPORT QSqlRecord recordOf(const std::string& table);
// Whether `table` has `column` (letter case ignored).
SCREPORT_CORE_EXPORT bool hasColumn(const std::string& table, const std::string& column);

} // namespace dbq
