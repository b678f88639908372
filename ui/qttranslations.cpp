#include "qttranslations.h"

#include "db/log.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace ui {

QTranslator* installQtTranslations(QCoreApplication* app) {
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* t = new QTranslator(app);
    // The interface is Chinese whatever the desktop's language; so are Qt's own words in it.
    if (!t->load(QLocale(QLocale::Chinese, QLocale::China), "qtbase", "_", dir)) {
        screport::logDebug("no Qt translations qtbase_zh_CN in " + dir.toStdString());
        delete t;
        return nullptr;
    }
    app->installTranslator(t);
    return t;
}

} // namespace ui
