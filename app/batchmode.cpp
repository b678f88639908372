#include "batchmode.h"

#include "db/cdbutility.h"
#include "db/dbquery.h"
#include "db/errortext.h"
#include "db/log.h"
#include "db/serverlogin.h"
#include "db/sqlstmt.h"
#include "db/textcodec.h"
#include "report/runobserver.h"
#include "sc/casechoices.h"
#include "sc/outputrun.h"
#include "sc/reportkinds.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <termios.h>
#include <unistd.h>

using textcodec::gb;

namespace {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitRunFailed = 1; // the output run (or the case) raised its error text
constexpr int kExitUsage = 2;     // bad command line
constexpr int kExitNoDatabase = 3;
constexpr int kExitDataProblems = 4; // written, but some stored values could not be used
// Entries of the problem list shown on the error stream; the file has them all.
constexpr size_t kProblemsShown = 10;

class BatchError {
  public:
    BatchError(int code, std::string textUtf8) : code(code), text(std::move(textUtf8)) {}
    int code;
    std::string text;
};

[[noreturn]] void usageError(const QString& text) {
    throw BatchError(kExitUsage, text.toStdString());
}

// Command-line text (the terminal's encoding) as the program's GB18030.
std::string local8(const QString& s) {
    return textcodec::toLocal8(s);
}

QStringList listOf(const QString& value) {
    QStringList out;
    for (const QString& part : value.split(',', Qt::SkipEmptyParts)) {
        const QString t = part.trimmed();
        if (!t.isEmpty()) out << t;
    }
    return out;
}

// A report key given by its short name or its key; the key's line break may be written
// as "\n" or left out.
std::string kindKey(const QString& given) {
    QString k = given;
    k.replace("\\n", "\n");
    int i = reportkinds::indexOf(local8(k));
    if (i < 0) {
        for (size_t n = 0; n < reportkinds::kinds().size(); ++n) {
            QString plain = textcodec::fromLocal8(reportkinds::kinds()[n].key);
            plain.remove('\n');
            if (plain == k) i = int(n);
        }
    }
    if (i < 0)
        usageError(QString("unknown report kind: %1 (summary, distribution, shortbra, busvol, linecur, viz)")
                       .arg(given));
    return reportkinds::kinds()[size_t(i)].key;
}

// Progress on the error stream: the step being done and, for long steps, its rows.
class StderrProgress : public RunObserver {
  public:
    void progress(const std::string& what, long done, long total) override {
        const bool newStep = what != m_what;
        if (newStep) {
            m_what = what;
            m_lastShown = -1;
            m_clock.start();
        }
        // A line per step, then at most one a second.
        if (!newStep && done != total && m_clock.elapsed() < 1000) return;
        if (!newStep && done == m_lastShown) return;
        m_clock.restart();
        m_lastShown = done;
        std::string line = textcodec::toUtf8(what);
        if (total > 0) line += " " + std::to_string(done) + "/" + std::to_string(total);
        std::fprintf(stderr, "%s\n", line.c_str());
    }

  private:
    std::string m_what;
    long m_lastShown = -1;
    QElapsedTimer m_clock;
};

// Swallows the debug stream unless it is asked for: a batch run's standard output is
// the list of the files it wrote.
class NullBuffer : public std::streambuf {
  protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Every fault point of the case, in fault-number order.
SCPosList allFaultPoints(const std::string& caseNo) {
    SCPosList out;
    SqlStmt s("select ID_Name,I_Name,J_Name,Percent from SCR_R120 where flg =1 and Case_No=");
    s.number(caseNo);
    s << " order by T";
    QSqlQuery q = dbq::newQuery();
    if (!dbq::exec(q, s)) return out;
    while (q.next()) {
        SCPos p;
        p.iName = dbq::text8(q.value(1));
        p.jName = dbq::text8(q.value(2));
        p.percent = dbq::toInt(q.value(3));
        p.name = casechoices::faultKey(dbq::text8(q.value(0)), p.iName, p.jName, dbq::text8(q.value(3)));
        out.push_back(p);
    }
    return out;
}

// The run's data problems on the error stream: the count of each kind, then the first
// entries and where the whole list is.
void printProblems(const OutputResult& res) {
    if (res.problems.empty()) return;
    dataproblems::List l;
    for (const dataproblems::Problem& p : res.problems)
        l.add(p);
    std::fprintf(stderr, "%s\n", textcodec::toUtf8(dataproblems::countsText(l)).c_str());
    for (size_t i = 0; i < res.problems.size() && i < kProblemsShown; ++i)
        std::fprintf(stderr, "  %s\n", textcodec::toUtf8(dataproblems::lineText(res.problems[i])).c_str());
    if (res.problems.size() > kProblemsShown) std::fprintf(stderr, "  ...\n");
    if (!res.problemsFile.empty()) std::fprintf(stderr, "%s\n", res.problemsFile.c_str());
}

struct Options {
    QCommandLineOption batch{"batch", "Run one output run without a window."};
    QCommandLineOption reports{"reports",
                               "Report kinds to build, by key or short name: summary, distribution, "
                               "shortbra, busvol, linecur, viz, or all.",
                               "list"};
    QCommandLineOption faults{
        "faults", "Fault points: all, or a list of fault-point keys (bus name, or branch_percent).", "list"};
    QCommandLineOption items{
        "items", "Items (columns) of a report kind, 0-based item numbers in column order; repeatable.",
        "kind=n,n,..."};
    QCommandLineOption units{"units", "pu (per unit) or named (kA, kV, MVA, ohm).", "pu|named"};
    QCommandLineOption group{"group", "Grouping: any of area, zone, station, or none.", "list"};
    QCommandLineOption format{"format", "Files to write: any of txt, html, xlsx.", "list"};
    QCommandLineOption encoding{"encoding", "Encoding of the text and HTML reports.", "gb18030|utf-8"};
    QCommandLineOption noOpen{"no-open", "Do not start the viewers (the default in batch mode)."};
    QCommandLineOption open{"open", "Start the text and sheet viewers on the files written."};
    QCommandLineOption live{"live", "Read the live network tables instead of their BAK copies."};
    QCommandLineOption debug{"debug", "Keep the debug stream on standard output."};
    QCommandLineOption strict{"strict", "Treat any data problem as an error: write no report."};
    // The server: over the option files' [client] and [screport] groups and the environment.
    QCommandLineOption host{"host", "MySQL/MariaDB server host.", "name"};
    QCommandLineOption port{"port", "Server TCP port.", "number"};
    QCommandLineOption socket{"socket", "Server unix socket.", "path"};
    QCommandLineOption user{"user", "User name on the server.", "name"};
    QCommandLineOption passwordFile{"password-file", "Read the server password from the first line of FILE.",
                                    "file"};
    QCommandLineOption password{"password", "Ask for the server password on the terminal."};
};

// The password typed on the terminal, not echoed.
QString askPassword() {
    FILE* tty = std::fopen("/dev/tty", "r+");
    if (!tty) usageError("--password: no terminal to ask on (use --password-file)");
    std::fputs("Password: ", tty);
    std::fflush(tty);
    termios old{};
    const bool quiet = tcgetattr(fileno(tty), &old) == 0;
    if (quiet) {
        termios noEcho = old;
        noEcho.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(fileno(tty), TCSAFLUSH, &noEcho);
    }
    char buf[1024];
    const bool got = std::fgets(buf, sizeof buf, tty) != nullptr;
    if (quiet) tcsetattr(fileno(tty), TCSAFLUSH, &old);
    std::fputs("\n", tty);
    std::fclose(tty);
    QString pw = got ? QString::fromLocal8Bit(buf) : QString();
    while (pw.endsWith('\n') || pw.endsWith('\r'))
        pw.chop(1);
    return pw;
}

void applyServerOptions(const QCommandLineParser& p, const Options& o) {
    ServerLogin::Given g;
    g.host = p.value(o.host);
    g.socket = p.value(o.socket);
    g.user = p.value(o.user);
    if (p.isSet(o.port)) {
        bool ok = false;
        g.port = p.value(o.port).toInt(&ok);
        if (!ok || g.port <= 0 || g.port > 65535) usageError("--port wants a TCP port: " + p.value(o.port));
    }
    if (p.isSet(o.passwordFile)) {
        QFile f(p.value(o.passwordFile));
        if (!f.open(QIODevice::ReadOnly)) usageError("--password-file: cannot read " + p.value(o.passwordFile));
        QByteArray line = f.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        g.password = QString::fromLocal8Bit(line);
        g.hasPassword = true;
    } else if (p.isSet(o.password)) {
        g.password = askPassword();
        g.hasPassword = true;
    }
    ServerLogin::setCommandLine(g);
}

void applyStoredChoices(const std::string& caseNo8, OutputRequest& req, SCPosList& faults) {
    const int caseNo = std::atoi(caseNo8.c_str());
    casechoices::ObjectChoices c;
    c.fillShortCircuitKinds();
    c.seedObjectVars();
    casechoices::OutputOptions opts;
    if (casechoices::loadOutputOptions("SCR_OUT", caseNo, opts)) {
        req.chosenKeys = casechoices::checkedObjects(opts, c);
        req.perUnit = opts.unit;
        req.grpArea = opts.onArea;
        req.grpZone = opts.onZone;
        req.grpST = opts.onSub;
        req.writeText = opts.lfile;
        req.writeSheet = opts.lreport;
        const std::string vars = casechoices::objectVarTable(false, false);
        if (!vars.empty()) casechoices::loadObjectVars(vars, caseNo8, c);
    } else {
        // Nothing stored: every kind the case supports, per unit, the text report.
        req.chosenKeys = reportkinds::enabledKinds(caseNo8);
    }
    req.itemLabels = c.m_itemLabels;
    req.itemSel = c.m_objVars;
    casechoices::loadFaultList(faults);
    if (faults.empty()) faults = allFaultPoints(caseNo8);
}

void applyOverrides(const QCommandLineParser& p, const Options& o, const std::string& caseNo8,
                    OutputRequest& req, SCPosList& faults) {
    if (p.isSet(o.reports)) {
        req.chosenKeys.clear();
        for (const QString& r : listOf(p.value(o.reports))) {
            if (r == "all") {
                for (const auto& k : reportkinds::kinds())
                    req.chosenKeys.insert(k.key);
            } else {
                req.chosenKeys.insert(kindKey(r));
            }
        }
    }
    if (p.isSet(o.faults)) {
        const SCPosList all = allFaultPoints(caseNo8);
        const QStringList given = listOf(p.value(o.faults));
        if (given.size() == 1 && given[0] == "all") {
            faults = all;
        } else {
            faults.clear();
            for (const QString& g : given) {
                SCPos pos;
                pos.name = local8(g);
                // Keep the branch and position of a known fault point.
                for (const SCPos& a : all)
                    if (a.name == pos.name) pos = a;
                faults.push_back(pos);
            }
        }
    }
    for (const QString& spec : p.values(o.items)) {
        const int eq = spec.indexOf('=');
        if (eq <= 0) usageError("--items wants kind=n,n,...: " + spec);
        const std::string key = kindKey(spec.left(eq));
        const size_t count = reportkinds::kinds()[size_t(reportkinds::indexOf(key))].labels.size();
        if (count == 0) usageError("--items: " + spec.left(eq) + " has no items to choose");
        std::vector<int> numbers;
        for (const QString& n : listOf(spec.mid(eq + 1))) {
            if (n == "all") {
                for (size_t i = 0; i < count; ++i)
                    numbers.push_back(int(i));
                continue;
            }
            bool ok = false;
            const int v = n.toInt(&ok);
            if (!ok || v < 0 || size_t(v) >= count)
                usageError(QString("item %1 of %2: items are numbered 0 to %3")
                               .arg(n, spec.left(eq))
                               .arg(count - 1));
            numbers.push_back(v);
        }
        req.itemSel[key] = numbers;
    }
    if (p.isSet(o.units)) {
        const QString u = p.value(o.units);
        if (u != "pu" && u != "named") usageError("--units wants pu or named: " + u);
        req.perUnit = u == "pu";
    }
    if (p.isSet(o.group)) {
        req.grpArea = req.grpZone = req.grpST = false;
        for (const QString& g : listOf(p.value(o.group))) {
            if (g == "area")
                req.grpArea = true;
            else if (g == "zone")
                req.grpZone = true;
            else if (g == "station")
                req.grpST = true;
            else if (g != "none")
                usageError("--group wants area, zone, station or none: " + g);
        }
    }
    if (p.isSet(o.format)) {
        req.writeText = req.sheetHtml = req.sheetXlsx = false;
        for (const QString& f : listOf(p.value(o.format))) {
            if (f == "txt")
                req.writeText = true;
            else if (f == "html")
                req.sheetHtml = true;
            else if (f == "xlsx")
                req.sheetXlsx = true;
            else
                usageError("--format wants txt, html or xlsx: " + f);
        }
        req.writeSheet = req.sheetHtml || req.sheetXlsx;
        if (!req.writeSheet) req.sheetHtml = req.sheetXlsx = true; // unused, as the dialog keeps them
    }
    if (p.isSet(o.encoding)) {
        const QString e = p.value(o.encoding).toLower();
        if (e == "gb18030")
            req.encoding = OutputEncoding::Gb18030;
        else if (e == "utf-8" || e == "utf8")
            req.encoding = OutputEncoding::Utf8;
        else
            usageError("--encoding wants gb18030 or utf-8: " + e);
    }
    req.openViewers = p.isSet(o.open) && !p.isSet(o.noOpen);
}

int run(QCoreApplication& app) {
    QCommandLineParser p;
    p.setApplicationDescription(
        "Short-circuit reports of one calculated case.\n\n"
        "Batch mode: screport --batch DATABASE PROJECT_DIR CASE [options]\n"
        "builds the reports without a window, with the choices stored for the case in the\n"
        "report dialog unless options override them, and writes them to PROJECT_DIR/temp.\n"
        "Without --batch: screport DATABASE PROJECT_DIR [CASE [LIVE]] opens the report dialog.\n\n"
        "A stored value the reports cannot use (NULL, text, not finite, out of range, a row\n"
        "or fault point that is missing) is never printed as a number: its cells stay empty\n"
        "and it is listed in PROJECT_DIR/temp/data_problems.txt.\n\n"
        "Exit status: 0 reports written; 4 reports written, with data problems;\n"
        "1 the run failed (nothing replaced; with --strict also on any data problem);\n"
        "2 bad command line; 3 the database cannot be opened.\n\n"
        "A server database is reached as MySQL clients reach it: the [client] and [screport]\n"
        "groups of the option files (~/.my.cnf ...), then SCREPORT_DB_HOST, _PORT, _SOCKET,\n"
        "_USER, _PASSWORD (or MYSQL_HOST, MYSQL_TCP_PORT, MYSQL_UNIX_PORT, MYSQL_PWD), then\n"
        "the options below. A password is never an argument.");
    p.addHelpOption();
    p.addVersionOption();
    Options o;
    for (const QCommandLineOption* opt :
         {&o.batch, &o.reports, &o.faults, &o.items, &o.units, &o.group, &o.format, &o.encoding, &o.noOpen,
          &o.open, &o.live, &o.debug, &o.strict, &o.host, &o.port, &o.socket, &o.user, &o.passwordFile,
          &o.password})
        p.addOption(*opt);
    p.addPositionalArgument("DATABASE", "SQLite case database file, or MySQL/MariaDB database name.");
    p.addPositionalArgument("PROJECT_DIR", "Project folder; the reports go to its temp folder.");
    p.addPositionalArgument("CASE", "Name (or number) of the calculated short-circuit case.");
    p.process(app); // --help, --version and unknown options end here

    const QStringList args = p.positionalArguments();
    if (!p.isSet(o.batch)) usageError("--batch is needed for a run without a window (see --help)");
    if (args.size() != 3) usageError("batch mode wants DATABASE PROJECT_DIR CASE (see --help)");

    NullBuffer null;
    std::streambuf* debugStream = std::cout.rdbuf();
    if (!p.isSet(o.debug)) std::cout.rdbuf(&null);
    struct Restore {
        std::streambuf* b;
        ~Restore() { std::cout.rdbuf(b); }
    } restore{debugStream};

    applyServerOptions(p, o);
    CDBUtility::m_strTableSuffix = p.isSet(o.live) ? "" : "BAK";
    const std::string dbName = local8(args[0]); // GB18030, as every name given to CDBUtility
    if (!CDBUtility::opendb(dbName.c_str()))
        throw BatchError(kExitNoDatabase, textcodec::toUtf8(CDBUtility::lastOpenError()));
    struct Close {
        ~Close() { CDBUtility::closedb(); }
    } close;
    CDBUtility::setDBType(DB_SC);

    // The case by name; a number that is no case name is taken as the case number.
    const std::string case8 = local8(args[2]);
    bool isNumber = false;
    const int asNumber = args[2].toInt(&isNumber);
    if (isNumber && CDBUtility::getCaseNo(case8) < 0 && !CDBUtility::getCaseName(asNumber).empty())
        CDBUtility::setCaseName(textcodec::fromLocal8(CDBUtility::getCaseName(asNumber)));
    else
        CDBUtility::setCaseName(textcodec::fromLocal8(case8));
    const std::string caseNo8 = CDBUtility::getCaseNo();
    // An uncalculated case has no results; without this it would fail later for want of
    // fault points.
    if (!CDBUtility::isCaseCalculated(std::atoi(caseNo8.c_str())))
        throw BatchError(kExitRunFailed, "短路作业没有计算:" + CDBUtility::getCaseName().toStdString());

    OutputRequest req;
    req.projectDir = local8(args[1]);
    req.caseNo = std::atoi(caseNo8.c_str());
    req.openViewers = false;
    SCPosList faults;
    applyStoredChoices(caseNo8, req, faults);
    applyOverrides(p, o, caseNo8, req, faults);
    req.faults = &faults;

    std::string kinds;
    for (const auto& k : reportkinds::kinds())
        if (req.chosenKeys.count(k.key)) kinds += (kinds.empty() ? "" : ", ") + k.shortName;
    std::fprintf(stderr, "case %s (%s): %s; %zu fault points; %s\n", textcodec::toUtf8(caseNo8).c_str(),
                 CDBUtility::getCaseName().toUtf8().constData(), kinds.empty() ? "no report" : kinds.c_str(),
                 faults.size(), req.perUnit ? "per unit" : "named units");

    StderrProgress progress;
    QElapsedTimer clock;
    clock.start();
    req.strict = p.isSet(o.strict);
    const OutputResult res = runOutput(req, &progress);
    printProblems(res);
    if (!res.ok()) throw BatchError(kExitRunFailed, textcodec::toUtf8(res.error8));
    std::fprintf(stderr, "%lld rows, %lld cells, %zu data problems, %.2f s\n", res.rows, res.cells,
                 res.problems.size(), clock.elapsed() / 1000.0);
    if (res.files.empty()) std::fprintf(stderr, "no file asked for (see --format)\n");
    for (const std::string& f : res.files)
        std::fprintf(stdout, "%s\n", f.c_str());
    std::fflush(stdout);
    return res.problems.empty() ? kExitOk : kExitDataProblems;
}

} // namespace

bool wantsBatch(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--batch") || !std::strcmp(argv[i], "--help") ||
            !std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--version") || !std::strcmp(argv[i], "-v"))
            return true;
    return false;
}

int runBatch(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("screport");
    QCoreApplication::setApplicationVersion(SCREPORT_VERSION);
    try {
        return run(app);
    } catch (const BatchError& e) {
        std::fprintf(stderr, "screport: %s\n", e.text.c_str());
        return e.code;
    } catch (const ErrorText& e) {
        std::fprintf(stderr, "screport: %s\n", textcodec::toUtf8(e.text()).c_str());
        return kExitRunFailed;
    }
}
