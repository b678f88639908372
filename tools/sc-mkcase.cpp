// sc-mkcase: writes a calculated short-circuit case database (the IEEE 14-bus demo or a
// synthetic grid) into a SQLite file or a MariaDB database.
#include "casegen/casegen.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* kUsage =
    "usage: sc-mkcase --demo [--force] DB\n"
    "       sc-mkcase --grid N --faults M [--type 1..4] [--rf R --xf X] [--seed S] [--force] DB\n"
    "\n"
    "DB is the path of a SQLite file (a name with '/', or ending in .db, .sqlite, .sqlite3) or\n"
    "the name of a MariaDB database; the server is reached through SCREPORT_DB_SOCKET,\n"
    "SCREPORT_DB_HOST, SCREPORT_DB_PORT, SCREPORT_DB_USER, SCREPORT_DB_PASSWORD.\n"
    "An existing database is refused unless it is empty; --force deletes the file or drops\n"
    "and recreates the database.\n"
    "\n"
    "  --demo        the IEEE 14-bus test system with seven cases (one per fault type with\n"
    "                faults at every bus, faults at 50 % of two lines, one case without a\n"
    "                load-flow case, one uncalculated case)\n"
    "  --grid N      a synthetic meshed grid of N buses (2 to 100000), about 1.5 N branches\n"
    "  --faults M    faults at M distinct random buses\n"
    "  --type T      fault type: 1 three-phase (default), 2 A to ground, 3 A-B,\n"
    "                4 A-B to ground\n"
    "  --rf, --xf    fault impedance in p.u. (default 0)\n"
    "  --seed S      random seed (default 1); the same seed gives the same grid\n"
    "  --force       replace an existing database\n"
    "\n"
    "Elapsed time per phase goes to standard error.\n"
    "\n";

bool number(const char* s, double* out) {
    char* end = nullptr;
    *out = std::strtod(s, &end);
    return end && end != s && *end == '\0';
}

bool integer(const char* s, long* out) {
    char* end = nullptr;
    *out = std::strtol(s, &end, 10);
    return end && end != s && *end == '\0';
}

int usageError(const std::string& msg) {
    std::fprintf(stderr, "sc-mkcase: %s\n(sc-mkcase --help for the options)\n", msg.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    bool demo = false, grid = false;
    casegen::GridOptions g;
    casegen::WriteOptions wo;
    bool faultsGiven = false;
    std::string db;
    for (int k = 1; k < argc; ++k) {
        const std::string a = argv[k];
        auto value = [&]() -> const char* { return k + 1 < argc ? argv[++k] : nullptr; };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::fputs(casegen::assumptionsText(), stdout);
            return 0;
        } else if (a == "--demo") {
            demo = true;
        } else if (a == "--force") {
            wo.force = true;
        } else if (a == "--grid" || a == "--faults" || a == "--type" || a == "--seed") {
            const char* v = value();
            long n = 0;
            if (!v || !integer(v, &n)) return usageError(a + " needs a whole number");
            if (a == "--grid") {
                grid = true;
                g.buses = static_cast<int>(n);
            } else if (a == "--faults") {
                faultsGiven = true;
                g.faults = static_cast<int>(n);
            } else if (a == "--type") {
                g.faultType = static_cast<int>(n);
            } else {
                g.seed = static_cast<unsigned>(n);
            }
        } else if (a == "--rf" || a == "--xf") {
            const char* v = value();
            double x = 0;
            if (!v || !number(v, &x)) return usageError(a + " needs a number");
            (a == "--rf" ? g.rf : g.xf) = x;
        } else if (!a.empty() && a[0] == '-') {
            return usageError("unknown option " + a);
        } else if (db.empty()) {
            db = a;
        } else {
            return usageError("more than one database given");
        }
    }
    if (demo == grid) return usageError("give either --demo or --grid N");
    if (db.empty()) return usageError("no database given");
    if (grid && !faultsGiven) return usageError("--grid needs --faults M");

    casegen::RunInfo info;
    wo.info = &info;
    std::string err;
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = demo ? casegen::makeDemo(db, &err, wo) : casegen::makeGrid(db, g, &err, wo);
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    for (const casegen::PhaseTime& p : info.phases)
        std::fprintf(stderr, "%-22s %8.3f s\n", p.phase.c_str(), p.seconds);
    if (!ok) {
        std::fprintf(stderr, "sc-mkcase: %s\n", err.c_str());
        return 1;
    }
    std::fprintf(stderr, "%-22s %8.3f s (%lld rows)\n", "total", total, info.rows);
    return 0;
}
