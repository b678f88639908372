#pragma once
// Every modal dialog or box the dialogs open runs through execModal, so that a test
// can answer it instead of a user (and nothing ever waits for a click in a test).
#include <QDialog>
#include <functional>

namespace ui {

using ModalDriver = std::function<int(QDialog&)>;

// Runs `dlg` modally (QDialog::exec), or hands it to the installed driver.
int execModal(QDialog& dlg);
// Installs a driver; an empty one restores exec().
void setModalDriver(ModalDriver driver);

} // namespace ui
