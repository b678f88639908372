#pragma once
// Running statements on the one connection and reading their columns as the
// program's 8-bit text and numbers.
#include "export.h"
#include "sqlstmt.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <functional>
#include <string>

namespace dbq {

// A query on CDBUtility's connection (an invalid query when there is none).
SCREPORT_CORE_EXPORT QSqlQuery newQuery();
// Prepares, binds and runs; true when the statement ran.
SCREPORT_CORE_EXPORT bool exec(QSqlQuery& q, const SqlStmt& s);
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
// Runs a statement whose outcome does not matter.
SCREPORT_CORE_EXPORT bool execIgnore(const SqlStmt& s);

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
