// Entry: command line, start-up and the last catch of error texts.
#include "batchmode.h"
#include "db/errortext.h"
#include "db/log.h"
#include "db/schema.h"
#include "db/textcodec.h"
#include "report/runguard.h"
#include "sc/reportkinds.h"
#include "ui/qttranslations.h"
#include "ui/screpdialog.h"

#include <QApplication>
#include <QMessageBox>
#include <clocale>
#include <cstdlib>
#include <iostream>
#include <malloc.h>
#include <string>

namespace {

// Without a display a message box can neither be seen nor answered.
bool hasDisplay() {
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    if (qpa && *qpa) return std::string(qpa) != "offscreen" && std::string(qpa) != "minimal";
    return (std::getenv("DISPLAY") && *std::getenv("DISPLAY")) ||
           (std::getenv("WAYLAND_DISPLAY") && *std::getenv("WAYLAND_DISPLAY"));
}

// The critical "提示" box; the text is shown as it stands, never as markup.
void notice(const QString& text) {
    std::cerr << QString::fromUtf8("[提示] ").toUtf8().constData() << text.toUtf8().constData() << std::endl;
    if (!hasDisplay()) return;
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8("提示"), text, QMessageBox::NoButton);
    box.setTextFormat(Qt::PlainText);
    QPushButton* ok = box.addButton(QString::fromUtf8("确定"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(static_cast<QAbstractButton*>(nullptr));
    box.exec();
}

} // namespace

int main(int argc, char** argv) {
    // A run builds and frees report groups of a few MiB over and over: keep that memory
    // in the heap instead of mapping and zeroing fresh pages for each one. The output run
    // hands it back when it ends.
    mallopt(M_MMAP_THRESHOLD, 8 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    if (wantsBatch(argc, argv)) return runBatch(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "--create-db") {
        QCoreApplication app(argc, argv);
        QString err;
        if (schema::createCaseDatabase(argv[2], reportkinds::caseTables(), &err)) return 0;
        std::cerr << err.toUtf8().constData() << std::endl;
        return 1;
    }

    // The dialog's debug stream is for developers: off unless --debug is given, anywhere.
    bool debug = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--debug")
            debug = true;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    screport::setDebugEnabled(debug);
    QApplication app(argc, argv);
    // Qt takes the user's locale; the .xlsx library prints numbers through it.
    std::setlocale(LC_NUMERIC, "C");
    // Where QSettings keeps the window's size and the column widths.
    QCoreApplication::setOrganizationName("screport");
    QCoreApplication::setApplicationName("screport");
    ui::installQtTranslations(&app);
    if (argc < 3) {
        notice(QString::fromUtf8("用法：本程序需要传入数据库名,工程目录,(作业名称)！"));
        return 0;
    }
    // Arguments arrive in the terminal's encoding; inside the program text is GB18030.
    auto arg8 = [&](int i) { return textcodec::toLocal8(QString::fromLocal8Bit(argv[i])); };
    const std::string dbName = arg8(1);
    const std::string projectDir = arg8(2);
    const std::string caseName = argc >= 4 ? arg8(3) : std::string();
    const bool useBackupTables = argc < 5; // a fourth argument, whatever it says, means the live tables
    try {
        SCRepDialog dlg(dbName, projectDir, caseName, useBackupTables);
        dlg.exec();
        // A stop signal during a run cancelled it and closed the window.
        if (const int sig = stoprequest::signal()) return stoprequest::exitStatus(sig);
    } catch (const ErrorText& e) {
        notice(textcodec::fromLocal8(e.text()));
    }
    return 0;
}
