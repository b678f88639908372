#include "connection.h"

#include "dbquery.h"
#include "resultrows.h"

DbConnection::DbConnection(QSqlDatabase db, SqlDialect dialect, std::string tableSuffix)
    : m_db(std::move(db)), m_dialect(dialect), m_suffix(std::move(tableSuffix)) {}

bool DbConnection::isOpen() const {
    return m_db.isOpen();
}

QString DbConnection::name() const {
    return m_db.databaseName();
}

QSqlQuery DbConnection::query() const {
    return m_db.isOpen() ? QSqlQuery(m_db) : QSqlQuery();
}

std::unique_ptr<ResultRows> DbConnection::select(const SqlStmt& s) const {
    return ResultRows::select(m_db, s);
}

std::unique_ptr<ResultRows> DbConnection::selectAside(const SqlStmt& s) const {
    return ResultRows::selectAside(m_db, s);
}

QSqlRecord DbConnection::record(const std::string& table) const {
    if (!m_db.isOpen()) return QSqlRecord();
    // Case-insensitive servers report the table in lower case.
    QSqlRecord r = m_db.record(QString::fromStdString(table));
    if (r.isEmpty()) r = m_db.record(QString::fromStdString(table).toLower());
    return r;
}

std::map<std::string, nd_pos_t> DbConnection::nodePositions() const {
    std::map<std::string, nd_pos_t> pos;
    const std::string& sf = m_suffix;
    SqlStmt s;
    s << "select nd.Node_Name,ps.PS_Name,zn.Zone_Name,ar.Area_Name from CDB_NODE" << sf << " nd,CDB_PSTATION"
      << sf << " ps,CDB_ZONE" << sf << " zn,CDB_AREAS" << sf
      << " ar where nd.PS_Name=ps.PS_Name and ps.Zone_No=zn.Zone_No and zn.Area_No=ar.Area_No";
    QSqlQuery q = query();
    if (!dbq::exec(q, s)) return pos;
    while (q.next()) {
        nd_pos_t& p = pos[dbq::text8(q.value(0))];
        p.st_name = dbq::text8(q.value(1));
        p.zone_name = dbq::text8(q.value(2));
        p.area_name = dbq::text8(q.value(3));
    }
    return pos;
}
