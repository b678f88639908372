#include "runfeedback.h"

#include "db/textcodec.h"
#include "modaldriver.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

void WarningBox::warn(const std::string& title8, const std::string& text8) {
    QMessageBox box(QMessageBox::Warning, textcodec::fromLocal8(title8), textcodec::fromLocal8(text8),
                    QMessageBox::NoButton, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.addButton(QString::fromUtf8("确定"), QMessageBox::AcceptRole);
    ui::execModal(box);
}

ScopedWarningSink::ScopedWarningSink(WarningSink* sink) : m_previous(warningSink()) {
    setWarningSink(sink);
}

ScopedWarningSink::~ScopedWarningSink() {
    setWarningSink(m_previous);
}

ProgressObserver::ProgressObserver(QWidget* parent, int delayMs) : m_parent(parent), m_delayMs(delayMs) {
    m_clock.start();
    m_lastPump.start();
}

ProgressObserver::~ProgressObserver() {
    delete m_dlg;
}

void ProgressObserver::progress(const std::string& what, long done, long total) {
    if (!m_dlg) {
        if (m_clock.elapsed() < m_delayMs) return;
        m_dlg = new QProgressDialog(m_parent);
        m_dlg->setWindowTitle(QString::fromUtf8("输出"));
        m_dlg->setCancelButtonText(QString::fromUtf8("取消"));
        m_dlg->setWindowModality(Qt::WindowModal);
        m_dlg->setMinimumDuration(0);
        m_dlg->setAutoClose(false);
        m_dlg->setAutoReset(false);
        m_dlg->show();
    } else if (m_lastPump.elapsed() < 50) {
        return; // called per row: redraw a few times a second, not every row
    }
    m_lastPump.restart();
    QString label =
        QString::fromUtf8("正在生成：%1\n已完成 %2 行").arg(textcodec::fromLocal8(what)).arg(done);
    if (total > 0) label += QString(" / %1").arg(total);
    m_dlg->setLabelText(label);
    m_dlg->setMaximum(total > 0 ? int(std::min<long>(total, 1 << 30)) : 0);
    m_dlg->setValue(total > 0 ? int(std::min<long>(std::min(done, total), 1 << 30)) : 0);
    QCoreApplication::processEvents();
}

bool ProgressObserver::cancelled() const {
    return m_dlg && m_dlg->wasCanceled();
}
