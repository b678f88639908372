// The end of an output run: every requested file is written under a temporary name,
// then all replace the previous run's files, then the viewers start.
#include "repportbase.h"

#include "db/errortext.h"
#include "db/log.h"
#include "db/textcodec.h"

#include <QFileInfo>

using textcodec::gb;

namespace {

// A viewer starts in a folder of its own choosing; a relative path would not lead it here.
std::string absolute8(const std::string& path8) {
    if (path8.empty()) return path8;
    return textcodec::toLocal8(QFileInfo(textcodec::fromLocal8(path8)).absoluteFilePath());
}

} // namespace

void RepPortBase::showResult(bool writeText, bool writeSheet, bool openViewers) {
    const bool html = writeSheet && m_options.html;
    const bool xlsx = writeSheet && m_options.xlsx;
    if (!writeText && !html && !xlsx) return;

    // A template that cannot be read ends the run before any file is touched.
    if (html) loadTemplates();

    if (!makeDirs()) screport::logErrorU("无法创建输出目录：", m_strTempDir);
    // Temporary files of runs that were killed; those of a run still going stay.
    removeStaleParts(m_strTempDir);
    const std::string folder = htmlPath().substr(0, htmlPath().rfind('.')) + ".files";
    if (QFileInfo(textcodec::fromLocal8(folder)).isDir()) removeStaleParts(folder);

    OutFileSet files;
    if (writeText) {
        OutFile& f = files.add(textPath());
        if (f.failed()) raiseError(gb("无法写入文件：") + textPath());
        beginRun(kTextStep);
        outputRP_txt(f);
        endRun();
        if (!f.finish()) raiseError(gb("无法写入文件：") + textPath());
        screport::logDebug("temp file is " + textPath());
    }
    if (html) {
        beginRun(kWorkbookStep);
        writeWorkbook(files, htmlPath());
        endRun();
    }
    if (xlsx) {
        beginRun(kXlsxStep);
        writeXlsx(files, xlsxPath());
        endRun();
    }
    // Nothing has replaced an earlier file yet; from here on the run is complete.
    if (m_pObserver && m_pObserver->cancelled()) raiseError(gb("输出已取消"));
    files.finishAll();
    files.renameAll();

    if (!openViewers || !m_viewer) return;
    if (writeText) m_viewer->openText(absolute8(textPath()));
    if (html || xlsx)
        m_viewer->openSheet(html ? absolute8(htmlPath()) : std::string(), xlsx ? absolute8(xlsxPath()) : std::string());
}
