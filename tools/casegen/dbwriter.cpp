#include "dbwriter.h"

#include "db/schema.h"
#include "db/textcodec.h"
#include "sc/reportkinds.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QUuid>

namespace casegen {
namespace {

// Values per statement. The SQLite driver looks each parameter's name up by a linear
// scan, so long statements cost quadratic time there; MariaDB takes up to 65535.
constexpr int kMaxBoundSqlite = 600;
constexpr int kMaxBoundServer = 8000;
constexpr int kMaxChunkRows = 1000;

// Tables whose rows make a database "in use": such a database is never filled again.
const char* const kContentTables[] = {"SC_CASE",     "LF_CASE",  "CDB_NODE",
                                      "CDB_NODEBAK", "SCR_B120", "SCR_R120"};

} // namespace

DbWriter::~DbWriter() {
    if (m_db.isValid()) {
        if (m_db.isOpen()) m_db.rollback(); // a no-op after a commit
        m_db.close();
    }
    m_db = QSqlDatabase();
    if (!m_conn.isEmpty()) QSqlDatabase::removeDatabase(m_conn);
}

bool DbWriter::prepareTarget(const std::string& dbArg, bool force, bool* created, std::string* err) {
    const QString name = QString::fromLocal8Bit(dbArg.c_str());
    bool exists = false;
    if (m_dialect.isFileDatabase()) {
        exists = QFileInfo::exists(name);
        if (exists && force) {
            if (!QFile::remove(name)) {
                *err = "cannot remove " + dbArg;
                return false;
            }
            exists = false;
        }
    } else {
        if (!isPlainIdentifier(dbArg)) {
            *err = "database names are letters, digits and _: " + dbArg;
            return false;
        }
        const QString conn = "casegen-server-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
        bool ok = false;
        {
            QSqlDatabase s = QSqlDatabase::addDatabase(m_dialect.driverName(), conn);
            m_dialect.configure(s);
            if (s.open()) {
                QSqlQuery q(s);
                q.prepare("SELECT SCHEMA_NAME FROM information_schema.SCHEMATA WHERE SCHEMA_NAME=?");
                q.addBindValue(name);
                ok = q.exec();
                exists = ok && q.next();
                if (ok && exists && force) {
                    ok = q.exec("DROP DATABASE " + name); // a plain identifier, checked above
                    exists = !ok;
                }
                if (!ok) *err = q.lastError().text().toStdString();
            } else {
                *err = "cannot reach the database server: " + s.lastError().text().toStdString();
            }
            s.close();
        }
        QSqlDatabase::removeDatabase(conn);
        if (!ok) return false;
    }
    *created = !exists;
    if (exists) return true;
    QString qerr;
    if (!schema::createCaseDatabase(dbArg, reportkinds::caseTables(), &qerr)) {
        *err = qerr.toStdString();
        return false;
    }
    return true;
}

bool DbWriter::open(const std::string& dbArg, bool force, std::string* err) {
    m_dialect = SqlDialect(SqlDialect::backendFor(dbArg));
    bool created = false;
    if (!prepareTarget(dbArg, force, &created, err)) return false;

    m_conn = "casegen-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_db = QSqlDatabase::addDatabase(m_dialect.driverName(), m_conn);
    m_dialect.configure(m_db);
    m_db.setDatabaseName(QString::fromLocal8Bit(dbArg.c_str()));
    if (!m_db.open()) {
        *err = "cannot open " + dbArg + ": " + m_db.lastError().text().toStdString();
        return false;
    }
    m_dialect.afterOpen(m_db);
    QSqlQuery q(m_db);
    if (!created) {
        for (const char* t : kContentTables) {
            if (!q.exec(QString("SELECT COUNT(*) FROM ") + t)) {
                *err = dbArg + " exists and is not a case database (no table " + t + "); --force replaces it";
                return false;
            }
            if (q.next() && q.value(0).toLongLong() > 0) {
                *err = dbArg + " already holds data (table " + t + "); --force replaces it";
                return false;
            }
        }
    }
    // A generated database is made again rather than recovered after a crash.
    if (m_dialect.isFileDatabase()) q.exec("PRAGMA synchronous=OFF");
    if (!m_db.transaction()) {
        *err = "cannot start a transaction: " + m_db.lastError().text().toStdString();
        return false;
    }
    return true;
}

bool DbWriter::commit(std::string* err) {
    if (failed()) {
        m_db.rollback();
        *err = m_err;
        return false;
    }
    if (!m_db.commit()) {
        *err = "commit failed: " + m_db.lastError().text().toStdString();
        return false;
    }
    return true;
}

void DbWriter::fail(const std::string& what) {
    if (m_err.empty()) m_err = what;
}

Inserter::Inserter(DbWriter& w, const std::string& table, const std::vector<const char*>& columns)
    : m_w(w), m_table(table), m_cols(static_cast<int>(columns.size())) {
    QString cols;
    for (const char* c : columns)
        cols += (cols.isEmpty() ? "" : ",") + QString::fromStdString(w.dialect().quoteIdentifier(c));
    m_head = "INSERT INTO " + QString::fromStdString(table) + " (" + cols + ") VALUES ";
    const int maxBound = w.dialect().isFileDatabase() ? kMaxBoundSqlite : kMaxBoundServer;
    m_chunk = std::max(1, std::min(kMaxChunkRows, maxBound / m_cols));
    m_values.reserve(static_cast<size_t>(m_chunk) * m_cols);
}

Inserter::~Inserter() {
    flush();
}

QString Inserter::statement(int rows) const {
    QString row = "(" + QString("?,").repeated(m_cols - 1) + "?)";
    QString s = m_head;
    s.reserve(s.size() + rows * (row.size() + 1));
    for (int r = 0; r < rows; ++r)
        s += (r ? "," : "") + row;
    return s;
}

Inserter& Inserter::add(const QVariant& v) {
    m_values.push_back(v);
    if (m_values.size() == static_cast<size_t>(m_chunk) * m_cols) {
        if (!m_full) {
            m_full = std::make_unique<QSqlQuery>(m_w.db());
            if (!m_full->prepare(statement(m_chunk)))
                m_w.fail("INSERT INTO " + m_table + ": " + m_full->lastError().text().toStdString());
        }
        execChunk(*m_full, m_chunk);
    }
    return *this;
}

Inserter& Inserter::text(const std::string& local8) {
    return add(textcodec::fromLocal8(local8));
}

Inserter& Inserter::null() {
    return add(QVariant());
}

void Inserter::execChunk(QSqlQuery& q, int rows) {
    if (!m_w.failed()) {
        for (int k = 0; k < rows * m_cols; ++k)
            q.bindValue(k, m_values[k]);
        if (!q.exec()) m_w.fail("INSERT INTO " + m_table + ": " + q.lastError().text().toStdString());
    }
    m_w.countRows(rows);
    m_values.clear();
}

void Inserter::flush() {
    const int rows = static_cast<int>(m_values.size()) / m_cols;
    if (rows == 0) return;
    QSqlQuery q(m_w.db());
    if (!q.prepare(statement(rows))) {
        m_w.fail("INSERT INTO " + m_table + ": " + q.lastError().text().toStdString());
        m_values.clear();
        return;
    }
    execChunk(q, rows);
}

} // namespace casegen
