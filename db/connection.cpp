#include "connection.h"

#include "dbquery.h"
#include "log.h"
#include "resultrows.h"

namespace {
const std::shared_ptr<const DbSession>& noSession() {
    static const std::shared_ptr<const DbSession> s = std::make_shared<DbSession>();
    return s;
}
} // namespace

DbConnection::DbConnection(QSqlDatabase db, SqlDialect dialect, std::string tableSuffix,
                           std::shared_ptr<const DbSession> session)
    : m_db(std::move(db)), m_dialect(dialect), m_suffix(std::move(tableSuffix)),
      m_session(session ? std::move(session) : noSession()) {}

bool DbConnection::isOpen() const {
    return m_db.isOpen();
}

QString DbConnection::name() const {
    return m_db.databaseName();
}

std::unique_ptr<ResultRows> DbConnection::select(const SqlStmt& s) const {
    return ResultRows::select(*this, s);
}

QSqlRecord DbConnection::record(const std::string& table) const {
    if (!m_db.isOpen()) return QSqlRecord();
    const std::string real = m_session->tableName(table);
    if (real.empty()) return QSqlRecord();
    return m_db.record(QString::fromStdString(real));
}

std::map<std::string, nd_pos_t> DbConnection::nodePositions() const {
    std::map<std::string, nd_pos_t> pos;
    const std::string& sf = m_suffix;
    SqlStmt s;
    s << "select nd.Node_Name,ps.PS_Name,zn.Zone_Name,ar.Area_Name from CDB_NODE" << sf << " nd,CDB_PSTATION"
      << sf << " ps,CDB_ZONE" << sf << " zn,CDB_AREAS" << sf
      << " ar where nd.PS_Name=ps.PS_Name and ps.Zone_No=zn.Zone_No and zn.Area_No=ar.Area_No";
    dbq::Query q(*this);
    if (!q.exec(s)) return pos;
    while (q.next()) {
        nd_pos_t& p = pos[q.text8(0)];
        p.st_name = q.text8(1);
        p.zone_name = q.text8(2);
        p.area_name = q.text8(3);
    }
    return pos;
}

namespace {
// How long a run waits for a writer that holds a table it reads.
constexpr int kReadLockWaitSeconds = 20;
} // namespace

ReadSnapshot::ReadSnapshot(const DbConnection& db, const std::vector<std::string>& tables, bool lock)
    : m_db(db) {
    m_ok = db.isOpen();
    // Inside a transaction of the caller's the reads already see one state; a new one
    // would end it.
    if (!m_ok || ResultRows::inTransaction(db)) return;
    std::vector<std::string> locks, names;
    for (const std::string& t : tables) {
        const size_t blank = t.find(' ');
        const std::string real = db.session().tableName(t.substr(0, blank));
        if (real.empty()) continue;
        names.push_back(real);
        locks.push_back(blank == std::string::npos ? real : real + " AS " + t.substr(blank + 1));
    }
    m_transactional = db.session().transactional(names);
    if (!m_transactional && !lock) return;
    for (const SqlStmt& s : db.dialect().beginRead(m_transactional, locks, kReadLockWaitSeconds)) {
        dbq::Query q(db);
        if (!q.exec(s)) {
            screport::logError(s.text());
            m_ok = false;
            break;
        }
        m_started = true; // from here on it must be ended
        while (q.next()) {
        }
    }
}

ReadSnapshot::~ReadSnapshot() {
    if (!m_started || !m_db.isOpen()) return;
    for (const SqlStmt& s : m_db.dialect().endRead(m_transactional)) {
        dbq::Query q(m_db);
        q.exec(s);
    }
}
