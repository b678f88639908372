// The reports and the batch mode on the generated demo case database, on both back ends.
#ifdef SCREPORT_HAVE_CASEGEN

#include "casegen/casegen.h"
#include "sc/casechoices.h"
#include "sc/outputrun.h"
#include "scfixture.h"
#include "support/proc.h"
#include "support/runs.h"
#include "support/xlsxread.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

using namespace sctest;
namespace demo = casegen::demo;
using testproc::fileBytes;

namespace {

class DemoTest : public ScCaseTest {
  protected:
    void fill() override {
        std::string err;
        ASSERT_TRUE(casegen::makeDemo(db->arg(), &err)) << err;
    }
};

// Every report and item of each calculated case at its first fault point, in per unit, and
// of the ground fault in named units too, whole.
TEST_P(DemoTest, EveryReportOfEveryCaseIsTheGoldenOne) {
    std::string whole;
    for (int n = 0; n < demo::kCaseUncalculated; ++n) { // 0: the ground fault in named units
        const int caseNo = n ? n : demo::kCaseAToGround;
        QTemporaryDir d;
        const QString fault =
            QString::fromStdString(textcodec::toUtf8(testrun::faultPoints(caseNo, 1).at(0).name));
        const testproc::Outcome r = testproc::run(
            SCREPORT_EXE,
            QStringList{"--batch", QString::fromStdString(db->arg()), d.path(), QString::number(caseNo),
                        "--faults", fault, "--units", n ? "pu" : "named"} +
                QString("--reports all --format txt --items shortbra=all --items busvol=all "
                        "--items linecur=all --items viz=all")
                    .split(' '));
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        whole += fileBytes(d.path() + "/temp/rep_txt.txt").toStdString();
    }
    testproc::expectGolden("demo_reports.txt", whole);
}

// The batch mode through the executable: its options, else the choices stored for the case.
TEST_P(DemoTest, BatchModeTakesItsOptionsOrTheStoredChoices) {
    auto batch = [](const QStringList& args) { return testproc::run(SCREPORT_EXE, args); };
    const testproc::Outcome version = batch({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_TRUE(version.out.contains(SCREPORT_VERSION_TEXT)) << version.out.toStdString();

    QTemporaryDir tmp;
    const QString dbArg = QString::fromStdString(db->arg());
    const QString caseName = QString::fromUtf8(demo::kCaseNames[demo::kCaseAToGround - 1]);
    testproc::Outcome r =
        batch({"--batch", dbArg, tmp.path(), caseName, "--reports", "summary,busvol,viz", "--faults",
               QString::fromUtf8("中心4,东山1"), "--items", "viz=2,0", "--items", "busvol=0", "--units",
               "named", "--format", "txt,html,xlsx", "--encoding", "utf-8"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList listed = r.out.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(listed.size(), 3);
    for (const QString& f : listed)
        EXPECT_TRUE(QFile::exists(f)) << f.toStdString();
    testproc::expectGolden("demo_options.txt", fileBytes(tmp.path() + "/temp/rep_txt.txt").toStdString());
    EXPECT_TRUE(r.err.contains("rows")) << r.err.toStdString();
    // The voltage chart draws per unit from a hidden sheet of its own; the table shows kV.
    const std::string book = (tmp.path() + "/temp/sc_report.xlsx").toStdString();
    const xlsxread::Chart dip = xlsxread::chart(xlsxread::member(book, "xl/charts/chart2.xml"));
    ASSERT_EQ(dip.series.size(), 2u);
    EXPECT_EQ(dip.series[1].second, "'正序电压幅值分布 数据'!$C$2:$C$15");
    const xlsxread::Sheet table = xlsxread::sheet(xlsxread::member(book, "xl/worksheets/sheet3.xml")),
                          data = xlsxread::sheet(xlsxread::member(book, "xl/worksheets/sheet4.xml"));
    EXPECT_EQ(table.text("C4"), "正序电压幅值 (kV)");
    EXPECT_GT(std::stod(table.text("C5")) / std::stod(data.text("B2")), 5.0) << "kV over p.u.";

    // The choices stored for the case are the defaults: bus voltage, item 0, one fault.
    casechoices::ObjectChoices c;
    c.seedObjectVars();
    c.m_selObjects = {gb("母线电压")};
    c.m_objVars[gb("母线电压")] = {0};
    casechoices::OutputOptions o;
    o.unit = true;
    o.lfile = true;
    o.lreport = false;
    cdb.setCaseName(caseName);
    ASSERT_TRUE(casechoices::saveOutputOptions(cdb, "SCR_OUT", o, c));
    ASSERT_TRUE(casechoices::saveFaultList(cdb, {SCPos{gb("西湖2"), "", "", 0}}));
    QTemporaryDir stored;
    r = batch({"--batch", dbArg, stored.path(), caseName});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    testproc::expectGolden("demo_stored.txt", fileBytes(stored.path() + "/temp/rep_txt.txt").toStdString());

    // An empty fault list is none, not all; a report kind must be one of the program's.
    QTemporaryDir failed;
    r = batch({"--batch", dbArg, failed.path(), caseName, "--reports", "distribution", "--faults", ""});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("没有选择故障母线。"))) << r.err.toStdString();
    EXPECT_EQ(batch({"--batch", dbArg, failed.path(), caseName, "--reports", "nonsense"}).code, 2);
}

// One bar through the steps of a run, and a cancel answered in each of them.
TEST_P(DemoTest, OneBarThroughTheStepsAndACancelAnsweredInEachOfThem) {
    // Every step records what it reported; a cancel at its first report must end the run there.
    struct Recorder : RunObserver {
        std::vector<RunStep> steps;
        std::string cancelIn; // GB18030 step name
        long cancelledAt = -1;
        void step(const RunStep& s) override {
            steps.push_back(s);
            if (cancelledAt < 0 && s.what == cancelIn && (s.done > 0 || s.total == 0)) cancelledAt = s.done;
        }
        bool cancelled() const override { return cancelledAt >= 0; }
    };
    QTemporaryDir proj;
    const QString text = proj.path() + "/temp/rep_txt.txt";
    faults = testrun::faultPoints(demo::kCaseThreePhase);
    // Every report in named units: a few statements, none per bus, branch or fault point.
    auto all = builder(demo::kCaseThreePhase, false);
    for (const auto& k : reportkinds::kinds())
        k.build(*all);
    EXPECT_LE(all->queryCount(), 20);
    const OutputRequest req =
        testrun::everyReport(demo::kCaseThreePhase, true, proj.path().toStdString(), faults);

    Recorder whole;
    ASSERT_TRUE(runOutput(cdb.connection(), req, &whole).ok());
    std::vector<std::string> order;
    double last = 0;
    for (const RunStep& s : whole.steps) {
        EXPECT_GE(s.overall, last) << "the bar never goes back";
        last = s.overall;
        ASSERT_GT(s.no, 0) << textcodec::toUtf8(s.what) << " is a step of the plan";
        EXPECT_EQ(s.count, 11);
        if (order.empty() || order.back() != s.what) order.push_back(s.what);
    }
    EXPECT_DOUBLE_EQ(last, 1.0);
    ASSERT_EQ(order.size(), 11u) << "reading, six reports, text, workbook, .xlsx rows and packing";
    for (size_t i = 1; i <= 6; ++i) {
        const auto it = std::find_if(whole.steps.begin(), whole.steps.end(),
                                     [&](const RunStep& s) { return s.what == order[i]; });
        EXPECT_TRUE(it->faults) << "report steps count fault points";
    }

    // Cancelled in each step: nothing written, and the rows of a step are checked often.
    QDir(proj.path() + "/temp").removeRecursively();
    for (const std::string& step : order) {
        SCOPED_TRACE(textcodec::toUtf8(step));
        Recorder r;
        r.cancelIn = step;
        const OutputResult res = runOutput(cdb.connection(), req, &r);
        EXPECT_EQ(res.error8, gb("输出已取消"));
        EXPECT_FALSE(QFileInfo::exists(text));
        // The run ends in the step it was cancelled in (how soon is bench_cancel's measure:
        // the writers' rows are written while the reports are built).
        EXPECT_EQ(r.steps.back().what, step);
    }
    // A packing left behind by the cancel removes its file when it ends.
    QElapsedTimer clock;
    clock.start();
    while (!QDir(proj.path() + "/temp").entryList({"*.part*"}, QDir::Files).isEmpty() &&
           clock.elapsed() < 5000)
        QThread::msleep(20);
    EXPECT_TRUE(QDir(proj.path() + "/temp").entryList({"*.part*"}, QDir::Files).isEmpty());
}

INSTANTIATE_ON_BACKENDS(DemoTest);

} // namespace

#endif
