#include "sqldialect.h"

#include "serverlogin.h"
#include "textcodec.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <cstdlib>

namespace {

// Lock names are server-wide and at most 64 characters: a digest of the key.
std::string serverLockName(const std::string& key) {
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(key), QCryptographicHash::Sha1).toHex();
    return "screport." + digest.toStdString();
}

constexpr int kSqliteHeaderSize = 100;

quint32 bigEndian32(const QByteArray& b, int at) {
    return quint32(uchar(b[at])) << 24 | quint32(uchar(b[at + 1])) << 16 | quint32(uchar(b[at + 2])) << 8 |
           quint32(uchar(b[at + 3]));
}

// A statement of the probe failed: a damaged file, one SQLite cannot read, or one that is
// merely busy.
SqlDialect::FileState probeFailed(const QSqlError& e, QString* why) {
    const int primary = e.nativeErrorCode().toInt() & 0xff;
    if (primary == 5 || primary == 6) return SqlDialect::FileState::InUse; // SQLITE_BUSY, SQLITE_LOCKED
    *why = SqlDialect::errorReason(e);
    // SQLITE_CORRUPT, SQLITE_NOTADB
    return primary == 11 || primary == 26 ? SqlDialect::FileState::Damaged
                                          : SqlDialect::FileState::CannotOpen;
}

} // namespace

bool SqlDialect::configure(QSqlDatabase& db, QString* why) const {
    if (m_backend != MySql) return true;
    ServerLogin::Resolved r;
    if (!ServerLogin::resolve(&r, why)) return false;
    db.setHostName(r.host);
    if (r.port > 0) db.setPort(r.port);
    db.setUserName(r.user);
    db.setPassword(r.password);
    QStringList opts;
    if (!r.socket.isEmpty()) opts << "UNIX_SOCKET=" + r.socket;
    // TLS as the option file asked for it.
    const std::pair<const char*, QString> tls[] = {{"SSL_KEY", r.sslKey},
                                                   {"SSL_CERT", r.sslCert},
                                                   {"SSL_CA", r.sslCa},
                                                   {"SSL_CAPATH", r.sslCapath},
                                                   {"SSL_CIPHER", r.sslCipher}};
    for (const auto& [name, value] : tls)
        if (!value.isEmpty()) opts << QString::fromLatin1(name) + "=" + value;
    opts << "MYSQL_OPT_CONNECT_TIMEOUT=10";
    db.setConnectOptions(opts.join(';'));
    if (why) *why = r.where();
    return true;
}

QString SqlDialect::errorReason(const QSqlError& e) {
    const QString engine = e.databaseText().trimmed();
    return engine.isEmpty() ? e.text().trimmed() : engine;
}

SqlDialect::FileState SqlDialect::checkFile(const QString& name, QString* why) const {
    if (m_backend == MySql) return FileState::Fine;
    const QFileInfo fi(name);
    if (!fi.exists()) {
        *why = QString::fromUtf8("文件不存在");
        return FileState::CannotOpen;
    }
    if (!fi.isFile()) {
        *why = QString::fromUtf8("不是文件");
        return FileState::CannotOpen;
    }
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) {
        *why = f.errorString();
        return FileState::CannotOpen;
    }
    const qint64 size = f.size();
    if (size == 0) {
        *why = QString::fromUtf8("空文件");
        return FileState::NoCaseTables;
    }
    const QByteArray h = f.read(kSqliteHeaderSize);
    if (h.size() < kSqliteHeaderSize || !h.startsWith(QByteArray("SQLite format 3\0", 16))) {
        *why = QString::fromUtf8("没有SQLite文件头");
        return FileState::Damaged;
    }
    quint32 pageSize = quint32(uchar(h[16])) << 8 | uchar(h[17]);
    if (pageSize == 1) pageSize = 65536;
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0) {
        *why = QString::fromUtf8("文件头的页大小无效: %1").arg(pageSize);
        return FileState::Damaged;
    }
    // The page count in the header holds when the change counter matches the one it was
    // written for. A crash in the middle of a write may leave the file short until the
    // journal or write-ahead log beside it is played back: then SQLite sorts it out.
    const quint32 pages = bigEndian32(h, 28);
    const bool countHolds = pages != 0 && bigEndian32(h, 24) == bigEndian32(h, 92);
    const bool pendingLog = QFileInfo::exists(name + "-journal") || QFileInfo::exists(name + "-wal");
    const qint64 expected = qint64(pages) * pageSize;
    if (countHolds && !pendingLog && size < expected) {
        *why = QString::fromUtf8("文件不完整: %1 字节, 应有 %2 字节").arg(size).arg(expected);
        return FileState::Damaged;
    }
    return FileState::Fine;
}

SqlDialect::FileState SqlDialect::probe(QSqlDatabase& db, QString* why) const {
    if (m_backend == MySql) return FileState::Fine;
    QSqlQuery q(db);
    if (!q.exec("SELECT name FROM sqlite_master WHERE type='table'")) return probeFailed(q.lastError(), why);
    bool hasCaseTable = false;
    while (q.next())
        if (q.value(0).toString().compare("SC_CASE", Qt::CaseInsensitive) == 0) hasCaseTable = true;
    if (q.lastError().isValid()) return probeFailed(q.lastError(), why);
    // The program reads short-circuit cases: a file without their table holds none.
    if (!hasCaseTable) {
        *why = QString::fromUtf8("没有SC_CASE表");
        return FileState::NoCaseTables;
    }
    // Every row, not count(*): that would be answered from an index alone. A case table
    // holds one row per case.
    if (!q.exec("SELECT * FROM SC_CASE")) return probeFailed(q.lastError(), why);
    while (q.next()) {
    }
    if (q.lastError().isValid()) return probeFailed(q.lastError(), why);
    return FileState::Fine;
}

void SqlDialect::afterOpen(QSqlDatabase& db) const {
    QSqlQuery q(db);
    if (m_backend == MySql) q.exec("SET NAMES utf8mb4 COLLATE utf8mb4_bin");
}

SqlDialect::Backend SqlDialect::backendFor(const std::string& arg) {
    const QString a = textcodec::fromLocal8(arg);
    if (a.endsWith(".db", Qt::CaseInsensitive) || a.endsWith(".sqlite", Qt::CaseInsensitive) ||
        a.endsWith(".sqlite3", Qt::CaseInsensitive) || a.contains('/') || a.contains('\\'))
        return Sqlite;
    QFileInfo fi(a);
    if (fi.exists() && fi.isFile()) return Sqlite;
    return MySql;
}

QString SqlDialect::driverName() const {
    return m_backend == MySql ? "QMYSQL" : "QSQLITE";
}

std::string SqlDialect::intType() const {
    return m_backend == MySql ? "INT" : "INTEGER";
}
std::string SqlDialect::realType() const {
    return m_backend == MySql ? "DOUBLE" : "REAL";
}
std::string SqlDialect::nameType() const {
    return m_backend == MySql ? "VARCHAR(255)" : "TEXT";
}
std::string SqlDialect::textType() const {
    return m_backend == MySql ? "MEDIUMTEXT" : "TEXT";
}
std::string SqlDialect::tableOptions() const {
    // Binary collation: names compare byte for byte, as the program compares them.
    return m_backend == MySql ? " ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin" : "";
}

std::string SqlDialect::quoteIdentifier(const std::string& name) const {
    return m_backend == MySql ? "`" + name + "`" : "\"" + name + "\"";
}

SqlStmt SqlDialect::deleteByCaseName(const std::string& table, const std::string& caseTab,
                                     const std::string& caseName, const std::string& extraCond,
                                     bool lowerAliasCase) const {
    SqlStmt s;
    if (m_backend == MySql) {
        s << (lowerAliasCase ? "delete a from " : "DELETE a FROM ") << table
          << (lowerAliasCase ? " a, " : " a,") << caseTab << " b where a."
          << (lowerAliasCase ? "Case_No" : "CASE_No") << "=b.Case_No and b.Case_Name=";
        s.str(caseName);
        s << extraCond;
    } else { // SQLite has no multi-table DELETE
        s << "DELETE FROM " << table << " WHERE Case_No IN (SELECT Case_No FROM " << caseTab
          << " WHERE Case_Name=";
        s.str(caseName);
        s << ")" << extraCond;
    }
    return s;
}

std::vector<SqlStmt> SqlDialect::beginExclusive(const std::string& lock) const {
    if (m_backend == Sqlite) return {SqlStmt("BEGIN IMMEDIATE")};
    SqlStmt get;
    get << "SELECT GET_LOCK(";
    get.str(serverLockName(lock));
    get << ",60)";
    return {get, SqlStmt("START TRANSACTION")};
}

std::vector<SqlStmt> SqlDialect::endExclusive(const std::string& lock, bool commit) const {
    std::vector<SqlStmt> out{SqlStmt(commit ? "COMMIT" : "ROLLBACK")};
    if (m_backend == MySql) {
        SqlStmt release;
        release << "SELECT RELEASE_LOCK(";
        release.str(serverLockName(lock));
        release << ")";
        out.push_back(release);
    }
    return out;
}

std::vector<SqlStmt> SqlDialect::beginRead(bool transactional, const std::vector<std::string>& locks,
                                           int waitSeconds) const {
    // SQLite: the first read of a deferred transaction fixes what the others see.
    if (m_backend == Sqlite) return {SqlStmt("BEGIN"), SqlStmt("SELECT count(*) FROM sqlite_master")};
    if (transactional)
        return {SqlStmt("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ"),
                SqlStmt("START TRANSACTION WITH CONSISTENT SNAPSHOT, READ ONLY")};
    SqlStmt wait("SET SESSION lock_wait_timeout=");
    wait.number(waitSeconds);
    SqlStmt lock("LOCK TABLES ");
    for (size_t i = 0; i < locks.size(); ++i)
        lock << (i ? "," : "") << locks[i] << " READ";
    return {wait, lock};
}

std::vector<SqlStmt> SqlDialect::endRead(bool transactional) const {
    if (m_backend == Sqlite || transactional) return {SqlStmt("COMMIT")};
    return {SqlStmt("UNLOCK TABLES")};
}

bool SqlDialect::isConnectionLost(const QSqlError& e) const {
    const QString code = e.nativeErrorCode();
    if (m_backend == MySql) {
        // Cannot connect (2002, 2003), gone away (2006), lost during a query (2013), lost
        // while reading the reply (2055).
        if (e.type() == QSqlError::ConnectionError) return true;
        for (const char* c : {"2002", "2003", "2006", "2013", "2055"})
            if (code == QLatin1String(c)) return true;
        return false;
    }
    // SQLite's driver calls every failed step a connection error, a busy file included:
    // only the primary codes count. I/O error, corrupt file, cannot open, not a database.
    const int primary = code.toInt() & 0xff;
    return primary == 10 || primary == 11 || primary == 14 || primary == 26;
}

bool SqlDialect::isLockConflict(const QSqlError& e) const {
    const QString code = e.nativeErrorCode();
    if (m_backend == MySql) return code == QLatin1String("1213") || code == QLatin1String("1205");
    const int primary = code.toInt() & 0xff;
    return primary == 5 || primary == 6; // SQLITE_BUSY, SQLITE_LOCKED
}
