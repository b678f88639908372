#include "dbquery.h"

#include "cdbutility.h"
#include "log.h"
#include "textcodec.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlRecord>
#include <algorithm>
#include <cmath>

namespace dbq {

namespace {
DbConnection opened() {
    return CDBUtility::lastOpened();
}
} // namespace

Query::Query() : m_db(opened()) {}

Query::Query(DbConnection db) : m_db(std::move(db)) {}

bool Query::exec(const SqlStmt& s) {
    m_rows = m_db.select(s);
    return m_rows != nullptr;
}

int Query::indexOf(const char* name) const {
    if (!m_rows) return -1;
    const QString want = QString::fromLatin1(name);
    for (int i = 0; i < m_rows->columns(); ++i)
        if (QString::fromStdString(m_rows->columnName(i)).compare(want, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

QVariant Query::value(const char* name) {
    const int i = indexOf(name);
    return i < 0 ? QVariant() : value(i);
}

bool run(const SqlStmt& s) {
    Query q;
    return q.exec(s);
}

namespace {

std::vector<std::string> g_missingTables;

bool g_connectionLost = false;
bool g_lockConflict = false; // in the current exclusive transaction
bool g_lockRefused = false;  // anywhere since the last clear
int g_exclusiveDepth = 0;
StatementHook g_hook;

// Runs the statements up to the first that fails; a select must answer 1 (a named lock
// not granted in time answers 0). `bestEffort` runs them all quietly, for a roll back
// that may find nothing to undo but must still let the lock go.
bool runAll(const std::vector<SqlStmt>& list, bool bestEffort = false) {
    bool ok = true;
    for (const SqlStmt& s : list) {
        Query q;
        const bool ran = q.exec(s);
        if (ran && (!q.isSelect() || (q.next() && toInt(q.value(0)) == 1))) continue;
        if (!bestEffort) screport::logError(s.text()); // failed, or a lock not granted
        ok = false;
        if (!bestEffort) break;
    }
    return ok;
}

} // namespace

void noteFailure(const QSqlError& e) {
    const SqlDialect d = opened().dialect();
    if (d.isConnectionLost(e)) g_connectionLost = true;
    if (d.isLockConflict(e)) {
        g_lockConflict = true;
        if (g_exclusiveDepth == 0) g_lockRefused = true; // a save runs again instead
    }
}

void announce(const SqlStmt& s) {
    if (g_hook) g_hook(s);
}

bool connectionLost() {
    return g_connectionLost;
}
void clearConnectionLost() {
    g_connectionLost = false;
    g_missingTables.clear();
}
void noteMissingTables(const std::vector<std::string>& names) {
    for (const std::string& n : names)
        if (std::find(g_missingTables.begin(), g_missingTables.end(), n) == g_missingTables.end())
            g_missingTables.push_back(n);
}
const std::vector<std::string>& missingTables() {
    return g_missingTables;
}

std::string failureText(const DbConnection& db, bool outputRun) {
    using textcodec::gb;
    std::string name = textcodec::toLocal8(db.name());
    const std::string notWritten = outputRun ? gb("，报表没有输出:") : ":";
    if (g_connectionLost) {
        if (!db.session().server().empty()) name += " (" + db.session().server() + ")";
        return gb("与数据库的连接已中断") + notWritten + name;
    }
    if (g_lockRefused) return gb("数据库被其他程序占用") + notWritten + name;
    if (g_missingTables.empty()) return std::string();
    std::string names;
    for (const std::string& t : g_missingTables)
        names += (names.empty() ? "" : ",") + t;
    return gb(outputRun ? "数据库缺少报表需要的表:" : "数据库中没有表:") + names;
}
bool lockRefused() {
    return g_lockRefused;
}
void clearLockRefused() {
    g_lockRefused = false;
}
void setStatementHook(StatementHook hook) {
    g_hook = std::move(hook);
}

bool exclusiveTransaction(const std::string& lockKey, const std::function<bool()>& body) {
    const SqlDialect d = opened().dialect();
    constexpr int kAttempts = 5;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        g_lockConflict = false;
        // A statement refused for a deadlock took the whole transaction with it, even when
        // the body chose to go on past it.
        bool ok;
        {
            struct Depth {
                Depth() { ++g_exclusiveDepth; }
                ~Depth() { --g_exclusiveDepth; }
            } inside;
            ok = runAll(d.beginExclusive(lockKey)) && body() && !g_lockConflict;
            // A failed commit leaves the transaction open: roll it back before the lock goes.
            if (ok) ok = runAll(d.endExclusive(lockKey, true));
            if (!ok) runAll(d.endExclusive(lockKey, false), true);
        }
        if (ok) return true;
        if (!g_lockConflict || g_connectionLost) return false;
        screport::logDebug("another program held the case; saving again");
    }
    return false;
}

std::string text8(const QVariant& v) {
    if (v.isNull() || !v.isValid()) return std::string();
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return numberText8(v.toDouble());
    case QMetaType::QByteArray: {
        // Raw bytes from a column of an unknown character set: assume UTF-8.
        return textcodec::toLocal8(QString::fromUtf8(v.toByteArray()));
    }
    default:
        return textcodec::toLocal8(v.toString());
    }
}

std::string numberText8(double d) {
    if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15)
        return std::to_string(static_cast<long long>(d));
    return textcodec::toLocal8(QString::number(d, 'g', 15));
}

double toDouble(const QVariant& v) {
    if (v.isNull() || !v.isValid()) return 0.0;
    bool ok = false;
    double d = v.toDouble(&ok);
    if (ok) return d;
    d = v.toString().trimmed().toDouble(&ok);
    return ok ? d : 0.0;
}

int toInt(const QVariant& v) {
    double d = toDouble(v);
    if (!std::isfinite(d) || d > 2147483647.0 || d < -2147483648.0) return 0;
    return static_cast<int>(std::llround(std::trunc(d)));
}

bool toBool(const QVariant& v) {
    return toInt(v) != 0;
}

std::string firstText(const SqlStmt& s, const std::string& fallback) {
    Query q;
    if (q.exec(s) && q.next()) return q.text8(0);
    return fallback;
}

QSqlRecord recordOf(const std::string& table) {
    return opened().record(table);
}

bool hasColumn(const std::string& table, const std::string& column) {
    QSqlRecord r = recordOf(table);
    QString c = QString::fromStdString(column);
    for (int i = 0; i < r.count(); ++i)
        if (r.fieldName(i).compare(c, Qt::CaseInsensitive) == 0) return true;
    return false;
}

} // namespace dbq
