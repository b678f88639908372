#include "screpdialog.h"

#include "db/cdbutility.h"
#include "db/dbquery.h"
#include "db/errortext.h"
#include "db/log.h"
#include "db/textcodec.h"
#include "modaldriver.h"
#include "report/runguard.h"
#include "runfeedback.h"
#include "sc/outputrun.h"
#include "sc/reportkinds.h"
#include "scposseldlg.h"
#include "tree/clfrepitemseldlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlRecord>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

SCRepDialog::OutputRunner& runner() {
    static SCRepDialog::OutputRunner r;
    return r;
}

int& progressDelay() {
    static int ms = 500;
    return ms;
}

const char* const kOptionsTable = "SCR_OUT";

} // namespace

void SCRepDialog::setOutputRunner(OutputRunner r) {
    runner() = std::move(r);
}
void SCRepDialog::setProgressDelay(int ms) {
    progressDelay() = ms;
}

SCRepDialog::SCRepDialog(const std::string& dbName, const std::string& projectDir,
                         const std::string& caseName, bool useBackupTables, QWidget* parent, const char* name,
                         bool modal, Qt::WindowFlags f)
    : ReportSelectDlg(projectDir, useBackupTables, parent, name, modal, f) {
    // A file that is no case database is named as such, not taken for a database without cases.
    if (!m_caseDb.opendb(dbName.c_str())) throw ErrorText(m_caseDb.lastOpenError());
    m_caseDb.setDBType(DB_SC);
    setWindowTitle(QString::fromUtf8("短路报表输出"));

    auto* h = new QHBoxLayout(this);
    h->setContentsMargins(10, 10, 10, 10);
    h->setSpacing(10);
    auto* column = new QWidget(this);
    auto* v = new QVBoxLayout(column);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(10);
    createCaseArea(column, caseName);
    h->addWidget(column, 1);
    auto* panel = new QWidget(this);
    createNoteAndOptions(panel, true);
    m_pStatus = new QLabel(panel);
    m_pStatus->setObjectName("runStatus");
    m_pStatus->setTextFormat(Qt::PlainText); // paths may hold '<'
    m_pStatus->setWordWrap(true);
    m_pStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    panel->layout()->addWidget(m_pStatus);
    h->addWidget(panel, 1);

    loadOptions();
    restoreLayout();
}

SCRepDialog::~SCRepDialog() {
    m_caseDb.closedb();
    sc_buses.clear();
}

void SCRepDialog::createCaseArea(QWidget* parent, const std::string& caseName8) {
    createCaseRow(parent, caseName8);
    auto* faults = new QPushButton(QString::fromUtf8("故障点选择"), parent);
    faults->setObjectName("faultButton");
    faults->setToolTip(QString::fromUtf8("选择要输出的故障点"));
    connect(faults, &QPushButton::clicked, this, &SCRepDialog::onSelSC);
    parent->layout()->addWidget(faults);
    createNetTree(parent);
    createSearchBox(parent);
}

void SCRepDialog::enableReportKinds() {
    // The batch mode applies the same rules.
    const std::set<std::string> on = reportkinds::enabledKinds(m_caseDb.connection(), m_caseDb.getCaseNo());
    for (const reportkinds::Kind& k : reportkinds::kinds()) {
        QCheckBox* box = objectBox(k.key);
        if (!box) continue;
        const bool allowed = on.count(k.key) > 0;
        box->setEnabled(allowed);
        box->setToolTip(allowed ? QString::fromUtf8("输出此报表")
                                : QString::fromUtf8("本作业的计算不能给出此报表"));
        // A kind the case cannot give is not produced; a greyed tick would say otherwise.
        if (!allowed) box->setChecked(false);
    }
    updateOutputButton();
}

void SCRepDialog::onSelSC() {
    SCPosSelDlg dlg(m_caseDb, sc_buses, this);
    if (noticeLostConnection()) return; // the case's fault points could not be read
    if (ui::execModal(dlg) != QDialog::Accepted) return;
    sc_buses = dlg.selected();
    casechoices::saveFaultList(m_caseDb, sc_buses);
    noticeLostConnection(true);
}

void SCRepDialog::onChoose() {
    const int kind = reportkinds::indexOf(textcodec::toLocal8(sender() ? sender()->objectName() : QString()));
    if (kind < 0) return;
    CLFRepItemSelDlg dlg(reportkinds::kinds()[size_t(kind)], m_objVars, m_objTableNo, this);
    ui::execModal(dlg);
}

void SCRepDialog::save_caseNote() {
    if (!m_pCaseCombo || !m_pNoteEdit) return;
    m_caseDb.save_caseNote("SC_CASE", m_pCaseCombo->currentText(), m_pNoteEdit->toPlainText());
    noticeLostConnection(true);
}

void SCRepDialog::saveOptions() {
    casechoices::saveFaultList(m_caseDb, sc_buses);
    saveOutputOptions(kOptionsTable);
}

void SCRepDialog::loadOptions() {
    casechoices::loadFaultList(m_caseDb, sc_buses);
    loadOutputOptions(kOptionsTable);
    // A case never stored reports all its fault points, as the batch does.
    if (m_usingDefaults && sc_buses.empty()) sc_buses = casechoices::allFaultPoints(m_caseDb.getCaseNo());
    enableReportKinds(); // each case allows its own kinds
    if (m_pStatus) m_pStatus->clear();
}

void SCRepDialog::showRunStatus(const std::vector<std::string>& files, size_t problems,
                                const std::vector<std::string>& viewerFailures) {
    QStringList names;
    QString folder;
    for (const std::string& f : files) {
        const QFileInfo info(QString::fromStdString(f));
        names << info.fileName();
        folder = QDir::toNativeSeparators(info.absolutePath());
    }
    QString text = QString::fromUtf8("已输出到 %1：%2。").arg(folder, names.join(QString::fromUtf8("、")));
    text += problems ? QString::fromUtf8("数据错误 %1 处，见数据错误窗口和 data_problems.txt。").arg(problems)
                     : QString::fromUtf8("没有数据错误。");
    // A viewer that did not start is the one thing here the user has to act on: in red.
    QString html = text.toHtmlEscaped();
    for (const std::string& v : viewerFailures)
        html += QStringLiteral("<br><span style=\"color: #b00000\">") +
                (QString::fromUtf8("没有能打开报表：") + textcodec::fromLocal8(v)).toHtmlEscaped() +
                QStringLiteral("</span>");
    m_pStatus->setTextFormat(Qt::RichText);
    m_pStatus->setText(html);
}

void SCRepDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape) return ReportSelectDlg::keyPressEvent(event);
    // Escape closes what is open; the search is cleared before anything else.
    if (m_pSearchText && m_pSearchText->hasFocus() && !m_pSearchText->text().isEmpty()) {
        m_pSearchText->clear();
        return;
    }
    QMessageBox box(QMessageBox::Question, QString::fromUtf8("退出"),
                    QString::fromUtf8("退出短路报表输出？本作业的选择会保存。"), QMessageBox::NoButton, this);
    QPushButton* quit = box.addButton(QString::fromUtf8("退出"), QMessageBox::AcceptRole);
    QPushButton* stay = box.addButton(QString::fromUtf8("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(stay);
    box.setEscapeButton(stay);
    ui::execModal(box);
    if (box.clickedButton() == quit) reject();
}

void SCRepDialog::reject() {
    // Closing the window cancels a run, as its cancel button does; the window goes once
    // the run has stopped.
    if (m_runProgress) {
        m_runProgress->cancel();
        m_closeAfterRun = true;
        return;
    }
    saveLayout();
    saveOptions();
    noticeLostConnection(true);
    QDialog::reject();
}

void SCRepDialog::onOutput() {
    saveOptions();
    OutputRequest req;
    req.projectDir = m_strProjDir;
    req.caseNo = std::atoi(m_caseDb.getCaseNo().c_str());
    req.chosenKeys = m_selObjects;
    req.itemLabels = reportkinds::itemLabels();
    req.itemSel = m_objVars;
    req.faults = &sc_buses;
    req.grpArea = m_pAreaCheck->isChecked();
    req.grpZone = m_pZoneCheck->isChecked();
    req.grpST = m_pSubCheck->isChecked();
    req.perUnit = m_pPUnitRadio->isChecked();
    req.writeText = m_pFileCheck->isChecked();
    req.writeSheet = m_pReportCheck->isChecked();
    // Told once, in this run's list: the save above stored the choices as they are used.
    req.choiceProblems = std::move(m_choiceProblems);
    m_choiceProblems.clear();
    showChoiceProblems();

    ProgressObserver progress(this, progressDelay());
    // While the run goes, a stop signal cancels it instead of leaving half-written files.
    struct During {
        SCRepDialog& d;
        During(SCRepDialog& d, ProgressObserver& p) : d(d) {
            d.m_runProgress = &p;
            stoprequest::install();
        }
        ~During() {
            stoprequest::uninstall();
            d.m_runProgress = nullptr;
        }
    } during(*this, progress);
    m_pStatus->clear();
    std::string error;
    std::vector<dataproblems::Problem> problems;
    OutputResult res;
    // The run logs its own failure and end; only an error text that escapes it is logged here.
    try {
        res = runner() ? runner()(req, &progress) : runOutput(m_caseDb.connection(), req, &progress);
        error = res.error8;
        problems = std::move(res.problems);
    } catch (const ErrorText& e) {
        screport::logDebug("catch exception here:");
        screport::logDebug("onOutput ");
        error = e.text();
    }
    if (dbq::connectionLost()) m_toldLost = true; // the run's own message says so
    if (progress.cancelled()) {
        screport::logDebugU("输出已取消");
    } else if (!error.empty()) {
        showRunError(this, tr(textcodec::fromLocal8(error).toUtf8().constData()));
    }
    if (!progress.cancelled() && error.empty()) showRunStatus(res.files, problems.size(), res.viewerFailures);
    if (!progress.cancelled()) showDataProblems(this, problems);
    if (m_closeAfterRun || stoprequest::signal()) {
        m_closeAfterRun = false;
        QMetaObject::invokeMethod(this, &SCRepDialog::reject, Qt::QueuedConnection);
    }
}
