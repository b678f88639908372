// Output folders that cannot take the reports: read-only and full. A run that cannot
// write says so and leaves the last files.
#include "casegen/casegen.h"
#include "db/cdbutility.h"
#include "db/textcodec.h"
#include "hardening.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <unistd.h>

namespace demo = casegen::demo;
using testdb::gb;

namespace {

bool sh(const QString& cmd) {
    return QProcess::execute("sh", {"-c", cmd + " 2>/dev/null"}) == 0;
}

class Disk : public ::testing::Test {
  protected:
    void SetUp() override {
        db = std::make_unique<testdb::CaseDb>(testdb::Backend::Sqlite);
        ASSERT_EQ(hard::openDemo(db->arg()), "");
    }
    void TearDown() override {
        CDBUtility::closedb();
        db.reset();
    }
    OutputResult run(const QString& project) {
        hard::FullRun r = hard::fullRun(demo::kCaseAToGround, false, textcodec::toLocal8(project));
        r.req.faults = &r.faults;
        return runOutput(CDBUtility::connection(), r.req);
    }
    // Runs into a folder made unwritable by `lock` (a shell command on DIR) and checks
    // that the run fails with a message and the earlier files stay. Skipped when the
    // folder cannot be made so here.
    void unwritable(const QString& dir, const QString& lock, const QString& unlock) {
        ASSERT_TRUE(run(dir).ok());
        const QString txt = dir + "/temp/rep_txt.txt", xlsx = dir + "/temp/sc_report.xlsx";
        const QByteArray txt0 = hard::fileBytes(txt), xlsx0 = hard::fileBytes(xlsx);
        const QStringList files0 = QDir(dir + "/temp").entryList(QDir::Files);
        if (!sh(QString(lock).replace("DIR", dir + "/temp"))) GTEST_SKIP() << "cannot " << lock.toStdString();
        const OutputResult res = run(dir);
        sh(QString(unlock).replace("DIR", dir + "/temp"));
        EXPECT_FALSE(res.ok());
        EXPECT_NE(res.error8.find(gb("无法写入文件：")), std::string::npos) << textcodec::toUtf8(res.error8);
        EXPECT_EQ(hard::fileBytes(txt), txt0);
        EXPECT_EQ(hard::fileBytes(xlsx), xlsx0);
        EXPECT_EQ(QDir(dir + "/temp").entryList(QDir::Files), files0) << "no half-written file left";
    }
    std::unique_ptr<testdb::CaseDb> db;
    testdb::LogCapture quiet;
    QTemporaryDir tmp;
};

TEST_F(Disk, ReadOnlyFolder) {
    // Root ignores permission bits; a read-only bind mount holds for root too.
    if (geteuid() == 0)
        unwritable(tmp.path() + "/ro", "mount --bind DIR DIR && mount -o remount,ro,bind DIR", "umount DIR");
    else
        unwritable(tmp.path() + "/ro", "chmod a-w DIR", "chmod u+w DIR");
}

TEST_F(Disk, FullDisk) {
    if (std::getenv("CI")) GTEST_SKIP() << "never in CI";
    if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a small file system";
    const QString dir = tmp.path() + "/full";
    ASSERT_TRUE(run(dir).ok());
    // A tmpfs just big enough for the first files: the next run's copies cannot fit.
    const QString temp = dir + "/temp";
    const QString save = tmp.path() + "/saved";
    ASSERT_TRUE(sh("cp -r '" + temp + "' '" + save + "'"));
    if (!sh("mount -t tmpfs -o size=4m tmpfs '" + temp + "'")) GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount {
        QString dir;
        ~Unmount() { sh("umount '" + dir + "'"); }
    } unmount{temp};
    ASSERT_TRUE(sh("cp -r '" + save + "'/. '" + temp + "'"));
    sh("dd if=/dev/zero of='" + temp + "/fill' bs=4k 2>/dev/null");
    const QByteArray txt0 = hard::fileBytes(temp + "/rep_txt.txt");
    const OutputResult res = run(dir);
    const QByteArray txt1 = hard::fileBytes(temp + "/rep_txt.txt");
    EXPECT_FALSE(res.ok());
    EXPECT_NE(res.error8.find(gb("无法写入文件：")), std::string::npos) << textcodec::toUtf8(res.error8);
    EXPECT_EQ(txt1, txt0);
}

} // namespace
