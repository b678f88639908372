#include "cdbutility.h"

#include "dbquery.h"
#include "errortext.h"
#include "log.h"
#include "serverlogin.h"
#include "textcodec.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <sstream>

using textcodec::gb;

namespace {

QSqlDatabase& connectionObject() {
    static QSqlDatabase db;
    return db;
}

// Character sets whose columns hold bytes the server does not convert: the package's
// GB18030 text, as a client that never set a character set stored it.
// Latin1 columns need a latin1 session to pass their bytes; binary ones come as stored in
// any session, while the text columns beside them may be converted as usual.
DbSession::Text storeOf(const std::string& charset, const std::string& dataType) {
    const QString cs = QString::fromStdString(charset).toLower();
    const QString type = QString::fromStdString(dataType).toLower();
    if (cs == "latin1") return DbSession::Text::Gb18030Bytes;
    if (cs == "binary" ||
        (cs.isEmpty() && (type == "binary" || type == "varbinary" || type.endsWith("blob"))))
        return DbSession::Text::Gb18030Binary;
    return DbSession::Text::Unicode;
}

// The encoding a character-set name asks for; false for an unknown name.
bool textFor(const std::string& name, DbSession::Text* t) {
    const QString n = QString::fromStdString(name).toLower();
    if (n == "latin1" || n == "binary") {
        *t = n == "latin1" ? DbSession::Text::Gb18030Bytes : DbSession::Text::Gb18030Binary;
        return true;
    }
    for (const char* u : {"utf8", "utf8mb3", "utf8mb4", "gbk", "gb2312", "gb18030"})
        if (n == u) {
            *t = DbSession::Text::Unicode;
            return true;
        }
    return false;
}

// Tables and text encoding, from the catalogue; `db` reads through `session` as it fills.
// False when the catalogue could not be read because another program holds the database.
bool learn(const DbConnection& db, DbSession& session, const std::string& override) {
    const bool file = db.dialect().isFileDatabase();
    dbq::Query t(db);
    if (t.exec(file ? SqlStmt("SELECT name FROM sqlite_master WHERE type='table'")
                    : SqlStmt("SELECT TABLE_NAME,ENGINE FROM information_schema.TABLES WHERE "
                              "TABLE_SCHEMA=DATABASE()"))) {
        while (t.next())
            session.addTable(t.text8(0), file ? std::string() : t.text8(1));
    }
    if (dbq::lockRefused()) return false;
    DbSession::Text text = DbSession::Text::Unicode;
    std::string why;
    if (!override.empty() && textFor(override, &text)) {
        why = "default-character-set=" + override;
    } else if (!file) {
        dbq::Query c(db);
        SqlStmt s(
            "SELECT TABLE_NAME,COLUMN_NAME,CHARACTER_SET_NAME,DATA_TYPE FROM information_schema.COLUMNS "
            "WHERE TABLE_SCHEMA=DATABASE() AND COLUMN_NAME LIKE '%name'");
        if (c.exec(s)) {
            while (c.next()) {
                const QString table = QString::fromStdString(c.text8(0)).toUpper();
                if (table != "SC_CASE" && !table.startsWith("SCR_")) continue;
                const DbSession::Text t = storeOf(c.text8(2), c.text8(3));
                if (t == DbSession::Text::Unicode || text == DbSession::Text::Gb18030Bytes) continue;
                text = t;
                why = c.text8(0) + "." + c.text8(1) + " " + (c.isNull(2) ? c.text8(3) : c.text8(2));
            }
        }
    } else {
        // A file holds what its writer put there: text that is not UTF-8 is GB18030.
        for (const char* sql :
             {"SELECT Case_Name,Note FROM SC_CASE", "SELECT BUS_Name FROM SCR_BUS LIMIT 2000",
              "SELECT I_Name,J_Name FROM SCR_R120 LIMIT 2000"}) {
            dbq::Query q(db);
            if (!q.exec(SqlStmt(sql))) continue;
            while (text == DbSession::Text::Unicode && q.next()) {
                for (int i = 0; i < q.rows()->columns(); ++i) {
                    const std::string_view b = q.rows()->textBytes(i);
                    if (b.data() && !textcodec::isValidUtf8(b.data(), b.size())) {
                        text = DbSession::Text::Gb18030Bytes;
                        why = std::string(sql) + ": " + textcodec::gb("不是UTF-8的文字");
                        break;
                    }
                }
            }
        }
    }
    session.setText(text, why);
    if (!file) {
        // Bytes pass through a latin1 session unchanged, as they did for the package.
        dbq::Query n(db);
        n.exec(SqlStmt(text == DbSession::Text::Gb18030Bytes ? "SET NAMES latin1 COLLATE latin1_bin"
                                                             : "SET NAMES utf8mb4 COLLATE utf8mb4_bin"));
    }
    screport::logDebug((text == DbSession::Text::Unicode
                            ? textcodec::gb("数据库的文字由服务器转换")
                            : textcodec::gb(text == DbSession::Text::Gb18030Bytes
                                                ? "数据库的文字是GB18030字节，原样传送"
                                                : "数据库的名称列是存GB18030字节的二进制列")) +
                       (why.empty() ? std::string() : ":" + why));
    return true;
}

// The object whose opendb made the connection, while it exists.
const CDBUtility* g_opened = nullptr;

} // namespace

CDBUtility::~CDBUtility() {
    if (g_opened == this) g_opened = nullptr;
}

DbConnection CDBUtility::lastOpened() {
    return g_opened ? g_opened->connection() : DbConnection();
}

QSqlDatabase* CDBUtility::opendb(const char* name) {
    const std::string dbName = name ? name : "";
    m_dialect = SqlDialect(SqlDialect::backendFor(dbName));
    QSqlDatabase& db = connectionObject();
    if (db.isOpen()) db.close();
    dbq::clearConnectionLost(); // a new connection starts with nothing lost
    dbq::clearLockRefused();
    m_session.reset();
    const QString connName = textcodec::fromLocal8(dbName);
    db = QSqlDatabase(); // drop our handle before the registry replaces the connection
    if (QSqlDatabase::contains(connName)) QSqlDatabase::removeDatabase(connName);
    db = QSqlDatabase::addDatabase(m_dialect.driverName(), connName);
    m_pDatabase = &db;
    g_opened = this;
    db.setDatabaseName(connName);
    QString server;
    const bool reached = m_dialect.configure(db, &server);

    screport::logDebug(gb("正在打开数据库 ") + dbName);

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
    if (state == SqlDialect::FileState::Fine) {
        auto session = std::make_shared<DbSession>();
        if (!m_dialect.isFileDatabase()) session->setServer(textcodec::toLocal8(server));
        std::string override = m_charsetOverride;
        if (override.empty()) override = qEnvironmentVariable("SCREPORT_DB_CHARSET").toStdString();
        if (override.empty() && !m_dialect.isFileDatabase())
            override = ServerLogin::optionFileValue("screport", "default-character-set").toStdString();
        if (override == "auto") override.clear();
        if (learn(DbConnection(db, m_dialect, m_strTableSuffix, session), *session, override)) {
            m_session = session;
            return m_pDatabase;
        }
        db.close();
        state = SqlDialect::FileState::InUse;
    }
    switch (state) {
    case SqlDialect::FileState::Damaged:
        m_strOpenError = gb("数据库文件已损坏或不是数据库:");
        break;
    case SqlDialect::FileState::InUse:
        m_strOpenError = gb("数据库被其他程序占用:");
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
    m_strTablePrefix = "SCR_";
}

std::string CDBUtility::getCaseTab() const {
    return "SC_CASE";
}

void CDBUtility::setCaseNo(int n) {
    m_CaseNo = std::to_string(n);
    SqlStmt s;
    s << "SELECT Case_Name from SC_CASE where Case_No=" << m_CaseNo;
    dbq::Query q(connection());
    const bool active = q.exec(s);
    if (!active) failedRead(s);
    if (q.next()) {
        m_CaseName = textcodec::fromLocal8(q.text8(0));
        return;
    }
    raiseError(gb("在") + gb("短路") + gb("作业表中没有找到作业号:") + m_CaseNo);
}

void CDBUtility::setCaseName(const QString& name) {
    m_CaseName = name;
    const std::string name8 = textcodec::toLocal8(name);
    screport::logDebug("case name :" + name8);
    SqlStmt s;
    s << "SELECT Case_No from SC_CASE where CASE_Name=";
    s.str(name8);
    dbq::Query q(connection());
    if (!q.exec(s)) failedRead(s);
    if (q.next()) {
        m_CaseNo = q.text8(0);
        return;
    }
    raiseError(gb("在") + gb("短路") + gb("作业表中没有找到作业名:") + name8);
}

void CDBUtility::failedRead(const SqlStmt& s) const {
    // A statement that did not run says nothing about the case: name what stopped it.
    const std::string why = dbq::failureText(connection());
    if (!why.empty()) raiseError(why);
    screport::logError(s.text());
}

int CDBUtility::getCaseNo(const std::string& name) const {
    SqlStmt s;
    s << "select Case_No from " << getCaseTab() << " where Case_Name=";
    s.str(name);
    dbq::Query q(connection());
    if (q.exec(s) && q.next()) return dbq::toInt(q.value(0));
    return -1;
}

std::string CDBUtility::getCaseName(int n) const {
    SqlStmt s;
    s << "select Case_Name from " << getCaseTab() << " where Case_No=" << std::to_string(n);
    dbq::Query q(connection());
    return q.exec(s) && q.next() ? q.text8(0) : std::string();
}

void CDBUtility::getCaseNameList(QStringList& list) const {
    list.clear();
    SqlStmt s;
    s << "SELECT CASE_Name from " << getCaseTab() << " where calculate=1";
    dbq::Query q(connection());
    if (!q.exec(s)) {
        failedRead(s);
    } else {
        while (q.next())
            list << textcodec::fromLocal8(q.text8(0));
    }
    if (list.isEmpty()) raiseError(gb("作业表中没有计算成功的作业,请先进行作业定义和作业计算!"));
}

bool CDBUtility::isCaseCalculated(int n) const {
    const std::string name = getCaseName(n);
    if (name.empty()) return false;
    // The statement of the case list, so that "calculated" means what the list shows.
    SqlStmt s;
    s << "SELECT CASE_Name from " << getCaseTab() << " where calculate=1";
    dbq::Query q(connection());
    if (!q.exec(s)) return false;
    while (q.next())
        if (q.text8(0) == name) return true;
    return false;
}

void CDBUtility::save_caseNote(const char* table, const QString& name, const QString& note) const {
    const std::string tab = table ? table : "";
    SqlStmt s;
    s << "update " << tab << " set Note=";
    s.str(textcodec::toLocal8(note));
    s << " where case_name=";
    s.str(textcodec::toLocal8(name));
    if (!isPlainIdentifier(tab) || !dbq::Query(connection()).exec(s)) screport::logError(s.text());
}

DbConnection CDBUtility::connection() const {
    if (!m_pDatabase) return DbConnection();
    return DbConnection(*m_pDatabase, m_dialect, m_strTableSuffix, m_session);
}

bool CDBUtility::setCharsetOverride(const std::string& name) {
    DbSession::Text t;
    if (!name.empty() && name != "auto" && !textFor(name, &t)) return false;
    m_charsetOverride = name;
    return true;
}
