#pragma once
// Creating the case database and filling it fast: one transaction, one prepared
// multi-row INSERT per table, reused chunk after chunk.
#include "db/sqldialect.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <memory>
#include <string>
#include <vector>

namespace casegen {

class DbWriter {
  public:
    DbWriter() = default;
    ~DbWriter();
    DbWriter(const DbWriter&) = delete;
    DbWriter& operator=(const DbWriter&) = delete;

    // Creates the database (after removing it with force), or adopts an existing one
    // that has the schema and no rows; opens it and starts the transaction.
    bool open(const std::string& dbArg, bool force, std::string* err);
    bool commit(std::string* err);

    QSqlDatabase& db() { return m_db; }
    const SqlDialect& dialect() const { return m_dialect; }
    // The first failure of any insert; later ones are not recorded.
    void fail(const std::string& what);
    bool failed() const { return !m_err.empty(); }
    long long rows() const { return m_rows; }
    void countRows(long long n) { m_rows += n; }

  private:
    bool prepareTarget(const std::string& dbArg, bool force, bool* created, std::string* err);

    SqlDialect m_dialect;
    QString m_conn;
    QSqlDatabase m_db;
    std::string m_err;
    long long m_rows = 0;
};

// Rows of one table. Values are appended with add() in column order; a row ends when
// every column has a value. Text is bound as QString, never pasted into the statement.
class Inserter {
  public:
    Inserter(DbWriter& w, const std::string& table, const std::vector<const char*>& columns);
    ~Inserter();
    Inserter(const Inserter&) = delete;
    Inserter& operator=(const Inserter&) = delete;

    Inserter& add(const QVariant& v);
    Inserter& add(double v) { return add(QVariant(v)); }
    Inserter& add(int v) { return add(QVariant(v)); }
    Inserter& add(const QString& v) { return add(QVariant(v)); }
    // GB18030 text
    Inserter& text(const std::string& local8);
    Inserter& null();
    void flush();

  private:
    void execChunk(QSqlQuery& q, int rows);
    QString statement(int rows) const;

    DbWriter& m_w;
    std::string m_table;
    QString m_head;
    int m_cols;
    int m_chunk;
    std::unique_ptr<QSqlQuery> m_full;
    std::vector<QVariant> m_values;
};

} // namespace casegen
