#pragma once
// Where the MySQL/MariaDB server is and who logs in, found as every MySQL client finds
// it: the [client] and [screport] groups of the option files (/etc/my.cnf,
// /etc/mysql/my.cnf, ~/.my.cnf, ...), over them the environment (SCREPORT_DB_*, MYSQL_*),
// over that the command line. Qt's driver reads no option file, so the client library
// resolves the settings and the Qt connection is given the result.
#include "export.h"

#include <QString>

class SCREPORT_CORE_EXPORT ServerLogin {
  public:
    // From the command line; empty texts and port 0 leave a setting to the files and the
    // environment.
    struct Given {
        QString host, socket, user;
        int port = 0;
        bool hasPassword = false; // read from a file or the terminal, never an argument
        QString password;
    };
    static void setCommandLine(const Given& g);

    // What a client connection ends up with.
    struct Resolved {
        QString host, socket, user, password;
        int port = 0;
        QString sslKey, sslCert, sslCa, sslCapath, sslCipher;
        // "服务器 ..., 用户 ..." for messages.
        QString where() const;
    };
    // Logs in once through the client library, no database chosen, and reads the
    // settings back. False with `why` naming the server, the user and the library's
    // reason when the server cannot be reached or refuses the login.
    static bool resolve(Resolved* out, QString* why);
    // `key` of the option files' group `group` alone (the last one read wins; "-" and
    // "_" alike), as the MySQL clients read them; empty when no file sets it.
    static QString optionFileValue(const char* group, const char* key);
};
