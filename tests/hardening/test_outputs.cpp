// A batch run that fails on a template override replaces nothing in the project's temp
// folder. (The same workbook from any working folder: the package test in tests/app;
// leftovers of killed runs and stale sheets: tests/report/test_output.cpp.)
#include "casegen/casegen.h"
#include "hardening.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(Outputs, AnOverrideThatCannotBeReadReplacesNothing) {
    QTemporaryDir tmp;
    const QString dbPath = tmp.path() + "/demo.db", project = tmp.path() + "/p";
    std::string err;
    ASSERT_TRUE(casegen::makeDemo(dbPath.toStdString(), &err)) << err;
    ASSERT_TRUE(QDir(tmp.path()).mkdir("rep_template")); // in the working folder: never looked at
    // Every report of the single-phase case, started in the temporary folder.
    auto run = [&](int expectedCode) {
        const hard::BatchRun r =
            hard::batch({"--batch", dbPath, project, QString::fromUtf8(casegen::demo::kCaseNames[1]),
                         "--reports", "all", "--format", "txt,html,xlsx"},
                        tmp.path());
        EXPECT_FALSE(r.crashed);
        EXPECT_EQ(r.code, expectedCode) << r.err.toStdString();
        return r;
    };
    run(0);
    const auto before = testproc::files(project + "/temp");

    // A template folder in the project replaces the built-in set as a whole: one
    // template it cannot read fails the run, whatever the other files hold.
    const QString over = project + "/rep_template";
    ASSERT_TRUE(QDir().mkpath(over));
    for (const char* t :
         {"main-html1", "main-html2", "main-html3", "tabstrip_1", "sub_html1", "stylesheet.css"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(SCREPORT_SOURCE_DIR "/rep_template/") + t, over + "/" + t));
    ASSERT_TRUE(QDir().mkpath(over + "/sub_html0")); // unreadable, even for root
    hard::BatchRun r = run(1);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("无法读取报表模板：") + over + "/sub_html0"))
        << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_EQ(testproc::files(project + "/temp"), before);

    QDir(over + "/sub_html0").removeRecursively();
    r = run(1);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("报表模板缺失或为空：") + over + "/sub_html0"))
        << r.err.toStdString();
    EXPECT_EQ(testproc::files(project + "/temp"), before);

    // Whole again, it is what the workbook is made of.
    ASSERT_TRUE(QFile::copy(SCREPORT_SOURCE_DIR "/rep_template/sub_html0", over + "/sub_html0"));
    QFile css(over + "/stylesheet.css");
    ASSERT_TRUE(css.open(QIODevice::Append));
    css.write("/* own */\n");
    css.close();
    run(0);
    EXPECT_TRUE(hard::fileBytes(project + "/temp/sc_report.files/stylesheet.css").endsWith("/* own */\r\n"));
}

} // namespace
