// Viewers on Windows: the text report in Notepad, the HTML workbook in the
// spreadsheet program through the shell. SCREPORT_TEXT_VIEWER / SCREPORT_SHEET_VIEWER
// name other programs; with the latter set the native workbook is opened instead.
#ifdef _WIN32
#include "viewer.h"

#include "db/log.h"
#include "db/textcodec.h"

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <windows.h>

namespace {

QStringList commandFrom(const char* envVar) {
    const char* v = std::getenv(envVar);
    return (v && *v) ? QProcess::splitCommand(QString::fromLocal8Bit(v)) : QStringList();
}

// The failure line, empty when the program started.
std::string startDetached(QStringList cmd, const std::string& path8) {
    const QString program = cmd.takeFirst();
    cmd << QDir::toNativeSeparators(textcodec::fromLocal8(path8));
    if (QProcess::startDetached(program, cmd)) return std::string();
    const std::string what = textcodec::toLocal8(program) + " " + path8;
    screport::logErrorU("无法启动查看程序：", what);
    return what;
}

class WindowsViewer : public Viewer {
  public:
    void openText(const std::string& path) override {
        QStringList cmd = commandFrom("SCREPORT_TEXT_VIEWER");
        if (cmd.isEmpty()) cmd << QStringLiteral("notepad");
        note(startDetached(cmd, path));
    }
    void openSheet(const std::string& htmlPath, const std::string& xlsxPath) override {
        QStringList cmd = commandFrom("SCREPORT_SHEET_VIEWER");
        if (!cmd.isEmpty()) {
            const std::string& file = xlsxPath.empty() ? htmlPath : xlsxPath;
            if (!file.empty()) note(startDetached(cmd, file));
            return;
        }
        if (htmlPath.empty()) return;
        const std::string param = "\"" + htmlPath + "\"";
        if (reinterpret_cast<INT_PTR>(
                ShellExecuteA(nullptr, nullptr, "excel.exe", param.c_str(), nullptr, SW_SHOW)) <= 32)
            note("excel.exe " + htmlPath);
    }

  private:
    void note(const std::string& failure) {
        if (!failure.empty()) failed(failure);
    }
};

} // namespace

std::unique_ptr<Viewer> Viewer::platform() {
    return std::make_unique<WindowsViewer>();
}
#endif
