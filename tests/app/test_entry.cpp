// The program's entry, run as a process: usage, errors that end it, the backup flag,
// what the batch mode says about a database or case it cannot report, runs over several
// cases with their summary, and the installed package.
#include "support/proc.h"
#include "support/testdb.h"
#include "support/xlsxread.h"
#include "tools/casegen/casegen.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <set>

namespace {

namespace demo = casegen::demo;

using testproc::fileBytes;
using testproc::Outcome;
using testproc::writeFile;

Outcome run(const QStringList& args, const QProcessEnvironment& env = testproc::env()) {
    return testproc::run(SCREPORT_EXE, args, env);
}

// Runs until the error stream holds `until` (or a while has passed), then ends the process:
// with a case to show, the dialog would wait for the user.
QString errorsWhileOpen(const QStringList& args, const QString& until) {
    testproc::Started p(SCREPORT_EXE, args);
    p.waitFor(until, 15000);
    p.p.kill();
    p.finish();
    return p.err;
}

// Too few arguments show the usage; an error while the dialog is built ends the program.
// Each says so in one notice and ends with zero.
TEST(Entry, UsageAndErrorsWhileTheDialogIsBuiltEndWithOneNotice) {
    testdb::CaseDb empty(testdb::Backend::Sqlite), db(testdb::Backend::Sqlite);
    db.exec("INSERT INTO SC_CASE (Case_No,Case_Name,calculate) VALUES (1,'c1',1)");
    auto u = [](const char* utf8) { return QString::fromUtf8(utf8); };
    const QString usage = u("用法：本程序需要传入数据库名,工程目录,(作业名称)！");
    const QString noCase = u("作业表中没有计算成功的作业,请先进行作业定义和作业计算!");
    const struct {
        QStringList args;
        QString notice;
    } rows[] = {
        {{}, usage},
        {{"only.db"}, usage},
        {{QString::fromStdString(empty.arg()), "/tmp/proj"}, noCase},
        {{QString::fromStdString(db.arg()), "/tmp/proj", u("<b>无此作业</b>")},
         u("在短路作业表中没有找到作业名:<b>无此作业</b>\n")},
        // The file and why, not a case table without cases.
        {{"/nonexistent/dir/case.db", "/tmp/proj"}, u("不能打开数据库:/nonexistent/dir/case.db")},
    };
    for (const auto& r : rows) {
        const Outcome o = run(r.args);
        EXPECT_EQ(o.code, 0);
        EXPECT_EQ(o.err.count(u("[提示] ") + r.notice), 1) << o.err.toStdString();
        EXPECT_FALSE(r.notice != noCase && o.err.contains(noCase)) << o.err.toStdString();
        EXPECT_FALSE(r.notice == usage && o.out.contains(u("正在打开数据库"))) << "no dialog is built";
    }
}

TEST(Entry, WithoutAFourthArgumentTheNetworkIsReadFromTheBackupTables) {
    testdb::CaseDb db(testdb::Backend::Sqlite);
    db.exec("INSERT INTO SC_CASE (Case_No,Case_Name,calculate,`Function`,Simple_F,Type_Fault) "
            "VALUES (1,'c1',1,1,1,1)");
    // A missing table makes the tree's first statement fail where it can be seen.
    db.exec("DROP TABLE CDB_AREASBAK");
    const QString arg = QString::fromStdString(db.arg());
    const QString bakRead = "select Area_Name from CDB_AREASBAK";
    EXPECT_TRUE(errorsWhileOpen({arg, "/tmp/proj"}, bakRead).contains(bakRead));
    EXPECT_TRUE(errorsWhileOpen({arg, "/tmp/proj", "c1"}, bakRead).contains(bakRead));
    // Any fourth argument, even an empty one, means the live tables; a fifth is ignored.
    db.exec("DROP TABLE CDB_AREAS");
    const QString liveRead = "select Area_Name from CDB_AREAS\n";
    const QString live = errorsWhileOpen({arg, "/tmp/proj", "c1", "", "extra"}, liveRead);
    EXPECT_TRUE(live.contains(liveRead)) << live.toStdString();
    EXPECT_FALSE(live.contains(bakRead));
}

// --- batch mode -----------------------------------------------------------------------

QString caseName(int n) {
    return QString::fromUtf8(demo::kCaseNames[n - 1]);
}

// The demo case database, calculated by the case generator (a file path or a server name).
bool makeDemo(const QString& arg) {
    const Outcome r = testproc::run(SCREPORT_BINARY_DIR "/tools/sc-mkcase", {"--demo", "--force", arg});
    EXPECT_EQ(r.code, 0) << "sc-mkcase --demo " << arg.toStdString() << ": " << r.err.toStdString();
    return r.code == 0;
}

class BatchRun : public ::testing::TestWithParam<testdb::Backend> {
  protected:
    void SetUp() override {
        if (GetParam() == testdb::Backend::Sqlite) {
            // A folder name the terminal writes in UTF-8 and the program holds in GB18030.
            ASSERT_TRUE(QDir(dir.path()).mkdir(QString::fromUtf8("演示 数据")));
            arg = dir.path() + QString::fromUtf8("/演示 数据/demo.db");
        } else {
            server = std::make_unique<testdb::CaseDb>(GetParam());
            arg = QString::fromStdString(server->arg());
        }
        ASSERT_TRUE(makeDemo(arg));
    }
    // Changes the demo behind the program's back.
    void sql(const std::string& utf8) { testdb::exec(GetParam(), arg.toStdString(), utf8); }
    QTemporaryDir dir;
    QString arg;
    // Spaces, Chinese, a quote and a percent sign in the project path.
    const QString project = dir.path() + QString::fromUtf8("/工程 目录 O'x %d/二");
    std::unique_ptr<testdb::CaseDb> server;
};

QJsonObject readJson(const QString& path) {
    return QJsonDocument::fromJson(fileBytes(path)).object();
}

// The case list as scripts read it, then every calculated case in one call: a folder per
// case and a summary whose counts are those of the files.
TEST_P(BatchRun, AllCasesGoToAFolderEachAndTheSummaryCountsWhatTheFilesHold) {
    const Outcome json = run({"--list-cases", arg, "--json"});
    ASSERT_EQ(json.code, 0) << json.err.toStdString();
    testproc::expectGolden("list_cases.json", json.out.toStdString()); // before the note below
    std::set<int> calculated;
    for (int n = 1; n <= demo::kCaseCount; ++n)
        if (n != demo::kCaseUncalculated) calculated.insert(n);

    // As a table, a note's tab and line break stay on its line.
    sql("UPDATE SC_CASE SET Note='a\tb\nc' WHERE Case_No=1");
    testproc::expectGolden("list_cases.txt", run({"--list-cases", arg}).out.toStdString());

    const QString summaryPath = dir.path() + "/summary.json";
    const Outcome all = run({"--batch", arg, project, "all", "--reports", "all", "--items", "busvol=all",
                             "--items", "shortbra=all", "--items", "viz=all", "--format", "txt,html,xlsx",
                             "--summary-json", summaryPath});
    ASSERT_EQ(all.code, 0) << all.err.toStdString();
    const QJsonObject sum = readJson(summaryPath);
    EXPECT_EQ(sum["exitStatus"].toInt(-1), 0);
    const QJsonArray cases = sum["cases"].toArray();
    ASSERT_EQ(cases.size(), int(calculated.size()));
    QStringList folders;
    for (int n : calculated) // fewer than ten: name order is number order
        folders << QString::number(n);
    EXPECT_EQ(QDir(project + "/temp").entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot), folders)
        << "one folder per calculated case and nothing else";
    const QStringList printed = all.out.split('\n', Qt::SkipEmptyParts);
    for (const QJsonValue& v : cases) {
        const QJsonObject c = v.toObject();
        const QString folder = project + "/temp/" + QString::number(c["number"].toInt());
        EXPECT_EQ(c["exitStatus"].toInt(-1), 0);
        const QStringList files = c["files"].toVariant().toStringList();
        EXPECT_EQ(files, QStringList({folder + "/rep_txt.txt", folder + "/sc_report.htm",
                                      folder + "/sc_report.xlsx"}));
        for (const QString& f : files) {
            EXPECT_TRUE(QFileInfo(f).size() > 0) << f.toStdString();
            EXPECT_TRUE(printed.contains(f)) << f.toStdString();
        }
        // Each report is one workbook sheet; a record's row starts with the record class.
        const QJsonArray reports = c["reports"].toArray();
        EXPECT_FALSE(
            QFileInfo::exists(folder + QString("/sc_report.files/sheet%1.htm").arg(reports.size() + 1)));
        qint64 rows = 0, cells = 0;
        for (int i = 0; i < reports.size(); ++i) {
            qint64 sheetRows = 0, sheetCells = 0;
            for (const QByteArray& line :
                 fileBytes(folder + QString("/sc_report.files/sheet%1.htm").arg(i + 1)).split('\n'))
                if (line.startsWith("<tr><td class=xl30>")) {
                    ++sheetRows;
                    sheetCells += line.count("<td");
                }
            const QJsonObject r = reports[i].toObject();
            const std::string at = folder.toStdString() + " " + r["kind"].toString().toStdString();
            EXPECT_EQ(r["rows"].toInteger(), sheetRows) << at;
            EXPECT_EQ(r["cells"].toInteger(), sheetCells) << at;
            rows += sheetRows;
            cells += sheetCells;
        }
        EXPECT_GT(rows, 0);
        EXPECT_EQ(c["rows"].toInteger(), rows);
        EXPECT_EQ(c["cells"].toInteger(), cells);
        EXPECT_EQ(c["dataProblems"].toObject()["total"].toInt(-1), 0);
        const QJsonObject seconds = c["seconds"].toObject();
        for (const char* stage : {"case", "prepare", "summary", "viz", "write", "total"})
            EXPECT_TRUE(seconds.contains(stage)) << stage;
        // Every table of the workbook (header row 4): a unit over each column of numbers,
        // no 10000 standing for "no value", and where each bus lies (a fault inside a
        // branch where its I side does) on every row; the summary and the bus voltages
        // have a chart each.
        const std::string book = files.value(2).toStdString();
        const std::vector<std::string> parts = xlsxread::members(book);
        const QRegularExpression at("^([A-Z]+)([0-9]+)$"), unit(QString::fromUtf8("(\\(.+\\)|（.+）)$"));
        int places = 0;
        for (const std::string& part : parts) {
            if (part.rfind("xl/worksheets/sheet", 0) != 0) continue;
            const xlsxread::Sheet s = xlsxread::sheet(xlsxread::member(book, part));
            if (s.text("A3").rfind("说明：", 0) != 0) continue; // a chart's data
            std::map<std::string, int> rows;
            for (const auto& [ref, cell] : s.cells) {
                const auto m = at.match(QString::fromStdString(ref));
                const std::string col = m.captured(1).toStdString(), head = s.text(col + "4");
                const int row = m.captured(2).toInt();
                if (row <= 4 || cell.value.empty()) continue;
                ++rows[col];
                if (!cell.type.empty()) continue;
                EXPECT_NE(cell.value, "10000") << book << " " << part << " " << ref;
                EXPECT_TRUE(unit.match(QString::fromStdString(head)).hasMatch() ||
                            head.find("支路号") != head.npos)
                    << book << " " << part << " " << head;
            }
            for (const auto& [col, n] : rows)
                if (s.text(col + "4").find("区域 / 分区 / 厂站") != std::string::npos) {
                    EXPECT_EQ(n, rows["A"]) << book << " " << part << " " << s.text(col + "4");
                    ++places;
                }
        }
        EXPECT_GT(places, 0) << book;
        EXPECT_EQ(std::count_if(parts.begin(), parts.end(),
                                [](const std::string& p) { return p.rfind("xl/charts/chart", 0) == 0; }),
                  2);
    }
    // The HTML workbook keeps names and headers in view, prints, and names the window
    // after the sheet its tab strip shows.
    const QString wb = project + "/temp/1/sc_report";
    for (const char* rule :
         {"position:sticky", "@media print", "content-visibility:auto", "table-header-group"})
        EXPECT_TRUE(fileBytes(wb + ".files/stylesheet.css").contains(rule)) << rule;
    EXPECT_TRUE(fileBytes(wb + ".files/tabstrip.htm").contains("parent.postMessage(") &&
                fileBytes(wb + ".htm").contains("document.title = e.data"));
    // A single case keeps the usual paths, writes what the run over all wrote for it and
    // says nothing that reads like an error.
    const QString single = dir.path() + "/single/temp/";
    const Outcome one = run({"--batch", arg, dir.path() + "/single", caseName(demo::kCaseThreePhase),
                             "--reports", "all", "--items", "busvol=all", "--items", "shortbra=all",
                             "--items", "viz=all", "--format", "txt,html"});
    ASSERT_EQ(one.code, 0) << one.err.toStdString();
    EXPECT_EQ(one.out.split('\n', Qt::SkipEmptyParts),
              QStringList({single + "rep_txt.txt", single + "sc_report.htm"}));
    for (const char* f : {"rep_txt.txt", "sc_report.htm", "sc_report.files/sheet4.htm"})
        EXPECT_EQ(fileBytes(single + f), fileBytes(project + "/temp/1/" + f)) << f;
    for (const char* notAnError : {"指定的作业不存在", "catch exception here:", "不能打开数据库", "损坏"})
        EXPECT_FALSE(one.err.contains(QString::fromUtf8(notAnError))) << notAnError << "\n"
                                                                      << one.err.toStdString();
}

// One failing case does not stop the others; the worst status counts (1 over 4 over 0).
TEST_P(BatchRun, AFailingCaseDoesNotStopTheOthersAndTheWorstStatusIsTheExitStatus) {
    sql("UPDATE SCR_B120 SET VR1=NULL WHERE Case_No=2"); // written, with data problems
    const QString summaryPath = dir.path() + "/summary.json";
    const QString uncalculated = caseName(demo::kCaseUncalculated);
    const Outcome r = run({"--batch", arg, project, "1,2," + uncalculated + ",no such case,1", "--reports",
                           "busvol", "--format", "txt", "--summary-json", summaryPath});
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("screport: case no such case: ")) << r.err.toStdString();
    // The summary whole (the case given twice runs once), the times left out.
    QJsonObject sum = readJson(summaryPath);
    QJsonArray cases = sum["cases"].toArray();
    for (qsizetype i = 0; i < cases.size(); ++i) {
        QJsonObject c = cases[i].toObject();
        c.remove("seconds");
        cases[i] = c;
    }
    sum["cases"] = cases;
    const QString text = QString::fromUtf8(QJsonDocument(sum).toJson()).replace(project, "PROJECT");
    testproc::expectGolden("summary_failing.json", QString(text).replace(arg, "DB").toStdString());
    EXPECT_FALSE(QFileInfo::exists(project + "/temp/1/sc_report.htm")) << "only the text was asked for";
    EXPECT_TRUE(QFileInfo::exists(project + "/temp/2/rep_txt.txt"));
    EXPECT_FALSE(QFileInfo::exists(project + "/temp/" + QString::number(demo::kCaseUncalculated)));

    EXPECT_EQ(run({"--batch", arg, project, "2,1", "--reports", "busvol", "--format", "txt"}).code, 4);
}

// Stored choices the dialog never writes are data problems with what is used instead: an
// item that is none of its kind's left out, an unknown unit per unit, the first of two rows.
TEST_P(BatchRun, DamagedStoredChoicesAreDataProblemsAndSayWhatIsUsed) {
    if (GetParam() == testdb::Backend::MariaDb) sql("ALTER TABLE SCR_CONT MODIFY VAR3 VARCHAR(20)");
    sql("UPDATE SCR_OUT SET Unit=7,Lreport=0,LSummary=0,LDistribut=0,LShortBra=0,LLineCur=0,LVIZ=0");
    sql("INSERT INTO SCR_OUT "
        "(CASE_NO,Unit,On_area,On_Zone,On_Sub,OverLimit,Lreport,Lfile,LSummary,LDistribut,"
        "LShortBra,LBusVol,LLineCur,LVIZ) VALUES (1,7,0,0,0,0,1,1,0,0,0,1,1,0)");
    sql("INSERT INTO SCR_CONT (Case_NO,OBJNO,TableNO,VAR1,VAR2,VAR3,VAR4,VAR5) VALUES "
        "(1,3,4,0,12,'abc',1,-1),(1,3,4,0,12,'abc',1,-1)");
    const QString summaryPath = dir.path() + "/summary.json";
    const QStringList args = {"--batch", arg, project, caseName(1), "--encoding", "utf-8"};
    const Outcome r = run(args + QStringList{"--summary-json", summaryPath});
    ASSERT_EQ(r.code, 4) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("6 个数据问题："))) << r.err.toStdString();
    const QJsonObject counts = readJson(summaryPath)["cases"][0]["dataProblems"].toObject();
    EXPECT_EQ(QList<int>({counts["total"].toInt(), counts["conflict"].toInt(), counts["duplicate"].toInt()}),
              QList<int>({6, 2, 1}));
    testproc::expectGolden("choice_problems.txt",
                           fileBytes(project + "/temp/data_problems.txt").toStdString());
    // What was used, given on the command line: the same report, and the stored choices
    // it replaces are no problem of the run.
    const QString given = dir.path() + "/given";
    EXPECT_EQ(
        run(QStringList(args).replaceInStrings(project, given) +
            QStringList{"--units", "pu", "--reports", "busvol", "--items", "busvol=0,1", "--format", "txt"})
            .code,
        0);
    EXPECT_EQ(fileBytes(given + "/temp/rep_txt.txt"), fileBytes(project + "/temp/rep_txt.txt"));
}

// Choices that ask for no report kind or no file are refused: nothing of the last run's is
// replaced or removed.
TEST_P(BatchRun, ARunThatWouldWriteNothingIsRefusedAndTheLastReportsStay) {
    sql("UPDATE SCR_OUT SET Unit=7 WHERE CASE_NO=1"); // the last run leaves its problem list too
    const QStringList args = {"--batch", arg, project, caseName(1)};
    ASSERT_EQ(run(args).code, 4);
    const auto before = testproc::files(project);
    ASSERT_GT(before.size(), 5u);
    const struct {
        const char* update;
        const char* said;
    } rows[] = {
        {"LSummary=0,LDistribut=0,LShortBra=0,LBusVol=0,LLineCur=0,LVIZ=0", "没有选择输出对象"},
        {"LBusVol=1,Lreport=0,Lfile=0", "没有选择输出方式（文件或报表）"},
    };
    for (const auto& row : rows) {
        sql("UPDATE SCR_OUT SET " + std::string(row.update));
        const Outcome r = run(args);
        EXPECT_EQ(r.code, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("screport: " + QString::fromUtf8(row.said) +
                                   QString::fromUtf8("，报表没有输出:作业 1\n")))
            << r.err.toStdString();
        EXPECT_EQ(testproc::differences(before, testproc::files(project)), "") << row.said;
    }
}

// The server found as every MySQL client finds it: an option file in HOME and no variable;
// its [screport] group over [client], the environment over the file, the command line
// over the environment; a login that fails names the server, the user and the reason.
TEST(BatchServer, OptionFileThenEnvironmentThenCommandLine) {
    if (!testdb::mariaDbAvailable() && !testdb::mariaDbRequired()) GTEST_SKIP() << "no MariaDB test server";
    testdb::CaseDb db(testdb::Backend::MariaDb);
    const QString arg = QString::fromStdString(db.arg());
    ASSERT_TRUE(makeDemo(arg));
    QTemporaryDir home;
    const QString socket = QString::fromLocal8Bit(std::getenv("SCREPORT_TEST_MYSQL_SOCKET"));
    const QString cnf = home.path() + "/.my.cnf", client = "[client]\nsocket=" + socket + "\nuser=root\n";
    QProcessEnvironment env = testproc::env();
    for (const QString& k : env.keys())
        if (k.startsWith("SCREPORT_DB_") || k.startsWith("MYSQL_")) env.remove(k);
    env.insert("HOME", home.path());
    const QString project = home.path() + "/project";
    const QStringList args = {"--batch",   arg,      project,    caseName(demo::kCaseThreePhase),
                              "--reports", "busvol", "--format", "txt"};
    const QString refused = QString::fromUtf8("screport: 不能打开数据库:") + arg +
                            QString::fromUtf8(" (服务器 localhost 套接字 ") + socket +
                            QString::fromUtf8("，用户 nobody_here：");

    writeFile(cnf, client.toUtf8());
    Outcome r = run(args, env);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(project + "/temp/rep_txt.txt"));

    writeFile(cnf, (client + "[screport]\nuser=nobody_here\n").toUtf8());
    r = run(args, env);
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains(refused)) << r.err.toStdString();

    QProcessEnvironment userFromEnv = env;
    userFromEnv.insert("SCREPORT_DB_USER", "root");
    EXPECT_EQ(run(args, userFromEnv).code, 0);

    userFromEnv.insert("SCREPORT_DB_USER", "nobody_here");
    EXPECT_EQ(run(args + QStringList{"--user", "root"}, userFromEnv).code, 0);
    // root has no password on the test server: one from a file is used, and refused.
    const QString pw = writeFile(home.path() + "/pw", "not-the-password\n");
    r = run(args + QStringList{"--user", "root", "--password-file", pw}, userFromEnv);
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains("using password: YES")) << r.err.toStdString();
    // No password on the command line, ever.
    r = run(args + QStringList{"--password=secret"}, env);
    EXPECT_EQ(r.code, 2) << "a bad command line";
    EXPECT_TRUE(r.err.contains("Unexpected value after '--password'")) << r.err.toStdString();
}

INSTANTIATE_ON_BACKENDS(BatchRun);

// --- the package ----------------------------------------------------------------------

// Runs a tool, failing the test when it does not end well; its standard output.
QString tool(const QString& program, const QStringList& args, const QString& cwd = QString(),
             const QProcessEnvironment& env = testproc::env()) {
    const Outcome r = testproc::run(program, args, env, cwd);
    EXPECT_EQ(r.code, 0) << program.toStdString() << " " << args.join(' ').toStdString() << ": "
                         << r.err.toStdString();
    return r.out;
}

// The words bash completion offers for the command line `words`, the cursor on word `at`.
QStringList completions(const QString& script, const QString& words, int at) {
    return tool("bash", {"-c", QString(". '%1'; COMP_WORDS=(screport %2); COMP_CWORD=%3; _screport; "
                                       "echo \"${COMPREPLY[*]}\"")
                                   .arg(script, words)
                                   .arg(at)})
        .split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
}

// The .deb as a user installs it: built by cpack, unpacked, run from another folder
// without the build tree; its dependencies are what it loads.
TEST(Package, TheUnpackedDebRunsFromAnyFolderAndDependsOnWhatItLoads) {
    QTemporaryDir tmp;
    const QString bin = SCREPORT_BINARY_DIR;
    tool("cpack", {"--config", bin + "/CPackConfig.cmake", "-B", tmp.path() + "/out"}, bin);
    const QStringList debs = QDir(tmp.path() + "/out").entryList({"*.deb"}, QDir::Files);
    ASSERT_EQ(debs.size(), 1);
    const QString deb = tmp.path() + "/out/" + debs[0];
    const QString root = tmp.path() + "/root";
    tool("dpkg-deb", {"-x", deb, root});
    const QString exe = root + "/usr/bin/screport";
    const QString man = root + "/usr/share/man/man1/screport.1.gz";
    const QString completion = root + "/usr/share/bash-completion/completions/screport";
    for (const QString& f : {exe, man, completion})
        EXPECT_TRUE(QFileInfo::exists(f)) << f.toStdString();

    // From an unrelated folder, with nothing pointing at the build tree.
    const QString elsewhere = tmp.path() + "/elsewhere";
    QDir().mkpath(elsewhere);
    QProcessEnvironment env = testproc::env();
    env.remove("LD_LIBRARY_PATH");
    const QString version = tool(exe, {"--version"}, elsewhere, env);
    EXPECT_EQ(version, tool(SCREPORT_EXE, {"--version"}));
    for (const char* lib : {"Qt 6.", "SQLite 3.", "MariaDB client ", "libxlsxwriter "})
        EXPECT_TRUE(version.contains(lib)) << lib << "\n" << version.toStdString();
    EXPECT_FALSE(version.contains("not available")) << version.toStdString();

    // The same complete workbook as the program in the build tree; the packaged case
    // generator finds its library too.
    const QString db = tmp.path() + "/demo.db";
    tool(root + "/usr/bin/sc-mkcase", {"--demo", db}, elsewhere, env);
    const QStringList run = {"--batch",   db,    "PROJECT",  caseName(demo::kCaseAToGround),
                             "--reports", "all", "--format", "html,xlsx"};
    tool(exe, QStringList(run).replaceInStrings("PROJECT", tmp.path() + "/installed"), elsewhere, env);
    tool(SCREPORT_EXE, QStringList(run).replaceInStrings("PROJECT", tmp.path() + "/built"));
    const QString installed = tmp.path() + "/installed/temp/", built = tmp.path() + "/built/temp/";
    const QStringList parts = QDir(built + "sc_report.files").entryList(QDir::Files);
    EXPECT_EQ(parts.size(), 6 + 3) << "six sheets, the stylesheet, the file list and the tab strip";
    EXPECT_FALSE(QFileInfo::exists(built + "rep_txt.txt")) << "no text report when not asked for";
    EXPECT_EQ(QDir(installed + "sc_report.files").entryList(QDir::Files), parts);
    for (const QString& f : parts + QStringList{"../sc_report.htm"})
        EXPECT_EQ(fileBytes(installed + "sc_report.files/" + f), fileBytes(built + "sc_report.files/" + f))
            << f.toStdString();
    EXPECT_EQ(tool("unzip", {"-Z1", installed + "sc_report.xlsx"}),
              tool("unzip", {"-Z1", built + "sc_report.xlsx"}));

    // The man page and the completion know every option --help lists.
    const QString help = tool(exe, {"--help"}, elsewhere, env);
    const QString manText = tool("gzip", {"-dc", man}).replace("\\-", "-");
    QStringList options;
    for (const auto& m : QRegularExpression("^  (?:-\\w, )?(--[a-z-]+)", QRegularExpression::MultilineOption)
                             .globalMatch(help))
        options << m.captured(1);
    EXPECT_GT(options.size(), 15);
    for (const QString& o : options) {
        EXPECT_TRUE(manText.contains(o)) << o.toStdString();
        EXPECT_TRUE(completions(completion, o.left(o.size() - 1), 1).contains(o)) << o.toStdString();
    }
    EXPECT_EQ(completions(completion, "--units ''", 2), QStringList({"pu", "named"}));

    // Depends: real packages here, covering every library the program and its own library
    // link and the two SQL drivers Qt loads at run time.
    std::set<QString> depends;
    for (const QString& d : tool("dpkg-deb", {"-f", deb, "Depends"}).split(','))
        depends.insert(d.section('(', 0, 0).trimmed());
    for (const QString& d : depends)
        EXPECT_FALSE(tool("dpkg-query", {"-W", "-f=${Status}", d}).isEmpty()) << d.toStdString();
    QStringList needed{"libqsqlite.so", "libqsqlmysql.so"};
    for (const QString& elf :
         {exe, root + "/usr/bin/sc-mkcase", root + "/usr/lib/screport/libscreport_core.so.0"})
        for (const auto& m :
             QRegularExpression("\\(NEEDED\\).*\\[(.*)\\]").globalMatch(tool("readelf", {"-d", elf})))
            needed << m.captured(1);
    for (const QString& lib : needed) {
        // Our own library is in the package; sanitizer runtimes only in the test builds.
        if (lib.startsWith("libscreport_core") || lib.startsWith("libasan") || lib.startsWith("libubsan"))
            continue;
        // The Debian packages holding a file of that name.
        bool covered = false;
        for (const QString& line : testproc::run("dpkg", {"-S", lib}).out.split('\n', Qt::SkipEmptyParts))
            for (const QString& pk : line.section(": ", 0, 0).split(", "))
                covered = covered || depends.count(pk.section(':', 0, 0).trimmed());
        EXPECT_TRUE(covered) << lib.toStdString() << " comes from no package in Depends";
    }
}

} // namespace
