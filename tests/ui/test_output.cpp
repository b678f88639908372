// "输出" through the real output run on the generated demo case database.
#include "casegen/casegen.h"
#include "db/textcodec.h"
#include "sc/outputrun.h"
#include "sc/reportkinds.h"
#include "ui/screpdialog.h"
#include "uitest.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using testdb::gb;
using uitest::button;
using uitest::UiTest;

namespace {

class OutputTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        makeDemo();
        dlg = std::make_unique<SCRepDialog>(db->arg(), proj.path().toStdString(),
                                            gb(casegen::demo::kCaseNames[0]), true);
    }
    void TearDown() override {
        dlg.reset();
        UiTest::TearDown();
    }
    QString text() const { return proj.path() + "/temp/rep_txt.txt"; }
    void check(const char* keyUtf8) { dlg->objectBox(gb(keyUtf8))->click(); }
    QTemporaryDir proj;
    std::unique_ptr<SCRepDialog> dlg;
};

TEST_P(OutputTest, OneBarThroughTheStepsAndACancelAnsweredInEachOfThem) {
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
    OutputRequest req;
    req.projectDir = proj.path().toStdString() + "/";
    req.caseNo = casegen::demo::kCaseThreePhase;
    req.chosenKeys = dlg->choices().m_selObjects;
    req.itemLabels = reportkinds::itemLabels();
    req.itemSel = dlg->choices().m_objVars;
    req.faults = &dlg->faultList();
    req.writeSheet = true;
    req.openViewers = false;

    Recorder whole;
    ASSERT_TRUE(runOutput(CDBUtility::connection(), req, &whole).ok());
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
        const OutputResult res = runOutput(CDBUtility::connection(), req, &r);
        EXPECT_EQ(res.error8, gb("输出已取消"));
        EXPECT_FALSE(QFileInfo::exists(text()));
        // The run ends in the step it was cancelled in (how soon is bench_cancel's measure:
        // the writers' rows are written while the reports are built).
        EXPECT_EQ(r.steps.back().what, step);
    }
    // A packing left behind by the cancel removes its file when it ends.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return QDir(proj.path() + "/temp").entryList({"*.part*"}, QDir::Files).isEmpty(); }, 5000));
}

INSTANTIATE_ON_BACKENDS(OutputTest);

} // namespace
