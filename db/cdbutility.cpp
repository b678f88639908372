#include "cdbutility.h"

#include "dbquery.h"
#include "errortext.h"
#include "log.h"
#include "textcodec.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <sstream>

using textcodec::gb;

DB_type CDBUtility::m_dbType = DB_LF;
std::string CDBUtility::m_strTablePrefix;
std::string CDBUtility::m_CaseNo;
QString CDBUtility::m_CaseName;
QSqlDatabase* CDBUtility::m_pDatabase = nullptr;
std::string CDBUtility::m_strTableSuffix;
SqlDialect CDBUtility::m_dialect;
std::string CDBUtility::m_strOpenError;

namespace {

QSqlDatabase& connectionObject() {
    static QSqlDatabase db;
    return db;
}

std::string kindWord(DB_type t) {
    switch (t) {
    case DB_SC: return gb("短路");
    case DB_LF: return gb("潮流");
    case DB_OPF: return gb("最优潮流");
    default: return std::string();
    }
}

} // namespace

QSqlDatabase* CDBUtility::opendb(const char* name) {
    const std::string dbName = name ? name : "";
    m_dialect = SqlDialect(SqlDialect::backendFor(dbName));
    QSqlDatabase& db = connectionObject();
    if (db.isOpen()) db.close();
    dbq::clearConnectionLost(); // a new connection starts with nothing lost
    dbq::clearLockRefused();
    const QString connName = textcodec::fromLocal8(dbName);
    db = QSqlDatabase(); // drop our handle before the registry replaces the connection
    if (QSqlDatabase::contains(connName)) QSqlDatabase::removeDatabase(connName);
    db = QSqlDatabase::addDatabase(m_dialect.driverName(), connName);
    m_pDatabase = &db;
    db.setDatabaseName(connName);
    QString server;
    const bool reached = m_dialect.configure(db, &server);

    std::ostringstream os;
    os << gb("正在打开数据库 ") << dbName << ":" << static_cast<const void*>(m_pDatabase);
    screport::logDebug(os.str());

    m_strOpenError.clear();
    QString why;
    SqlDialect::FileState state = m_dialect.checkFile(connName, &why);
    if (state == SqlDialect::FileState::Fine) {
        if (!reached) {
            state = SqlDialect::FileState::CannotOpen;
            why = server;
        } else if (!db.open()) {
            state = SqlDialect::FileState::CannotOpen;
            why = SqlDialect::errorReason(db.lastError());
            if (!server.isEmpty()) why = server + QString::fromUtf8("：") + why;
        } else {
            m_dialect.afterOpen(db);
            // Before anything is written to it: a damaged file stays as it was.
            state = m_dialect.probe(db, &why);
            if (state != SqlDialect::FileState::Fine) db.close();
        }
    }
    if (state == SqlDialect::FileState::Fine) return m_pDatabase;
    switch (state) {
    case SqlDialect::FileState::Damaged:
        m_strOpenError = gb("数据库文件已损坏或不是数据库:");
        break;
    case SqlDialect::FileState::NoCaseTables:
        m_strOpenError = gb("数据库文件不是短路作业数据库:");
        break;
    default:
        m_strOpenError = gb("不能打开数据库:");
        break;
    }
    m_strOpenError += dbName;
    if (!why.isEmpty()) m_strOpenError += " (" + textcodec::toLocal8(why) + ")";
    screport::logError(m_strOpenError);
    return nullptr;
}

bool CDBUtility::closedb() {
    if (m_pDatabase) m_pDatabase->close();
    return true;
}

void CDBUtility::setDBType(DB_type t) {
    m_dbType = t;
    switch (t) {
    case DB_LF: m_strTablePrefix = "LFR_"; break;
    case DB_OPF: m_strTablePrefix = "OPFR_"; break;
    case DB_SC: m_strTablePrefix = "SCR_"; break;
    case DB_NL: m_strTablePrefix = "NLR_"; break;
    default: break;
    }
}

std::string CDBUtility::getCaseTab() {
    switch (m_dbType) {
    case DB_LF: return "LF_CASE";
    case DB_OPF: return "OPF_CASE";
    case DB_SC: return "SC_CASE";
    case DB_NL: return "NL_CASE";
    default: return std::string();
    }
}

void CDBUtility::setCaseNo(int n) {
    m_CaseNo = std::to_string(n);
    SqlStmt s;
    switch (m_dbType) {
    case DB_SC: s << "SELECT Case_Name from SC_CASE where Case_No=" << m_CaseNo; break;
    case DB_LF: s << "SELECT Case_Name from LF_CASE where Case_No=" << m_CaseNo; break;
    case DB_OPF:
        s << "SELECT a.Case_Name from OPF_CASE a,LF_CASE b where a.Case_LF=b.Case_No and a.Case_No=" << m_CaseNo;
        break;
    default: return;
    }
    QSqlQuery q = dbq::newQuery();
    bool active = dbq::exec(q, s);
    if (!active && m_dbType == DB_OPF) screport::logError(s.text());
    if (active && q.next()) {
        m_CaseName = textcodec::fromLocal8(dbq::text8(q.value(0)));
        return;
    }
    raiseError(gb("在") + kindWord(m_dbType) + gb("作业表中没有找到作业号:") + m_CaseNo);
}

void CDBUtility::setCaseName(const QString& name) {
    m_CaseName = name;
    const std::string name8 = textcodec::toLocal8(name);
    screport::logDebug("case name :" + name8);
    SqlStmt s;
    switch (m_dbType) {
    case DB_SC: s << "SELECT Case_No from SC_CASE where CASE_Name="; break;
    case DB_LF: s << "SELECT Case_No from LF_CASE where CASE_Name="; break;
    case DB_OPF: s << "SELECT a.Case_No from OPF_CASE a,LF_CASE b where a.Case_LF=b.Case_No and a.CASE_Name="; break;
        break;
    default: return;
    }
    s.str(name8);
    QSqlQuery q = dbq::newQuery();
    bool active = dbq::exec(q, s);
    if (!active && m_dbType == DB_OPF) screport::logError(s.text());
    if (active && q.next()) {
        m_CaseNo = dbq::text8(q.value(0));
        return;
    }
    raiseError(gb("在") + kindWord(m_dbType) + gb("作业表中没有找到作业名:") + name8);
}

int CDBUtility::getCaseNo(const std::string& name) {
    SqlStmt s;
    s << "select Case_No from " << getCaseTab() << " where Case_Name=";
    s.str(name);
    QSqlQuery q = dbq::newQuery();
    if (dbq::exec(q, s) && q.next()) return dbq::toInt(q.value(0));
    return -1;
}

std::string CDBUtility::getCaseName(int n) {
    SqlStmt s;
    s << "select Case_Name from " << getCaseTab() << " where Case_No=" << std::to_string(n);
    return dbq::firstText(s);
}

void CDBUtility::getCaseNameList(QStringList& list) {
    list.clear();
    SqlStmt s;
    s << "SELECT CASE_Name from " << getCaseTab() << " where calculate=1";
    QSqlQuery q = dbq::newQuery();
    if (!dbq::exec(q, s)) {
        screport::logError(s.text());
    } else {
        while (q.next()) list << textcodec::fromLocal8(dbq::text8(q.value(0)));
    }
    if (list.isEmpty()) raiseError(gb("作业表中没有计算成功的作业,请先进行作业定义和作业计算!"));
}

bool CDBUtility::isCaseCalculated(int n) {
    const std::string name = getCaseName(n);
    if (name.empty()) return false;
    // The statement of the case list, so that "calculated" means what the list shows.
    SqlStmt s;
    s << "SELECT CASE_Name from " << getCaseTab() << " where calculate=1";
    QSqlQuery q = dbq::newQuery();
    if (!dbq::exec(q, s)) return false;
    while (q.next())
        if (dbq::text8(q.value(0)) == name) return true;
    return false;
}

void CDBUtility::save_caseNote(const char* table, const QString& name, const QString& note) {
    const std::string tab = table ? table : "";
    SqlStmt s;
    s << "update " << tab << " set Note=";
    s.str(textcodec::toLocal8(note));
    s << " where case_name=";
    s.str(textcodec::toLocal8(name));
    QSqlQuery q = dbq::newQuery();
    if (!isPlainIdentifier(tab) || !dbq::exec(q, s)) screport::logError(s.text());
}

DbConnection CDBUtility::connection() {
    if (!m_pDatabase) return DbConnection();
    return DbConnection(*m_pDatabase, m_dialect, m_strTableSuffix);
}
