#include "resultrows.h"

#include "connection.h"
#include "dbquery.h"
#include "dbsession.h"
#include "textcodec.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <mysql.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

namespace dp = dataproblems;

namespace {

std::atomic<long long> g_values{0}; // rows are also read on other threads

// The GB18030 text of a column's stored bytes. Names come row after row unchanged: each
// is converted once.
struct StoredText {
    bool valid = false;
    bool wasRaw = false;
    std::string raw, text8;

    const std::string& of(const DbSession& db, const char* p, size_t n, bool rawColumn = false) {
        if (!valid || wasRaw != rawColumn || raw.size() != n || (n && std::memcmp(raw.data(), p, n) != 0)) {
            raw.assign(p ? p : "", n);
            db.decode(raw.data(), n, rawColumn, text8);
            valid = true;
            wasRaw = rawColumn;
        }
        return text8;
    }
    // A value that is no text (NULL, a number).
    const std::string& set(std::string t) {
        valid = false;
        text8 = std::move(t);
        return text8;
    }
};

// ---------------------------------------------------------------------------------------
// Through the Qt driver.

class QtRows : public ResultRows {
  public:
    QtRows(QSqlQuery q, const DbSession& db) : m_q(std::move(q)), m_db(db) {}

    bool next() override {
        if (!m_q.next()) return false;
        count(m_q.record().count());
        return true;
    }
    bool isNull(int col) const override { return m_q.isNull(col); }
    bool binaryProtocol() const override { return false; }
    int columns() const override { return m_q.record().count(); }
    std::string columnName(int col) const override { return m_q.record().fieldName(col).toStdString(); }
    QVariant value(int col) override {
        const QVariant v = m_q.value(col);
        if (v.isNull() || !v.isValid()) return QVariant();
        if (v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray)
            return textcodec::fromLocal8(text8(col));
        return v;
    }
    dp::Checked number(int col, dp::Domain d) const override { return dp::readNumber(m_q.value(col), d); }
    std::string storedText(int col) const override { return dp::storedText(m_q.value(col)); }
    const std::string& text8(int col) override {
        if (size_t(col) >= m_cache.size()) m_cache.resize(size_t(col) + 1);
        Cached& c = m_cache[size_t(col)];
        const QVariant v = m_q.value(col);
        // Names come row after row unchanged: convert each once.
        if (v.typeId() == QMetaType::QString && c.valid && v.toString() == c.raw) return c.text8;
        c.valid = v.typeId() == QMetaType::QString;
        c.raw = c.valid ? v.toString() : QString();
        if (v.typeId() == QMetaType::QByteArray) { // the driver's bytes: the stored text
            const QByteArray b = v.toByteArray();
            c.text8 = m_db.decode(b.constData(), size_t(b.size()));
        } else {
            c.text8 = dbq::text8(v);
        }
        return c.text8;
    }

  private:
    struct Cached {
        bool valid = false;
        QString raw;
        std::string text8;
    };
    QSqlQuery m_q;
    const DbSession& m_db;
    std::vector<Cached> m_cache;
};

// ---------------------------------------------------------------------------------------
// Through the client library's prepared statements: numbers arrive as doubles in bound
// buffers, texts as the connection's bytes.

bool numericColumn(enum_field_types t) {
    switch (t) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
    case MYSQL_TYPE_YEAR:
        return true;
    default:
        return false;
    }
}

constexpr unsigned long kTextBuffer = 256; // grows for a longer value
constexpr unsigned kNotPreparable = 1295;  // ER_UNSUPPORTED_PS
constexpr unsigned kBinaryCharset = 63;

class MySqlRows : public ResultRows {
  public:
    MySqlRows(MYSQL* m, const DbSession& db) : m_mysql(m), m_db(db) {}
    ~MySqlRows() override {
        // Unread rows of a streamed result are skipped by the library.
        if (m_stmt) {
            mysql_stmt_free_result(m_stmt);
            mysql_stmt_close(m_stmt);
        }
    }

    bool run(const QByteArray& sql, const QVariantList& values) {
        m_stmt = mysql_stmt_init(m_mysql);
        if (!m_stmt) return false;
        if (mysql_stmt_prepare(m_stmt, sql.constData(), sql.size())) {
            // Session statements (LOCK TABLES, ...) the server does not prepare.
            if (mysql_stmt_errno(m_stmt) == kNotPreparable && values.isEmpty()) return runPlain(sql);
            return failed();
        }
        // Bound values stay bound: text, integers and doubles as what they are.
        std::vector<MYSQL_BIND> params(size_t(values.size()));
        std::vector<std::string> texts(size_t(values.size()));
        std::vector<long long> ints(size_t(values.size()));
        std::vector<double> reals(size_t(values.size()));
        for (size_t i = 0; i < params.size(); ++i) {
            const QVariant& v = values[int(i)];
            MYSQL_BIND& b = params[i];
            b = MYSQL_BIND{};
            if (v.isNull()) {
                b.buffer_type = MYSQL_TYPE_NULL;
            } else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong) {
                ints[i] = v.toLongLong();
                b.buffer_type = MYSQL_TYPE_LONGLONG;
                b.buffer = &ints[i];
            } else if (v.typeId() == QMetaType::Double) {
                reals[i] = v.toDouble();
                b.buffer_type = MYSQL_TYPE_DOUBLE;
                b.buffer = &reals[i];
            } else {
                texts[i] = m_db.encode(v.toByteArray().toStdString());
                b.buffer_type = m_db.bindsBinary() ? MYSQL_TYPE_BLOB : MYSQL_TYPE_STRING;
                b.buffer = texts[i].data();
                b.buffer_length = (unsigned long)texts[i].size();
            }
        }
        if (!params.empty() && mysql_stmt_bind_param(m_stmt, params.data())) return failed();
        if (mysql_stmt_execute(m_stmt)) return failed();

        MYSQL_RES* meta = mysql_stmt_result_metadata(m_stmt);
        if (!meta) {
            m_done = true; // a statement without rows
            return mysql_stmt_errno(m_stmt) == 0 || failed();
        }
        const unsigned n = mysql_num_fields(meta);
        m_cols.resize(n);
        m_binds.assign(n, MYSQL_BIND{});
        const MYSQL_FIELD* fields = mysql_fetch_fields(meta);
        for (unsigned i = 0; i < n; ++i) {
            Column& c = m_cols[i];
            c.name = fields[i].name ? fields[i].name : "";
            c.numeric = numericColumn(fields[i].type);
            c.raw = fields[i].charsetnr == kBinaryCharset;
            if (!c.numeric) c.bytes.resize(kTextBuffer);
        }
        mysql_free_result(meta);
        bindColumns();
        return mysql_stmt_bind_result(m_stmt, m_binds.data()) == 0 || failed();
    }

    bool next() override {
        if (m_done) return false;
        for (Column& c : m_cols)
            c.error = 0;
        const int rc = mysql_stmt_fetch(m_stmt);
        if (rc == MYSQL_NO_DATA || rc == 1) {
            m_done = true;
            if (rc == 1) failed();
            return false;
        }
        if (rc == MYSQL_DATA_TRUNCATED) {
            // A text longer than its buffer: fetch it whole, and keep the larger buffer.
            bool grown = false;
            for (unsigned i = 0; i < m_cols.size(); ++i) {
                Column& c = m_cols[i];
                if (c.numeric || c.isNull || c.length <= c.bytes.size()) continue;
                c.bytes.resize(c.length);
                MYSQL_BIND b{};
                b.buffer_type = MYSQL_TYPE_STRING;
                b.buffer = c.bytes.data();
                b.buffer_length = (unsigned long)c.bytes.size();
                b.length = &c.length;
                b.error = &c.error;
                if (mysql_stmt_fetch_column(m_stmt, &b, i, 0)) c.error = 1;
                grown = true;
            }
            if (grown) {
                bindColumns();
                mysql_stmt_bind_result(m_stmt, m_binds.data());
            }
        }
        count((long long)m_cols.size());
        return true;
    }

    bool isNull(int col) const override { return m_cols[size_t(col)].isNull; }
    bool binaryProtocol() const override { return true; }
    int columns() const override { return int(m_cols.size()); }
    std::string columnName(int col) const override { return m_cols[size_t(col)].name; }
    QVariant value(int col) override {
        const Column& c = m_cols[size_t(col)];
        if (c.isNull) return QVariant();
        if (c.numeric) return c.error ? QVariant(QStringLiteral("?")) : QVariant(c.value);
        return textcodec::fromLocal8(text8(col));
    }

    dp::Checked number(int col, dp::Domain d) const override {
        const Column& c = m_cols[size_t(col)];
        if (c.isNull) return dp::nullValue();
        if (!c.numeric) return dp::readNumberText(text(c), d);
        if (c.error) { // a number the library could not turn into a double
            dp::Checked bad;
            bad.kind = dp::Kind::NotNumber;
            return bad;
        }
        return dp::readNumber(c.value, d);
    }

    std::string storedText(int col) const override {
        const Column& c = m_cols[size_t(col)];
        if (c.isNull) return std::string();
        return c.numeric ? dp::storedText(c.value) : dp::storedText(text(c));
    }

    std::string_view textBytes(int col) const override {
        const Column& c = m_cols[size_t(col)];
        if (c.isNull || c.numeric) return {};
        return std::string_view(c.bytes.data(), std::min<size_t>(c.length, c.bytes.size()));
    }

    const std::string& text8(int col) override {
        Column& c = m_cols[size_t(col)];
        if (c.isNull) return c.text.set(std::string());
        if (c.numeric) return c.text.set(dbq::numberText8(c.value));
        return c.text.of(m_db, c.bytes.data(), std::min<size_t>(c.length, c.bytes.size()), c.raw);
    }

  private:
    struct Column {
        std::string name;
        bool numeric = false;
        bool raw = false; // a binary column: its bytes as stored
        double value = 0;
        std::vector<char> bytes;
        unsigned long length = 0;
        my_bool isNull = 0;
        my_bool error = 0;
        StoredText text;
    };

    QString text(const Column& c) const {
        return textcodec::fromLocal8(
            m_db.decode(c.bytes.data(), std::min<size_t>(c.length, c.bytes.size()), c.raw));
    }

    // A statement through the text protocol; its rows, if any, are dropped.
    bool runPlain(const QByteArray& sql) {
        mysql_stmt_close(m_stmt);
        m_stmt = nullptr;
        m_done = true;
        if (mysql_real_query(m_mysql, sql.constData(), (unsigned long)sql.size())) return failed();
        do {
            if (MYSQL_RES* r = mysql_store_result(m_mysql)) mysql_free_result(r);
        } while (mysql_next_result(m_mysql) == 0);
        return mysql_errno(m_mysql) == 0 || failed();
    }

    void bindColumns() {
        for (size_t i = 0; i < m_cols.size(); ++i) {
            Column& c = m_cols[i];
            MYSQL_BIND& b = m_binds[i];
            b = MYSQL_BIND{};
            b.is_null = &c.isNull;
            b.length = &c.length;
            b.error = &c.error;
            if (c.numeric) {
                b.buffer_type = MYSQL_TYPE_DOUBLE;
                b.buffer = &c.value;
            } else {
                b.buffer_type = MYSQL_TYPE_STRING;
                b.buffer = c.bytes.data();
                b.buffer_length = (unsigned long)c.bytes.size();
            }
        }
    }

    bool failed() {
        const unsigned code = m_stmt ? mysql_stmt_errno(m_stmt) : mysql_errno(m_mysql);
        const char* why = m_stmt ? mysql_stmt_error(m_stmt) : mysql_error(m_mysql);
        fail(QSqlError(QString(), QString::fromUtf8(why), QSqlError::StatementError, QString::number(code)));
        return false;
    }

    MYSQL* m_mysql;
    const DbSession& m_db;
    MYSQL_STMT* m_stmt = nullptr;
    std::vector<Column> m_cols;
    std::vector<MYSQL_BIND> m_binds;
    bool m_done = false;
};

// The client library's handle of the open connection, when it is a MySQL/MariaDB one
// with nothing of an earlier statement still to be read.
MYSQL* idleMySqlHandle(QSqlDatabase& db) {
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    // Qt 6 names the type after the struct behind the typedef.
    if (!h.isValid() || (qstrcmp(h.typeName(), "MYSQL*") != 0 && qstrcmp(h.typeName(), "st_mysql*") != 0))
        return nullptr;
    MYSQL* m = *static_cast<MYSQL* const*>(h.constData());
    if (!m || m->status != MYSQL_STATUS_READY || mysql_more_results(m)) return nullptr;
    return m;
}

// ---------------------------------------------------------------------------------------
// Through SQLite's own interface: each value as the engine stores it, no QVariant.

class SqliteRows : public ResultRows {
  public:
    SqliteRows(sqlite3* h, const DbSession& db) : m_h(h), m_db(db) {}
    ~SqliteRows() override { sqlite3_finalize(m_stmt); }

    bool run(const QByteArray& sql, const QVariantList& values) {
        int rc = sqlite3_prepare_v2(m_h, sql.constData(), int(sql.size()), &m_stmt, nullptr);
        if (rc != SQLITE_OK) return failed(rc);
        for (int i = 0; i < values.size(); ++i) {
            const QVariant& v = values[i];
            if (v.isNull())
                rc = sqlite3_bind_null(m_stmt, i + 1);
            else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong)
                rc = sqlite3_bind_int64(m_stmt, i + 1, v.toLongLong());
            else if (v.typeId() == QMetaType::Double)
                rc = sqlite3_bind_double(m_stmt, i + 1, v.toDouble());
            else {
                // Text as the file holds it: a GB18030 file gets its bytes back unchanged.
                const std::string t = m_db.encode(v.toByteArray().toStdString());
                rc = sqlite3_bind_text(m_stmt, i + 1, t.data(), int(t.size()), SQLITE_TRANSIENT);
            }
            if (rc != SQLITE_OK) return failed(rc);
        }
        m_cols = sqlite3_column_count(m_stmt);
        m_cache.assign(size_t(m_cols), StoredText());
        // A statement without rows runs now.
        if (m_cols == 0) return !next() && !m_failed;
        return true;
    }

    bool next() override {
        if (m_done) return false;
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW) {
            count(m_cols);
            return true;
        }
        m_done = true;
        if (rc != SQLITE_DONE) failed(rc);
        return false;
    }
    bool isNull(int col) const override { return type(col) == SQLITE_NULL; }
    bool binaryProtocol() const override { return true; }
    int columns() const override { return m_cols; }
    std::string columnName(int col) const override {
        const char* n = sqlite3_column_name(m_stmt, col);
        return n ? n : "";
    }
    QVariant value(int col) override {
        switch (type(col)) {
        case SQLITE_NULL:
            return QVariant();
        case SQLITE_INTEGER:
            return QVariant(qlonglong(sqlite3_column_int64(m_stmt, col)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(m_stmt, col));
        default:
            return textcodec::fromLocal8(text8(col));
        }
    }
    dp::Checked number(int col, dp::Domain d) const override {
        // One look at the value instead of one per question: the connection is used by
        // one thread at a time, so its unprotected value may be read directly.
        sqlite3_value* v = sqlite3_column_value(m_stmt, col);
        switch (sqlite3_value_type(v)) {
        case SQLITE_NULL:
            return dp::Checked{};
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            return dp::readNumber(sqlite3_value_double(v), d);
        default:
            return dp::readNumberText(text(col), d);
        }
    }
    std::string storedText(int col) const override {
        switch (type(col)) {
        case SQLITE_NULL:
            return std::string();
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            return dp::storedText(sqlite3_column_double(m_stmt, col));
        default:
            return dp::storedText(text(col));
        }
    }
    const std::string& text8(int col) override {
        StoredText& c = m_cache[size_t(col)];
        switch (type(col)) {
        case SQLITE_NULL:
            return c.set(std::string());
        case SQLITE_INTEGER:
            return c.set(std::to_string(sqlite3_column_int64(m_stmt, col)));
        case SQLITE_FLOAT:
            return c.set(dbq::numberText8(sqlite3_column_double(m_stmt, col)));
        case SQLITE_BLOB:
            return c.of(m_db, static_cast<const char*>(sqlite3_column_blob(m_stmt, col)),
                        size_t(sqlite3_column_bytes(m_stmt, col)), true);
        default:
            return c.of(m_db, reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, col)),
                        size_t(sqlite3_column_bytes(m_stmt, col)));
        }
    }

    std::string_view textBytes(int col) const override {
        if (type(col) != SQLITE_TEXT) return {};
        const char* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, col));
        return p ? std::string_view(p, size_t(sqlite3_column_bytes(m_stmt, col))) : std::string_view();
    }

  private:
    int type(int col) const { return sqlite3_column_type(m_stmt, col); }
    QString text(int col) const {
        const char* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, col));
        return textcodec::fromLocal8(m_db.decode(p ? p : "", size_t(sqlite3_column_bytes(m_stmt, col))));
    }
    // A busy file or a damaged page is noted as the Qt path notes it.
    bool failed(int rc) {
        m_failed = true;
        fail(QSqlError(QString(), QString::fromUtf8(sqlite3_errmsg(m_h)), QSqlError::StatementError,
                       QString::number(rc)));
        return false;
    }

    sqlite3* m_h;
    const DbSession& m_db;
    sqlite3_stmt* m_stmt = nullptr;
    int m_cols = 0;
    bool m_done = false;
    bool m_failed = false;
    std::vector<StoredText> m_cache;
};

sqlite3* sqliteHandle(QSqlDatabase& db) {
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3*") != 0) return nullptr;
    return *static_cast<sqlite3* const*>(h.constData());
}

} // namespace

ResultRows::~ResultRows() {
    g_values.fetch_add(m_values, std::memory_order_relaxed);
}

std::unique_ptr<ResultRows> ResultRows::select(const DbConnection& conn, const SqlStmt& s) {
    if (!conn.isOpen()) return nullptr;
    QSqlDatabase db = conn.database();
    const DbSession& session = conn.session();
    dbq::announce(s);
    const QString sql = session.resolve(s.sql());
    if (MYSQL* m = idleMySqlHandle(db)) {
        auto rows = std::make_unique<MySqlRows>(m, session);
        if (!rows->run(sql.toUtf8(), s.values())) {
            dbq::noteMissingTables(session.missingTables(s.sql()));
            return nullptr;
        }
        return rows;
    }
    if (sqlite3* h = sqliteHandle(db)) {
        auto rows = std::make_unique<SqliteRows>(h, session);
        if (!rows->run(sql.toUtf8(), s.values())) {
            dbq::noteMissingTables(session.missingTables(s.sql()));
            return nullptr;
        }
        return rows;
    }
    // Another driver, or a server connection with rows still to be read.
    QSqlQuery q(db);
    q.setForwardOnly(true);
    bool ran;
    if (s.values().isEmpty()) {
        ran = q.exec(sql);
    } else {
        ran = q.prepare(sql);
        for (const QVariant& v : s.values())
            q.addBindValue(v.typeId() == QMetaType::QByteArray
                               ? QVariant(QString::fromUtf8(QByteArray::fromStdString(
                                     textcodec::toUtf8(v.toByteArray().toStdString()))))
                               : v);
        ran = ran && q.exec();
    }
    if (!ran) {
        dbq::noteFailure(q.lastError());
        dbq::noteMissingTables(session.missingTables(s.sql()));
        return nullptr;
    }
    return std::make_unique<QtRows>(std::move(q), session);
}

bool ResultRows::inTransaction(const DbConnection& conn) {
    QSqlDatabase db = conn.database();
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    if (sqlite3* s = sqliteHandle(db)) return sqlite3_get_autocommit(s) == 0;
    if (h.isValid() && (qstrcmp(h.typeName(), "MYSQL*") == 0 || qstrcmp(h.typeName(), "st_mysql*") == 0)) {
        MYSQL* m = *static_cast<MYSQL* const*>(h.constData());
        return m && (m->server_status & SERVER_STATUS_IN_TRANS);
    }
    return false;
}

void ResultRows::fail(const QSqlError& e) {
    dbq::noteFailure(e);
}

int ResultRows::toInt(int col) const {
    const dp::Checked c = number(col, dp::Domain::Finite);
    if (!c.ok || c.value > 2147483647.0 || c.value < -2147483648.0) return 0;
    return static_cast<int>(std::trunc(c.value));
}

long long ResultRows::valuesRead() {
    return g_values;
}
