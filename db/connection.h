#pragma once
// An open case database as the report pipeline is given it: statements, bulk reads, the
// back end's SQL differences and the suffix of its grid tables. A small value: it shares
// the connection, it does not own it.
#include "export.h"
#include "sqldialect.h"
#include "sqlstmt.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

#include <map>
#include <memory>
#include <string>

class ResultRows;

// Where a node of the grid lies.
struct nd_pos_t {
    std::string st_name;
    std::string zone_name;
    std::string area_name;
};

class SCREPORT_CORE_EXPORT DbConnection {
  public:
    DbConnection() = default;
    DbConnection(QSqlDatabase db, SqlDialect dialect, std::string tableSuffix);

    bool isOpen() const;
    // The database as it was named when opened.
    QString name() const;
    const SqlDialect& dialect() const { return m_dialect; }
    // Appended to the names of the grid's own tables (CDB_SB, CDB_NODE, ...).
    const std::string& tableSuffix() const { return m_suffix; }

    // A query on this connection (an invalid one when it is closed).
    QSqlQuery query() const;
    // The typed rows of a select (ResultRows); null when the statement did not run.
    std::unique_ptr<ResultRows> select(const SqlStmt& s) const;
    // The rows of a select on a connection of their own, to be read on another thread
    // (ResultRows::selectAside); null when the back end cannot.
    std::unique_ptr<ResultRows> selectAside(const SqlStmt& s) const;
    // The columns of `table` (none when it does not exist).
    QSqlRecord record(const std::string& table) const;
    // Node name -> station, zone, area: one statement.
    std::map<std::string, nd_pos_t> nodePositions() const;

  private:
    QSqlDatabase m_db;
    SqlDialect m_dialect;
    std::string m_suffix;
};
