// Every statement the program sends to the case database, on both back ends, against the
// reviewed list in statements.txt, while hostile names, notes, search texts and fault points
// go through every path that talks to the database. Two views of what runs: the statement
// hook (all of dbq::exec) and the engine itself (SQLite's trace, the server's general log).
#include "casegen/casegen.h"
#include "db/dbquery.h"
#include "db/schema.h"
#include "db/textcodec.h"
#include "sc/casechoices.h"
#include "sc/outputrun.h"
#include "sc/reportkinds.h"
#include "support/proc.h"
#include "support/runs.h"
#include "ui/casebrowsedlg.h"
#include "ui/scposseldlg.h"
#include "ui/screpdialog.h"
#include "ui/tree/sccommtreeview.h"
#include "uitest.h"

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>
#include <set>
#include <sqlite3.h>
#include <unistd.h>

using testdb::Backend;
using testdb::gb;
using uitest::as;
using uitest::button;
using uitest::UiTest;
namespace demo = casegen::demo;

namespace {

// --- hostile text ---------------------------------------------------------------------

const std::string kDbcs = "\x95\x5c"; // one GB18030 character whose trail byte is a backslash

// Quote, double quote, backslash, both LIKE wildcards, statement separator, both comment
// forms, the classic tautology, backtick, control characters and double-byte characters
// whose trail byte is 0x5C.
std::string hostile(const char* headUtf8) {
    return gb(headUtf8) + "'\"\\%_;--/*c*/' OR '1'='1`\x01\x1b" + kDbcs + gb("乗");
}

QString q(const std::string& s8) {
    return textcodec::fromLocal8(s8);
}

// --- what the SQLite engine runs --------------------------------------------------------

std::vector<QString>* g_sqliteSink = nullptr; // set while the program's statements count

int onSqliteStatement(unsigned, void*, void*, void* x) {
    const char* sql = static_cast<const char*>(x);
    if (g_sqliteSink && sql && std::strncmp(sql, "--", 2) != 0)
        g_sqliteSink->push_back(QString::fromUtf8(sql));
    return 0;
}

int traceNewConnection(sqlite3* db, char**, const sqlite3_api_routines*) {
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, onSqliteStatement, nullptr);
    return SQLITE_OK;
}

// Statements of the test's own connections are not the program's.
struct PauseSqliteTrace {
    std::vector<QString>* saved = g_sqliteSink;
    PauseSqliteTrace() { g_sqliteSink = nullptr; }
    ~PauseSqliteTrace() { g_sqliteSink = saved; }
};

// --- the reviewed list ------------------------------------------------------------------

struct Entry {
    QString tmpl;
    std::set<QString> tags; // sqlite, mariadb: where the test must see it; outside: not via dbq::exec
    QString why;
    int line = 0;
    bool seen = false;
};

const char* const kDdlTemplate = "{schema DDL}";

std::vector<Entry> readList(const QString& path) {
    std::vector<Entry> out;
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    int n = 0;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const int bar = line.indexOf(" | ");
        ++n;
        if (line.trimmed().isEmpty() || line.startsWith('#')) continue;
        if (line.startsWith(' ') && !out.empty()) {
            out.back().why += line.trimmed() + ' ';
        } else if (bar < 0 || line.startsWith(' ')) {
            ADD_FAILURE() << "line " << n << ": want \"tags | statement\", or a note after one";
        } else {
            out.push_back({line.mid(bar + 3).trimmed(), {}, QString(), n});
            for (const QString& t : line.left(bar).split(' ', Qt::SkipEmptyParts))
                out.back().tags.insert(t);
        }
    }
    return out;
}

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == '_' || c == '.';
}

// A statement as the list holds it: white space collapsed, the network tables' BAK
// suffix as {sfx}, database names as {db}, integer literals outside quotes as #.
QString templateOf(QString sql, const QStringList& dbNames, const std::vector<std::string>& ddl) {
    for (const std::string& d : ddl)
        if (sql == QString::fromStdString(d)) return kDdlTemplate;
    for (const QString& n : dbNames)
        if (!n.isEmpty()) sql.replace(n, "{db}");
    sql = sql.simplified();
    // The engine logs the table names the database has (lower case on this server).
    static const std::map<QString, QString> spelling = [] {
        std::map<QString, QString> m;
        for (const schema::Table& t : schema::tables())
            m[QString::fromStdString(t.name).toUpper()] = QString::fromStdString(t.name);
        return m;
    }();
    static const QRegularExpression word("\\b[A-Za-z_][A-Za-z0-9_]*\\b");
    for (auto it = word.globalMatch(sql); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        auto known = spelling.find(m.captured().toUpper());
        if (known != spelling.end() && m.captured() != known->second)
            sql.replace(m.capturedStart(), m.capturedLength(), known->second);
    }
    // Qt's SQLite driver numbers the placeholders.
    static const QRegularExpression numbered(":[0-9]+\\b");
    sql.replace(numbered, "?");
    static const QRegularExpression model("\\b(CDB_[A-Za-z0-9_]*?)(?:BAK)?\\b");
    sql.replace(model, "\\1{sfx}");
    QString out;
    bool quoted = false;
    for (int i = 0; i < sql.size();) {
        const QChar c = sql[i];
        if (c == '\'') quoted = !quoted;
        if (!quoted && c.isDigit() && (i == 0 || !isWordChar(sql[i - 1]))) {
            int j = i;
            while (j < sql.size() && sql[j].isDigit())
                ++j;
            if (j == sql.size() || !isWordChar(sql[j])) {
                // A minus that belongs to the number, not an operator between operands.
                if (out.endsWith('-') && (out.size() == 1 || QString("=,( ").contains(out[out.size() - 2])))
                    out.chop(1);
                out += '#';
                i = j;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return out;
}

// --- the server's general log ------------------------------------------------------

const char* const kReviewUser = "screview";

// The program connects as a user of its own, so the log separates its statements from
// the test's.
class ServerLog {
  public:
    explicit ServerLog(const testdb::CaseDb& root) : m_root(root) {
        for (const QString& sql :
             {QString("CREATE USER IF NOT EXISTS '%1'@'localhost'").arg(kReviewUser),
              QString("GRANT ALL PRIVILEGES ON `%1`.* TO '%2'@'localhost'")
                  .arg(QString::fromStdString(root.arg()), kReviewUser),
              QString("GRANT ALL PRIVILEGES ON `sctrev\\_%`.* TO '%1'@'localhost'").arg(kReviewUser),
              QString("SET GLOBAL log_output='TABLE'"), QString("TRUNCATE TABLE mysql.general_log"),
              QString("SET GLOBAL general_log=1")})
            m_root.rows(sql);
        setenv("SCREPORT_DB_USER", kReviewUser, 1);
    }
    ~ServerLog() {
        m_root.rows("SET GLOBAL general_log=0");
        m_root.rows(QString("DROP USER IF EXISTS '%1'@'localhost'").arg(kReviewUser));
        setenv("SCREPORT_DB_USER", "root", 1);
    }
    // What the program's connections sent as statements (a prepared statement once, with
    // its placeholders; its executions repeat it with the values filled in).
    // Protocol commands that name a table or database come as "FIELD LIST name" and
    // "INIT DB name".
    std::vector<QString> statements() {
        std::vector<QString> out;
        for (const QString& r : m_root.rows(
                 QString(
                     "SELECT CASE command_type WHEN 'Field List' THEN 'FIELD LIST ' WHEN 'Init DB' THEN "
                     "'INIT DB ' ELSE '' END, CONVERT(argument USING utf8mb4) FROM mysql.general_log WHERE "
                     "user_host LIKE '%1[%' AND command_type IN ('Query','Prepare','Field List','Init DB')")
                     .arg(kReviewUser),
                 {}, QChar(0x1f)))
            out.push_back(QString(r).remove(QChar(0x1f)));
        return out;
    }

  private:
    const testdb::CaseDb& m_root;
};

// --- the test ---------------------------------------------------------------------------

struct Hooked {
    QString sql;
    QVariantList values;
};

class StatementReview : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        dbq::clearConnectionLost(); // a server stopped by an earlier test is not this one's
        makeDemo();
        makeHostile();
        if (GetParam() == Backend::MariaDb) {
            log = std::make_unique<ServerLog>(*db);
        } else {
            // Qt's SQLite driver uses the same shared library, so every connection it opens
            // from now on reports its statements.
            static const int traced =
                sqlite3_auto_extension(reinterpret_cast<void (*)(void)>(traceNewConnection));
            EXPECT_EQ(traced, SQLITE_OK);
            g_sqliteSink = &engine;
        }
        dbq::setStatementHook([this](const SqlStmt& s) { hooked.push_back({s.sql(), s.values()}); });
    }
    void TearDown() override {
        dbq::setStatementHook(nullptr);
        g_sqliteSink = nullptr;
        log.reset();
        if (!createdDb.empty() && GetParam() == Backend::MariaDb)
            rows(QString::fromStdString("DROP DATABASE IF EXISTS " + createdDb));
        UiTest::TearDown();
    }

    // Hostile names for a case and its note, the scheme, an area, a zone, a station, a
    // bus and a line (in every table that names them), and a case whose name is a LIKE
    // pattern that matches the hostile one.
    void makeHostile() {
        caseH = hostile("案");
        decoy = gb("案") + "%";
        noteH = hostile("注") + "\n" + hostile("第二行");
        areaH = hostile("区");
        zoneH = hostile("分");
        stH = hostile("站");
        busH = hostile("母");
        lineH = hostile("线");
        auto u = [](const char* utf8) { return QString::fromUtf8(utf8); };
        // The station of the first bus, its zone and its area.
        const QStringList where =
            rows("select p.PS_Name,z.Zone_Name,a.Area_Name from CDB_NODE n,CDB_PSTATION p,CDB_ZONE z,"
                 "CDB_AREAS a where n.PS_Name=p.PS_Name and p.Zone_No=z.Zone_No and "
                 "z.Area_No=a.Area_No and n.Node_Name=?",
                 {u(demo::kBusNames[0])})
                .value(0)
                .split(QChar(0x1f));
        ASSERT_EQ(where.size(), 3);
        const std::pair<QString, std::string> renames[] = {
            {u(demo::kCaseNames[demo::kCaseAToGround - 1]), caseH},
            {u(demo::kCaseNames[demo::kCaseAB - 1]), decoy},
            {u(demo::kCaseNames[demo::kCaseABToGround - 1]), "4"}, // listed by the case browser
            {where[2], areaH},
            {where[1], zoneH},
            {where[0], stH},
            {u(demo::kLineFaultJ), busH},
            {u(demo::kLineFaultId), lineH}};
        for (const auto& [from, to] : renames)
            rename(from, to);
        rows("UPDATE SC_CASE SET Note=? WHERE Case_No=?", {q(noteH), demo::kCaseAToGround});
        rows("UPDATE SC_CASE SET Note=? WHERE Case_No=?", {q(hostile("浏览")), demo::kCaseABToGround});
    }

    // The test's own statements, which the engine's record leaves out: every row, its
    // columns joined by a unit separator, sorted.
    QStringList rows(const QString& sql, const QVariantList& values = {}) {
        PauseSqliteTrace pause;
        QStringList out = db->rows(sql, values, QChar(0x1f));
        out.sort();
        return out;
    }
    // Gives `to` to every name column value that is `from`, in every table.
    void rename(const QString& from, const std::string& to8) {
        PauseSqliteTrace pause;
        for (const auto& [t, col] : db->nameColumns())
            rows(QString("UPDATE %1 SET %2=? WHERE %2=?").arg(t, col), {q(to8), from});
    }

  public:
    // The paths that talk to the database, each checking its own results; the last
    // checks the statements all of them sent.
    void resolveCases();
    void storedChoices();
    void outputRuns();
    void treeAndSearch();
    void dialog();
    void batch();
    void createDatabase();
    void checkAgainstList();

  protected:
    // The fault points of a case as the picker lists them.
    SCPosList faultPoints(int caseNo) {
        cdb.setCaseNo(caseNo);
        SCPosSelDlg picker(cdb, SCPosList{}, nullptr);
        return picker.available();
    }

    std::unique_ptr<ServerLog> log;
    std::vector<Hooked> hooked;
    std::vector<QString> engine;
    std::string caseH, decoy, noteH, areaH, zoneH, stH, busH, lineH, createdDb;
    QTemporaryDir proj;
};

void StatementReview::resolveCases() {
    open();
    QStringList names;
    cdb.getCaseNameList(names);
    EXPECT_TRUE(names.contains(q(caseH)));
    cdb.setCaseName(q(caseH));
    EXPECT_EQ(cdb.getCaseNo(), std::to_string(demo::kCaseAToGround));
    EXPECT_EQ(cdb.getCaseNo(decoy), demo::kCaseAB);
    EXPECT_EQ(cdb.getCaseName(demo::kCaseAToGround), caseH);
    cdb.setCaseNo(demo::kCaseAB);
    EXPECT_EQ(cdb.getCaseName(), q(decoy));
}

// Stored choices of the hostile case and of the decoy change their own rows, nothing else.
// (Each field's round trip: test_casechoices; names with a quote and a trail byte 0x5C:
// test_twowriters.)
void StatementReview::storedChoices() {
    casechoices::ObjectChoices c;
    c.seedObjectVars();
    for (const auto& k : reportkinds::kinds())
        c.m_selObjects.insert(k.key);
    casechoices::OutputOptions opts;
    for (int n = 1; n < demo::kCaseUncalculated; ++n) {
        const SCPosList faults = faultPoints(n);
        ASSERT_FALSE(faults.empty());
        EXPECT_TRUE(casechoices::saveOutputOptions(cdb, "SCR_OUT", opts, c));
        EXPECT_TRUE(casechoices::saveFaultList(cdb, SCPosList(faults.begin(), faults.begin() + 2)));
    }
    const int h = demo::kCaseAToGround;
    // The stored rows of case h ("=") or of every other case ("<>").
    auto stored = [&](const char* op) {
        QStringList out;
        for (const char* t : {"SCR_OUT", "SCR_CONT", "SCR_FAULTBUS"})
            out += rows(QString("select * from %1 where Case_No%2%3").arg(t, op).arg(h));
        return out;
    };
    const QStringList before = stored("<>");
    SCPosList chosen;
    for (const SCPos& p : faultPoints(h))
        if (p.name == busH || p.name == gb(demo::kBusNames[0])) chosen.push_back(p);
    ASSERT_EQ(chosen.size(), 2u) << "the hostile bus is a fault point of the case";
    cdb.setCaseName(q(caseH));
    EXPECT_TRUE(casechoices::saveOutputOptions(cdb, "SCR_OUT", opts, c));
    EXPECT_TRUE(casechoices::saveFaultList(cdb, chosen));
    EXPECT_EQ(stored("<>"), before) << "rows of other cases changed";
    casechoices::OutputOptions back;
    ASSERT_TRUE(casechoices::loadOutputOptions("SCR_OUT", h, back));
    casechoices::loadObjectVars("SCR_CONT", std::to_string(h), c);
    SCPosList faults;
    casechoices::loadFaultList(cdb, faults);
    EXPECT_EQ(faults.size(), 2u);

    // The decoy's save leaves the hostile case's rows alone.
    const QStringList hostileRows = stored("=");
    cdb.setCaseNo(demo::kCaseAB);
    EXPECT_TRUE(casechoices::saveOutputOptions(cdb, "SCR_OUT", casechoices::OutputOptions{}, c));
    EXPECT_TRUE(casechoices::saveFaultList(cdb, {}));
    EXPECT_EQ(stored("="), hostileRows);

    // A branch fault keyed by the hostile line name round-trips too.
    cdb.setCaseNo(demo::kCaseLineFault);
    auto text = [](const SCPos& p) {
        return p.name + "|" + p.iName + "|" + p.jName + "|" + std::to_string(p.percent);
    };
    const std::string line = lineH + "_50|" + gb(demo::kLineFaultI) + "|" + busH + "|50";
    SCPosList lineFaults;
    for (const SCPos& p : faultPoints(demo::kCaseLineFault))
        if (text(p) == line) lineFaults.push_back(p);
    ASSERT_EQ(lineFaults.size(), 1u);
    EXPECT_TRUE(casechoices::saveFaultList(cdb, lineFaults));
    casechoices::loadFaultList(cdb, faults);

    // An options table of the package's own without OverLimit; an options row the table
    // cannot take is rolled back, and what was stored before stays.
    rows("ALTER TABLE SCR_OUT DROP COLUMN OverLimit");
    opts.overLimit = true;
    EXPECT_TRUE(casechoices::saveOutputOptions(cdb, "SCR_OUT", opts, c));
    casechoices::OutputOptions without;
    ASSERT_TRUE(casechoices::loadOutputOptions("SCR_OUT", demo::kCaseLineFault, without));
    EXPECT_FALSE(without.hasOverLimit || without.overLimit);
    cdb.setCaseName(q(caseH));
    const QStringList kept = stored("=");
    rows("ALTER TABLE SCR_OUT RENAME COLUMN LVIZ TO LVIZ_OLD");
    EXPECT_FALSE(casechoices::saveOutputOptions(cdb, "SCR_OUT", opts, c));
    EXPECT_EQ(stored("="), kept);
}

void StatementReview::outputRuns() {
    const int h = demo::kCaseAToGround;
    cdb.setCaseNo(h);
    const SCPosList faults = faultPoints(h);
    for (bool pu : {true, false}) {
        OutputRequest req = testrun::everyReport(h, pu, proj.path().toStdString(), faults);
        req.grpArea = req.grpZone = req.grpST = true;
        const OutputResult r = runOutput(cdb.connection(), req);
        EXPECT_TRUE(r.ok()) << r.error8;
        EXPECT_TRUE(testproc::fileBytes(proj.path() + "/temp/rep_txt.txt").contains(busH.c_str()))
            << "the reports carry the name byte for byte";
        req.writeSheet = false;
        // Without the summary, the fault type is read on its own.
        req.chosenKeys = {gb("短路点及其支路")};
        EXPECT_TRUE(runOutput(cdb.connection(), req).ok());
    }
}

// The names a search walks to (GB18030), sorted.
std::vector<std::string> walkSearch(CommTreeView& tree, const std::string& label8, const std::string& text8) {
    std::vector<std::string> out;
    tree.setCurrentItem(nullptr);
    int left = tree.search(label8, text8);
    for (;;) {
        if (tree.currentItem()) out.push_back(CommTreeView::nameOf(tree.currentItem()));
        if (left == 0) break;
        tree.setCurrentItem(nullptr);
        left = tree.searchNext();
    }
    std::sort(out.begin(), out.end());
    return out;
}

void expandEverything(CommTreeView& tree) {
    QTreeWidgetItem* root = tree.rootItem();
    for (int a = 0; a < root->childCount(); ++a) {
        tree.expandItem(root->child(a));
        QTreeWidgetItem* area = root->child(a);
        for (int z = 0; z < area->childCount(); ++z) {
            tree.expandItem(area->child(z));
            QTreeWidgetItem* zone = area->child(z);
            for (int s = 0; s < zone->childCount(); ++s) {
                tree.expandItem(zone->child(s));
                QTreeWidgetItem* station = zone->child(s);
                if (CommTreeView::kindOf(station) != CommTreeView::kStation) continue;
                for (int f = 0; f < station->childCount(); ++f)
                    tree.expandItem(station->child(f));
                // A line inside the station lists its folder again.
                QTreeWidgetItem* inner = tree.findFolder(station, CommTreeView::kInnerACFolder);
                if (inner && inner->childCount()) tree.expandItem(inner->child(0));
            }
        }
    }
}

void StatementReview::treeAndSearch() {
    cdb.setTableSuffix("BAK");
    const nd_pos_t at = cdb.connection().nodePositions()[gb(demo::kBusNames[0])];
    EXPECT_EQ(at.st_name + "|" + at.zone_name + "|" + at.area_name, stH + "|" + zoneH + "|" + areaH);
    SCCommTreeView tree(cdb);
    expandEverything(tree);
    for (const auto& [kind, name] :
         {std::pair{CommTreeView::kArea, areaH}, {CommTreeView::kZone, zoneH}, {CommTreeView::kStation, stH}})
        ASSERT_NE(tree.findItem(kind, name), nullptr) << kind;

    // A search text matches as written: quotes, wildcards and backslashes are plain
    // characters, letter case counts.
    struct Level {
        const char* label;
        const char* sql;
    };
    const Level levels[] = {{"厂站", "select PS_Name from CDB_PSTATIONBAK"},
                            {"分区", "select Zone_Name from CDB_ZONEBAK"},
                            {"区域", "select Area_Name from CDB_AREASBAK"}};
    const std::string texts[] = {"%",  "_",  "\\",  "'",    "\"",  "' OR '1'='1", ";",
                                 "--", "/*", "`",   "\x01", kDbcs, gb("站"),      "h",
                                 "H",  "%_", "\\%", stH,    zoneH, areaH};
    for (const Level& l : levels) {
        const QStringList names = rows(l.sql);
        for (const std::string& t : texts) {
            std::vector<std::string> want;
            for (const QString& n : names)
                if (n.contains(q(t), Qt::CaseSensitive)) want.push_back(textcodec::toLocal8(n));
            std::sort(want.begin(), want.end());
            EXPECT_EQ(walkSearch(tree, gb(l.label), t), want)
                << l.label << " containing " << q(t).toStdString();
        }
    }
    EXPECT_EQ(walkSearch(tree, gb("物理母线"), busH), std::vector<std::string>{busH});
    EXPECT_EQ(walkSearch(tree, gb("交流线"), lineH), std::vector<std::string>{lineH});
    // Every other kind once, with hostile text.
    for (const auto& kind : CommTreeView::kindCodes())
        walkSearch(tree, kind.first, busH);
}

// The report dialog as a user drives it on the hostile case.
void StatementReview::dialog() {
    cdb.closedb(); // the dialog opens the database itself
    SCRepDialog dlg(db->arg(), proj.path().toStdString(), caseH, true);
    EXPECT_EQ(dlg.noteEdit()->toPlainText(), q(noteH));

    // A note typed in the dialog lands on the case, and on no other.
    const QString note = q(hostile("新注"));
    const QVariantList h{demo::kCaseAToGround};
    const QStringList otherNotes = rows("select Case_No,Note from SC_CASE where Case_No<>?", h);
    dlg.noteEdit()->setPlainText(note);
    EXPECT_EQ(rows("select Note from SC_CASE where Case_No=?", h), QStringList{note});
    EXPECT_EQ(rows("select Case_No,Note from SC_CASE where Case_No<>?", h), otherNotes);

    // The picker lists the hostile bus; take every fault point.
    expectDialogs({[&](QDialog& d) {
        auto* sel = as<SCPosSelDlg>(d);
        if (!sel) return int(QDialog::Rejected);
        EXPECT_TRUE(
            (uitest::rows(sel->availableList()) + uitest::rows(sel->selectedList())).contains(q(busH)));
        button(sel, "全选")->click();
        button(sel, "确定")->click();
        return d.result();
    }});
    button(&dlg, "故障点选择")->click();
    EXPECT_EQ(rows("select count(*) from SCR_FAULTBUS where Case_No=?", h),
              QStringList{QString::number(demo::kBusCount)});

    // Output, then the search bar.
    dlg.objectBox(gb("母线电压"))->setChecked(true);
    button(&dlg, "输出")->click();
    dlg.searchKind()->setCurrentText(QString::fromUtf8("厂站"));
    dlg.searchText()->setText(q("\\"));
    button(&dlg, "查找")->click();
    ASSERT_NE(g_pCommTree, nullptr);
    EXPECT_EQ(CommTreeView::nameOf(g_pCommTree->currentItem()), stH) << "the one station with a backslash";
    button(&dlg, "下一个")->click();

    // The browser shows the numbered case's hostile note; picking it switches cases.
    expectDialogs({[&](QDialog& d) {
        auto* browse = as<CaseBrowseDlg>(d);
        if (!browse) return int(QDialog::Rejected);
        QTableWidget* t = browse->table();
        EXPECT_EQ(t->rowCount(), 1);
        if (t->rowCount() == 1) {
            EXPECT_EQ(t->item(0, 1)->text(), q(hostile("浏览")));
            t->setCurrentCell(0, 0);
        }
        d.accept();
        return int(QDialog::Accepted);
    }});
    button(&dlg, "浏览")->click();
    EXPECT_EQ(dlg.caseDb().getCaseNo(), std::to_string(demo::kCaseABToGround));
    button(&dlg, "退出")->click();
}

void StatementReview::batch() {
    QTemporaryDir out;
    const QString arg = QString::fromStdString(db->arg());
    for (const QStringList& args : {QStringList{"--batch", arg, out.path(), q(caseH), "--faults", "all",
                                                "--reports", "all", "--units", "named"},
                                    QStringList{"--list-cases", arg}}) {
        const testproc::Outcome r = testproc::run(SCREPORT_EXE, args);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
    }
}

// A database name that is no identifier never reaches the server; a good one gets the tables.
void StatementReview::createDatabase() {
    QString err;
    EXPECT_FALSE(schema::createCaseDatabase("x`; DROP DATABASE mysql; --", reportkinds::caseTables(), &err));
    EXPECT_TRUE(err.contains("letters, digits")) << err.toStdString();
    createdDb = GetParam() == Backend::Sqlite ? proj.path().toStdString() + "/created.db"
                                              : "sctrev_" + std::to_string(getpid());
    if (GetParam() == Backend::MariaDb) rows(QString::fromStdString("DROP DATABASE IF EXISTS " + createdDb));
    EXPECT_TRUE(schema::createCaseDatabase(createdDb, reportkinds::caseTables(), &err)) << err.toStdString();
}

void StatementReview::checkAgainstList() {
    const bool sqlite = GetParam() == Backend::Sqlite;
    const std::string backend = sqlite ? "sqlite" : "mariadb";
    std::vector<Entry> list = readList(SCREPORT_SOURCE_DIR "/tests/ui/statements.txt");
    EXPECT_FALSE(list.empty());
    std::set<QString> templates;
    for (const Entry& e : list) {
        EXPECT_FALSE(e.why.trimmed().isEmpty()) << "line " << e.line << " says nothing about its protection";
        EXPECT_TRUE(templates.insert(e.tmpl).second) << "line " << e.line << " twice";
    }
    const QStringList dbNames = {QString::fromStdString(db->arg()), QString::fromStdString(createdDb)};
    const std::vector<std::string> ddl =
        schema::ddl(SqlDialect(sqlite ? SqlDialect::Sqlite : SqlDialect::MySql), reportkinds::caseTables());

    std::set<QString> unknown;
    auto classify = [&](const QString& sql) {
        const QString t = templateOf(sql, dbNames, ddl);
        bool found = false;
        for (Entry& e : list)
            if (e.tmpl == t) found = e.seen = true;
        if (!found) unknown.insert(t);
    };
    // Pieces of hostile text that no trusted statement text holds: none may reach sql();
    // the engine sees fewer, as Qt and the schema quote identifiers.
    const QStringList engineMarkers = {"' OR '", "/*c*/", "\x01", "\x1b", q(kDbcs), q(gb("乗"))};
    const QStringList statementMarkers = engineMarkers + QStringList{";", "--", "/*", "*/", "\\", "`", "\""};
    QStringList values;
    std::set<QString> withData;
    auto holdsData = [](const QString& sql, const QStringList& markers) {
        return std::any_of(markers.begin(), markers.end(), [&](const QString& m) { return sql.contains(m); });
    };
    for (const Hooked& h : hooked) {
        classify(h.sql);
        if (holdsData(h.sql, statementMarkers)) withData.insert(h.sql);
        for (const QVariant& v : h.values) // text values are GB18030 bytes
            values << (v.typeId() == QMetaType::QByteArray
                           ? textcodec::fromLocal8(v.toByteArray().toStdString())
                           : v.toString());
    }
    if (!sqlite) engine = log->statements();
    EXPECT_GT(engine.size(), 100u) << "the engine's own record of the statements is missing";
    for (const QString& sql : engine) {
        classify(sql);
        if (holdsData(sql, engineMarkers)) withData.insert(sql);
    }
    for (const QString& sql : withData)
        ADD_FAILURE() << "data in the statement text: " << sql.toStdString();
    // Every hostile text travelled, as (part of) a bound value.
    for (const std::string& h : {caseH, decoy, stH, zoneH, areaH, busH, lineH})
        EXPECT_FALSE(values.filter(q(h)).isEmpty()) << q(h).toStdString();

    std::string report;
    for (const QString& t : unknown)
        report += "\n" + backend + " | " + t.toStdString();
    EXPECT_TRUE(unknown.empty()) << "statements not in tests/ui/statements.txt; review each and add it with "
                                    "what protects it:"
                                 << report;
    for (const Entry& e : list)
        EXPECT_TRUE(e.seen || !e.tags.count(QString::fromStdString(backend)))
            << "line " << e.line << " listed for " << backend << " but never ran: " << e.tmpl.toStdString();
}

TEST_P(StatementReview, EveryStatementIsReviewedAndDataStaysData) {
    const bool server = GetParam() == Backend::MariaDb;
    const struct {
        const char* path;
        bool run;
        void (StatementReview::*check)();
    } rows[] = {
        {"case names and numbers", true, &StatementReview::resolveCases},
        {"stored choices", true, &StatementReview::storedChoices},
        {"output runs", true, &StatementReview::outputRuns},
        {"network tree and search", true, &StatementReview::treeAndSearch},
        {"report dialog", true, &StatementReview::dialog},
        {"batch executable, seen in the server's log", server, &StatementReview::batch},
        {"new case database", true, &StatementReview::createDatabase},
        {"every statement against the reviewed list", true, &StatementReview::checkAgainstList},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.path);
        if (r.run) (this->*r.check)();
    }
}

INSTANTIATE_ON_BACKENDS(StatementReview);

} // namespace
