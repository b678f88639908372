#include "testdb.h"

#include "db/schema.h"
#include "db/textcodec.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

namespace testdb {
namespace {

std::string socketPath() {
    const char* s = std::getenv("SCREPORT_TEST_MYSQL_SOCKET");
    return s ? s : "";
}

void pointClientAtTestServer() {
    setenv("SCREPORT_DB_SOCKET", socketPath().c_str(), 1);
    setenv("SCREPORT_DB_USER", "root", 1);
}

// A side connection of its own, so tests can set up rows without the code under test.
template <class F> void withConnection(Backend b, const std::string& arg, F f) {
    const QString conn = "testdb-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(b == Backend::Sqlite ? "QSQLITE" : "QMYSQL", conn);
        if (b == Backend::MariaDb) {
            db.setUserName("root");
            db.setConnectOptions(QString::fromStdString("UNIX_SOCKET=" + socketPath()));
        }
        db.setDatabaseName(QString::fromStdString(arg));
        f(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(conn);
}

} // namespace

std::string backendName(Backend b) { return b == Backend::Sqlite ? "SQLite" : "MariaDB"; }

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

CaseDb::CaseDb(Backend b) : m_backend(b) {
    static std::atomic<int> counter{0};
    QString err;
    if (b == Backend::Sqlite) {
        QTemporaryDir dir(QDir::tempPath() + "/screport-test-XXXXXX");
        dir.setAutoRemove(false);
        m_dir = dir.path().toStdString();
        m_arg = m_dir + "/case.db";
    } else {
        if (!mariaDbAvailable()) {
            ADD_FAILURE() << "the private MariaDB server is not reachable (SCREPORT_TEST_MYSQL_SOCKET="
                          << socketPath() << ")";
            return;
        }
        pointClientAtTestServer();
        m_arg = "sct_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
        withConnection(b, "", [&](QSqlDatabase& db) {
            if (db.open()) QSqlQuery(db).exec(QString::fromStdString("DROP DATABASE IF EXISTS " + m_arg));
        });
    }
    if (!schema::createCaseDatabase(m_arg, &err)) ADD_FAILURE() << "cannot create " << m_arg << ": " << err.toStdString();
}

CaseDb::~CaseDb() {
    if (m_backend == Backend::Sqlite) {
        if (!m_dir.empty()) QDir(QString::fromStdString(m_dir)).removeRecursively();
    } else if (mariaDbAvailable()) {
        withConnection(m_backend, "", [&](QSqlDatabase& db) {
            if (db.open()) QSqlQuery(db).exec(QString::fromStdString("DROP DATABASE IF EXISTS " + m_arg));
        });
    }
}

void CaseDb::exec(const std::string& sqlUtf8) const {
    withConnection(m_backend, m_arg, [&](QSqlDatabase& db) {
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
        if (m_backend == Backend::MariaDb) QSqlQuery(db).exec("SET NAMES utf8mb4");
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QString::fromUtf8(sqlUtf8.c_str()))) << sqlUtf8 << ": " << q.lastError().text().toStdString();
    });
}

std::string gb(const char* utf8) { return textcodec::gb(utf8); }

} // namespace testdb
