#include "runfeedback.h"

#include "db/textcodec.h"
#include "modaldriver.h"
#include "report/runguard.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

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

void showRunError(QWidget* parent, const QString& text) {
    // The name after "...:" goes on a line of its own rather than running into the words.
    QString shown = text;
    const QString head = QString::fromUtf8("报表没有输出:");
    if (const int at = shown.indexOf(head); at >= 0 && at + head.size() < shown.size())
        shown.insert(at + head.size(), '\n');
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8("输出失败"), shown, QMessageBox::NoButton,
                    parent);
    box.setObjectName("runError");
    // Names in the text may hold '<' or '&': shown as written, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Said once: most run errors already end in "报表没有输出".
    box.setInformativeText(QString::fromUtf8(text.contains(QString::fromUtf8("报表没有输出"))
                                                 ? "上次输出的文件保持不变。"
                                                 : "报表没有输出，上次输出的文件保持不变。"));
    // Qt sizes the box to the shorter line and breaks Chinese text anywhere.
    box.setStyleSheet(QStringLiteral("QLabel { min-width: 420px; }"));
    QPushButton* ok = box.addButton(QString::fromUtf8("确定"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    ui::execModal(box);
}

ProgressObserver::ProgressObserver(QWidget* parent, int delayMs) : m_parent(parent), m_delayMs(delayMs) {
    m_clock.start();
    m_lastPump.start();
}

ProgressObserver::~ProgressObserver() {
    delete m_dlg;
}

void ProgressObserver::step(const RunStep& st) {
    if (!m_dlg) {
        if (m_clock.elapsed() < m_delayMs) return;
        m_dlg = new QProgressDialog(m_parent);
        m_dlg->setObjectName("runProgress");
        m_dlg->setWindowTitle(QString::fromUtf8("输出"));
        m_dlg->setCancelButtonText(QString::fromUtf8("取消"));
        m_dlg->setWindowModality(Qt::WindowModal);
        m_dlg->setMinimumDuration(0);
        m_dlg->setAutoClose(false);
        m_dlg->setAutoReset(false);
        // One bar for the whole run: it never starts again at a new step.
        m_dlg->setRange(0, kBarSteps);
        m_dlg->setMinimumWidth(420);
        m_dlg->show();
    } else if (m_lastPump.elapsed() < 50 && st.overall < 0.9995) {
        return; // called per row: redraw a few times a second, not every row; the end always
    }
    m_lastPump.restart();
    QString label = textcodec::fromLocal8(st.what);
    if (st.no > 0) label = QString::fromUtf8("第 %1/%2 步：").arg(st.no).arg(st.count) + label;
    const QString unit = QString::fromUtf8(st.faults ? "个故障点" : "行");
    if (st.bytes && st.total >= 1048576)
        label += QString::fromUtf8("\n%1 / %2 MB")
                     .arg(st.done / 1048576.0, 0, 'f', 1)
                     .arg(st.total / 1048576.0, 0, 'f', 1);
    else if (st.total > 0 && !st.bytes)
        label += QString::fromUtf8("\n%1 / %2 %3").arg(st.done).arg(st.total).arg(unit);
    else if (st.done > 0 && !st.bytes)
        label += QString::fromUtf8("\n%1 %2").arg(st.done).arg(unit);
    m_dlg->setLabelText(label);
    m_dlg->setValue(std::max(m_dlg->value(), int(std::lround(st.overall * kBarSteps))));
    QCoreApplication::processEvents();
}

bool ProgressObserver::cancelled() const {
    return m_cancelled || (m_dlg && m_dlg->wasCanceled()) || stoprequest::signal() != 0;
}
