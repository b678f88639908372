// A full disk under the output folder: the run says it cannot write and leaves the last
// files. (A folder that takes no file at all: tests/report/test_output.cpp.)
#include "casegen/casegen.h"
#include "db/cdbutility.h"
#include "db/textcodec.h"
#include "hardening.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

bool sh(const QString& cmd) {
    return QProcess::execute("sh", {"-c", cmd + " 2>/dev/null"}) == 0;
}

TEST(Disk, FullDisk) {
    if (std::getenv("CI")) GTEST_SKIP() << "never in CI";
    if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a small file system";
    testdb::CaseDb db(testdb::Backend::Sqlite);
    CDBUtility cdb;
    ASSERT_EQ(hard::openDemo(cdb, db.arg()), "");
    testdb::LogCapture quiet;
    QTemporaryDir tmp;
    const QString dir = tmp.path() + "/full", temp = dir + "/temp", save = tmp.path() + "/saved";
    auto run = [&] {
        const hard::FullRun r(casegen::demo::kCaseAToGround, false, textcodec::toLocal8(dir));
        return runOutput(cdb.connection(), r.req);
    };
    ASSERT_TRUE(run().ok());
    // A tmpfs just big enough for the first files: the next run's copies cannot fit.
    ASSERT_TRUE(sh("cp -r '" + temp + "' '" + save + "'"));
    if (!sh("mount -t tmpfs -o size=4m tmpfs '" + temp + "'")) GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount {
        QString dir;
        ~Unmount() { sh("umount '" + dir + "'"); }
    } unmount{temp};
    ASSERT_TRUE(sh("cp -r '" + save + "'/. '" + temp + "'"));
    sh("dd if=/dev/zero of='" + temp + "/fill' bs=4k 2>/dev/null");
    const QByteArray txt0 = hard::fileBytes(temp + "/rep_txt.txt");
    const QStringList files0 = QDir(temp).entryList(QDir::Files);
    const OutputResult res = run();
    EXPECT_FALSE(res.ok());
    EXPECT_NE(res.error8.find(testdb::gb("无法写入文件：")), std::string::npos)
        << textcodec::toUtf8(res.error8);
    EXPECT_EQ(hard::fileBytes(temp + "/rep_txt.txt"), txt0);
    EXPECT_EQ(QDir(temp).entryList(QDir::Files), files0) << "no half-written file left";
    cdb.closedb();
}

} // namespace
