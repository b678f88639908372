#include "serverlogin.h"

#include <mysql.h>

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {

ServerLogin::Given g_given;

QString envFirst(std::initializer_list<const char*> names) {
    for (const char* n : names) {
        const char* v = std::getenv(n);
        if (v && *v) return QString::fromLocal8Bit(v);
    }
    return QString();
}

QString orElse(const QString& a, const QString& b) {
    return a.isEmpty() ? b : a;
}

// An option the library holds (from a file, or given to it); empty when unset.
QString optionText(MYSQL* m, mysql_option o) {
    const char* v = nullptr;
    if (mysql_get_optionv(m, o, &v) != 0 || !v) return QString();
    return QString::fromUtf8(v);
}

QString loginName() {
    const passwd* pw = getpwuid(geteuid());
    return pw && pw->pw_name ? QString::fromLocal8Bit(pw->pw_name) : QString();
}

} // namespace

void ServerLogin::setCommandLine(const Given& g) {
    g_given = g;
}

QString ServerLogin::Resolved::where() const {
    QString server = host.isEmpty() ? QStringLiteral("localhost") : host;
    if (!socket.isEmpty() && (host.isEmpty() || host == QLatin1String("localhost")))
        server += QString::fromUtf8(" 套接字 ") + socket;
    else if (port > 0)
        server += ":" + QString::number(port);
    return QString::fromUtf8("服务器 ") + server + QString::fromUtf8("，用户 ") + user;
}

bool ServerLogin::resolve(Resolved* out, QString* why) {
    const QString host = orElse(g_given.host, envFirst({"SCREPORT_DB_HOST", "MYSQL_HOST"}));
    const QString socket = orElse(g_given.socket, envFirst({"SCREPORT_DB_SOCKET", "MYSQL_UNIX_PORT"}));
    const QString user = orElse(g_given.user, envFirst({"SCREPORT_DB_USER"}));
    const int port = g_given.port > 0 ? g_given.port : envFirst({"SCREPORT_DB_PORT", "MYSQL_TCP_PORT"}).toInt();
    const bool hasPassword = g_given.hasPassword || !envFirst({"SCREPORT_DB_PASSWORD", "MYSQL_PWD"}).isEmpty();
    const QString password =
        g_given.hasPassword ? g_given.password : envFirst({"SCREPORT_DB_PASSWORD", "MYSQL_PWD"});

    MYSQL* m = mysql_init(nullptr);
    if (!m) {
        if (why) *why = QStringLiteral("mysql_init");
        return false;
    }
    mysql_optionsv(m, MYSQL_READ_DEFAULT_GROUP, "screport");
    const unsigned timeout = 10;
    mysql_optionsv(m, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    // What is given here wins over the option files: the library takes a non-null
    // argument before a file's value.
    const QByteArray h = host.toUtf8(), s = socket.toUtf8(), u = user.toUtf8(), p = password.toUtf8();
    const bool ok = mysql_real_connect(m, host.isEmpty() ? nullptr : h.constData(),
                                       user.isEmpty() ? nullptr : u.constData(),
                                       hasPassword ? p.constData() : nullptr, nullptr, unsigned(port),
                                       socket.isEmpty() ? nullptr : s.constData(), 0) != nullptr;
    if (!ok) {
        // Name what the library tried: ours, else the files', else its defaults.
        Resolved tried;
        tried.host = orElse(host, optionText(m, MARIADB_OPT_HOST));
        tried.socket = orElse(socket, optionText(m, MARIADB_OPT_UNIXSOCKET));
        if (tried.socket.isEmpty()) tried.socket = QStringLiteral(MARIADB_UNIX_ADDR);
        tried.user = orElse(user, orElse(optionText(m, MARIADB_OPT_USER), loginName()));
        unsigned filePort = 0;
        mysql_get_optionv(m, MARIADB_OPT_PORT, &filePort);
        tried.port = port > 0 ? port : int(filePort);
        if (why) *why = tried.where() + QString::fromUtf8("：") + QString::fromUtf8(mysql_error(m));
        mysql_close(m);
        return false;
    }
    Resolved r;
    r.host = QString::fromUtf8(m->host ? m->host : "");
    r.socket = QString::fromUtf8(m->unix_socket ? m->unix_socket : "");
    r.user = QString::fromUtf8(m->user ? m->user : "");
    r.password = QString::fromUtf8(m->passwd ? m->passwd : "");
    r.port = int(m->port);
    r.sslKey = optionText(m, MYSQL_OPT_SSL_KEY);
    r.sslCert = optionText(m, MYSQL_OPT_SSL_CERT);
    r.sslCa = optionText(m, MYSQL_OPT_SSL_CA);
    r.sslCapath = optionText(m, MYSQL_OPT_SSL_CAPATH);
    r.sslCipher = optionText(m, MYSQL_OPT_SSL_CIPHER);
    mysql_close(m);
    *out = r;
    return true;
}
