// Responsiveness of the network tree on a synthetic grid: building the root, expanding
// every area and zone and a sample of stations and folders, and searches with their
// walk through the matches. Each step is timed with the repaint it causes.
//
//   bench_tree [--buses N] [--stations K] [--dir DIR] [--mariadb NAME] >/dev/null
// (results on the error stream; the tree's progress lines go to standard output)
#include "casegen/casegen.h"
#include "db/cdbutility.h"
#include "db/textcodec.h"
#include "ui/tree/sccommtreeview.h"

#include <QApplication>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr double kBudgetSeconds = 1.0;

struct Stats {
    std::vector<double> seconds;
    void add(double s) { seconds.push_back(s); }
    double max() const { return seconds.empty() ? 0 : *std::max_element(seconds.begin(), seconds.end()); }
    double median() const {
        if (seconds.empty()) return 0;
        std::vector<double> v = seconds;
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    }
};

double timed(const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    QApplication::processEvents(); // the repaint belongs to the step
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::vector<QTreeWidgetItem*> childrenOfKind(QTreeWidgetItem* parent, int kind) {
    std::vector<QTreeWidgetItem*> out;
    for (int i = 0; i < parent->childCount(); ++i)
        if (CommTreeView::kindOf(parent->child(i)) == kind) out.push_back(parent->child(i));
    return out;
}

std::vector<QTreeWidgetItem*> folders(QTreeWidgetItem* parent) {
    std::vector<QTreeWidgetItem*> out;
    for (int i = 0; i < parent->childCount(); ++i) {
        const int k = CommTreeView::kindOf(parent->child(i));
        if (k != CommTreeView::kZone && k != CommTreeView::kStation && k != CommTreeView::kArea)
            out.push_back(parent->child(i));
    }
    return out;
}

bool bench(const std::string& db, int buses, int stationSample) {
    casegen::GridOptions g;
    g.buses = buses;
    g.faults = 10;
    casegen::WriteOptions wo;
    wo.force = true;
    std::string err;
    if (!casegen::makeGrid(db, g, &err, wo)) {
        std::fprintf(stderr, "%s: cannot generate the grid: %s\n", db.c_str(), err.c_str());
        return false;
    }
    CDBUtility cdb;
    cdb.setTableSuffix("BAK"); // as the program starts without a fourth argument
    if (!cdb.opendb(db.c_str())) return false;
    cdb.setDBType(DB_SC);
    // The server refreshes its index statistics on its own some time after a bulk load;
    // a case database in use has settled ones. Refresh them now rather than time the gap.
    if (!cdb.dialect().isFileDatabase()) {
        QSqlQuery q(*cdb.database());
        q.exec("ANALYZE TABLE CDB_AREASBAK, CDB_ZONEBAK, CDB_PSTATIONBAK, CDB_NODEBAK, CDB_ACLINEBAK, "
               "CDB_DCLINEBAK, CDB_TRANS_2WBAK, CDB_GENERATBAK, CDB_PCAPREABAK");
        while (q.next()) {
        }
    }

    std::map<std::string, Stats> stats;
    std::vector<std::string> order;
    auto record = [&](const std::string& what, double s) {
        if (!stats.count(what)) order.push_back(what);
        stats[what].add(s);
    };

    SCCommTreeView* tree = nullptr;
    record("build tree and root", timed([&] { tree = new SCCommTreeView(cdb); }));
    tree->resize(400, 900);
    tree->show();
    QApplication::processEvents();

    int zones = 0, stationsSeen = 0, folderItems = 0;
    std::vector<std::string> areaNames;
    for (QTreeWidgetItem* a : childrenOfKind(tree->rootItem(), CommTreeView::kArea))
        areaNames.push_back(CommTreeView::nameOf(a));
    for (const std::string& an : areaNames) {
        QTreeWidgetItem* area = tree->findItem(CommTreeView::kArea, an);
        record("expand area", timed([&] { tree->onDoubleClicked(area); }));
        for (QTreeWidgetItem* zone : childrenOfKind(area, CommTreeView::kZone)) {
            ++zones;
            record("expand zone", timed([&] { tree->onDoubleClicked(zone); }));
            for (QTreeWidgetItem* st : childrenOfKind(zone, CommTreeView::kStation)) {
                if (stationsSeen++ >= stationSample) continue;
                record("expand station", timed([&] { tree->onDoubleClicked(st); }));
                for (QTreeWidgetItem* f : folders(st)) {
                    folderItems += f->childCount();
                    // The folder is replaced: find it again by label afterwards if needed.
                    record("reload station folder", timed([&] { tree->onDoubleClicked(f); }));
                    break; // one folder per station is enough
                }
            }
            for (QTreeWidgetItem* f : folders(zone))
                record("reload line folder", timed([&] { tree->onDoubleClicked(f); }));
            zone->setExpanded(false);
        }
        area = tree->findItem(CommTreeView::kArea, an);
        if (area) area->setExpanded(false);
    }
    record("reload root", timed([&] { tree->onDoubleClicked(tree->rootItem()); }));

    using textcodec::gb;
    struct Query {
        const char* kind;
        const char* text;
    };
    const Query queries[] = {{"物理母线", "B0"},     {"物理母线", "B0999"}, {"交流线", "L0"},
                             {"两绕组变压器", "T0"}, {"发电机", "G000"},    {"厂站", "站0"},
                             {"分区", "分区0"},      {"区域", "区域"},      {"并联电容电抗器", "C"},
                             {"负荷", "none"}};
    for (const Query& q : queries) {
        int left = 0;
        const double s = timed([&] { left = tree->search(gb(q.kind), gb(q.text)); });
        record("search", s);
        std::fprintf(stderr, "  search %-14s %-6s %6d matches queued  %7.3f s\n", q.kind, q.text, left, s);
        for (int step = 0; step < 20 && left > 0; ++step)
            record("search next", timed([&] { left = tree->searchNext(); }));
    }
    delete tree;
    cdb.closedb();

    std::fprintf(
        stderr,
        "%s: %d buses, %d areas, %d zones, %d of %d stations expanded, %d items in their first folders\n",
        db.c_str(), buses, int(areaNames.size()), zones, std::min(stationSample, stationsSeen), stationsSeen,
        folderItems);
    double worst = 0;
    for (const std::string& what : order) {
        const Stats& st = stats[what];
        worst = std::max(worst, st.max());
        std::fprintf(stderr, "  %-24s n=%-5d median %7.4f s  max %7.4f s\n", what.c_str(),
                     int(st.seconds.size()), st.median(), st.max());
    }
    std::fprintf(stderr, "  slowest step %.3f s (budget %.1f s: %s)\n", worst, kBudgetSeconds,
                 worst < kBudgetSeconds ? "met" : "MISSED");
    return worst < kBudgetSeconds;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int buses = 10000, stationSample = 300;
    std::string dir, mariadb;
    for (int k = 1; k + 1 < argc; k += 2) {
        if (!std::strcmp(argv[k], "--buses"))
            buses = std::atoi(argv[k + 1]);
        else if (!std::strcmp(argv[k], "--stations"))
            stationSample = std::atoi(argv[k + 1]);
        else if (!std::strcmp(argv[k], "--dir"))
            dir = argv[k + 1];
        else if (!std::strcmp(argv[k], "--mariadb"))
            mariadb = argv[k + 1];
    }
    QTemporaryDir tmp(QDir::tempPath() + "/bench-tree-XXXXXX");
    if (dir.empty()) dir = tmp.path().toStdString();
    bool ok = bench(dir + "/grid.db", buses, stationSample);
    if (!mariadb.empty()) ok = bench(mariadb, buses, stationSample) && ok;
    return ok ? 0 : 1;
}
