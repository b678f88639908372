#include "outputrun.h"

#include "db/dbquery.h"
#include "db/errortext.h"
#include "db/log.h"
#include "db/sqlstmt.h"
#include "db/textcodec.h"
#include "report/outsink.h"
#include "report/reportoutput.h"
#include "report/runguard.h"
#include "sc/reportkinds.h"
#include "sc/screpport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QThread>

#include <algorithm>
#include <malloc.h>
#include <new>

using textcodec::gb;
namespace dp = dataproblems;

namespace {

// Everything a run reads, "TABLE" or "TABLE alias" as its statements name them: the case
// row, the base power, what any kind reads, and where buses lie.
std::vector<std::string> runTables(const DbConnection& db) {
    const std::string& sf = db.tableSuffix();
    std::vector<std::string> t = {"SC_CASE", "CDB_SB" + sf};
    for (const reportkinds::Kind& k : reportkinds::kinds())
        for (const reportkinds::TableNeed& n : k.reads)
            if (std::find(t.begin(), t.end(), n.table) == t.end()) t.push_back(n.table);
    const std::pair<const char*, const char*> located[] = {
        {"CDB_NODE", " nd"}, {"CDB_PSTATION", " ps"}, {"CDB_ZONE", " zn"}, {"CDB_AREAS", " ar"}};
    for (const auto& l : located)
        t.push_back(l.first + sf + l.second);
    return t;
}

// Makes the list the run's for its lifetime.
class CurrentList {
  public:
    explicit CurrentList(dp::List* l) : m_previous(dp::current()) { dp::setCurrent(l); }
    ~CurrentList() { dp::setCurrent(m_previous); }

  private:
    dp::List* m_previous;
};

// A case value read without the reports' checks: only which tables are needed depends on it.
int caseNumber(const QVariant& v) {
    const dp::Checked c = dp::readNumber(v, dp::Domain::Integer);
    return c.ok ? int(c.value) : 0;
}

// The tables and columns the chosen reports read; a missing one would leave rows or
// values out without a word, so the run stops naming it.
void checkTables(const DbConnection& db, const OutputRequest& req, CaseStore& store) {
    using reportkinds::TableNeed;
    std::vector<TableNeed> needs = {
        {"SC_CASE", {"Case_No", "Case_Name", "Type_Fault", "CASE_LF", "CAL_DATE", "CAL_TIME"}},
        {"CDB_SB" + db.tableSuffix(), {"base_MVA"}},
    };
    const bool zeroSequence = caseNumber(store.caseRow().typeFault) != 1;
    const bool loadFlow = caseNumber(store.caseRow().caseLF) > 0;
    for (const reportkinds::Kind& k : reportkinds::kinds())
        if (req.chosenKeys.count(k.key))
            for (const TableNeed& n : k.reads)
                if (n.when == TableNeed::Always || (n.when == TableNeed::NamedUnits && !req.perUnit) ||
                    (n.when == TableNeed::ZeroSequence && zeroSequence) ||
                    (n.when == TableNeed::LoadFlowVoltages && loadFlow) ||
                    (n.when == TableNeed::StoredPreFault && !loadFlow))
                    needs.push_back(n);
    std::map<std::string, QSqlRecord> seen;
    for (const TableNeed& n : needs) {
        auto it = seen.find(n.table);
        if (it == seen.end()) it = seen.emplace(n.table, db.record(n.table)).first;
        const QSqlRecord& r = it->second;
        if (r.isEmpty()) raiseError(gb("数据库缺少报表需要的表:") + n.table);
        for (const std::string& c : n.columns) {
            bool found = false;
            for (int i = 0; i < r.count() && !found; ++i)
                found = r.fieldName(i).compare(QString::fromStdString(c), Qt::CaseInsensitive) == 0;
            if (!found) raiseError(gb("数据库缺少报表需要的列:") + n.table + "." + c);
        }
    }
}

// A case the calculation left without fault results would give reports with headings only.
void checkHasResults(const DbConnection& db, const std::string& caseNo, const std::string& caseName) {
    SqlStmt s("select ID_Name,I_Name,J_Name,Percent from SCR_R120 where flg =1 and Case_No=");
    s.number(caseNo);
    s << " limit 1"; // one is enough: no need to scan the branch rows to the end
    dbq::Query q(db);
    if (q.exec(s) && !q.next()) raiseError(gb("短路作业没有计算结果，报表没有输出:") + caseName);
}

// What a run has to do, counted once the case's results are read.
struct RunWork {
    double faults = 0;     // fault points reported
    double caseFaults = 0; // fault points of the case (the summary lists them all)
    double buses = 0;
    double branches = 0;
};

// Time per unit of work relative to a cell built, measured with bench_cancel --bar (all
// six reports, every item, 5,000 buses, 50 faults): a row read, a cell built, a cell
// packed into the .xlsx file. The text, HTML and .xlsx rows are written while the reports
// are built; what is left of them at the end is small.
constexpr double kReadPerRow = 0.6;
constexpr double kBuildPerCell = 1.0;
constexpr double kTextPerCell = 0.02;
constexpr double kHtmlPerCell = 0.05;
constexpr double kXlsxPerCell = 0.05;
constexpr double kPackPerCell = 3.0;

// Cells a report kind builds: its rows times its columns.
double cellsOf(const reportkinds::Kind& k, const OutputRequest& req, const RunWork& w) {
    const auto sel = req.itemSel.find(k.key);
    const double items = sel == req.itemSel.end() ? 0 : double(sel->second.size());
    const double degree = w.buses > 0 ? 2 * w.branches / w.buses : 2;
    switch (reportkinds::indexOf(k.key)) {
    case reportkinds::Summary:
        return w.caseFaults * 10;
    case reportkinds::Distribution:
        return w.faults * w.branches * 4;
    case reportkinds::ShortBra:
        return w.faults * (1 + degree) * (2 + items);
    case reportkinds::BusVol:
        return w.faults * w.buses * (1 + items);
    case reportkinds::LineCur:
        return w.faults * w.branches * (3 + items);
    case reportkinds::BranchEnds:
        return w.faults * w.branches * (3 + 2 * items);
    default:
        return w.faults;
    }
}

// The steps of a run with their weights: rows to read, cells to build, cells to write and
// to pack, from the run's own counts. Without counts (before the results are read) every
// step weighs the same; the plan is made again once they are known.
std::vector<std::pair<std::string, double>> runPlan(const OutputRequest& req, bool readsResults,
                                                    const RunWork* w) {
    std::vector<std::pair<std::string, double>> plan;
    double cells = 0;
    if (readsResults) plan.emplace_back(gb(SCRepPort::kReadStep), w ? w->faults * w->buses * kReadPerRow : 1);
    for (const reportkinds::Kind& k : reportkinds::kinds()) {
        if (!req.chosenKeys.count(k.key)) continue;
        const double c = w ? cellsOf(k, req, *w) : 1;
        cells += c;
        plan.emplace_back(gb(k.step.c_str()), w ? c * kBuildPerCell : 1);
    }
    auto add = [&](const char* step, double perCell) {
        plan.emplace_back(gb(step), w ? cells * perCell : 1);
    };
    if (req.writeText) add(ReportOutput::kTextStep, kTextPerCell);
    if (req.writeSheet && req.sheetHtml) add(ReportOutput::kWorkbookStep, kHtmlPerCell);
    if (req.writeSheet && req.sheetXlsx) {
        add(ReportOutput::kXlsxStep, kXlsxPerCell);
        add(ReportOutput::kXlsxPackStep, kPackPerCell);
    }
    return plan;
}

bool usesFaultList(const OutputRequest& req) {
    for (const reportkinds::Kind& k : reportkinds::kinds())
        if (k.readsVoltages() && req.chosenKeys.count(k.key)) return true;
    return false;
}

// The list as the user reads it, in the reports' encoding.
std::string problemsText(const dp::List& l, const std::string& caseNo, const std::string& caseName,
                         OutputEncoding enc) {
    std::string t = gb("短路作业 ") + caseNo + " " + caseName + "\r\n" + dp::countsText(l) + "\r\n";
    for (const dp::Problem& p : l.entries())
        t += dp::lineText(p) + "\r\n";
    return enc == OutputEncoding::Utf8 ? textcodec::toUtf8(t) : t;
}

// The list alone, for a strict run it stopped.
std::string writeProblems(const dp::List& l, const RepPortBase& b, const ReportOutput& run,
                          OutputEncoding enc) {
    const std::string path = run.problemsPath();
    QDir().mkpath(textcodec::fromLocal8(run.tempDir()));
    OutFile f(path);
    f.write(problemsText(l, b.caseNoText(), b.caseName(), enc));
    if (!f.commit()) {
        screport::logError(gb("无法写入文件：") + path);
        return std::string();
    }
    return textcodec::toUtf8(path);
}

// Adds the time since the last stage ended to `out` under `name`.
class StageClock {
  public:
    explicit StageClock(std::vector<StageTime>& out) : m_out(out) { m_clock.start(); }
    void stage(const std::string& name) {
        m_out.push_back({name, m_clock.nsecsElapsed() / 1e9});
        m_clock.restart();
    }

  private:
    std::vector<StageTime>& m_out;
    QElapsedTimer m_clock;
};

// Why a request would write nothing, or empty. Run anyway, it would replace the last
// reports with empty ones. A caller that looks at the built reports (a benchmark) may want
// no file.
std::string nothingToWrite(const OutputRequest& req) {
    const std::string caseText = gb("作业 ") + std::to_string(req.caseNo);
    const auto& kinds = reportkinds::kinds();
    if (std::none_of(kinds.begin(), kinds.end(), [&](const auto& k) { return req.chosenKeys.count(k.key); }))
        return gb("没有选择输出对象，报表没有输出:") + caseText;
    if (!req.inspect && !req.writeText && !(req.writeSheet && (req.sheetHtml || req.sheetXlsx)))
        return gb("没有选择输出方式（文件或报表），报表没有输出:") + caseText;
    // A report without columns holds headings only (without fault points: below, once a
    // case without results has been told as such).
    for (const reportkinds::Kind& k : kinds) {
        if (k.labels.empty() || !req.chosenKeys.count(k.key)) continue;
        const auto sel = req.itemSel.find(k.key);
        if (sel == req.itemSel.end() || std::none_of(sel->second.begin(), sel->second.end(), [&](int n) {
                return n >= 0 && n < int(k.labels.size());
            })) {
            std::string name = k.key;
            name.erase(std::remove(name.begin(), name.end(), '\n'), name.end());
            return gb("没有选择报表的列：") + name;
        }
    }
    return std::string();
}

// The request's grouping, units, files and folder, progress and problem list.
void setUp(SCRepPort& b, ReportOutput& run, const OutputRequest& req, RunObserver* observer,
           const dp::List& problems) {
    b.setGrpInfo(req.grpArea, req.grpZone, req.grpST);
    b.setUnitInfo(req.perUnit);
    OutputOptions o = run.outputOptions();
    o.html = req.sheetHtml;
    o.xlsx = req.sheetXlsx;
    o.encoding = req.encoding;
    o.xlsxLayout = req.xlsxLayout;
    run.setOutputOptions(o);
    run.setObserver(observer);
    if (!req.outputDir.empty()) run.setTempDir(req.outputDir);
    // Asked for once the pages are built: the list goes in with the reports it explains.
    run.setProblemList([&problems, &b, &req] {
        return problems.empty() ? std::string()
                                : problemsText(problems, b.caseNoText(), b.caseName(), req.encoding);
    });
}

// Where every bus lies, read here once: the writers look buses up without the database.
std::shared_ptr<const BusLocations> busLocations(const DbConnection& db, const OutputRequest& req) {
    auto where = std::make_shared<BusLocations>();
    for (const auto& [node, pos] : db.nodePositions())
        where->add(node, BusLocation{pos.area_name, pos.zone_name, pos.st_name});
    // A fault inside a branch lies where the branch's I side does.
    if (req.faults)
        for (const SCPos& p : *req.faults)
            if (!p.iName.empty() && p.iName != p.name && !where->find(p.name))
                if (const BusLocation* at = where->find(p.iName)) where->add(p.name, *at);
    return where;
}

// The chosen fault points the case has; only their results are read. The others are left
// out, each named; with none left there is nothing to report.
SCPosList usableFaults(SCRepPort& b, CaseStore& store, const OutputRequest& req) {
    SCPosList usable;
    if (!usesFaultList(req)) return usable;
    std::set<std::string> keys;
    if (req.faults)
        for (const SCPos& p : *req.faults)
            keys.insert(p.name);
    store.chooseFaults(std::move(keys));
    if (!req.faults || req.faults->empty()) return usable;
    usable = b.usableFaults(*req.faults);
    if (usable.empty()) {
        std::string names;
        for (size_t i = 0; i < req.faults->size() && i < 5; ++i)
            names += (i ? " " : "") + (*req.faults)[i].name;
        if (req.faults->size() > 5) names += " ...";
        raiseError(gb("所选的故障点在作业中都不存在:") + names);
    }
    return usable;
}

// Starts the writers before the pages are built, once the results are read: the counts
// weigh the steps, and the .xlsx package sizes itself by them.
void beginStreaming(SCRepPort& b, ReportOutput& run, const CaseStore& store, const OutputRequest& req,
                    size_t faults) {
    RunWork work;
    work.faults = double(faults);
    if (usesFaultList(req)) {
        b.loadVI();
        work.buses = double(store.buses().size());
        work.branches = double(store.branches().size());
        work.caseFaults = double(store.faultRecords().size());
    }
    if (req.writeSheet && req.sheetXlsx && usesFaultList(req))
        run.setCellEstimate(faults * (store.buses().size() + 2 * store.branches().size()) * 25);
    if (work.caseFaults == 0) work.caseFaults = std::max(1.0, work.faults);
    run.setRunPlan(runPlan(req, usesFaultList(req), &work));
    run.beginOutput(req.writeText, req.writeSheet);
}

// The files written and the rows and cells of each report kind (key, pages it added).
void countWritten(OutputResult& res, const RepPortBase& b, const ReportOutput& run, const OutputRequest& req,
                  const std::vector<std::pair<std::string, int>>& pagesOf) {
    if (req.writeText) res.files.push_back(textcodec::toUtf8(run.textPath()));
    if (req.writeSheet && req.sheetHtml) res.files.push_back(textcodec::toUtf8(run.htmlPath()));
    if (req.writeSheet && req.sheetXlsx) res.files.push_back(textcodec::toUtf8(run.xlsxPath()));
    if (res.files.empty()) return;
    int p = 0;
    for (const auto& [key, pages] : pagesOf) {
        ReportCount c{key};
        for (int end = p + pages; p < end; ++p) {
            c.rows += b.page(p).rowCount();
            c.cells += b.page(p).cellCount();
        }
        res.rows += c.rows;
        res.cells += c.cells;
        res.reports.push_back(c);
    }
}

// A run that an error text ended: the text, or the server's going away that caused it.
void failed(OutputResult& res, const std::string& error8, const DbConnection& db, const OutputRequest& req,
            dp::List& problems, const RepPortBase* b, const ReportOutput* run) {
    screport::logDebug("catch exception here:");
    res.error8 = error8;
    // A report that found no case row because the server went away would blame the data.
    const std::string interrupted = dbq::failureText(db, true);
    if (!interrupted.empty() && error8 != interrupted) {
        res.error8 = interrupted;
        screport::logError(res.error8);
    }
    // Rows that never arrived are no problem of the data.
    if (!interrupted.empty()) problems = dp::List();
    res.files.clear();
    // The list explains a run that stopped for it; an earlier run's list stays otherwise.
    if (req.strict && b && run && !problems.empty() && interrupted.empty())
        res.problemsFile = writeProblems(problems, *b, *run, req.encoding);
}

OutputResult buildAndWrite(const DbConnection& db, const OutputRequest& req, RunObserver* observer) {
    OutputResult res;
    dp::List problems;
    for (const dp::Problem& p : req.choiceProblems)
        problems.add(p);
    CurrentList current(&problems);
    dbq::clearConnectionLost();
    dbq::clearLockRefused();
    // Every read of the run sees one state of the database, even while a calculation
    // writes: reports never mix two of its results.
    auto snapshot = std::make_unique<ReadSnapshot>(db, runTables(db));
    CaseStore store(db, req.caseNo);
    std::unique_ptr<SCRepPort> builder;
    std::unique_ptr<ReportOutput> output; // goes before the builder whose pages it writes
    StageClock clock(res.stages);
    std::vector<std::pair<std::string, int>> pagesOf; // report key, pages it added
    try {
        if (!snapshot->ok()) {
            const std::string why = dbq::failureText(db, true);
            raiseError(why.empty() ? gb("不能读出短路作业，报表没有输出:") + textcodec::toLocal8(db.name())
                                   : why);
        }
        builder = std::make_unique<SCRepPort>(store, req.chosenKeys, req.itemLabels, req.itemSel, req.faults);
        SCRepPort& b = *builder;
        output = std::make_unique<ReportOutput>(b, req.projectDir);
        ReportOutput& run = *output;
        setUp(b, run, req, observer, problems);
        checkTables(db, req, store);
        checkHasResults(db, b.caseNoText(), b.caseName());
        if (usesFaultList(req) && (!req.faults || req.faults->empty())) raiseError(gb("没有选择故障母线。"));
        run.setRunPlan(runPlan(req, usesFaultList(req), nullptr));
        store.baseMVA(); // read and checked before the reports, whichever needs it
        if (req.writeSheet && req.sheetXlsx && req.xlsxLayout == XlsxLayout::Table)
            run.setBusLocations(busLocations(db, req));
        SCPosList usable = usableFaults(b, store, req);
        if (!usable.empty()) b.setFaults(&usable);
        clock.stage("prepare");
        // Pages go to the writers as they are built, unless a caller wants to look at the
        // whole model first.
        if (!req.inspect) beginStreaming(b, run, store, req, usable.size());
        // The fixed order of the report kinds, whatever order they were chosen in.
        for (const reportkinds::Kind& k : reportkinds::kinds()) {
            if (!b.isSelect(k.key)) continue;
            const int before = b.pageCount();
            k.build(b);
            pagesOf.emplace_back(k.key, b.pageCount() - before);
            clock.stage(k.shortName);
        }
        // Statements that failed because the server went away, or another program held
        // the database, read as empty results; the pages would be incomplete, so the
        // earlier files stay.
        const std::string interrupted = dbq::failureText(db, true);
        if (!interrupted.empty()) raiseError(interrupted);
        snapshot.reset(); // writers may go on while the files are written
        if (req.inspect) req.inspect(b);
        if (req.strict && !problems.empty())
            raiseError(gb("数据有问题，报表没有输出（严格模式）：") + dp::countsText(problems));

        run.showResult(req.writeText, req.writeSheet, req.openViewers);
        res.viewerFailures = run.viewerFailures();
        countWritten(res, b, run, req, pagesOf);
        if (!problems.empty()) res.problemsFile = textcodec::toUtf8(run.problemsPath());
        clock.stage("write");
    } catch (const ErrorText& e) {
        failed(res, e.text(), db, req, problems, builder.get(), output.get());
    } catch (const std::bad_alloc&) {
        res.error8 = textcodec::gb("内存不足");
        screport::logDebug("catch exception here:");
        screport::logError(res.error8);
        res.files.clear();
    }
    res.problems = problems.entries();
    screport::logDebug("onOutput ");
    return res;
}

// The folder the run writes: its own, or the project's "temp".
std::string outputFolder(const OutputRequest& req) {
    if (!req.outputDir.empty()) return req.outputDir;
    const std::string dir = ReportOutput::tempDirOf(req.projectDir);
    return dir.substr(0, dir.size() - 1); // named without its separator
}

// Waits while another run writes the folder, saying so; an error text when the wait ends
// without the lock.
std::string takeFolder(FolderLock& lock, const std::string& dir, const OutputRequest& req,
                       RunObserver* observer) {
    if (lock.tryLock()) return std::string();
    const std::string busy = gb("另一个输出正在写入此文件夹");
    if (req.lockWaitSeconds <= 0) return busy + gb("，报表没有输出:") + dir;
    const std::string waiting = busy + gb("，等它结束:") + dir;
    QElapsedTimer clock;
    clock.start();
    const long limit = long(req.lockWaitSeconds) * 1000;
    while (!lock.tryLock()) {
        const long waited = long(clock.elapsed());
        if (observer) {
            RunStep st; // no count: the label says it all, once
            st.what = waiting;
            observer->step(st);
            if (observer->cancelled()) return gb("输出已取消");
        }
        if (waited >= limit)
            return busy + gb("，等了 ") + std::to_string(req.lockWaitSeconds) + gb(" 秒，报表没有输出:") +
                   dir;
        QThread::msleep(100);
    }
    return std::string();
}

} // namespace

OutputResult runOutput(const DbConnection& db, const OutputRequest& req, RunObserver* observer) {
    if (std::string why = nothingToWrite(req); !why.empty()) {
        screport::logError(why);
        OutputResult refused;
        refused.error8 = std::move(why);
        refused.problems = req.choiceProblems;
        return refused;
    }
    const std::string dir = outputFolder(req);
    FolderLock lock(dir);
    const std::string busy = takeFolder(lock, dir, req, observer);
    if (!busy.empty()) {
        OutputResult res;
        res.error8 = busy;
        return res;
    }
    OutputResult res = buildAndWrite(db, req, observer);
    malloc_trim(0); // the run's memory, kept in the heap while it ran, back to the system
    return res;
}
