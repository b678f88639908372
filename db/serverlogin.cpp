#include "serverlogin.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

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

// An option the library holds (from a file, or given to it); empty when unset. Read from
// the handle: the library answers few of them through mysql_get_optionv.
QString optionText(const char* v) {
    return v ? QString::fromUtf8(v) : QString();
}

QString loginName() {
    const passwd* pw = getpwuid(geteuid());
    return pw && pw->pw_name ? QString::fromLocal8Bit(pw->pw_name) : QString();
}

QString optionKey(QString k) {
    return k.trimmed().replace('_', '-').toLower();
}

// Reads one option file (and what it includes) into `value` for `group`/`key`.
void readOptionFile(const QString& path, const QString& group, const QString& key, QString& value,
                    int depth) {
    QFile f(path);
    if (depth > 8 || !f.open(QIODevice::ReadOnly)) return;
    QTextStream in(&f);
    QString current;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith(';')) continue;
        if (line.startsWith(QLatin1String("!includedir"))) {
            const QDir dir(line.mid(11).trimmed());
            const QStringList files = dir.entryList({"*.cnf"}, QDir::Files, QDir::Name);
            for (const QString& n : files)
                readOptionFile(dir.filePath(n), group, key, value, depth + 1);
        } else if (line.startsWith(QLatin1String("!include"))) {
            readOptionFile(line.mid(8).trimmed(), group, key, value, depth + 1);
        } else if (line.startsWith('[') && line.endsWith(']')) {
            current = line.mid(1, line.size() - 2).trimmed().toLower();
        } else if (current == group) {
            const qsizetype eq = line.indexOf('=');
            if (eq > 0 && optionKey(line.left(eq)) == key) {
                QString v = line.mid(eq + 1).trimmed();
                if (v.size() >= 2 && (v.startsWith('"') || v.startsWith('\'')) && v.endsWith(v[0]))
                    v = v.mid(1, v.size() - 2);
                value = v;
            }
        }
    }
}

} // namespace

QString ServerLogin::optionFileValue(const char* group, const char* key) {
    QString value;
    QStringList files = {"/etc/my.cnf", "/etc/mysql/my.cnf"};
    const QString home = envFirst({"MYSQL_HOME"});
    if (!home.isEmpty()) files << home + "/my.cnf";
    files << QDir::homePath() + "/.my.cnf";
    for (const QString& f : files)
        readOptionFile(f, QString::fromLatin1(group).toLower(), optionKey(QString::fromLatin1(key)), value,
                       0);
    return value;
}

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
    const int port =
        g_given.port > 0 ? g_given.port : envFirst({"SCREPORT_DB_PORT", "MYSQL_TCP_PORT"}).toInt();
    const bool hasPassword =
        g_given.hasPassword || !envFirst({"SCREPORT_DB_PASSWORD", "MYSQL_PWD"}).isEmpty();
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
    const bool ok =
        mysql_real_connect(m, host.isEmpty() ? nullptr : h.constData(),
                           user.isEmpty() ? nullptr : u.constData(), hasPassword ? p.constData() : nullptr,
                           nullptr, unsigned(port), socket.isEmpty() ? nullptr : s.constData(),
                           CLIENT_REMEMBER_OPTIONS) != nullptr; // the files' values, for the message

    if (!ok) {
        const QString reason = QString::fromUtf8(mysql_error(m));
        // Name what the library tried: ours, else the files', else its defaults.
        Resolved tried;
        tried.host = orElse(host, optionText(m->options.host));
        tried.socket = orElse(socket, optionText(m->options.unix_socket));
        if (tried.socket.isEmpty()) tried.socket = QStringLiteral(MARIADB_UNIX_ADDR);
        tried.user = orElse(user, orElse(optionText(m->options.user), loginName()));
        tried.port = port > 0 ? port : int(m->options.port);
        if (why) *why = tried.where() + QString::fromUtf8("：") + reason;
        mysql_close(m);
        return false;
    }
    Resolved r;
    r.host = QString::fromUtf8(m->host ? m->host : "");
    r.socket = QString::fromUtf8(m->unix_socket ? m->unix_socket : "");
    r.user = QString::fromUtf8(m->user ? m->user : "");
    r.password = QString::fromUtf8(m->passwd ? m->passwd : "");
    r.port = int(m->port);
    r.sslKey = optionText(m->options.ssl_key);
    r.sslCert = optionText(m->options.ssl_cert);
    r.sslCa = optionText(m->options.ssl_ca);
    r.sslCapath = optionText(m->options.ssl_capath);
    r.sslCipher = optionText(m->options.ssl_cipher);
    mysql_close(m);
    *out = r;
    return true;
}
