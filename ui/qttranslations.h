#pragma once
// Qt's own texts (standard buttons, the context menus of text fields) in Chinese.
class QCoreApplication;
class QTranslator;

namespace ui {

// Loads Qt's Chinese translations from where Qt keeps them (QLibraryInfo's translations
// folder; on Debian the package qt6-translations-l10n) and installs them in `app`.
// Returns the installed translator, or null when they are not there (English stays).
QTranslator* installQtTranslations(QCoreApplication* app);

} // namespace ui
