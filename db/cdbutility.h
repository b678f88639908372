#pragma once
// The case database the program works on: its connection, the case kind, the current case
// with its resolution by name and number, and case notes. The program's entry owns one (the
// batch run, the report dialog) and hands it to what reads cases: the dialogs, the stored
// choices, the case list. Qt keeps one connection per name, so the connection underneath is
// process-wide: the object that opened last is what statements run on when they are not
// handed a connection (dbq::Query).
#include "connection.h"
#include "export.h"
#include "sqldialect.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <string>

class QSqlDatabase;

// The program reads short-circuit cases only.
enum DB_type { DB_SC = 4 };

class SCREPORT_CORE_EXPORT CDBUtility {
  public:
    CDBUtility() = default;
    // Leaves the connection as it is (closedb closes it); statements not handed a
    // connection no longer run on this object's.
    ~CDBUtility();
    CDBUtility(const CDBUtility&) = delete;
    CDBUtility& operator=(const CDBUtility&) = delete;

    QSqlDatabase* opendb(const char* name);
    // Why the last opendb failed, as written to the error stream: "不能打开数据库:", a
    // damaged file or a file without case tables, the name and the reason. Empty after a
    // successful open.
    const std::string& lastOpenError() const { return m_strOpenError; }
    bool closedb();
    // What the database's character set is taken to be instead of what its catalogue
    // says: latin1 or binary (the columns hold GB18030 bytes), utf8mb4, utf8, gbk,
    // gb2312 (the server converts); empty or "auto" to detect. Set by the command line;
    // otherwise default-character-set of the option files' [screport] group. False for
    // a name the program does not know.
    bool setCharsetOverride(const std::string& name);

    void setDBType(DB_type t);
    DB_type getDBType() const { return m_dbType; }
    const std::string& getTablePrefix() const { return m_strTablePrefix; }
    // Appended to the names of the grid's own tables: "BAK" when the program reads the
    // backup copies, empty for the live tables.
    void setTableSuffix(const std::string& suffix) { m_strTableSuffix = suffix; }
    const std::string& getTableSuffix() const { return m_strTableSuffix; }

    void setCaseNo(int n);
    void setCaseName(const QString& name);
    std::string getCaseTab() const;
    const std::string& getCaseNo() const { return m_CaseNo; }
    int getCaseNo(const std::string& name) const;
    const QString& getCaseName() const { return m_CaseName; }
    std::string getCaseName(int n) const;
    void getCaseNameList(QStringList& list) const;
    // Whether case `n` of the current kind is among the calculated ones (calculate=1), the
    // cases that have results; false for a case that does not exist.
    bool isCaseCalculated(int n) const;
    void save_caseNote(const char* table, const QString& name, const QString& note) const;

    // The open database as an object for the report pipeline (closed when none is open).
    DbConnection connection() const;
    // The SQL differences of the back end the connection talks to.
    const SqlDialect& dialect() const { return m_dialect; }
    // The Qt connection of the last opendb, open or not; null before the first.
    QSqlDatabase* database() const { return m_pDatabase; }

    // The connection of the object that opened last and still exists; closed when none.
    static DbConnection lastOpened();

  private:
    // A read that must run did not: throws the error text naming the cause when it is
    // known (server gone, database in use, a missing table), else logs the statement.
    void failedRead(const SqlStmt& s) const;

    DB_type m_dbType = DB_SC;
    std::string m_strTablePrefix = "SCR_";
    std::string m_CaseNo;
    QString m_CaseName;
    QSqlDatabase* m_pDatabase = nullptr;
    std::string m_strTableSuffix;
    SqlDialect m_dialect;
    std::string m_strOpenError;
    std::shared_ptr<DbSession> m_session;
    std::string m_charsetOverride;
};
