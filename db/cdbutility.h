#pragma once
// The one gateway to the case database: connection, case kind, case resolution,
// notes, base power and where a bus lies. Static members only.
#include "connection.h"
#include "export.h"
#include "sqldialect.h"

#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <string>

class QSqlDatabase;

// The program reads short-circuit cases only.
enum DB_type { DB_SC = 4 };

class SCREPORT_CORE_EXPORT CDBUtility {
  public:
    CDBUtility() = delete;

    static QSqlDatabase* opendb(const char* name);
    // Why the last opendb failed, as written to the error stream: "不能打开数据库:", a
    // damaged file or a file without case tables, the name and the reason. Empty after a
    // successful open.
    static std::string lastOpenError() { return m_strOpenError; }
    static bool closedb();
    // What the database's character set is taken to be instead of what its catalogue
    // says: latin1 or binary (the columns hold GB18030 bytes), utf8mb4, utf8, gbk,
    // gb2312 (the server converts); empty or "auto" to detect. Set by the command line;
    // otherwise default-character-set of the option files' [screport] group. False for
    // a name the program does not know.
    static bool setCharsetOverride(const std::string& name);

    static void setDBType(DB_type t);
    static DB_type getDBType() { return m_dbType; }

    static void setCaseNo(int n);
    static void setCaseName(const QString& name);
    static std::string getCaseTab();
    static std::string getCaseNo() { return m_CaseNo; }
    static int getCaseNo(const std::string& name);
    static QString getCaseName() { return m_CaseName; }
    static std::string getCaseName(int n);
    static void getCaseNameList(QStringList& list);
    // Whether case `n` of the current kind is among the calculated ones (calculate=1), the
    // cases that have results; false for a case that does not exist.
    static bool isCaseCalculated(int n);
    static void save_caseNote(const char* table, const QString& name, const QString& note);

    // The open database as an object for the report pipeline (closed when none is open).
    static DbConnection connection();

    // The SQL differences of the back end the connection talks to.
    static const SqlDialect& dialect() { return m_dialect; }

    static DB_type m_dbType;
    static std::string m_strTablePrefix;
    static std::string m_CaseNo;
    static QString m_CaseName;
    static QSqlDatabase* m_pDatabase;
    static std::string m_strTableSuffix;

  protected:
    // A read that must run did not: throws the error text naming the cause when it is
    // known (server gone, database in use, a missing table), else logs the statement.
    static void failedRead(const SqlStmt& s);

    static SqlDialect m_dialect;
    static std::string m_strOpenError;
    static std::shared_ptr<DbSession> m_session;
    static std::string m_charsetOverride;
};
