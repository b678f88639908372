// What the batch run leaves in the project's temp folder: the same whole workbook from
// any working folder, and nothing replaced by a run that fails on a template override.
// (Leftovers of killed runs and stale sheets: tests/report/test_output.cpp.)
#include "casegen/casegen.h"
#include "hardening.h"

#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace demo = casegen::demo;

namespace {

// Relative path -> bytes of every file under dir; folders as entries without bytes.
std::map<QString, QByteArray> snapshot(const QString& dir) {
    std::map<QString, QByteArray> files;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[QDir(dir).relativeFilePath(path)] =
            it.fileInfo().isDir() ? QByteArray() : hard::fileBytes(path);
    }
    return files;
}

QStringList names(const std::map<QString, QByteArray>& files) {
    QStringList n;
    for (const auto& [name, bytes] : files)
        n << name;
    return n;
}

class Outputs : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        dbPath = tmp.path() + "/demo.db";
        std::string err;
        ASSERT_TRUE(casegen::makeDemo(dbPath.toStdString(), &err)) << err;
    }
    // A batch run of the single-phase case started in workDir; fails the test unless it
    // ends with the expected code.
    hard::BatchRun run(const QString& workDir, const QString& project, const QStringList& options,
                       int expectedCode = 0) {
        QStringList args{"--batch", dbPath, project, QString::fromUtf8(demo::kCaseNames[1])};
        hard::BatchRun r = hard::batchIn(workDir, args + options);
        EXPECT_FALSE(r.crashed);
        EXPECT_EQ(r.code, expectedCode) << r.err.toStdString();
        return r;
    }
    QTemporaryDir tmp;
    QString dbPath;
    const QStringList all{"--reports", "all", "--format", "txt,html,xlsx"};
};

TEST_F(Outputs, SameWholeWorkbookFromAnyWorkingFolder) {
    const QString fromRoot = tmp.path() + "/root", fromElsewhere = tmp.path() + "/elsewhere";
    QTemporaryDir empty; // no rep_template here
    run(SCREPORT_SOURCE_DIR, fromRoot, all);
    run(empty.path(), fromElsewhere, all);

    const auto a = snapshot(fromRoot + "/temp"), b = snapshot(fromElsewhere + "/temp");
    ASSERT_EQ(names(a), names(b));
    int sheets = 0;
    for (const auto& [name, bytes] : b) {
        if (name == "sc_report.files") continue;
        EXPECT_FALSE(bytes.isEmpty()) << name.toStdString();
        if (name.endsWith(".xlsx"))
            EXPECT_TRUE(hard::wholeZip(bytes)); // its parts carry the time of writing
        else
            EXPECT_EQ(bytes, a.at(name)) << name.toStdString();
        sheets += name.startsWith("sc_report.files/sheet");
    }
    EXPECT_GT(sheets, 1);
    EXPECT_TRUE(b.at("sc_report.files/sheet1.htm").contains("<table border=1>"));
    EXPECT_TRUE(b.at("sc_report.htm").contains("</x:ExcelWorkbook>"));
}

TEST_F(Outputs, AnOverrideThatCannotBeReadReplacesNothing) {
    const QString project = tmp.path() + "/p";
    run(SCREPORT_SOURCE_DIR, project, all);
    const auto before = snapshot(project + "/temp");

    // A template folder in the project replaces the built-in set as a whole: one
    // template it cannot read fails the run, whatever the other files hold.
    const QString over = project + "/rep_template";
    ASSERT_TRUE(QDir().mkpath(over));
    for (const char* t :
         {"main-html1", "main-html2", "main-html3", "tabstrip_1", "sub_html1", "stylesheet.css"})
        ASSERT_TRUE(QFile::copy(QStringLiteral(SCREPORT_SOURCE_DIR "/rep_template/") + t, over + "/" + t));
    ASSERT_TRUE(QDir().mkpath(over + "/sub_html0")); // unreadable, even for root
    hard::BatchRun r = run(tmp.path(), project, all, 1);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("无法读取报表模板：") + over + "/sub_html0"))
        << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_EQ(snapshot(project + "/temp"), before);

    QDir(over + "/sub_html0").removeRecursively();
    r = run(tmp.path(), project, all, 1);
    EXPECT_TRUE(r.err.contains(QString::fromUtf8("报表模板缺失或为空：") + over + "/sub_html0"))
        << r.err.toStdString();
    EXPECT_EQ(snapshot(project + "/temp"), before);

    // Whole again, it is what the workbook is made of.
    ASSERT_TRUE(QFile::copy(SCREPORT_SOURCE_DIR "/rep_template/sub_html0", over + "/sub_html0"));
    QFile css(over + "/stylesheet.css");
    ASSERT_TRUE(css.open(QIODevice::Append));
    css.write("/* own */\n");
    css.close();
    run(tmp.path(), project, all);
    EXPECT_TRUE(hard::fileBytes(project + "/temp/sc_report.files/stylesheet.css").endsWith("/* own */\r\n"));
}

} // namespace
