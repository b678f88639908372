// Entry: command line, start-up and the last catch of error texts.
#include "batchmode.h"
#include "db/cdbutility.h"
#include "db/errortext.h"
#include "db/log.h"
#include "db/schema.h"
#include "db/textcodec.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

using textcodec::gb;

namespace {

// Without a display a message box can neither be seen nor answered.
bool hasDisplay() {
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    if (qpa && *qpa) return std::string(qpa) != "offscreen" && std::string(qpa) != "minimal";
    return (std::getenv("DISPLAY") && *std::getenv("DISPLAY")) ||
           (std::getenv("WAYLAND_DISPLAY") && *std::getenv("WAYLAND_DISPLAY"));
}

void notice(const QString& text) {
    std::cerr << text.toUtf8().constData() << std::endl;
    if (!hasDisplay()) return;
    int argc = 1;
    char arg0[] = "screport";
    char* argv[] = {arg0, nullptr};
    QApplication app(argc, argv);
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8("提示"), text, QMessageBox::NoButton);
    box.addButton(QString::fromUtf8("确定"), QMessageBox::AcceptRole);
    box.exec();
}

// Until the report dialog exists: open the case database and list its calculated cases.
int listCases(const std::string& dbName, const std::string& caseName, bool backup) {
    if (backup) CDBUtility::m_strTableSuffix = "BAK";
    CDBUtility::opendb(dbName.c_str());
    CDBUtility::setDBType(DB_SC);
    QStringList cases;
    CDBUtility::getCaseNameList(cases);
    if (!caseName.empty()) CDBUtility::setCaseName(textcodec::fromLocal8(caseName));
    for (const QString& c : cases) std::cout << c.toUtf8().constData() << std::endl;
    CDBUtility::closedb();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (wantsBatch(argc, argv)) return runBatch(argc, argv);
    if (argc == 3 && std::string(argv[1]) == "--create-db") {
        QCoreApplication app(argc, argv);
        QString err;
        if (schema::createCaseDatabase(argv[2], &err)) return 0;
        std::cerr << err.toUtf8().constData() << std::endl;
        return 1;
    }
    if (argc < 3) {
        notice(QString::fromUtf8("用法：本程序需要传入数据库名,工程目录,(作业名称)！"));
        return 0;
    }
    // Arguments arrive in the terminal's encoding (UTF-8 here); inside they are GB18030.
    const std::string dbName = argv[1];
    const std::string caseName = argc >= 4 ? textcodec::toLocal8(QString::fromLocal8Bit(argv[3])) : std::string();
    const bool backup = argc < 5;
    try {
        return listCases(dbName, caseName, backup);
    } catch (const ErrorText& e) {
        notice(textcodec::fromLocal8(e.text()));
    }
    return 0;
}
