#include "runfeedback.h"

#include "db/textcodec.h"
#include "modaldriver.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>

void showDataProblems(QWidget* parent, const std::vector<dataproblems::Problem>& problems) {
    if (problems.empty()) return;
    dataproblems::List list;
    std::string text;
    for (const dataproblems::Problem& p : problems) {
        list.add(p);
        text += dataproblems::lineText(p) + "\n";
    }
    QDialog dlg(parent);
    dlg.setObjectName("dataProblems");
    dlg.setWindowTitle(QString::fromUtf8("数据错误"));
    auto* layout = new QVBoxLayout(&dlg);
    auto* head = new QLabel(textcodec::fromLocal8(dataproblems::countsText(list)) +
                                QString::fromUtf8("\n这些值没有用于报表，相关单元格留空或未输出。"),
                            &dlg);
    head->setTextFormat(Qt::PlainText);
    layout->addWidget(head);
    auto* view = new QPlainTextEdit(&dlg);
    view->setObjectName("problemList");
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setPlainText(textcodec::fromLocal8(text));
    view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(view);
    auto* buttons = new QDialogButtonBox(&dlg);
    QPushButton* ok = buttons->addButton(QString::fromUtf8("确定"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    layout->addWidget(buttons);
    dlg.resize(760, 360);
    ui::execModal(dlg);
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
