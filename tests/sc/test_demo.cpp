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
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>

using namespace sctest;
namespace demo = casegen::demo;
using Cx = std::complex<double>;
using testproc::fileBytes;

namespace {

class DemoTest : public ScCaseTest {
  protected:
    void fill() override {
        std::string err;
        ASSERT_TRUE(casegen::makeDemo(db->arg(), &err)) << err;
    }
};

// At a faulted bus the generator currents (flg 2) equal the branch currents leaving plus
// the fault current, in each sequence; the reports' cells must say the same.
TEST_P(DemoTest, CurrentsBalanceAtFaultBuses) {
    for (int caseNo : {demo::kCaseThreePhase, demo::kCaseAToGround}) {
        faults = testrun::faultPoints(caseNo);
        auto p = builder(caseNo);
        portLineCur(*p);
        portVIZ(*p);
        portDistribut(*p);
        int balanced = 0;
        for (int g = 0; g < int(faults.size()); ++g) {
            const std::string bus = faults[size_t(g)].name;
            const std::string busU = textcodec::toUtf8(bus);
            bool usable = true;
            for (const SCLine1Rec& b : p->store().branches())
                if (b.J_Name == bus && b.I_Name != bus && b.Tk != 1.0)
                    usable = false; // ratio on the fault side
            if (!usable) continue;
            ++balanced;
            for (int seq = 0; seq < 3; ++seq) {
                // linecur: columns 3 + 2 seq (magnitude), 4 + 2 seq (angle);
                // viz: J-side current of sequence seq (items 1, 4, 7) at 4 + 2 (3 seq + 1)
                const Cx fault = polar(cell(*p, 0, g, 0, 3 + 2 * seq), cell(*p, 0, g, 0, 4 + 2 * seq));
                Cx leaving = fault;
                for (size_t k = 0; k < p->store().branches().size(); ++k) {
                    const SCLine1Rec& b = p->store().branches()[k];
                    const int r = int(k) + 1;
                    if (b.I_Name == bus) {
                        Cx i = polar(cell(*p, 0, g, r, 3 + 2 * seq), cell(*p, 0, g, r, 4 + 2 * seq));
                        if (seq == 0) {
                            // The distribution coefficient gives the same magnitude.
                            const double coef = std::strtod(cell(*p, 2, g, int(k), 3).c_str(), nullptr);
                            i = std::polar(coef * std::abs(fault), std::arg(i));
                        }
                        leaving += i;
                    } else if (b.J_Name == bus) {
                        leaving -= parseComplex(cell(*p, 1, g, int(k), 4 + 2 * (3 * seq + 1)));
                    }
                }
                const char* re[3] = {"IR1", "IR2", "IR0"};
                const char* im[3] = {"II1", "II2", "II0"};
                // The generators' currents into the bus during this fault.
                Cx generators;
                QSqlQuery q(*cdb.database());
                q.prepare(
                    QString("select %1,%2 from SCR_R120 where flg=2 and Case_No=%3 and T=%4 and I_Name=?")
                        .arg(re[seq], im[seq])
                        .arg(caseNo)
                        .arg(p->store().findFault(bus)->T));
                q.addBindValue(QString::fromStdString(busU));
                ASSERT_TRUE(q.exec());
                while (q.next())
                    generators += Cx(q.value(0).toDouble(), q.value(1).toDouble());
                // Cells carry 4 decimals: allow their rounding over a dozen branches.
                EXPECT_NEAR(std::abs(leaving - generators), 0.0, 2e-2 + 1e-3 * std::abs(fault))
                    << "case " << caseNo << " bus " << busU << " sequence " << seq;
            }
        }
        EXPECT_GE(balanced, 11) << "buses with a ratio on their J side are left out";
        // Every report in named units: a few statements, none per bus, branch or fault point.
        auto all = builder(caseNo, false);
        for (const auto& k : reportkinds::kinds())
            k.build(*all);
        EXPECT_LE(all->queryCount(), 20);
    }
}

// Which of the report's words (UTF-8) `text` holds and which it must not.
void expectHolds(const QString& text, std::initializer_list<const char*> in,
                 std::initializer_list<const char*> out) {
    for (const char* w : in)
        EXPECT_TRUE(text.contains(QString::fromUtf8(w))) << w;
    for (const char* w : out)
        EXPECT_FALSE(text.contains(QString::fromUtf8(w))) << w;
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
    expectHolds(QString::fromUtf8(fileBytes(tmp.path() + "/temp/rep_txt.txt")),
                {"短路电流简表", "I侧正序阻抗", "单位：电压幅值（ kV ）"},
                {"支路电流结果报告", "I侧负序阻抗"});
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
    const QString gbText = QString::fromStdString(
        textcodec::toUtf8(fileBytes(stored.path() + "/temp/rep_txt.txt").toStdString()));
    expectHolds(gbText, {"母线电压结果报告", "正序电压幅值"}, {"短路电流简表", "正序电压相角"});
    EXPECT_EQ(gbText.count(QString::fromUtf8("故障母线")), 1);

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
