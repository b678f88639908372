#include "modaldriver.h"

namespace ui {
namespace {

ModalDriver& driver() {
    static ModalDriver d;
    return d;
}

} // namespace

int execModal(QDialog& dlg) {
    return driver() ? driver()(dlg) : dlg.exec();
}

void setModalDriver(ModalDriver d) {
    driver() = std::move(d);
}

} // namespace ui
