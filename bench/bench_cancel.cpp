// How soon an output run answers a cancel, in each of its steps. One full run (all six
// reports, every item, text + HTML workbook + .xlsx) is timed step by step; then, per step,
// runs are cancelled at 50 % and 95 % of that step's time and the time from the cancel to
// the run's end is printed, with the longest gap between two cancel checks of the step.
// The cancel is seen as the dialog sees a click: at a progress call, at most every 50 ms.
//
//   bench_cancel [--buses 5000] [--faults 50] [--dir DIR] [--bar]
//
// --bar prints, instead of the cancels, the progress bar's value at every second of the
// full run and at its end, with the step it shows.
#include "benchgrid.h"
#include "casegen/casegen.h"
#include "db/cdbutility.h"
#include "db/dbquery.h"
#include "db/textcodec.h"
#include "sc/outputrun.h"
#include "sc/reportkinds.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlQuery>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

class NullBuffer : public std::streambuf {
  protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

struct StepTimes {
    std::string what; // UTF-8
    double start = 0, end = 0, maxGap = 0;
};

// Records when each step starts and the longest gap between two checks; cancels once the
// clock passes `cancelAt` and a progress call comes at least 50 ms after the last one
// that was answered, as the progress dialog only looks at its button that often.
class Clock : public RunObserver {
  public:
    double cancelAt = -1;
    double cancelSeen = -1;
    std::vector<StepTimes> steps;
    struct Sample {
        double t, overall;
        std::string what;
        long done, total;
    };
    std::vector<Sample> bar; // every progress call

    void step(const RunStep& s) override {
        const double t = now();
        bar.push_back({t, s.overall, textcodec::toUtf8(s.what), s.done, s.total});
        if (steps.empty() || steps.back().what != textcodec::toUtf8(s.what)) {
            if (!steps.empty()) steps.back().end = t;
            steps.push_back({textcodec::toUtf8(s.what), t, t, 0});
        } else {
            steps.back().maxGap = std::max(steps.back().maxGap, t - m_last);
            steps.back().end = t;
        }
        m_last = t;
        if (t - m_lastPump >= 0.05) {
            m_lastPump = t;
            if (cancelAt >= 0 && t >= cancelAt && cancelSeen < 0) cancelSeen = t;
        }
    }
    bool cancelled() const override { return cancelSeen >= 0; }

  private:
    double m_last = 0;
    double m_lastPump = 0;
};

// The step name padded to a display width of 34 (a Chinese character takes two).
std::string padded(const std::string& utf8) {
    int width = 0;
    for (QChar c : QString::fromUtf8(utf8.c_str()))
        width += c.unicode() >= 0x2E80 ? 2 : 1;
    return utf8 + std::string(size_t(std::max(1, 34 - width)), ' ');
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int buses = 5000, faults = 50;
    std::string dir = QDir::tempPath().toStdString() + "/screport-bench-cancel";
    bool barOnly = false;
    for (int i = 1; i < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--bar") {
            barOnly = true;
            --i;
            continue;
        }
        if (i + 1 >= argc) break;
        if (a == "--buses")
            buses = std::atoi(argv[i + 1]);
        else if (a == "--faults")
            faults = std::atoi(argv[i + 1]);
        else if (a == "--dir")
            dir = argv[i + 1];
        else {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            return 2;
        }
    }
    QDir().mkpath(QString::fromStdString(dir));
    const std::string dbArg = dir + "/grid" + std::to_string(buses) + ".db";
    std::string err;
    if (!makeBenchGrid(dbArg, buses, faults, &err)) {
        std::fprintf(stderr, "cannot make the grid case: %s\n", err.c_str());
        return 3;
    }
    CDBUtility db;
    db.setTableSuffix("BAK");
    db.setDBType(DB_SC);
    if (!db.opendb(dbArg.c_str())) return 3;

    SCPosList faultList;
    {
        dbq::Query q;
        q.exec(SqlStmt(QString("select I_Name from SCR_R120 where flg=1 and Case_No=%1 order by T")
                           .arg(casegen::kGridCase)
                           .toStdString()));
        while (q.next()) {
            SCPos p;
            p.name = p.iName = p.jName = q.text8(0);
            faultList.push_back(p);
        }
    }
    OutputRequest req;
    req.projectDir = dir + "/project/";
    req.caseNo = casegen::kGridCase;
    req.faults = &faultList;
    req.perUnit = false;
    req.writeText = req.writeSheet = true;
    req.openViewers = false;
    for (const reportkinds::Kind& k : reportkinds::kinds()) {
        req.chosenKeys.insert(k.key);
        req.itemLabels[k.key] = k.labels;
        std::vector<int> all;
        for (size_t i = 0; i < k.labels.size(); ++i)
            all.push_back(int(i));
        req.itemSel[k.key] = all;
    }

    NullBuffer null;
    std::streambuf* debug = std::cout.rdbuf(&null);
    Clock whole;
    const double t0 = now();
    const OutputResult full = runOutput(db.connection(), req, &whole);
    const double t1 = now();
    std::cout.rdbuf(debug);
    if (!full.ok()) {
        std::fprintf(stderr, "the run failed: %s\n", textcodec::toUtf8(full.error8).c_str());
        return 1;
    }
    if (!whole.steps.empty()) whole.steps.back().end = t1;
    std::printf("%d buses, %d faults: whole run %.2f s, %lld rows\n", buses, int(faultList.size()), t1 - t0,
                full.rows);
    if (barOnly) {
        for (const StepTimes& st : whole.steps)
            std::printf("%s %8.2f s\n", padded(st.what).c_str(), st.end - st.start);
        size_t k = 0;
        for (int sec = 0;; ++sec) {
            const double at = std::min(t0 + sec, t1);
            while (k + 1 < whole.bar.size() && whole.bar[k + 1].t <= at)
                ++k;
            const bool any = !whole.bar.empty() && whole.bar[k].t <= at;
            std::printf("%6.1f s %5.1f %%  %s %ld / %ld\n", at - t0, any ? whole.bar[k].overall * 100 : 0.0,
                        any ? whole.bar[k].what.c_str() : "", any ? whole.bar[k].done : 0L,
                        any ? whole.bar[k].total : 0L);
            if (at >= t1) break;
        }
        db.closedb();
        return 0;
    }
    std::printf("%-34s %8s %9s | %-14s %-14s\n", "step", "time s", "max gap s", "cancel at 50 %",
                "cancel at 95 %");
    for (const StepTimes& st : whole.steps) {
        std::printf("%s %8.2f %9.3f |", padded(st.what).c_str(), st.end - st.start, st.maxGap);
        for (double at : {0.5, 0.95}) {
            Clock c;
            const double start = now();
            c.cancelAt = start + (st.start - t0) + at * (st.end - st.start);
            std::cout.rdbuf(&null);
            const OutputResult r = runOutput(db.connection(), req, &c);
            const double end = now();
            std::cout.rdbuf(debug);
            if (r.ok())
                std::printf(" %-14s", "finished");
            else
                std::printf(" %8.3f s     ", end - c.cancelAt);
        }
        std::printf("\n");
    }
    db.closedb();
    return 0;
}
