#pragma once
// The rows of one select, read column by column as checked numbers and GB18030 text.
// On a MySQL/MariaDB connection the values come through the client library's binary
// protocol into typed buffers, on a SQLite one through SQLite's own interface, with no
// text or QVariant per value; on any other connection through the Qt driver. All give
// the same numbers, texts and problems.
#include "dataproblems.h"
#include "export.h"
#include "sqlstmt.h"

#include <memory>
#include <string>
#include <string_view>

class DbConnection;
class DbSession;
class QSqlError;
class QVariant;

class SCREPORT_CORE_EXPORT ResultRows {
  public:
    virtual ~ResultRows();
    // Runs `s` on `db`, values bound, table names as the database spells them; the
    // statement hook sees it, and a failure is noted (dbq::noteFailure). Any statement:
    // one that gives no rows has no columns. Null when the statement did not run.
    static std::unique_ptr<ResultRows> select(const DbConnection& db, const SqlStmt& s);

    // Whether a transaction is open on `db` (its reads already see one state).
    static bool inTransaction(const DbConnection& db);

    // The next row; false at the end or when the connection failed under it.
    virtual bool next() = 0;
    virtual int columns() const = 0;
    virtual std::string columnName(int col) const = 0;
    // The value as a QVariant: invalid for NULL, a number as a number, text as a string.
    virtual QVariant value(int col) = 0;
    virtual bool isNull(int col) const = 0;
    // The value checked as dataproblems::readNumber checks it.
    virtual dataproblems::Checked number(int col, dataproblems::Domain d) const = 0;
    // The stored value as the problem list shows it; empty for NULL.
    virtual std::string storedText(int col) const = 0;
    // GB18030 text (a number as dbq::text8 writes it); empty for NULL. Valid until the
    // next call for the same column.
    virtual const std::string& text8(int col) = 0;
    // The stored bytes of a text value, to key rows by name without converting each;
    // a null view when the value is not text or the driver does not expose it.
    virtual std::string_view textBytes(int /*col*/) const { return {}; }
    // As dbq::toInt: 0 for NULL, text that is no number, or a value outside int.
    int toInt(int col) const;
    // Whether the values come typed through the engine's own library rather than the Qt driver.
    virtual bool binaryProtocol() const = 0;

    // Values (rows times columns) delivered by all finished reads so far.
    static long long valuesRead();

  protected:
    // Kept per reader, added to the total when it ends: two threads counting into one
    // shared total made every row a cache miss.
    void count(long long values) { m_values += values; }
    // A failure of the connection under the statement.
    void fail(const QSqlError& e);

  private:
    long long m_values = 0;
};
