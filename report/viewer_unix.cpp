// Viewers outside Windows: the desktop's default application for the file, or the
// program named in SCREPORT_TEXT_VIEWER / SCREPORT_SHEET_VIEWER.
#ifndef _WIN32
#include "viewer.h"

#include "db/log.h"
#include "db/textcodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <cstdlib>

namespace {

// Starts program + args + file detached. xdg-open can start and still open nothing (no
// application for the file, or one that needs a terminal): its exit status tells, so it
// is awaited briefly. A viewer still running by then has opened the file.
std::string launch(const char* envVar, const std::string& path8) {
    QStringList cmd;
    if (const char* v = std::getenv(envVar); v && *v) cmd = QProcess::splitCommand(QString::fromLocal8Bit(v));
    if (cmd.isEmpty()) cmd << QStringLiteral("xdg-open");
    const QString program = cmd.first();
    cmd << textcodec::fromLocal8(path8);
    // A private folder: nobody else can put a link where the status goes, and a viewer
    // that outlives the wait finds the folder gone and leaves nothing behind.
    QTemporaryDir dir(QDir(QDir::tempPath()).filePath(QStringLiteral("screport-viewer-XXXXXX")));
    const std::string what = textcodec::toLocal8(program) + " " + path8;
    if (!dir.isValid()) { // no status then: only whether it started
        if (QProcess::startDetached(program, cmd.mid(1))) return std::string();
        screport::logErrorU("无法启动查看程序：", what);
        return what;
    }
    const QString status = dir.filePath(QStringLiteral("status"));
    QStringList args{QStringLiteral("-c"),
                     QStringLiteral("s=$1; shift; \"$@\" >/dev/null 2>&1; { echo $? > \"$s\"; } 2>/dev/null"),
                     QStringLiteral("sh"), status};
    args << cmd;
    if (!QProcess::startDetached(QStringLiteral("/bin/sh"), args)) {
        screport::logErrorU("无法启动查看程序：", what);
        return what;
    }
    QElapsedTimer clock;
    clock.start();
    QByteArray code;
    for (; code.isEmpty() && clock.elapsed() < 1500; QThread::msleep(20)) {
        QFile f(status);
        if (f.open(QIODevice::ReadOnly)) code = f.readAll().trimmed();
    }
    if (!code.isEmpty() && code != "0") {
        screport::logErrorU("无法启动查看程序：", what + " (" + code.toStdString() + ")");
        return what;
    }
    screport::logDebugU("已打开：", path8);
    return std::string();
}

class DesktopViewer : public Viewer {
  public:
    void openText(const std::string& path) override { note(launch("SCREPORT_TEXT_VIEWER", path)); }
    // The native workbook is what a desktop spreadsheet opens best.
    void openSheet(const std::string& htmlPath, const std::string& xlsxPath) override {
        const std::string& file = xlsxPath.empty() ? htmlPath : xlsxPath;
        if (!file.empty()) note(launch("SCREPORT_SHEET_VIEWER", file));
    }

  private:
    void note(const std::string& failure) {
        if (!failure.empty()) failed(failure);
    }
};

} // namespace

std::unique_ptr<Viewer> Viewer::platform() {
    return std::make_unique<DesktopViewer>();
}
#endif
