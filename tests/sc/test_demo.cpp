// The reports and the batch mode on the demo case database that the case generator
// calculates (IEEE 14-bus, every fault type, a fault inside lines, a case without load
// flow), on SQLite and on MariaDB.
#ifdef SCREPORT_HAVE_CASEGEN

#include "casegen/casegen.h"
#include "db/dbquery.h"
#include "sc/casechoices.h"
#include "sc/outputrun.h"
#include "scfixture.h"
#include "support/proc.h"
#include "support/runs.h"
#include "support/xlsxread.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

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
    OutputRequest everything(int caseNo, bool perUnit, const std::string& project) {
        faults = testrun::faultPoints(caseNo);
        OutputRequest r = testrun::everyReport(caseNo, perUnit, project, faults);
        r.sheetXlsx = false;
        return r;
    }
};

// At a faulted bus the generator currents (flg 2) equal the branch currents leaving plus
// the fault current, in each sequence; the reports' cells must say the same.
TEST_P(DemoTest, CurrentsBalanceAtFaultBuses) {
    for (int caseNo : {demo::kCaseThreePhase, demo::kCaseAToGround}) {
        faults = testrun::faultPoints(caseNo);
        auto p = builder(caseNo);
        p->portLineCur();
        p->portVIZ();
        p->portDistribut();
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
                QSqlQuery q(*CDBUtility::m_pDatabase);
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
            (all.get()->*k.build)();
        EXPECT_LE(all->queryCount(), 20);
    }
}

// Every report of every case in both units: six pages in the fixed order, no data
// problem (the generator writes every value of every bus), and the same bytes on both
// back ends.
TEST(DemoBackends, EveryReportOfEveryCaseInBothUnitsAndTheSameBytesOnEach) {
    const std::vector<testdb::Backend> b = testdb::backends();
    std::map<std::string, QByteArray> first;
    for (size_t n = 0; n < b.size(); ++n) {
        SCOPED_TRACE(testdb::backendName(b[n]));
        testdb::CaseDb db(b[n]);
        std::string err;
        ASSERT_TRUE(casegen::makeDemo(db.arg(), &err)) << err;
        CDBUtility::m_strTableSuffix.clear();
        CDBUtility::setDBType(DB_SC);
        ASSERT_NE(CDBUtility::opendb(db.arg().c_str()), nullptr);
        QTemporaryDir tmp;
        for (int c = 1; c <= 6; ++c) {
            for (bool pu : {true, false}) {
                const std::string run = std::to_string(c) + (pu ? "p/" : "n/"),
                                  project = tmp.path().toStdString() + "/" + run;
                const SCPosList faults = testrun::faultPoints(c);
                OutputRequest r = testrun::everyReport(c, pu, project, faults);
                r.sheetXlsx = false;
                const OutputResult res = runOutput(CDBUtility::connection(), r);
                ASSERT_TRUE(res.ok()) << run << ": " << textcodec::toUtf8(res.error8);
                EXPECT_EQ(res.files.size(), 2u);
                EXPECT_GT(res.rows, 0);
                EXPECT_TRUE(res.problems.empty()) << run;
                QDir out(QString::fromStdString(project + "temp"));
                const QByteArray txt = fileBytes(out.filePath("rep_txt.txt"));
                int at = -1;
                for (const char* title :
                     {"短路电流简表", "电流分布系数结果报表", "短路点及其支路结果输出", "母线电压结果报告",
                      "支路电流结果报告", "支路两端的电压、电流和视在阻抗结果报告"}) {
                    const int next = int(txt.indexOf(QByteArray::fromStdString(gb(title))));
                    EXPECT_GT(next, at) << run << title;
                    at = next;
                }
                QStringList files = {"rep_txt.txt", "sc_report.htm"};
                for (const QString& s : QDir(out.filePath("sc_report.files")).entryList(QDir::Files))
                    files << "sc_report.files/" + s;
                for (const QString& f : files) {
                    const std::string key = run + f.toStdString();
                    if (n == 0)
                        first[key] = fileBytes(out.filePath(f));
                    else
                        EXPECT_TRUE(first.count(key) && first[key] == fileBytes(out.filePath(f)))
                            << key << " differs between the back ends";
                }
            }
        }
        CDBUtility::closedb();
    }
    EXPECT_GT(first.size(), 12u * 8u);
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
    testproc::Outcome r = batch({"--batch", dbArg, tmp.path(), caseName, "--reports", "summary,busvol,viz",
                                 "--faults", QString::fromUtf8("中心4,东山1"), "--items", "viz=2,0",
                                 "--units", "named", "--format", "txt,html,xlsx", "--encoding", "utf-8"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QStringList listed = r.out.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(listed.size(), 3);
    for (const QString& f : listed)
        EXPECT_TRUE(QFile::exists(f)) << f.toStdString();
    expectHolds(QString::fromUtf8(fileBytes(tmp.path() + "/temp/rep_txt.txt")),
                {"短路电流简表", "I侧正序阻抗", "单位：电压幅值（ kV ）"},
                {"支路电流结果报告", "I侧负序阻抗"});
    EXPECT_TRUE(r.err.contains("rows")) << r.err.toStdString();

    // The choices stored for the case are the defaults: bus voltage, item 0, one fault.
    casechoices::ObjectChoices c;
    c.seedObjectVars();
    c.m_selObjects = {gb("母线电压")};
    c.m_objVars[gb("母线电压")] = {0};
    casechoices::OutputOptions o;
    o.unit = true;
    o.lfile = true;
    o.lreport = false;
    CDBUtility::setCaseName(caseName);
    ASSERT_TRUE(casechoices::saveOutputOptions("SCR_OUT", o, c));
    ASSERT_TRUE(casechoices::saveFaultList({SCPos{gb("西湖2"), "", "", 0}}));
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

INSTANTIATE_ON_BACKENDS(DemoTest);

} // namespace

#endif
