#include "batchmode.h"

#include "db/buildinfo.h"
#include "db/cdbutility.h"
#include "db/dbquery.h"
#include "db/errortext.h"
#include "db/log.h"
#include "db/serverlogin.h"
#include "db/sqlstmt.h"
#include "db/textcodec.h"
#include "report/runguard.h"
#include "report/runobserver.h"
#include "sc/casechoices.h"
#include "sc/caselist.h"
#include "sc/outputrun.h"
#include "sc/reportkinds.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <streambuf>
#include <termios.h>
#include <unistd.h>

using textcodec::gb;

namespace {

// Exit codes. Of several cases the worst counts: 3, then 1, then 4, then 0.
constexpr int kExitOk = 0;
constexpr int kExitRunFailed = 1; // the output run (or the case) raised its error text
constexpr int kExitUsage = 2;     // bad command line
constexpr int kExitNoDatabase = 3;
constexpr int kExitDataProblems = 4; // written, but some stored values could not be used
// Entries of the problem list shown on the error stream; the file has them all.
constexpr size_t kProblemsShown = 10;

int worse(int a, int b) {
    auto rank = [](int c) {
        return c == kExitNoDatabase ? 3 : c == kExitRunFailed ? 2 : c == kExitDataProblems ? 1 : 0;
    };
    return rank(b) > rank(a) ? b : a;
}

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
        usageError(QString("unknown report kind: %1 (%2)")
                       .arg(given, QString::fromStdString(reportkinds::shortNames())));
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
    // A stop signal cancels the run as the dialog's cancel button does.
    bool cancelled() const override { return stoprequest::signal() != 0; }

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
    QCommandLineOption batch{"batch", "Run output runs without a window."};
    QCommandLineOption reports{"reports",
                               QString::fromStdString("Report kinds to build, by key or short name: " +
                                                      reportkinds::shortNames() + ", or all."),
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
    QCommandLineOption xlsxLayout{"xlsx-layout",
                                  "The .xlsx workbook: one table per report (table, the default), or laid "
                                  "out like the HTML sheets, group by group (grouped).",
                                  "table|grouped"};
    QCommandLineOption noOpen{"no-open", "Do not start the viewers (the default in batch mode)."};
    QCommandLineOption open{"open", "Start the text and sheet viewers on the files written."};
    QCommandLineOption live{"live", "Read the live network tables instead of their BAK copies."};
    QCommandLineOption debug{"debug", "Keep the debug stream on standard output."};
    QCommandLineOption strict{"strict", "Treat any data problem as an error: write no report."};
    QCommandLineOption noWait{"no-wait",
                              "Fail at once (exit 1) when another output run is writing the same folder, "
                              "instead of waiting up to 10 minutes for it."};
    QCommandLineOption summaryJson{
        "summary-json",
        "Write what the run did to FILE as JSON: per case the files written, rows "
        "and cells per report, data problems by kind, seconds per stage, exit status.",
        "FILE"};
    QCommandLineOption listCases{"list-cases",
                                 "List the short-circuit cases of DATABASE, one line each, tab-separated: "
                                 "number, name, fault type, calculated or not calculated, note.",
                                 "DATABASE"};
    QCommandLineOption json{"json", "With --list-cases: the list as JSON."};
    QCommandLineOption version{{"v", "version"}, "Print the version and those of the libraries in use."};
    // The server: over the option files' [client] and [screport] groups and the environment.
    QCommandLineOption host{"host", "MySQL/MariaDB server host.", "name"};
    QCommandLineOption port{"port", "Server TCP port.", "number"};
    QCommandLineOption socket{"socket", "Server unix socket.", "path"};
    QCommandLineOption user{"user", "User name on the server.", "name"};
    QCommandLineOption passwordFile{"password-file", "Read the server password from the first line of FILE.",
                                    "file"};
    QCommandLineOption password{"password", "Ask for the server password on the terminal."};
    QCommandLineOption charset{"default-character-set",
                               "What the database's text columns hold, instead of what its catalogue says: "
                               "latin1 or binary (GB18030 bytes, passed through), utf8mb4, utf8, gbk (the "
                               "server converts), auto (detect; the default).",
                               "name"};
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

void applyServerOptions(const QCommandLineParser& p, const Options& o, CDBUtility& db) {
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
        if (!f.open(QIODevice::ReadOnly))
            usageError("--password-file: cannot read " + p.value(o.passwordFile));
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
    if (p.isSet(o.charset) && !db.setCharsetOverride(p.value(o.charset).toStdString()))
        usageError("--default-character-set wants latin1, binary, utf8mb4, utf8, gbk, gb2312 or auto: " +
                   p.value(o.charset));
}

void applyStoredChoices(const CDBUtility& db, OutputRequest& req, SCPosList& faults) {
    const std::string& caseNo8 = db.getCaseNo();
    const int caseNo = std::atoi(caseNo8.c_str());
    casechoices::ObjectChoices c;
    c.seedObjectVars();
    casechoices::OutputOptions opts;
    dataproblems::List problems;
    if (casechoices::loadOutputOptions("SCR_OUT", caseNo, opts, &problems)) {
        req.chosenKeys = casechoices::checkedObjects(opts);
        req.perUnit = opts.unit;
        req.grpArea = opts.onArea;
        req.grpZone = opts.onZone;
        req.grpST = opts.onSub;
        req.writeText = opts.lfile;
        req.writeSheet = opts.lreport;
        casechoices::loadObjectVars(casechoices::objectVarTable(db), caseNo8, c, &problems);
    } else {
        // Nothing stored: every kind the case supports, per unit, the text report.
        req.chosenKeys = reportkinds::enabledKinds(db.connection(), caseNo8);
    }
    req.itemLabels = reportkinds::itemLabels();
    req.itemSel = c.m_objVars;
    req.choiceProblems = problems.entries();
    casechoices::loadFaultList(db, faults);
    if (faults.empty()) faults = casechoices::allFaultPoints(caseNo8);
}

// The options that override the stored choices, read and checked before any case runs.
struct Overrides {
    std::optional<std::set<std::string>> reports;
    std::optional<QStringList> faults; // fault-point keys, or just "all"
    std::map<std::string, std::vector<int>> items;
    std::optional<bool> perUnit;
    std::optional<std::array<bool, 3>> group;  // area, zone, station
    std::optional<std::array<bool, 3>> format; // txt, html, xlsx
    std::optional<OutputEncoding> encoding;
    std::optional<XlsxLayout> xlsxLayout;
    bool openViewers = false;
    bool strict = false;
    bool noWait = false;
};

// The item numbers of --items kind=n,n,... (or all), by report key.
std::map<std::string, std::vector<int>> parseItems(const QStringList& specs) {
    std::map<std::string, std::vector<int>> items;
    for (const QString& spec : specs) {
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
            const int i = n.toInt(&ok);
            if (!ok || i < 0 || size_t(i) >= count)
                usageError(QString("item %1 of %2: items are numbered 0 to %3")
                               .arg(n, spec.left(eq))
                               .arg(count - 1));
            numbers.push_back(i);
        }
        items[key] = numbers;
    }
    return items;
}

Overrides parseOverrides(const QCommandLineParser& p, const Options& o) {
    Overrides v;
    if (p.isSet(o.reports)) {
        v.reports.emplace();
        for (const QString& r : listOf(p.value(o.reports))) {
            if (r == "all") {
                for (const auto& k : reportkinds::kinds())
                    v.reports->insert(k.key);
            } else {
                v.reports->insert(kindKey(r));
            }
        }
    }
    if (p.isSet(o.faults)) v.faults = listOf(p.value(o.faults));
    v.items = parseItems(p.values(o.items));
    if (p.isSet(o.units)) {
        const QString u = p.value(o.units);
        if (u != "pu" && u != "named") usageError("--units wants pu or named: " + u);
        v.perUnit = u == "pu";
    }
    // Which of three words a list names; `none` (when allowed) names none of them.
    auto flags = [&](const QCommandLineOption& opt, const std::array<const char*, 3>& words, bool noneAllowed,
                     const QString& usage) {
        std::array<bool, 3> on = {false, false, false};
        for (const QString& w : listOf(p.value(opt))) {
            const auto it = std::find_if(words.begin(), words.end(), [&](const char* x) { return w == x; });
            if (it != words.end())
                on[size_t(it - words.begin())] = true;
            else if (!(noneAllowed && w == "none"))
                usageError(usage + w);
        }
        return on;
    };
    if (p.isSet(o.group))
        v.group =
            flags(o.group, {"area", "zone", "station"}, true, "--group wants area, zone, station or none: ");
    if (p.isSet(o.format))
        v.format = flags(o.format, {"txt", "html", "xlsx"}, false, "--format wants txt, html or xlsx: ");
    if (p.isSet(o.encoding)) {
        const QString e = p.value(o.encoding).toLower();
        if (e == "gb18030")
            v.encoding = OutputEncoding::Gb18030;
        else if (e == "utf-8" || e == "utf8")
            v.encoding = OutputEncoding::Utf8;
        else
            usageError("--encoding wants gb18030 or utf-8: " + e);
    }
    if (p.isSet(o.xlsxLayout)) {
        const QString l = p.value(o.xlsxLayout).toLower();
        if (l == "table")
            v.xlsxLayout = XlsxLayout::Table;
        else if (l == "grouped")
            v.xlsxLayout = XlsxLayout::Grouped;
        else
            usageError("--xlsx-layout wants table or grouped: " + l);
    }
    v.openViewers = p.isSet(o.open) && !p.isSet(o.noOpen);
    v.strict = p.isSet(o.strict);
    v.noWait = p.isSet(o.noWait);
    return v;
}

void applyOverrides(const Overrides& v, const std::string& caseNo8, OutputRequest& req, SCPosList& faults) {
    if (v.reports) req.chosenKeys = *v.reports;
    if (v.faults) {
        const SCPosList all = casechoices::allFaultPoints(caseNo8);
        if (v.faults->size() == 1 && v.faults->front() == "all") {
            faults = all;
        } else {
            faults.clear();
            for (const QString& g : *v.faults) {
                SCPos pos;
                pos.name = local8(g);
                // Keep the branch and position of a known fault point.
                for (const SCPos& a : all)
                    if (a.name == pos.name) pos = a;
                faults.push_back(pos);
            }
        }
    }
    for (const auto& [key, numbers] : v.items)
        req.itemSel[key] = numbers;
    if (v.perUnit) req.perUnit = *v.perUnit;
    if (v.group) {
        req.grpArea = (*v.group)[0];
        req.grpZone = (*v.group)[1];
        req.grpST = (*v.group)[2];
    }
    if (v.format) {
        req.writeText = (*v.format)[0];
        req.sheetHtml = (*v.format)[1];
        req.sheetXlsx = (*v.format)[2];
        req.writeSheet = req.sheetHtml || req.sheetXlsx;
        if (!req.writeSheet) req.sheetHtml = req.sheetXlsx = true; // unused, as the dialog keeps them
    }
    if (v.encoding) req.encoding = *v.encoding;
    if (v.xlsxLayout) req.xlsxLayout = *v.xlsxLayout;
    req.openViewers = v.openViewers;
    req.strict = v.strict;
    if (v.noWait) req.lockWaitSeconds = 0;

    // A stored choice that an option replaces, or the items of a kind not built, is not
    // used: its problem is none of the run's.
    auto unused = [&](const dataproblems::Problem& p) {
        for (const reportkinds::Kind& k : reportkinds::kinds())
            if (p.key == casechoices::itemRowKey(caseNo8, k.key))
                return v.items.count(k.key) || !req.chosenKeys.count(k.key);
        const QString col = QString::fromStdString(p.column);
        auto is = [&](const char* c) { return col.compare(QLatin1String(c), Qt::CaseInsensitive) == 0; };
        if (is("Unit")) return v.perUnit.has_value();
        if (is("On_area") || is("On_Zone") || is("On_Sub")) return v.group.has_value();
        if (is("Lreport") || is("Lfile")) return v.format.has_value();
        for (const reportkinds::Kind& k : reportkinds::kinds())
            if (is(k.column.c_str())) return v.reports.has_value();
        return false;
    };
    auto& cp = req.choiceProblems;
    cp.erase(std::remove_if(cp.begin(), cp.end(), unused), cp.end());
}

// What one case's run did, for the summary.
struct CaseRun {
    QString given;   // as on the command line; the number for "all"
    int number = -1; // -1 when the case was not found
    QString name;
    std::string outputDir; // UTF-8
    int status = kExitOk;
    std::string error; // UTF-8
    OutputResult res;
    double caseSeconds = 0; // finding the case and reading its stored choices
    bool duplicate = false; // the same case given twice: run once
};

// Makes the case current: by name; a number that is no case name is taken as the case number.
void selectCase(CDBUtility& db, const QString& given) {
    const std::string case8 = local8(given);
    bool isNumber = false;
    const int asNumber = given.toInt(&isNumber);
    if (isNumber && db.getCaseNo(case8) < 0 && !db.getCaseName(asNumber).empty())
        db.setCaseName(textcodec::fromLocal8(db.getCaseName(asNumber)));
    else
        db.setCaseName(textcodec::fromLocal8(case8));
}

// One case's output run. `ownFolder`: its reports go to PROJECT_DIR/temp/<case number>.
CaseRun runCase(CDBUtility& db, const QString& given, bool byNumber, const std::string& project8,
                bool ownFolder, const Overrides& v, std::set<int>& seen) {
    CaseRun r;
    r.given = given;
    QElapsedTimer clock;
    clock.start();
    try {
        if (byNumber)
            db.setCaseNo(given.toInt());
        else
            selectCase(db, given);
        const std::string caseNo8 = db.getCaseNo();
        r.number = std::atoi(caseNo8.c_str());
        r.name = db.getCaseName();
        if (!seen.insert(r.number).second) {
            r.duplicate = true;
            return r;
        }
        // An uncalculated case has no results; without this it would fail later for want of
        // fault points.
        if (!db.isCaseCalculated(r.number))
            throw BatchError(kExitRunFailed, "短路作业没有计算:" + r.name.toStdString());

        OutputRequest req;
        req.projectDir = project8;
        if (ownFolder)
            req.outputDir =
                local8(QDir(textcodec::fromLocal8(project8)).filePath("temp/" + QString::number(r.number)));
        req.caseNo = r.number;
        req.openViewers = false;
        SCPosList faults;
        applyStoredChoices(db, req, faults);
        applyOverrides(v, caseNo8, req, faults);
        req.faults = &faults;

        std::string kinds;
        for (const auto& k : reportkinds::kinds())
            if (req.chosenKeys.count(k.key)) kinds += (kinds.empty() ? "" : ", ") + k.shortName;
        std::fprintf(stderr, "case %s (%s): %s; %zu fault points; %s\n", textcodec::toUtf8(caseNo8).c_str(),
                     r.name.toUtf8().constData(), kinds.empty() ? "no report" : kinds.c_str(), faults.size(),
                     req.perUnit ? "per unit" : "named units");
        r.caseSeconds = clock.nsecsElapsed() / 1e9;

        StderrProgress progress;
        r.res = runOutput(db.connection(), req, &progress);
        const int sig = stoprequest::signal();
        if (sig && !r.res.ok())
            throw BatchError(stoprequest::exitStatus(sig), textcodec::toUtf8(r.res.error8) + " (signal " +
                                                               std::to_string(sig) + ", nothing replaced)");
        printProblems(r.res);
        if (!r.res.ok()) throw BatchError(kExitRunFailed, textcodec::toUtf8(r.res.error8));
        std::fprintf(stderr, "%lld rows, %lld cells, %zu data problems, %.2f s\n", r.res.rows, r.res.cells,
                     r.res.problems.size(), clock.elapsed() / 1000.0);
        for (const std::string& f : r.res.files)
            std::fprintf(stdout, "%s\n", f.c_str());
        std::fflush(stdout);
        r.status = r.res.problems.empty() ? kExitOk : kExitDataProblems;
        if (ownFolder)
            r.outputDir = textcodec::toUtf8(req.outputDir);
        else
            r.outputDir =
                QDir(QString::fromUtf8(textcodec::toUtf8(project8).c_str())).filePath("temp").toStdString();
    } catch (const BatchError& e) {
        r.status = e.code;
        r.error = e.text;
    } catch (const ErrorText& e) {
        r.status = kExitRunFailed;
        r.error = textcodec::toUtf8(e.text());
    }
    if (r.caseSeconds == 0 && r.status != kExitOk && r.status != kExitDataProblems)
        r.caseSeconds = clock.nsecsElapsed() / 1e9;
    if (!r.error.empty()) {
        if (ownFolder)
            std::fprintf(stderr, "screport: case %s: %s\n", given.toUtf8().constData(), r.error.c_str());
        else
            std::fprintf(stderr, "screport: %s\n", r.error.c_str());
    }
    return r;
}

QJsonObject caseJson(const CaseRun& r) {
    QJsonObject c;
    c["case"] = r.given;
    c["number"] = r.number >= 0 ? QJsonValue(r.number) : QJsonValue();
    c["name"] = r.name;
    c["exitStatus"] = r.status;
    if (!r.error.empty()) c["error"] = QString::fromStdString(r.error);
    if (!r.outputDir.empty()) c["outputDir"] = QString::fromStdString(r.outputDir);
    QJsonArray files;
    for (const std::string& f : r.res.files)
        files.append(QString::fromStdString(f));
    c["files"] = files;
    QJsonArray reports;
    for (const ReportCount& rc : r.res.reports) {
        const int i = reportkinds::indexOf(rc.key);
        reports.append(
            QJsonObject{{"kind", QString::fromStdString(reportkinds::kinds()[size_t(i)].shortName)},
                        {"rows", rc.rows},
                        {"cells", rc.cells}});
    }
    c["reports"] = reports;
    c["rows"] = r.res.rows;
    c["cells"] = r.res.cells;
    // Every kind, so that a script reads a count without looking first.
    using dataproblems::Kind;
    static const std::pair<Kind, const char*> kKeys[] = {
        {Kind::Null, "null"},           {Kind::NotNumber, "notNumber"},
        {Kind::NotFinite, "notFinite"}, {Kind::OutOfDomain, "outOfRange"},
        {Kind::Missing, "missing"},     {Kind::Duplicate, "duplicate"},
        {Kind::Conflict, "conflict"},   {Kind::Mismatch, "mismatch"},
        {Kind::Overflow, "overflow"},   {Kind::BadText, "badText"}};
    std::map<Kind, long long> byKind;
    for (const dataproblems::Problem& p : r.res.problems)
        ++byKind[p.kind];
    QJsonObject counts{{"total", qint64(r.res.problems.size())}};
    for (const auto& [kind, key] : kKeys)
        counts[key] = byKind[kind];
    c["dataProblems"] = counts;
    if (!r.res.problemsFile.empty()) c["problemsFile"] = QString::fromStdString(r.res.problemsFile);
    QJsonObject seconds{{"case", r.caseSeconds}};
    double total = r.caseSeconds;
    for (const StageTime& s : r.res.stages) {
        seconds[QString::fromStdString(s.stage)] = s.seconds;
        total += s.seconds;
    }
    seconds["total"] = total;
    c["seconds"] = seconds;
    return c;
}

// Written whole or not at all; false (and a line on the error stream) when it cannot be.
bool writeSummary(const QString& path, const QJsonObject& summary) {
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly) &&
        f.write(QJsonDocument(summary).toJson(QJsonDocument::Indented)) >= 0 && f.commit())
        return true;
    std::fprintf(stderr, "screport: cannot write the summary %s: %s\n", path.toUtf8().constData(),
                 f.errorString().toUtf8().constData());
    return false;
}

// Keeps a name or note on its one line.
QString oneLine(QString s) {
    return s.replace('\\', "\\\\").replace('\t', "\\t").replace('\n', "\\n").replace('\r', "\\r");
}

// Closes the case database when the run leaves, however it leaves.
struct Closing {
    CDBUtility& db;
    explicit Closing(CDBUtility& d) : db(d) {}
    ~Closing() { db.closedb(); }
};

int listCasesOf(CDBUtility& db, const QString& dbArg, bool json) {
    const std::string dbName = local8(dbArg);
    if (!db.opendb(dbName.c_str())) throw BatchError(kExitNoDatabase, textcodec::toUtf8(db.lastOpenError()));
    const Closing closing(db);
    db.setDBType(DB_SC);
    const std::vector<CaseInfo> cases = listCases(db);
    QJsonArray all;
    std::string text;
    for (const CaseInfo& c : cases) {
        const QString name = textcodec::fromLocal8(c.name);
        const QString note = textcodec::fromLocal8(c.note);
        all.append(QJsonObject{{"number", c.number},
                               {"name", name},
                               {"faultType", c.faultType ? QJsonValue(c.faultType) : QJsonValue()},
                               {"faultTypeName", faultTypeName(c.faultType)},
                               {"calculated", c.calculated},
                               {"note", note}});
        text += QString("%1\t%2\t%3\t%4\t%5\n")
                    .arg(c.number)
                    .arg(oneLine(name), faultTypeName(c.faultType),
                         c.calculated ? "calculated" : "not calculated", oneLine(note))
                    .toStdString();
    }
    if (json) text = QJsonDocument(all).toJson(QJsonDocument::Indented).toStdString();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return kExitOk;
}

const char* const kDescription =
    "Short-circuit reports of calculated cases of a power-system case database.\n\n"
    "Batch mode: screport --batch DATABASE PROJECT_DIR CASE [options]\n"
    "builds the reports without a window, with the choices stored for the case in the\n"
    "report dialog unless options override them, and writes them to PROJECT_DIR/temp.\n"
    "CASE is a case name or number, a comma-separated list of them, or all (every\n"
    "calculated case); a case of that very name comes first. With a list or all, each\n"
    "case's reports go to PROJECT_DIR/temp/<case number>/ and a failing case does not\n"
    "stop the others.\n"
    "Without --batch: screport DATABASE PROJECT_DIR [CASE [LIVE]] opens the report dialog.\n"
    "screport --list-cases DATABASE [--json] lists the cases; screport --create-db\n"
    "DATABASE creates an empty case database.\n\n"
    "A stored value the reports cannot use (NULL, text, not finite, out of range, a row\n"
    "or fault point that is missing) is never printed as a number: its cells stay empty\n"
    "and it is listed in data_problems.txt beside the reports.\n\n"
    "The files a run writes (text report, workbooks, data_problems.txt) replace those\n"
    "of the previous run together or not at all, and one run at a time writes a folder:\n"
    "another waits for it (see --no-wait).\n\n"
    "Exit status: 0 reports written; 4 reports written, with data problems;\n"
    "1 the run failed (nothing replaced; with --strict also on any data problem);\n"
    "2 bad command line; 3 the database cannot be opened. Of several cases the worst\n"
    "counts: 3, then 1, then 4, then 0. SIGINT, SIGTERM and SIGHUP cancel the run\n"
    "(nothing replaced, no temporary file left) and the status is 128 + the signal:\n"
    "130, 143, 129.\n\n"
    "A server database is reached as MySQL clients reach it: the [client] and [screport]\n"
    "groups of the option files (~/.my.cnf ...), then SCREPORT_DB_HOST, _PORT, _SOCKET,\n"
    "_USER, _PASSWORD (or MYSQL_HOST, MYSQL_TCP_PORT, MYSQL_UNIX_PORT, MYSQL_PWD), then\n"
    "the options below. A password is never an argument.";

void addOptions(QCommandLineParser& p, const Options& o) {
    p.setApplicationDescription(kDescription);
    p.addHelpOption();
    for (const QCommandLineOption* opt :
         {&o.version, &o.batch,    &o.reports,      &o.faults,    &o.items,  &o.units, &o.group,
          &o.format,  &o.encoding, &o.xlsxLayout,   &o.noOpen,    &o.open,   &o.live,  &o.debug,
          &o.strict,  &o.noWait,   &o.summaryJson,  &o.listCases, &o.json,   &o.host,  &o.port,
          &o.socket,  &o.user,     &o.passwordFile, &o.password,  &o.charset})
        p.addOption(*opt);
    p.addPositionalArgument("DATABASE", "SQLite case database file, or MySQL/MariaDB database name.");
    p.addPositionalArgument("PROJECT_DIR", "Project folder; the reports go to its temp folder.");
    p.addPositionalArgument("CASE", "Case name or number, a comma-separated list of them, or all.");
}

// The cases CASE names, each as given with whether it is a case number; a case of that
// very name wins over a list or "all". `several`: each case gets a folder of its own.
std::vector<std::pair<QString, bool>> caseTargets(const CDBUtility& db, const QString& caseArg,
                                                  bool* several) {
    std::vector<std::pair<QString, bool>> targets;
    const bool isName = db.getCaseNo(local8(caseArg)) >= 0;
    *several = !isName && (caseArg == "all" || caseArg.contains(','));
    if (*several && caseArg == "all") {
        for (const CaseInfo& c : listCases(db))
            if (c.calculated) targets.emplace_back(QString::number(c.number), true);
        if (targets.empty()) raiseError(gb("作业表中没有计算成功的作业,请先进行作业定义和作业计算!"));
    } else if (*several) {
        for (const QString& c : listOf(caseArg))
            targets.emplace_back(c, false);
        if (targets.empty()) usageError("CASE names no case: " + caseArg);
    } else {
        targets.emplace_back(caseArg, false);
    }
    return targets;
}

// Runs `targets` in turn on the open `db`, each into `cases`; the worst status.
int runCases(CDBUtility& db, const std::vector<std::pair<QString, bool>>& targets,
             const std::string& project8, bool several, const Overrides& v, QJsonArray& cases) {
    int status = kExitOk;
    std::set<int> seen;
    for (const auto& [given, byNumber] : targets) {
        const CaseRun r = runCase(db, given, byNumber, project8, several, v, seen);
        if (r.duplicate) continue;
        status = worse(status, r.status);
        cases.append(caseJson(r));
        if (const int sig = stoprequest::signal()) { // the cases after it are not begun
            status = stoprequest::exitStatus(sig);
            break;
        }
    }
    return status;
}

int run(QCoreApplication& app) {
    QCommandLineParser p;
    Options o;
    addOptions(p, o);
    // A bad command line is status 2, as documented (process() would end with 1).
    if (!p.parse(app.arguments())) usageError(p.errorText());
    if (p.isSet("help")) p.showHelp(0);

    if (p.isSet(o.version)) {
        std::fputs(buildinfo::versionText().c_str(), stdout);
        return kExitOk;
    }
    const QStringList args = p.positionalArguments();
    NullBuffer null;
    std::streambuf* debugStream = std::cout.rdbuf();
    if (!p.isSet(o.debug)) std::cout.rdbuf(&null);
    screport::setDebugEnabled(p.isSet(o.debug));
    struct Restore {
        std::streambuf* b;
        ~Restore() {
            std::cout.rdbuf(b);
            screport::setDebugEnabled(true);
        }
    } restore{debugStream};

    CDBUtility db;
    applyServerOptions(p, o, db);
    if (p.isSet(o.listCases)) {
        if (!args.isEmpty() || p.isSet(o.batch))
            usageError("--list-cases DATABASE takes nothing else (see --help)");
        return listCasesOf(db, p.value(o.listCases), p.isSet(o.json));
    }
    if (p.isSet(o.json)) usageError("--json goes with --list-cases (see --help)");
    if (!p.isSet(o.batch)) usageError("--batch is needed for a run without a window (see --help)");
    if (args.size() != 3) usageError("batch mode wants DATABASE PROJECT_DIR CASE (see --help)");
    const Overrides v = parseOverrides(p, o);

    QJsonObject summary{{"database", args[0]}, {"projectDir", args[1]}, {"case", args[2]}};
    const QString summaryPath = p.value(o.summaryJson);
    auto finish = [&](int status, const std::string& error, const QJsonArray& cases) {
        if (summaryPath.isEmpty()) return status;
        summary["exitStatus"] = status;
        if (!error.empty()) summary["error"] = QString::fromStdString(error);
        summary["cases"] = cases;
        return writeSummary(summaryPath, summary) ? status : worse(status, kExitRunFailed);
    };

    db.setTableSuffix(p.isSet(o.live) ? "" : "BAK");
    const std::string dbName = local8(args[0]); // GB18030, as every name given to CDBUtility
    if (!db.opendb(dbName.c_str())) {
        const std::string error = textcodec::toUtf8(db.lastOpenError());
        std::fprintf(stderr, "screport: %s\n", error.c_str());
        return finish(kExitNoDatabase, error, {});
    }
    const Closing closing(db);
    db.setDBType(DB_SC);
    std::vector<std::pair<QString, bool>> targets;
    bool several = false;
    try {
        targets = caseTargets(db, args[2], &several);
    } catch (const ErrorText& e) {
        const std::string error = textcodec::toUtf8(e.text());
        std::fprintf(stderr, "screport: %s\n", error.c_str());
        return finish(kExitRunFailed, error, {});
    }
    QJsonArray cases;
    const int status = runCases(db, targets, local8(args[1]), several, v, cases);
    return finish(status, std::string(), cases);
}

} // namespace

bool wantsBatch(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--batch") || !std::strcmp(argv[i], "--help") ||
            !std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--version") ||
            !std::strcmp(argv[i], "-v") || !std::strncmp(argv[i], "--list-cases", 12))
            return true;
    return false;
}

int runBatch(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Qt takes the user's locale; the .xlsx library prints numbers through it.
    std::setlocale(LC_NUMERIC, "C");
    stoprequest::install();
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
