// Viewers outside Windows: the desktop's default application for the file, or the
// program named in SCREPORT_TEXT_VIEWER / SCREPORT_SHEET_VIEWER.
#ifndef _WIN32
#include "viewer.h"

#include "db/log.h"
#include "db/textcodec.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdlib>

namespace {

// Starts program + args + file detached; a viewer that cannot start is only logged.
void launch(const char* envVar, const std::string& path8) {
    QStringList cmd;
    if (const char* v = std::getenv(envVar); v && *v) cmd = QProcess::splitCommand(QString::fromLocal8Bit(v));
    if (cmd.isEmpty()) cmd << QStringLiteral("xdg-open");
    const QString program = cmd.takeFirst();
    cmd << textcodec::fromLocal8(path8);
    if (!QProcess::startDetached(program, cmd))
        screport::logErrorU("无法启动查看程序：", textcodec::toLocal8(program) + " " + path8);
    else
        screport::logDebugU("已打开：", path8);
}

class DesktopViewer : public Viewer {
  public:
    void openText(const std::string& path) override { launch("SCREPORT_TEXT_VIEWER", path); }
    // The native workbook is what a desktop spreadsheet opens best.
    void openSheet(const std::string& htmlPath, const std::string& xlsxPath) override {
        const std::string& file = xlsxPath.empty() ? htmlPath : xlsxPath;
        if (!file.empty()) launch("SCREPORT_SHEET_VIEWER", file);
    }
};

} // namespace

std::unique_ptr<Viewer> Viewer::platform() {
    return std::make_unique<DesktopViewer>();
}
#endif
