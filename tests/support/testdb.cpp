#include "testdb.h"

#include "db/errortext.h"
#include "db/log.h"
#include "db/schema.h"
#include "db/textcodec.h"
#include "sc/reportkinds.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUuid>
#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

namespace testdb {
namespace {

std::string socketPath() {
    const char* s = std::getenv("SCREPORT_TEST_MYSQL_SOCKET");
    return s ? s : "";
}

void pointClientAt(const std::string& socket) {
    setenv("SCREPORT_DB_SOCKET", socket.c_str(), 1);
    setenv("SCREPORT_DB_USER", "root", 1);
}

// A side connection of its own, so tests can set up rows without the code under test.
template <class F>
void withConnection(Backend b, const std::string& arg, F f, const std::string& socket = socketPath()) {
    const QString conn = "testdb-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(b == Backend::Sqlite ? "QSQLITE" : "QMYSQL", conn);
        if (b == Backend::MariaDb) {
            db.setUserName("root");
            db.setConnectOptions(QString::fromStdString("UNIX_SOCKET=" + socket));
        }
        db.setDatabaseName(QString::fromStdString(arg));
        f(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(conn);
}

void dropServerDb(const std::string& name, const std::string& socket) {
    withConnection(
        Backend::MariaDb, "",
        [&](QSqlDatabase& db) {
            if (db.open()) QSqlQuery(db).exec(QString::fromStdString("DROP DATABASE IF EXISTS " + name));
        },
        socket);
}

// The database of `arg` on a side connection, open, the server speaking UTF-8.
template <class F>
void withOpen(Backend b, const std::string& arg, F f, const std::string& socket = socketPath()) {
    withConnection(
        b, arg,
        [&](QSqlDatabase& db) {
            const bool open = db.open();
            EXPECT_TRUE(open) << db.lastError().text().toStdString();
            if (!open) return;
            if (b == Backend::MariaDb) QSqlQuery(db).exec("SET NAMES utf8mb4");
            f(db);
        },
        socket);
}

void execOn(QSqlDatabase& db, const std::string& sqlUtf8) {
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec(QString::fromUtf8(sqlUtf8.c_str())))
        << sqlUtf8 << ": " << q.lastError().text().toStdString();
}

int serverScript(const QStringList& args) {
    return QProcess::execute(SCREPORT_SOURCE_DIR "/tests/support/mariadb-server", args);
}

} // namespace

std::string backendName(Backend b) {
    return b == Backend::Sqlite ? "SQLite" : "MariaDB";
}

bool mariaDbAvailable() {
    static const bool ok = [] {
        if (socketPath().empty()) return false;
        bool open = false;
        withConnection(Backend::MariaDb, "", [&](QSqlDatabase& db) { open = db.open(); });
        return open;
    }();
    return ok;
}

bool mariaDbRequired() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

std::vector<Backend> backends() {
    std::vector<Backend> v{Backend::Sqlite};
    if (mariaDbAvailable() || mariaDbRequired()) v.push_back(Backend::MariaDb);
    return v;
}

CaseDb::CaseDb(Backend b, const std::string& socket)
    : m_backend(b), m_socket(b == Backend::MariaDb && socket.empty() ? socketPath() : socket) {
    static std::atomic<int> counter{0};
    QString err;
    if (b == Backend::Sqlite) {
        QTemporaryDir dir(QDir::tempPath() + "/screport-test-XXXXXX");
        dir.setAutoRemove(false);
        m_dir = dir.path().toStdString();
        m_arg = m_dir + "/case.db";
    } else {
        if (socket.empty() && !mariaDbAvailable()) {
            ADD_FAILURE() << "the private MariaDB server is not reachable (SCREPORT_TEST_MYSQL_SOCKET="
                          << socketPath() << ")";
            return;
        }
        pointClientAt(m_socket);
        m_arg = "sct_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
        dropServerDb(m_arg, m_socket);
    }
    if (!schema::createCaseDatabase(m_arg, reportkinds::caseTables(), &err))
        ADD_FAILURE() << "cannot create " << m_arg << ": " << err.toStdString();
}

CaseDb::~CaseDb() {
    if (m_backend == Backend::Sqlite) {
        if (!m_dir.empty()) QDir(QString::fromStdString(m_dir)).removeRecursively();
    } else if (!m_arg.empty()) {
        dropServerDb(m_arg, m_socket);
    }
}

void CaseDb::exec(const std::string& sqlUtf8) const {
    with([&](QSqlDatabase& db) { execOn(db, sqlUtf8); });
}

void CaseDb::with(const std::function<void(QSqlDatabase&)>& f) const {
    withOpen(m_backend, m_arg, f, m_socket);
}

void exec(Backend b, const std::string& arg, const std::string& sqlUtf8) {
    withOpen(b, arg, [&](QSqlDatabase& db) { execOn(db, sqlUtf8); });
}

QStringList rows(Backend b, const std::string& arg, const QString& sql) {
    QStringList out;
    withOpen(b, arg, [&](QSqlDatabase& db) { out = rows(db, sql); });
    return out;
}

QStringList CaseDb::rows(const QString& sql, const QVariantList& values, QChar sep) const {
    QStringList out;
    with([&](QSqlDatabase& db) { out = testdb::rows(db, sql, values, sep); });
    return out;
}

std::vector<std::pair<QString, QString>> CaseDb::nameColumns() const {
    std::vector<std::pair<QString, QString>> out;
    with([&](QSqlDatabase& db) { out = testdb::nameColumns(db); });
    return out;
}

QStringList rows(QSqlDatabase db, const QString& sql, const QVariantList& values, QChar sep) {
    QSqlQuery q(db);
    bool ok = values.isEmpty() ? q.exec(sql) : q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    ok = ok && (values.isEmpty() || q.exec());
    EXPECT_TRUE(ok) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    QStringList out;
    while (q.next()) {
        QStringList cols;
        for (int i = 0; i < q.record().count(); ++i)
            cols << (q.value(i).isNull() ? QString("<null>") : q.value(i).toString());
        out << cols.join(sep);
    }
    return out;
}

std::vector<std::pair<QString, QString>> nameColumns(const QSqlDatabase& db) {
    std::vector<std::pair<QString, QString>> out;
    for (const QString& t : db.tables()) {
        const QSqlRecord r = db.record(t);
        for (int i = 0; i < r.count(); ++i)
            if (r.fieldName(i).endsWith("name", Qt::CaseInsensitive)) out.push_back({t, r.fieldName(i)});
    }
    return out;
}

OwnServer::OwnServer(TableNames names) : m_names(names) {
    char tmpl[] = "/tmp/own-mdb-XXXXXX"; // short: a socket path has a length limit
    if (mkdtemp(tmpl)) m_dir = tmpl;
}

OwnServer::~OwnServer() {
    if (m_dir.empty()) return;
    serverScript({"stop", QString::fromStdString(m_dir)});
    QDir(QString::fromStdString(m_dir)).removeRecursively();
}

bool OwnServer::start() {
    QStringList args{"start", QString::fromStdString(m_dir)};
    if (m_names == TableNames::CaseSensitive) args << "case-sensitive";
    return !m_dir.empty() && serverScript(args) == 0;
}

bool OwnServer::restart() {
    return !m_dir.empty() && serverScript({"restart", QString::fromStdString(m_dir)}) == 0;
}

void OwnServer::kill() {
    QFile f(QString::fromStdString(m_dir + "/mysqld.pid"));
    if (f.open(QIODevice::ReadOnly)) ::kill(pid_t(f.readAll().trimmed().toLongLong()), SIGKILL);
}

ServerEnv::ServerEnv(const std::string& socket) {
    if (const char* old = std::getenv("SCREPORT_DB_SOCKET")) {
        m_had = true;
        m_old = old;
    }
    setenv("SCREPORT_DB_SOCKET", socket.c_str(), 1);
    setenv("SCREPORT_DB_USER", "root", 1);
}

ServerEnv::~ServerEnv() {
    if (m_had)
        setenv("SCREPORT_DB_SOCKET", m_old.c_str(), 1);
    else
        unsetenv("SCREPORT_DB_SOCKET");
}

LogCapture::LogCapture() {
    screport::setLogHook(
        [this](bool isError, const std::string& s) { (isError ? errors : debug).push_back(s); });
}
LogCapture::~LogCapture() {
    screport::setLogHook(nullptr);
}

std::string gb(const char* utf8) {
    return textcodec::gb(utf8);
}

std::string throwText(const std::function<void()>& f) {
    try {
        f();
    } catch (const ErrorText& e) {
        return e.text();
    }
    return "<nothing thrown>";
}

} // namespace testdb
