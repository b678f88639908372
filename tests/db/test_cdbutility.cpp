// CDBUtility against real databases: SQLite and the private MariaDB server.
#include "db/cdbutility.h"
#include "db/dbquery.h"
#include "db/textcodec.h"
#include "support/proc.h"
#include "support/testdb.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

using testdb::Backend;
using testdb::CaseDb;
using testdb::gb;
using testdb::throwText;
using testproc::fileBytes;

namespace {

class CDBUtilityTest : public ::testing::TestWithParam<Backend> {
  protected:
    void SetUp() override { db = std::make_unique<CaseDb>(GetParam()); }
    void TearDown() override { cdb.closedb(); }
    void open() { ASSERT_NE(cdb.opendb(db->arg().c_str()), nullptr); }

    std::unique_ptr<CaseDb> db;
    CDBUtility cdb;
    testdb::LogCapture log;
};

TEST_P(CDBUtilityTest, UnopenableDatabaseIsReportedNotThrown) {
    const bool sqlite = GetParam() == Backend::Sqlite;
    QTemporaryDir dir;
    // A missing file in a folder that exists: SQLite would create it.
    const std::string bad = sqlite ? dir.path().toStdString() + "/none.db" : "no_such_case_db";
    log.errors.clear();
    EXPECT_EQ(cdb.opendb(bad.c_str()), nullptr);
    ASSERT_EQ(log.errors.size(), 1u);
    // The reason follows the name; on the server after the server and the user.
    const std::string reason = sqlite ? gb("文件不存在")
                                      : gb("服务器 localhost 套接字 ") +
                                            std::getenv("SCREPORT_TEST_MYSQL_SOCKET") +
                                            gb("，用户 root：Unknown database 'no_such_case_db'");
    EXPECT_EQ(log.errors[0], gb("不能打开数据库:") + bad + " (" + reason + ")");
    EXPECT_EQ(cdb.lastOpenError(), log.errors[0]);
    EXPECT_FALSE(sqlite && QFileInfo::exists(QString::fromStdString(bad))) << "no file may be created";
    // Later queries quietly yield their empty results.
    EXPECT_EQ(cdb.getCaseNo("x"), -1);
    EXPECT_EQ(cdb.getCaseName(1), "");
    QStringList l;
    EXPECT_EQ(throwText([&] { cdb.getCaseNameList(l); }),
              gb("作业表中没有计算成功的作业,请先进行作业定义和作业计算!"));
}

// A file that is damaged or holds no case database is named as such when it is opened,
// not later as a case that cannot be found; nothing is written to it.
TEST(CaseDatabaseFile, DamagedOrForeignFilesAreRefusedWithTheirReason) {
    testdb::LogCapture log;
    std::vector<std::string>& errors = log.errors;
    CDBUtility cdb;
    QTemporaryDir dir;
    const QString good = dir.path() + "/good.db";
    {
        CaseDb db(Backend::Sqlite);
        db.exec("INSERT INTO SC_CASE (Case_No,Case_Name,calculate) VALUES (1,'c1',1)");
        ASSERT_TRUE(QFile::copy(QString::fromStdString(db.arg()), good));
    }
    const QByteArray goodBytes = fileBytes(good);
    ASSERT_GT(goodBytes.size(), 20000);
    const int pageSize = (uchar(goodBytes[16]) << 8) | uchar(goodBytes[17]);
    const int caseRoot = testdb::rows(Backend::Sqlite, good.toStdString(),
                                      "select rootpage from sqlite_master where name='SC_CASE'")
                             .value(0)
                             .toInt();
    ASSERT_GT(caseRoot, 1);

    auto write = [&](const char* name, const QByteArray& bytes) {
        return testproc::writeFile(dir.path() + "/" + name, bytes).toStdString();
    };
    QByteArray badSchemaPage = goodBytes;
    badSchemaPage[100] = char(0xff); // the page type of the schema's b-tree page
    QByteArray badCasePage = goodBytes;
    badCasePage[(caseRoot - 1) * pageSize] = char(0xff);
    const std::string noCaseDb = dir.path().toStdString() + "/other.db";
    testdb::exec(Backend::Sqlite, noCaseDb, "CREATE TABLE notes (t TEXT)"); // another program's

    const std::string damaged = gb("数据库文件已损坏或不是数据库:");
    const std::string noCases = gb("数据库文件不是短路作业数据库:");
    const struct {
        std::string path, lead, reason;
    } cases[] = {
        {write("truncated.db", goodBytes.left(20000)), damaged,
         gb("文件不完整: 20000 字节, 应有 ") + std::to_string(goodBytes.size()) + gb(" 字节")},
        {write("text.db", "Case_No,Case_Name\n1,c1\n"), damaged, gb("没有SQLite文件头")},
        {write("header-only.db", goodBytes.left(60)), damaged, gb("没有SQLite文件头")},
        {write("schema.db", badSchemaPage), damaged, "malformed"},
        {write("casetable.db", badCasePage), damaged, "malformed"},
        {write("empty.db", QByteArray()), noCases, gb("空文件")},
        {noCaseDb, noCases, gb("没有SC_CASE表")},
    };
    for (const auto& c : cases) {
        const QString path = QString::fromStdString(c.path);
        const QByteArray before = fileBytes(path);
        ASSERT_FALSE(before.isEmpty() && c.reason != gb("空文件")) << c.path;
        errors.clear();
        EXPECT_EQ(cdb.opendb(c.path.c_str()), nullptr) << c.path;
        ASSERT_EQ(errors.size(), 1u) << c.path;
        EXPECT_TRUE(errors[0].rfind(c.lead + c.path + " (", 0) == 0 && errors[0].back() == ')' &&
                    errors[0].find(c.reason) != std::string::npos && cdb.lastOpenError() == errors[0])
            << errors[0];
        EXPECT_FALSE(cdb.database()->isOpen()) << c.path;
        EXPECT_EQ(fileBytes(path), before) << c.path << " was written to";
        EXPECT_FALSE(QFileInfo::exists(path + "-journal")) << c.path;
    }

    // The healthy file still opens, and the last failure is forgotten.
    errors.clear();
    ASSERT_NE(cdb.opendb(good.toStdString().c_str()), nullptr);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(cdb.lastOpenError(), "");
    cdb.setCaseName("c1");
    EXPECT_EQ(cdb.getCaseNo(), "1");
    cdb.closedb();
}

TEST_P(CDBUtilityTest, CaseTablesAndResolution) {
    open();
    db->exec("INSERT INTO SC_CASE (Case_No,Case_Name,SCHEME,calculate,Note) VALUES "
             "(3,'短路一','SCH_A',1,'n3'),(4,'sc-two','SCH_B',1,'n4'),(5,'未计算','SCH_A',0,'n5')");
    QStringList l{"stale"};
    cdb.getCaseNameList(l);
    l.sort();
    EXPECT_EQ(l, (QStringList{"sc-two", QString::fromUtf8("短路一")}));

    EXPECT_EQ(cdb.getCaseNo(gb("nope")), -1);
    EXPECT_EQ(cdb.getCaseName(99), "");
    cdb.setCaseNo(4);

    // Only calculate=1 is calculated; a case that does not exist is not.
    const std::pair<int, bool> calculated[] = {{3, true}, {4, true}, {5, false}, {99, false}};
    for (const auto& [no, yes] : calculated)
        EXPECT_EQ(cdb.isCaseCalculated(no), yes) << no;

    // A failed setCaseNo keeps the new number with the old name.
    EXPECT_EQ(throwText([&] { cdb.setCaseNo(77); }), gb("在短路作业表中没有找到作业号:77"));
    EXPECT_EQ(cdb.getCaseNo(), "77");
    EXPECT_EQ(cdb.getCaseName(), "sc-two");
    EXPECT_EQ(log.errors.back(), gb("在短路作业表中没有找到作业号:77"));
    // A failed setCaseName keeps the new name with the old number.
    cdb.setCaseNo(3);
    EXPECT_EQ(throwText([&] { cdb.setCaseName(QString::fromUtf8("无此作业")); }),
              gb("在短路作业表中没有找到作业名:无此作业"));
    EXPECT_EQ(cdb.getCaseName(), QString::fromUtf8("无此作业"));
    EXPECT_EQ(cdb.getCaseNo(), "3");
    {
        // Each object has its own case; statements handed no connection run on the last
        // opened, and on none once it has gone.
        CDBUtility other;
        ASSERT_NE(other.opendb(db->arg().c_str()), nullptr);
        other.setCaseNo(4);
        EXPECT_EQ(cdb.getCaseNo() + other.getCaseNo(), "34");
        EXPECT_EQ(dbq::firstText(SqlStmt("select Case_Name from SC_CASE where Case_No=4")), "sc-two");
    }
    EXPECT_EQ(dbq::firstText(SqlStmt("select Case_Name from SC_CASE where Case_No=4")), "");
}

TEST_P(CDBUtilityTest, NodePositions) {
    open();
    for (const char* sfx : {"", "BAK"}) {
        const std::string s = sfx, tag = std::string(sfx).empty() ? "" : "b";
        db->exec("INSERT INTO CDB_AREAS" + s + " (Area_No,Area_Name) VALUES (1,'区域1" + tag + "'),(2,'A2" +
                 tag + "')");
        db->exec("INSERT INTO CDB_ZONE" + s + " (Zone_No,Zone_Name,Area_No) VALUES (10,'Z10" + tag +
                 "',1),(20,'Z20" + tag + "',2),(30,'Z30" + tag + "',9)");
        db->exec("INSERT INTO CDB_PSTATION" + s +
                 " (PS_Name,Zone_No) VALUES ('S1',10),('S2',20),('S3',30),('S4',99)");
        db->exec("INSERT INTO CDB_NODE" + s +
                 " (Node_Name,PS_Name) VALUES ('b1','S1'),('B1','S2'),"
                 "('b3','S3'),('b4','S4'),('b5','none')");
    }
    // Letter case matters; a node whose station, zone or area is not in the grid lies nowhere.
    const auto positions = [&] {
        std::string all;
        for (const auto& [node, p] : cdb.connection().nodePositions())
            all += node + ":" + p.area_name + "/" + p.zone_name + "/" + p.st_name + " ";
        return all;
    };
    EXPECT_EQ(positions(), "B1:A2/Z20/S2 b1:" + gb("区域1") + "/Z10/S1 ");
    cdb.setTableSuffix("BAK");
    EXPECT_EQ(positions(), "B1:A2b/Z20b/S2 b1:" + gb("区域1b") + "/Z10b/S1 ");
}

// The package owns the schema: integers may be stored as doubles, names spelled in
// another letter case.
TEST_P(CDBUtilityTest, ForeignColumnTypesAndLetterCase) {
    db->exec("DROP TABLE SC_CASE");
    db->exec("CREATE TABLE sc_case (CASE_NO DOUBLE, case_name VARCHAR(64), scheme VARCHAR(64), "
             "CALCULATE DOUBLE, NOTE TEXT)");
    db->exec("INSERT INTO sc_case VALUES (12.0, 'dbl', 'S', 1.0, '')");
    open();
    QStringList l;
    cdb.getCaseNameList(l);
    EXPECT_EQ(l, QStringList{"dbl"});
    cdb.setCaseName("dbl");
    EXPECT_EQ(cdb.getCaseNo(), "12");
    EXPECT_EQ(cdb.getCaseNo("dbl"), 12);
    EXPECT_EQ(cdb.getCaseName(12), "dbl");
    EXPECT_TRUE(cdb.isCaseCalculated(12));
}

INSTANTIATE_ON_BACKENDS(CDBUtilityTest);

} // namespace
