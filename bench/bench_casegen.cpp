// Case generation at benchmark scale: a synthetic grid of N buses with M faults written
// to a fresh SQLite file (and to a MariaDB database when one is named), phase by phase,
// against the one-minute budget.
//
//   bench_casegen [--buses N] [--faults M] [--dir DIR] [--mariadb NAME]
#include "casegen/casegen.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr double kBudgetSeconds = 60;

bool bench(const std::string& db, const casegen::GridOptions& g, bool force) {
    casegen::RunInfo info;
    casegen::WriteOptions wo;
    wo.info = &info;
    wo.force = force;
    std::string err;
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = casegen::makeGrid(db, g, &err, wo);
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%s\n", db.c_str());
    for (const casegen::PhaseTime& p : info.phases)
        std::printf("  %-22s %8.3f s\n", p.phase.c_str(), p.seconds);
    if (!ok) {
        std::printf("  failed: %s\n", err.c_str());
        return false;
    }
    std::printf("  %-22s %8.3f s  %lld rows, %.0f rows/s  (budget %.0f s: %s)\n", "total", total, info.rows,
                info.rows / total, kBudgetSeconds, total < kBudgetSeconds ? "met" : "MISSED");
    return total < kBudgetSeconds;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    casegen::GridOptions g;
    g.buses = 10000;
    g.faults = 100;
    std::string dir, mariadb;
    for (int k = 1; k + 1 < argc; k += 2) {
        if (!std::strcmp(argv[k], "--buses"))
            g.buses = std::atoi(argv[k + 1]);
        else if (!std::strcmp(argv[k], "--faults"))
            g.faults = std::atoi(argv[k + 1]);
        else if (!std::strcmp(argv[k], "--dir"))
            dir = argv[k + 1];
        else if (!std::strcmp(argv[k], "--mariadb"))
            mariadb = argv[k + 1];
    }
    QTemporaryDir tmp(QDir::tempPath() + "/bench-casegen-XXXXXX");
    if (dir.empty()) dir = tmp.path().toStdString();
    std::printf("synthetic grid: %d buses, %d faults (type %d)\n", g.buses, g.faults, g.faultType);
    bool ok = bench(dir + "/grid.db", g, true);
    if (!mariadb.empty()) ok = bench(mariadb, g, true) && ok;
    return ok ? 0 : 1;
}
