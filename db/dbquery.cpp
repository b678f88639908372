#include "dbquery.h"

#include "cdbutility.h"
#include "log.h"
#include "textcodec.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlRecord>
#include <cmath>

namespace dbq {

QSqlQuery newQuery() {
    return CDBUtility::connection().query();
}

namespace {

bool g_connectionLost = false;
bool g_lockConflict = false; // in the current exclusive transaction
bool g_lockRefused = false;  // anywhere since the last clear
int g_exclusiveDepth = 0;
StatementHook g_hook;

bool failed(const QSqlQuery& q) {
    dbq::noteFailure(q.lastError());
    return false;
}

// Runs the statements up to the first that fails; a select must answer 1 (a named lock
// not granted in time answers 0). `bestEffort` runs them all quietly, for a roll back
// that may find nothing to undo but must still let the lock go.
bool runAll(const std::vector<SqlStmt>& list, bool bestEffort = false) {
    bool ok = true;
    for (const SqlStmt& s : list) {
        QSqlQuery q = newQuery();
        const bool ran = exec(q, s);
        if (ran && (!q.isSelect() || (q.next() && q.value(0).toInt() == 1))) continue;
        if (!bestEffort) screport::logError(s.text()); // failed, or a lock not granted
        ok = false;
        if (!bestEffort) break;
    }
    return ok;
}

} // namespace

void noteFailure(const QSqlError& e) {
    if (CDBUtility::dialect().isConnectionLost(e)) g_connectionLost = true;
    if (CDBUtility::dialect().isLockConflict(e)) {
        g_lockConflict = true;
        if (g_exclusiveDepth == 0) g_lockRefused = true; // a save runs again instead
    }
}

void announce(const SqlStmt& s) {
    if (g_hook) g_hook(s);
}

bool connectionLost() { return g_connectionLost; }
void clearConnectionLost() { g_connectionLost = false; }
bool lockRefused() { return g_lockRefused; }
void clearLockRefused() { g_lockRefused = false; }
void setStatementHook(StatementHook hook) { g_hook = std::move(hook); }

bool exec(QSqlQuery& q, const SqlStmt& s) {
    if (!CDBUtility::m_pDatabase || !CDBUtility::m_pDatabase->isOpen()) return false;
    announce(s);
    q.setForwardOnly(true);
    if (s.values().isEmpty()) return q.exec(s.sql()) || failed(q);
    if (!q.prepare(s.sql())) return failed(q);
    for (const QVariant& v : s.values()) q.addBindValue(v);
    return q.exec() || failed(q);
}

bool exclusiveTransaction(const std::string& lockKey, const std::function<bool()>& body) {
    const SqlDialect& d = CDBUtility::dialect();
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

bool execIgnore(const SqlStmt& s) {
    QSqlQuery q = newQuery();
    return exec(q, s);
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

bool toBool(const QVariant& v) { return toInt(v) != 0; }

std::string firstText(const SqlStmt& s, const std::string& fallback) {
    QSqlQuery q = newQuery();
    if (exec(q, s) && q.next()) return text8(q.value(0));
    return fallback;
}

QSqlRecord recordOf(const std::string& table) {
    return CDBUtility::connection().record(table);
}

bool hasColumn(const std::string& table, const std::string& column) {
    QSqlRecord r = recordOf(table);
    QString c = QString::fromStdString(column);
    for (int i = 0; i < r.count(); ++i)
        if (r.fieldName(i).compare(c, Qt::CaseInsensitive) == 0) return true;
    return false;
}


} // namespace dbq
