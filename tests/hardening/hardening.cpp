#include "hardening.h"

#include "casegen/casegen.h"
#include "db/cdbutility.h"
#include "db/dbquery.h"
#include "support/runs.h"

#include <QSqlQuery>
#include <QStringDecoder>

#include <gtest/gtest.h>

namespace hard {

bool tryExec(const CDBUtility& db, const std::string& sqlUtf8, const QStringList& values) {
    QSqlQuery q(*db.database());
    if (!q.prepare(QString::fromUtf8(sqlUtf8.c_str()))) return false;
    for (const QString& v : values)
        q.addBindValue(v);
    return q.exec();
}

std::string openDemo(CDBUtility& db, const std::string& dbArg, int caseNo) {
    std::string err;
    if (!casegen::makeDemo(dbArg, &err)) return err;
    db.setDBType(DB_SC);
    if (!db.opendb(dbArg.c_str())) return "cannot open " + dbArg;
    if (caseNo > 0) db.setCaseNo(caseNo);
    return std::string();
}

FullRun::FullRun(int caseNo, bool perUnit, const std::string& projectDir, size_t maxPoints)
    : faults(testrun::faultPoints(caseNo, maxPoints)),
      req(testrun::everyReport(caseNo, perUnit, projectDir, faults)) {}

void DemoTest::SetUp() {
    db = std::make_unique<testdb::CaseDb>(GetParam());
    ASSERT_EQ(openDemo(cdb, db->arg()), "");
    project = tmp.path().toStdString() + "/";
}

void DemoTest::TearDown() {
    cdb.closedb();
    db.reset();
}

std::string unreadable(const QByteArray& bytes) {
    QStringDecoder dec("GB18030");
    const QString s = dec.decode(bytes);
    if (dec.hasError()) return "not GB18030";
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == QChar::ReplacementCharacter) return "replacement character at " + std::to_string(i);
        if (c.unicode() < 0x20 && c != '\n' && c != '\r' && c != '\t')
            return "control character " + std::to_string(c.unicode()) + " at " + std::to_string(i);
    }
    return std::string();
}

bool wholeZip(const QByteArray& bytes) {
    return bytes.startsWith(QByteArray("PK\x03\x04", 4)) && bytes.size() >= 22 &&
           bytes.lastIndexOf(QByteArray("PK\x05\x06", 4)) >= bytes.size() - 22 - 0xFFFF;
}

BatchRun batch(const QStringList& args, const QString& workDir) {
    return testproc::run(SCREPORT_EXE, args, testproc::env(), workDir, 60000);
}

} // namespace hard
