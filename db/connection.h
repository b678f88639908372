#pragma once
// An open case database as the report pipeline is given it: statements, bulk reads, the
// back end's SQL differences and the suffix of its grid tables. A small value: it shares
// the connection, it does not own it.
#include "dbsession.h"
#include "export.h"
#include "sqldialect.h"
#include "sqlstmt.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

#include <map>
#include <memory>
#include <string>
#include <vector>

class ResultRows;

// Where a node of the grid lies.
struct nd_pos_t {
    std::string st_name;
    std::string zone_name;
    std::string area_name;
};

class SCREPORT_CORE_EXPORT DbConnection;

// For its lifetime every read on `db` sees one committed state of the database, however
// many statements they are; writers that would change it wait (or go on in a version of
// their own). Ended on destruction.
class SCREPORT_CORE_EXPORT ReadSnapshot {
  public:
    // `tables`: what the reads name, each "TABLE" or "TABLE alias" as the program writes
    // it (tables the database lacks are left out). `lock`: hold read locks where the
    // tables keep no transactions (every table of the reads must then be named); without
    // it such tables are read as they come.
    ReadSnapshot(const DbConnection& db, const std::vector<std::string>& tables, bool lock = true);
    ~ReadSnapshot();
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;
    // False when it could not be had (the statement failure is noted: lost, locked).
    bool ok() const { return m_ok; }

  private:
    const DbConnection& m_db;
    bool m_transactional = true;
    bool m_started = false;
    bool m_ok = false;
};

class SCREPORT_CORE_EXPORT DbConnection {
  public:
    DbConnection() = default;
    DbConnection(QSqlDatabase db, SqlDialect dialect, std::string tableSuffix,
                 std::shared_ptr<const DbSession> session = nullptr);

    bool isOpen() const;
    // The database as it was named when opened.
    QString name() const;
    const SqlDialect& dialect() const { return m_dialect; }
    // Appended to the names of the grid's own tables (CDB_SB, CDB_NODE, ...).
    const std::string& tableSuffix() const { return m_suffix; }

    // What was learnt about the database when it was opened.
    const DbSession& session() const { return *m_session; }
    // The Qt connection (for the driver's handle and Qt's own catalogue calls).
    const QSqlDatabase& database() const { return m_db; }
    // The typed rows of a statement (ResultRows); null when the statement did not run.
    std::unique_ptr<ResultRows> select(const SqlStmt& s) const;
    // The columns of `table` (none when it does not exist), whatever its letter case.
    QSqlRecord record(const std::string& table) const;
    // Node name -> station, zone, area: one statement.
    std::map<std::string, nd_pos_t> nodePositions() const;

  private:
    QSqlDatabase m_db;
    SqlDialect m_dialect;
    std::string m_suffix;
    std::shared_ptr<const DbSession> m_session;
};
