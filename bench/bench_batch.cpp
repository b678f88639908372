// A full batch run (all six reports, every item, text + HTML workbook + .xlsx) on
// synthetic grids, against its limits: the same case's database reads alone, and the
// text report's bytes written with one fwrite. Each measured step runs in a process
// of its own, so its peak memory is its own.
//
//   bench_batch [--buses 2000,5000] [--faults 25,50] [--backends sqlite,mariadb] [--dir DIR]
//               [--xlsx-layout table|grouped]
//
// The bare loop writes the model's cells, one worksheet row per record: the grouped
// layout's cells; the table layout adds location columns and splits complex values.
//   bench_batch --child-reads DB [CASE] | --child-text-limit FILE   (one limit step alone)
//
// Per grid, the .xlsx alone in either layout: "table vs grouped", time and sheet XML bytes.
//
// What a run costs against what it asks for: a large case (20,000 buses, 200 faults by
// default), the text of four reports for a few fault points and for all of them, time and
// peak memory, on each back end:
//   bench_batch --request-cost [--buses 20000] [--faults 200] [--chosen 10] [--backends ...]
//               [--dir DIR] [--reuse]
//
// MariaDB is used when SCREPORT_DB_SOCKET (or the client defaults) reaches a server,
// e.g. after tests/support/mariadb-server start /tmp/mdb-bench and
// SCREPORT_DB_SOCKET=/tmp/mdb-bench/mysqld.sock.
#include "benchgrid.h"
#include "casegen/casegen.h"
#include "db/cdbutility.h"
#include "db/dbquery.h"
#include "db/resultrows.h"
#include "db/sqldialect.h"
#include "db/textcodec.h"
#include "sc/outputrun.h"
#include "sc/reportkinds.h"
#include "sc/screpport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlQuery>

#include <xlsxwriter.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

double wallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
double cpuNow() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

class NullBuffer : public std::streambuf {
  protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

std::vector<std::string> split(const std::string& s) {
    std::vector<std::string> out;
    std::stringstream ss(s);
    std::string t;
    while (std::getline(ss, t, ','))
        if (!t.empty()) out.push_back(t);
    return out;
}

bool openCase(CDBUtility& db, const std::string& dbArg) {
    db.setTableSuffix("BAK");
    db.setDBType(DB_SC);
    return db.opendb(dbArg.c_str()) != nullptr;
}

std::vector<std::string> faultKeys(int n) {
    std::vector<std::string> keys;
    dbq::Query q;
    q.exec(SqlStmt(QString("select I_Name from SCR_R120 where flg=1 and Case_No=%1 order by T")
                       .arg(casegen::kGridCase)
                       .toStdString()));
    while (q.next() && int(keys.size()) < n)
        keys.push_back(q.text8(0));
    return keys;
}

// ---- child steps: print one line of "name value" pairs on standard output

// Only the database reads of a run: results, capacities, base voltages, base power.
int childReads(const std::string& dbArg, int caseNo) {
    CDBUtility db;
    if (!openCase(db, dbArg)) return 3;
    const double w0 = wallNow(), c0 = cpuNow();
    CaseStore store(db.connection(), caseNo);
    store.loadResults();
    store.loadCapacities();
    if (!store.buses().empty()) store.baseKV(store.buses().begin()->first);
    store.baseMVA();
    std::fprintf(stdout, "wall %.3f cpu %.3f values %lld\n", wallNow() - w0, cpuNow() - c0,
                 ResultRows::valuesRead());
    db.closedb();
    return 0;
}

// The text report's bytes written with one fwrite: the floor of any text writer.
int childTextLimit(const std::string& textPath) {
    std::ifstream in(textPath, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string out = textPath + ".limit";
    const double w0 = wallNow(), c0 = cpuNow();
    FILE* f = std::fopen(out.c_str(), "wb");
    if (!f) return 3;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    std::fprintf(stdout, "wall %.3f cpu %.3f bytes %zu\n", wallNow() - w0, cpuNow() - c0, bytes.size());
    std::remove(out.c_str());
    return 0;
}

// The same cells as the full run's .xlsx, written by a bare libxlsxwriter loop: the
// reports are built in memory first (not timed), then every cell goes to a worksheet
// of its page as a number when it reads as one, else as a string; nothing else.
int childBareXlsx(const std::string& dbArg, const std::string& faultArg, const std::string& out) {
    CDBUtility db;
    if (!openCase(db, dbArg)) return 3;
    OutputRequest req;
    req.projectDir = QDir::tempPath().toStdString() + "/";
    req.caseNo = casegen::kGridCase;
    req.itemLabels = reportkinds::itemLabels();
    for (const reportkinds::Kind& k : reportkinds::kinds()) {
        req.chosenKeys.insert(k.key);
        for (size_t i = 0; i < k.labels.size(); ++i)
            req.itemSel[k.key].push_back(int(i));
    }
    SCPosList faults;
    for (const std::string& key : split(faultArg)) {
        SCPos p;
        p.name = p.iName = textcodec::gb(key.c_str());
        faults.push_back(p);
    }
    req.faults = &faults;
    req.perUnit = false;
    req.writeText = req.writeSheet = req.openViewers = false;
    double wall = 0, cpu = 0;
    long long cells = 0;
    req.inspect = [&](const RepPortBase& m) {
        const double w0 = wallNow(), c0 = cpuNow();
        lxw_workbook_options opt{};
        opt.constant_memory = LXW_TRUE;
        lxw_workbook* wb = workbook_new_opt(out.c_str(), &opt);
        for (int pi = 0; pi < m.pageCount(); ++pi) {
            lxw_worksheet* ws = workbook_add_worksheet(wb, nullptr);
            const RecordStore& rs = m.page(pi).records;
            lxw_row_t row = 0;
            for (int g = 0; g < rs.groupCount(); ++g)
                for (int r = 0; r < rs.recordCount(g); ++r, ++row) {
                    RecordStore::Cursor cur = rs.cells(g, r);
                    std::string_view cell;
                    for (lxw_col_t col = 0; cur.next(cell); ++col, ++cells) {
                        double v = 0;
                        const auto res = std::from_chars(cell.data(), cell.data() + cell.size(), v);
                        if (res.ec == std::errc() && res.ptr == cell.data() + cell.size())
                            worksheet_write_number(ws, row, col, v, nullptr);
                        else
                            worksheet_write_string(ws, row, col, std::string(cell).c_str(), nullptr);
                    }
                }
        }
        workbook_close(wb);
        wall = wallNow() - w0;
        cpu = cpuNow() - c0;
    };
    const OutputResult res = runOutput(db.connection(), req);
    std::remove(out.c_str());
    if (!res.ok()) return 1;
    std::fprintf(stdout, "wall %.3f cpu %.3f cells %lld\n", wall, cpu, cells);
    return 0;
}

// ---- the parent

struct Measured {
    int status = -1;
    double wall = 0, cpu = 0;
    long maxRssKb = 0;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs a program, waits for it, and takes its processor time and peak memory.
Measured runChild(const std::vector<std::string>& args, const std::string& cwd) {
    Measured m;
    const std::string outPath =
        QDir::tempPath().toStdString() + "/bench_batch.out." + std::to_string(getpid());
    const std::string errPath = outPath + ".err";
    const double w0 = wallNow();
    const pid_t pid = fork();
    if (pid == 0) {
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
        const int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(o, 1);
        dup2(e, 2);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    m.wall = wallNow() - w0;
    m.cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
            double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
    m.maxRssKb = ru.ru_maxrss;
    m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m.out = slurp(outPath);
    m.err = slurp(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return m;
}

double field(const std::string& text, const std::string& name) {
    const size_t at = text.find(name + " ");
    return at == std::string::npos ? -1 : std::atof(text.c_str() + at + name.size() + 1);
}

// "<rows> rows, <cells> cells" of the batch summary.
void rowsCells(const std::string& err, long long& rows, long long& cells) {
    rows = cells = -1;
    const size_t at = err.find(" rows, ");
    if (at == std::string::npos) return;
    size_t start = err.rfind('\n', at);
    start = start == std::string::npos ? 0 : start + 1;
    rows = std::atoll(err.c_str() + start);
    cells = std::atoll(err.c_str() + at + 7);
}

// Bytes of the worksheet parts of a package, unpacked (unzip's listing).
long long sheetXmlBytes(const std::string& xlsx) {
    const Measured list = runChild({"/usr/bin/unzip", "-l", xlsx}, "");
    long long bytes = 0;
    std::istringstream lines(list.out);
    for (std::string line; std::getline(lines, line);)
        if (line.find(" xl/worksheets/sheet") != std::string::npos) bytes += std::atoll(line.c_str());
    return bytes;
}

// The .xlsx alone in the table and in the grouped layout, runs alternating, best of three
// each: the table's wall time over the grouped one's, and the sheet XML per record row.
std::string tableVsGrouped(const std::function<Measured(const std::string&)>& run, const std::string& xlsx) {
    std::map<std::string, Measured> best;
    std::map<std::string, long long> bytes;
    for (int rep = 0; rep < 3; ++rep)
        for (const std::string layout : {"table", "grouped"}) {
            Measured m = run(layout);
            if (m.status != 0 && m.status != 4) return "table vs grouped: the " + layout + " run failed";
            bytes[layout] = sheetXmlBytes(xlsx);
            if (best[layout].status < 0 || m.wall < best[layout].wall) best[layout] = std::move(m);
        }
    long long rows = 0, cells = 0;
    rowsCells(best["table"].err, rows, cells);
    const double t = best["table"].wall, g = best["grouped"].wall;
    const double bt = double(bytes["table"]) / double(std::max(rows, 1LL));
    const double bg = double(bytes["grouped"]) / double(std::max(rows, 1LL));
    char line[200];
    std::snprintf(line, sizeof line,
                  "xlsx table vs grouped %.2f s / %.2f s = %.2f; sheet XML %.0f / %.0f bytes per row = %.2f",
                  t, g, g > 0 ? t / g : 0.0, bt, bg, bg > 0 ? bt / bg : 0.0);
    return line;
}

int parent(int argc, char** argv) {
    std::vector<int> busesList{2000, 5000}, faultsList{25, 50};
    std::vector<std::string> backends{"sqlite", "mariadb"};
    std::string dir = QDir::tempPath().toStdString() + "/screport-bench";
    std::string layout = "table";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i], v = argv[i + 1];
        if (a == "--buses") {
            busesList.clear();
            for (const auto& s : split(v))
                busesList.push_back(std::atoi(s.c_str()));
        } else if (a == "--faults") {
            faultsList.clear();
            for (const auto& s : split(v))
                faultsList.push_back(std::atoi(s.c_str()));
        } else if (a == "--backends") {
            backends = split(v);
        } else if (a == "--dir") {
            dir = v;
        } else if (a == "--xlsx-layout") {
            layout = v;
        } else {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            return 2;
        }
    }
    QDir().mkpath(QString::fromStdString(dir));
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    const std::string exe = QCoreApplication::applicationDirPath().toStdString() + "/../screport";
    int maxFaults = 0;
    for (int f : faultsList)
        maxFaults = std::max(maxFaults, f);

    std::printf("%-8s %6s %6s %6s | %6s %6s %6s | %7s %7s %5s | %7s %5s | %7s %9s %10s | %9s\n", "backend",
                "buses", "branch", "faults", "read", "fwrite", "limit", "batch", "cpu", "x lim", "txt",
                "x lim", "peak MB", "rows", "cells", "values/s");
    // The text run of each grid on each back end, for the comparison at the end.
    std::map<std::pair<int, int>, std::map<std::string, double>> txtWall;
    std::map<std::pair<std::string, int>, std::map<int, double>> byFaults; // text run by fault count
    std::vector<std::string> ratios;
    auto fmt = [](double v) {
        char b[32];
        std::snprintf(b, sizeof b, "%.2f", v);
        return std::string(b);
    };
    for (const std::string& backend : backends) {
        for (int buses : busesList) {
            const std::string dbArg = backend == "sqlite" ? dir + "/grid" + std::to_string(buses) + ".db"
                                                          : "screport_bench_" + std::to_string(buses);
            std::string err;
            const double g0 = wallNow();
            if (!makeBenchGrid(dbArg, buses, maxFaults, &err)) {
                std::fprintf(stderr, "%s: cannot make the grid case: %s\n", backend.c_str(), err.c_str());
                break;
            }
            const double genTime = wallNow() - g0;
            CDBUtility db;
            if (!openCase(db, dbArg)) return 3;
            dbq::Query cq;
            cq.exec(SqlStmt(QString("select count(*) from SCR_LINE1 where CASE_NO=%1")
                                .arg(casegen::kGridCase)
                                .toStdString()));
            const long nBranches = cq.next() ? long(dbq::toInt(cq.value(0))) : 0;
            const std::vector<std::string> keys = faultKeys(maxFaults);
            db.closedb();
            std::fprintf(stderr, "%s %d buses: case generated in %.1f s\n", backend.c_str(), buses, genTime);

            const std::string project = dir + "/project-" + backend + "-" + std::to_string(buses) + "/";
            auto faultArgOf = [&](int nf) {
                std::string arg;
                for (int k = 0; k < nf && k < int(keys.size()); ++k)
                    arg += (k ? "," : "") + textcodec::toUtf8(keys[size_t(k)]);
                return arg;
            };
            // Every report, every item, named units.
            auto batch = [&](int nf, const std::string& formats, const std::string& out,
                             const std::string& xlsxLayout) {
                const std::vector<std::string> args{exe,
                                                    "--batch",
                                                    dbArg,
                                                    out,
                                                    std::to_string(casegen::kGridCase),
                                                    "--reports",
                                                    "all",
                                                    "--faults",
                                                    faultArgOf(nf),
                                                    "--items",
                                                    "shortbra=all",
                                                    "--items",
                                                    "busvol=all",
                                                    "--items",
                                                    "linecur=all",
                                                    "--items",
                                                    "viz=all",
                                                    "--format",
                                                    formats,
                                                    "--units",
                                                    "named",
                                                    "--xlsx-layout",
                                                    xlsxLayout};
                return runChild(args, SCREPORT_SOURCE_DIR);
            };
            // The short steps are the best of three, the text runs of the fault counts taken
            // in turn: a busy moment of the machine would otherwise decide their ratios.
            auto keepBest = [](Measured& m, Measured again) {
                if (m.status < 0 || (again.status == m.status && again.wall < m.wall)) m = std::move(again);
            };
            std::map<int, Measured> txtOf;
            for (int rep = 0; rep < 3; ++rep)
                for (int nf : faultsList)
                    keepBest(txtOf[nf], batch(nf, "txt", project + "txt/", layout));

            for (int nf : faultsList) {
                const std::string faultArg = faultArgOf(nf);
                auto best = [&](auto step) {
                    Measured m;
                    for (int rep = 0; rep < 3; ++rep)
                        keepBest(m, step());
                    return m;
                };
                const Measured reads = best([&] { return runChild({self, "--child-reads", dbArg}, ""); });
                const Measured run = batch(nf, "txt,html,xlsx", project, layout);
                // 4: written, with data problems (the grid leaves the capacities of buses
                // without a fault empty).
                if (run.status != 0 && run.status != 4) {
                    std::fprintf(stderr, "batch failed (%d): %s\n", run.status, run.err.c_str());
                    return 1;
                }
                const Measured& txt = txtOf[nf];
                const Measured bare =
                    runChild({self, "--child-bare-xlsx", dbArg, faultArg, dir + "/bare.xlsx"}, "");
                const Measured limit =
                    runChild({self, "--child-text-limit", project + "temp/rep_txt.txt"}, "");
                long long rows = 0, cells = 0;
                rowsCells(run.err, rows, cells);
                const double readS = field(reads.out, "wall");
                const double values = field(reads.out, "values");
                txtWall[{buses, nf}][backend] = txt.wall;
                const double bareS = field(bare.out, "wall");
                ratios.push_back(backend + " " + std::to_string(buses) + " buses, " + std::to_string(nf) +
                                 " faults: full run " + fmt(run.wall) + " s / max(txt " + fmt(txt.wall) +
                                 " s, bare xlsx loop " + fmt(bareS) +
                                 " s) = " + fmt(run.wall / std::max(txt.wall, bareS)) + ", peak " +
                                 fmt(run.maxRssKb / 1024.0) + " MB (txt " + fmt(txt.maxRssKb / 1024.0) +
                                 " MB)");
                byFaults[{backend, buses}][nf] = txt.wall;
                const double fwriteS = field(limit.out, "wall");
                const double lim = readS + fwriteS;
                std::printf(
                    "%-8s %6d %6ld %6d | %6.2f %6.2f %6.2f | %7.2f %7.2f %5.1f | %7.2f %5.1f | %7.0f %9lld "
                    "%10lld | %9.0f\n",
                    backend.c_str(), buses, nBranches, nf, readS, fwriteS, lim, run.wall, run.cpu,
                    lim > 0 ? run.wall / lim : 0.0, txt.wall, lim > 0 ? txt.wall / lim : 0.0,
                    run.maxRssKb / 1024.0, rows, cells, readS > 0 ? values / readS : 0.0);
                std::fflush(stdout);
            }
            const std::string layouts = project + "layouts/";
            ratios.push_back(
                backend + " " + std::to_string(buses) + " buses, " + std::to_string(maxFaults) + " faults: " +
                tableVsGrouped([&](const std::string& l) { return batch(maxFaults, "xlsx", layouts, l); },
                               layouts + "temp/sc_report.xlsx"));
        }
    }
    for (const auto& [grid, byBackend] : txtWall) {
        auto lite = byBackend.find("sqlite"), server = byBackend.find("mariadb");
        if (lite == byBackend.end() || server == byBackend.end() || lite->second <= 0) continue;
        std::printf("text run, %d buses, %d faults: mariadb %.2f s / sqlite %.2f s = %.2f\n", grid.first,
                    grid.second, server->second, lite->second, server->second / lite->second);
    }
    for (const std::string& r : ratios)
        std::printf("%s\n", r.c_str());
    for (const auto& [grid, walls] : byFaults) {
        if (walls.size() < 2) continue;
        const auto lo = walls.begin(), hi = std::prev(walls.end());
        std::printf("%s %d buses: text run %d faults %.2f s / %d faults %.2f s = %.2f\n", grid.first.c_str(),
                    grid.second, hi->first, hi->second, lo->first, lo->second,
                    lo->second > 0 ? hi->second / lo->second : 0.0);
    }
    std::printf(
        "read: database reads of the run alone (own process, best of three); fwrite: the text\n"
        "report's bytes in one fwrite; limit = read + fwrite; batch: wall seconds of screport --batch\n"
        "(all six reports, every item, txt + html + xlsx, named units), cpu its processor seconds;\n"
        "txt: the same run writing the text report only (best of three, the fault counts in turn);\n"
        "x lim: a run's wall time over the limit; peak MB: the full run's peak RSS;\n"
        "values/s: values (rows times columns) of the reads over their wall time.\n");
    return 0;
}

// The text of summary, bus voltage, branch current and branch-end reports, default items,
// for `chosen` fault points and for every one: best of three of each, taken in turn.
int requestCost(int argc, char** argv) {
    int buses = 20000, faults = 200, chosen = 10;
    std::vector<std::string> backends{"sqlite", "mariadb"};
    std::string dir = QDir::tempPath().toStdString() + "/screport-bench";
    bool reuse = false;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i], v = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--reuse") {
            reuse = true;
            continue;
        }
        if (a == "--buses")
            buses = std::atoi(v.c_str());
        else if (a == "--faults")
            faults = std::atoi(v.c_str());
        else if (a == "--chosen")
            chosen = std::atoi(v.c_str());
        else if (a == "--backends")
            backends = split(v);
        else if (a == "--dir")
            dir = v;
        else {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            return 2;
        }
        ++i;
    }
    QDir().mkpath(QString::fromStdString(dir));
    const std::string exe = QCoreApplication::applicationDirPath().toStdString() + "/../screport";
    std::map<std::string, std::pair<Measured, Measured>> of; // backend -> (chosen, all)
    for (const std::string& backend : backends) {
        const std::string tag = std::to_string(buses) + "_" + std::to_string(faults);
        const std::string dbArg = backend == "sqlite" ? dir + "/cost" + tag + ".db" : "screport_cost_" + tag;
        if (!reuse || (backend == "sqlite" && !QFile::exists(QString::fromStdString(dbArg)))) {
            std::string err;
            const double g0 = wallNow();
            if (!makeBenchGrid(dbArg, buses, faults, &err)) {
                std::fprintf(stderr, "%s: cannot make the grid case: %s\n", backend.c_str(), err.c_str());
                continue;
            }
            std::fprintf(stderr, "%s: %d buses, %d faults generated in %.1f s\n", backend.c_str(), buses,
                         faults, wallNow() - g0);
        }
        CDBUtility db;
        if (!openCase(db, dbArg)) return 3;
        std::string few;
        for (const std::string& k : faultKeys(chosen))
            few += (few.empty() ? "" : ",") + textcodec::toUtf8(k);
        db.closedb();
        const std::string project = dir + "/cost-" + backend + "/";
        auto run = [&](const std::string& faultArg) {
            return runChild({exe, "--batch", dbArg, project, std::to_string(casegen::kGridCase), "--reports",
                             "summary,busvol,linecur,viz", "--faults", faultArg, "--format", "txt"},
                            SCREPORT_SOURCE_DIR);
        };
        auto& [some, all] = of[backend];
        some.status = all.status = -1;
        for (int rep = 0; rep < 3; ++rep)
            for (bool everyOne : {false, true}) {
                Measured m = run(everyOne ? "all" : few);
                if (m.status != 0 && m.status != 4) {
                    std::fprintf(stderr, "batch failed (%d): %s\n", m.status, m.err.c_str());
                    return 1;
                }
                Measured& best = everyOne ? all : some;
                if (best.status < 0 || m.wall < best.wall) best = std::move(m);
            }
        std::printf(
            "%-8s %d buses: %d fault points %.2f s %.0f MB; all %d %.2f s %.0f MB; time %.3f of all\n",
            backend.c_str(), buses, chosen, some.wall, some.maxRssKb / 1024.0, faults, all.wall,
            all.maxRssKb / 1024.0, some.wall / all.wall);
        std::fflush(stdout);
    }
    auto lite = of.find("sqlite"), server = of.find("mariadb");
    if (lite != of.end() && server != of.end())
        std::printf("mariadb / sqlite: %d fault points %.2f, all %.2f\n", chosen,
                    server->second.first.wall / lite->second.first.wall,
                    server->second.second.wall / lite->second.second.wall);
    std::printf("Each figure the best wall time of three runs of screport --batch ... --reports\n"
                "summary,busvol,linecur,viz --format txt, and that run's peak RSS.\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The debug stream of the library would mix with the table.
    NullBuffer null;
    std::streambuf* debug = std::cout.rdbuf(&null);
    int rc = 0;
    // --child-reads DB [CASE]: also used by bench_vs_pandas on any case database.
    if ((argc == 3 || argc == 4) && std::string(argv[1]) == "--child-reads")
        rc = childReads(argv[2], argc == 4 ? std::atoi(argv[3]) : casegen::kGridCase);
    else if (argc == 3 && std::string(argv[1]) == "--child-text-limit")
        rc = childTextLimit(argv[2]);
    else if (argc == 5 && std::string(argv[1]) == "--child-bare-xlsx")
        rc = childBareXlsx(argv[2], argv[3], argv[4]);
    else if (argc >= 2 && std::string(argv[1]) == "--request-cost")
        rc = requestCost(argc, argv);
    else
        rc = parent(argc, argv);
    std::cout.rdbuf(debug);
    return rc;
}
