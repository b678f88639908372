#include "buildinfo.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <xlsxwriter.h>

#include <dlfcn.h>

namespace buildinfo {

namespace {

// The SQLite library behind Qt's driver, which need not be the one the build saw.
std::string sqliteVersion() {
    const QString conn = "screport-version-sqlite";
    std::string v = "not available (no Qt SQLite driver)";
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", conn);
        db.setDatabaseName(":memory:");
        if (db.isValid() && db.open()) {
            QSqlQuery q(db);
            if (q.exec("select sqlite_version()") && q.next()) v = q.value(0).toString().toStdString();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(conn);
    return v;
}

// The client library that Qt's MySQL driver loaded; asked without connecting anywhere.
std::string mariadbClientVersion() {
    const QString conn = "screport-version-mysql";
    std::string v = "not available (no Qt MySQL driver)";
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QMYSQL", conn);
        if (db.isValid()) {
            v = "unknown";
            for (const char* lib : {"libmariadb.so.3", "libmysqlclient.so.21"}) {
                void* h = dlopen(lib, RTLD_LAZY | RTLD_NOLOAD);
                if (!h) continue;
                using InfoFn = const char* (*)();
                if (auto info = reinterpret_cast<InfoFn>(dlsym(h, "mysql_get_client_info"))) v = info();
                dlclose(h);
                break;
            }
        }
    }
    QSqlDatabase::removeDatabase(conn);
    return v;
}

} // namespace

std::string versionText() {
    std::string t = std::string("screport ") + SCREPORT_VERSION + "\n";
    t += std::string("Qt ") + qVersion();
    if (std::string(qVersion()) != QT_VERSION_STR) t += std::string(" (built with ") + QT_VERSION_STR + ")";
    t += "\nSQLite " + sqliteVersion() + "\n";
    t += "MariaDB client " + mariadbClientVersion() + "\n";
    t += std::string("libxlsxwriter ") + lxw_version();
    if (std::string(lxw_version()) != LXW_VERSION) t += std::string(" (built with ") + LXW_VERSION + ")";
    return t + "\n";
}

} // namespace buildinfo
