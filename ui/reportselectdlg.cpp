#include "reportselectdlg.h"

#include "casebrowsedlg.h"
#include "db/cdbutility.h"
#include "db/dbquery.h"
#include "db/log.h"
#include "db/textcodec.h"
#include "modaldriver.h"
#include "sc/reportkinds.h"
#include "tree/sccommtreeview.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTextEdit>
#include <QVBoxLayout>

using textcodec::gb;

namespace {

QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// A group box whose children run left to right in `columns` columns.
class ColumnBox {
  public:
    ColumnBox(QGroupBox* box, int columns) : m_grid(new QGridLayout(box)), m_columns(columns) {}
    void add(QWidget* w) {
        m_grid->addWidget(w, m_n / m_columns, m_n % m_columns);
        ++m_n;
    }

  private:
    QGridLayout* m_grid;
    int m_columns;
    int m_n = 0;
};

void addToParent(QWidget* parent, QWidget* child, int stretch = 0) {
    if (auto* box = qobject_cast<QBoxLayout*>(parent->layout()))
        box->addWidget(child, stretch);
    else if (parent->layout())
        parent->layout()->addWidget(child);
}

QHBoxLayout* rowLayout(QWidget* row) {
    auto* l = new QHBoxLayout(row);
    l->setContentsMargins(10, 10, 10, 10);
    l->setSpacing(10);
    return l;
}

} // namespace

ReportSelectDlg::ReportSelectDlg(const std::string& projectDir, bool useBackupTables, QWidget* parent,
                                 const char* name, bool modal, Qt::WindowFlags f)
    : QDialog(parent, f), m_strProjDir(projectDir) {
    if (name) setObjectName(textcodec::fromLocal8(name));
    setModal(modal);
    if (useBackupTables) m_caseDb.setTableSuffix("BAK");
}

ReportSelectDlg::~ReportSelectDlg() {
    screport::logDebug("destruct reportSelectDLg");
}

QCheckBox* ReportSelectDlg::objectBox(const std::string& key8) const {
    for (const auto& [box, key] : m_objKeys)
        if (key == key8) return box;
    return nullptr;
}

QPushButton* ReportSelectDlg::chooseButton(const std::string& key8) const {
    QCheckBox* box = objectBox(key8);
    return box ? m_objButtons.at(box) : nullptr;
}

void ReportSelectDlg::createCaseArea(QWidget* parent, const std::string& caseName8) {
    createCaseRow(parent, caseName8);
    createRangeRow(parent);
    createNetTree(parent);
    createSearchBox(parent);
}

QWidget* ReportSelectDlg::createCaseRow(QWidget* parent, const std::string& caseName8) {
    auto* row = new QWidget(parent);
    QHBoxLayout* l = rowLayout(row);
    l->addWidget(new QLabel(u("作业名"), row));
    m_pCaseCombo = new QComboBox(row);
    m_pCaseCombo->setEditable(false);
    QStringList cases;
    m_caseDb.getCaseNameList(cases); // no calculated case: the error ends the program
    m_pCaseCombo->addItems(cases);
    m_pCaseCombo->setToolTip(u("要输出的短路作业（已计算的作业）"));
    connect(m_pCaseCombo, &QComboBox::textActivated, this, &ReportSelectDlg::onChangeCase);
    l->addWidget(m_pCaseCombo, 1);
    if (!caseName8.empty()) {
        m_pCaseCombo->setCurrentText(textcodec::fromLocal8(caseName8));
        m_caseDb.setCaseName(textcodec::fromLocal8(caseName8));
    } else if (!cases.isEmpty()) {
        m_caseDb.setCaseName(cases.first());
    }
    auto* browse = new QPushButton(u("浏览"), row);
    browse->setToolTip(u("在作业表中按作业描述选择作业"));
    connect(browse, &QPushButton::clicked, this, &ReportSelectDlg::onBrowseCase);
    l->addWidget(browse);
    addToParent(parent, row);
    return row;
}

QWidget* ReportSelectDlg::createRangeRow(QWidget* parent) {
    auto* row = new QWidget(parent);
    QHBoxLayout* l = rowLayout(row);
    l->addWidget(new QLabel(u("输出范围："), row));
    auto* box = new QGroupBox(row);
    box->setFlat(true);
    box->setStyleSheet("QGroupBox { border: 0; }");
    ColumnBox cols(box, 2);
    auto* group = new QButtonGroup(box);
    group->setExclusive(true);
    m_pAllRadio = new QRadioButton(u("全部"), box);
    m_pOverRadio = new QRadioButton(u("越限"), box);
    m_pAllRadio->setToolTip(u("输出全部结果"));
    m_pOverRadio->setToolTip(u("只输出越限的结果"));
    for (QRadioButton* r : {m_pAllRadio, m_pOverRadio}) {
        cols.add(r);
        group->addButton(r);
    }
    m_pAllRadio->setChecked(true);
    l->addWidget(box, 1);
    addToParent(parent, row);
    return row;
}

QWidget* ReportSelectDlg::createNetTree(QWidget* parent) {
    CommTreeView* tree = new SCCommTreeView(m_caseDb, parent);
    g_pCommTree = tree;
    tree->setToolTip(u("电网结构：双击区域、分区或厂站展开"));
    // Runs after the tree has read the level it opens.
    connect(tree, &QTreeWidget::itemExpanded, this, [this] { noticeLostConnection(true); });
    addToParent(parent, tree, 1);
    return tree;
}

QWidget* ReportSelectDlg::createSearchBox(QWidget* parent) {
    auto* box = new QGroupBox(u("搜索"), parent);
    ColumnBox cols(box, 2);
    m_pSearchKind = new QComboBox(box);
    for (const char* k :
         {"物理母线", "交流线", "直流线", "发电机", "负荷", "串联电容电抗器", "并联电容电抗器",
          "两绕组变压器", "三绕组变压器", "移相变压器", "开关", "厂站", "分区", "区域"})
        m_pSearchKind->addItem(u(k));
    m_pSearchKind->setToolTip(u("要查找的元件类型"));
    m_pSearchText = new QLineEdit(box);
    m_pSearchText->setToolTip(u("名称中包含的文字（区分大小写）；回车查找，再按回车到下一个"));
    // Return searches here; it must not reach the dialog's default button.
    m_pSearchText->installEventFilter(this);
    auto* find = new QPushButton(u("查找"), box);
    find->setToolTip(u("在电网结构中打开第一个符合的元件"));
    m_pNextBtn = new QPushButton(u("下一个"), box);
    m_pNextBtn->setToolTip(u("打开下一个符合的元件"));
    m_pNextBtn->setEnabled(false);
    m_pSearchStatus = new QLabel(box);
    m_pSearchStatus->setObjectName("searchStatus");
    cols.add(m_pSearchKind);
    cols.add(m_pSearchText);
    cols.add(find);
    cols.add(m_pNextBtn);
    cols.add(m_pSearchStatus);
    // An edited text is a new search: the old count no longer says anything.
    connect(m_pSearchText, &QLineEdit::textChanged, this, [this] {
        m_lastSearch.clear();
        m_pNextBtn->setEnabled(false);
        m_pSearchStatus->clear();
    });
    connect(find, &QPushButton::clicked, this, &ReportSelectDlg::onSearch);
    connect(m_pNextBtn, &QPushButton::clicked, this, &ReportSelectDlg::onNext);
    addToParent(parent, box);
    return box;
}

bool ReportSelectDlg::readNote(const QString& caseName) {
    SqlStmt s;
    s << "SELECT NOTE from " << m_caseDb.getCaseTab() << " where CASE_Name=";
    s.str(textcodec::toLocal8(caseName));
    dbq::Query q(m_caseDb.connection());
    if (!q.exec(s)) {
        screport::logError(s.text());
        return false;
    }
    if (!q.next()) return false;
    // Showing the stored note is no edit: it must not be written back.
    const QSignalBlocker block(m_pNoteEdit);
    m_pNoteEdit->setPlainText(textcodec::fromLocal8(q.text8(0)));
    return true;
}

void ReportSelectDlg::createNoteAndOptions(QWidget* parent, bool withChoose) {
    auto* v = new QVBoxLayout(parent);
    v->setContentsMargins(10, 10, 10, 10);
    v->setSpacing(10);
    m_pNoteEdit = new QTextEdit(parent);
    m_pNoteEdit->setAcceptRichText(false);
    // Tab moves on: a tab character in a note is never what the user meant.
    m_pNoteEdit->setTabChangesFocus(true);
    m_pNoteEdit->setToolTip(u("作业描述，随输入保存"));
    connect(m_pNoteEdit, &QTextEdit::textChanged, this, &ReportSelectDlg::save_caseNote);
    v->addWidget(m_pNoteEdit);
    screport::logDebug("dlg height is " + std::to_string(height()));
    screport::logDebug("  cur height is " + std::to_string(m_pNoteEdit->height()));
    // Several lines of the note are visible; more height goes to it as the window grows.
    m_pNoteEdit->setMinimumHeight(m_pNoteEdit->fontMetrics().lineSpacing() * 4 +
                                  2 * m_pNoteEdit->frameWidth() + 8);
    if (m_pCaseCombo && m_pCaseCombo->count() > 0) readNote(m_pCaseCombo->currentText());

    auto* row = new QWidget(parent);
    QHBoxLayout* l = rowLayout(row);
    // Both columns start at the same height: the boxes' titles line up.
    l->addWidget(createObjectBox(row, withChoose), 0, Qt::AlignTop);
    l->addWidget(createOptionColumn(row), 0, Qt::AlignTop);
    l->addStretch(1); // wider windows widen the note, not the option boxes
    v->addWidget(row);
    m_pChoiceNote = new QLabel(parent);
    m_pChoiceNote->setObjectName("choiceProblems");
    m_pChoiceNote->setTextFormat(Qt::PlainText); // names may hold '<'
    m_pChoiceNote->setWordWrap(true);
    m_pChoiceNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pChoiceNote->hide();
    v->addWidget(m_pChoiceNote);
    v->setStretchFactor(m_pNoteEdit, 10);
    v->setStretchFactor(row, 0);
}

QGroupBox* ReportSelectDlg::createObjectBox(QWidget* parent, bool withChoose) {
    auto* box = new QGroupBox(u("输出对象"), parent);
    ColumnBox cols(box, withChoose ? 2 : 1);
    for (const reportkinds::Kind& kind : reportkinds::kinds()) {
        const std::string& key = kind.key;
        auto* check = new QCheckBox(textcodec::fromLocal8(key), box);
        check->setObjectName(textcodec::fromLocal8(key));
        check->setChecked(false);
        connect(check, &QCheckBox::stateChanged, this, &ReportSelectDlg::onStateChanged);
        check->setToolTip(u("输出此报表"));
        cols.add(check);
        m_objKeys[check] = key;
        if (withChoose && !kind.labels.empty()) {
            auto* choose = new QPushButton(u("选择"), box);
            choose->setObjectName(textcodec::fromLocal8(key));
            choose->setToolTip(u("选择此报表的列"));
            choose->setEnabled(false); // until its kind is ticked
            // The derived dialog provides onChoose(); connected by name.
            connect(choose, SIGNAL(clicked()), this, SLOT(onChoose()));
            cols.add(choose);
            m_objButtons[check] = choose;
        } else {
            if (withChoose) cols.add(new QWidget(box));
            m_objButtons[check] = nullptr;
        }
    }
    return box;
}

QWidget* ReportSelectDlg::createOptionColumn(QWidget* parent) {
    auto* column = new QWidget(parent);
    auto* v = new QVBoxLayout(column);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(40);
    v->addWidget(createGroupBox(column));
    v->addWidget(createUnitBox(column));
    v->addWidget(createModeBox(column));
    m_pOutputBtn = new QPushButton(u("输出"), column);
    auto* exit = new QPushButton(u("退出"), column);
    v->addWidget(m_pOutputBtn);
    v->addWidget(exit);
    m_pOutputBtn->setToolTip(u("按所选的报表和选项输出（回车）"));
    exit->setToolTip(u("保存本作业的选择并退出（Esc）"));
    // Return anywhere but in the note and the search text starts the output.
    m_pOutputBtn->setDefault(true);
    connect(m_pOutputBtn, &QPushButton::clicked, this, &ReportSelectDlg::onOutput);
    connect(exit, &QPushButton::clicked, this, &ReportSelectDlg::reject);
    for (QCheckBox* c : {m_pReportCheck, m_pFileCheck})
        connect(c, &QCheckBox::toggled, this, &ReportSelectDlg::updateOutputButton);
    updateOutputButton();
    return column;
}

QGroupBox* ReportSelectDlg::createGroupBox(QWidget* parent) {
    auto* box = new QGroupBox(u("分组输出"), parent);
    ColumnBox cols(box, 3);
    m_pAreaCheck = new QCheckBox(u("区域"), box);
    m_pZoneCheck = new QCheckBox(u("分区"), box);
    m_pSubCheck = new QCheckBox(u("厂站"), box);
    // The ticks add location columns to the .xlsx tables; the other reports are not grouped.
    m_pAreaCheck->setToolTip(u("在.xlsx工作簿的表中加一列：母线所在的区域（文本和HTML报表不变）"));
    m_pZoneCheck->setToolTip(u("在.xlsx工作簿的表中加一列：母线所在的分区（文本和HTML报表不变）"));
    m_pSubCheck->setToolTip(u("在.xlsx工作簿的表中加一列：母线所在的厂站（文本和HTML报表不变）"));
    for (QCheckBox* c : {m_pAreaCheck, m_pZoneCheck, m_pSubCheck}) {
        c->setChecked(true);
        cols.add(c);
    }
    return box;
}

QGroupBox* ReportSelectDlg::createUnitBox(QWidget* parent) {
    auto* box = new QGroupBox(u("单位"), parent);
    ColumnBox cols(box, 2);
    auto* group = new QButtonGroup(box);
    group->setExclusive(true);
    m_pPUnitRadio = new QRadioButton(u("标幺值"), box);
    m_pNamedRadio = new QRadioButton(u("有名值"), box);
    m_pPUnitRadio->setToolTip(u("以标幺值输出"));
    m_pNamedRadio->setToolTip(u("以有名值输出：kA、kV、MVA、欧姆"));
    for (QRadioButton* r : {m_pPUnitRadio, m_pNamedRadio}) {
        cols.add(r);
        group->addButton(r);
    }
    m_pPUnitRadio->setChecked(true);
    return box;
}

QGroupBox* ReportSelectDlg::createModeBox(QWidget* parent) {
    auto* box = new QGroupBox(u("输出方式"), parent);
    ColumnBox cols(box, 2);
    m_pReportCheck = new QCheckBox(u("报表"), box);
    m_pFileCheck = new QCheckBox(u("文件"), box);
    m_pReportCheck->setChecked(false);
    m_pFileCheck->setChecked(true);
    m_pReportCheck->setToolTip(u("写HTML和.xlsx工作簿并用表格程序打开"));
    m_pFileCheck->setToolTip(u("写文本报表并用文本编辑器打开"));
    cols.add(m_pReportCheck);
    cols.add(m_pFileCheck);
    return box;
}

void ReportSelectDlg::updateOutputButton() {
    if (!m_pOutputBtn) return;
    bool any = false;
    for (const auto& [box, button] : m_objButtons) {
        (void)button;
        if (box->isEnabled() && box->checkState() != Qt::Unchecked) any = true;
    }
    // Without a file to write the run would do nothing.
    const bool someFile = (m_pReportCheck && m_pReportCheck->isChecked()) ||
                          (m_pFileCheck && m_pFileCheck->isChecked()) || (!m_pReportCheck && !m_pFileCheck);
    m_pOutputBtn->setEnabled(any && someFile);
}

void ReportSelectDlg::onStateChanged(int state) {
    auto* box = qobject_cast<QCheckBox*>(sender());
    auto it = m_objButtons.find(box);
    if (it == m_objButtons.end()) return;
    const std::string& key = m_objKeys[box];
    if (state == Qt::Checked)
        m_selObjects.insert(key);
    else
        m_selObjects.erase(key);
    if (it->second) it->second->setEnabled(state == Qt::Checked && box->isEnabled());
    updateOutputButton();
}

void ReportSelectDlg::onChangeCase(const QString& name) {
    screport::logDebug(textcodec::toLocal8(name));
    saveOptions(); // still the previous case in m_caseDb
    if (noticeLostConnection()) {
        // Nothing of the other case can be read: the dialog stays on the case it shows.
        m_pCaseCombo->setCurrentText(m_caseDb.getCaseName());
        return;
    }
    // What is shown of the new case comes from one state of the database.
    const DbConnection db = m_caseDb.connection();
    const ReadSnapshot snapshot(
        db, {m_caseDb.getCaseTab(), "SCR_OUT", "SCR_CONT", "SCR_FAULTBUS", "SCR_R120"}, false);
    m_caseDb.setCaseName(name);
    if (m_pNoteEdit) readNote(name);
    loadOptions();
}

void ReportSelectDlg::onBrowseCase() {
    CaseBrowseDlg dlg(m_caseDb, this);
    if (noticeLostConnection()) return;
    dlg.preselect(m_caseDb.getCaseName());
    // Escape or closing the window keeps the case shown.
    if (ui::execModal(dlg) != QDialog::Accepted) return;
    const int n = dlg.getSelectedCase();
    if (n >= 0) {
        m_pCaseCombo->setCurrentText(QString::number(n));
        onChangeCase(QString::number(n));
    }
    screport::logDebug("onBrowseCase ");
}

void ReportSelectDlg::onSearch() {
    if (!g_pCommTree) return;
    g_pCommTree->search(textcodec::toLocal8(m_pSearchKind->currentText()),
                        textcodec::toLocal8(m_pSearchText->text()));
    m_lastSearch = m_pSearchKind->currentText() + '\n' + m_pSearchText->text();
    // After the last match "下一个" starts again at the first, as Return does.
    m_pNextBtn->setEnabled(g_pCommTree->matchTotal() > 1);
    showSearchStatus();
    noticeLostConnection(true);
}

void ReportSelectDlg::onNext() {
    if (!g_pCommTree) return;
    if (g_pCommTree->queuedMatches() == 0) return onSearch();
    g_pCommTree->searchNext();
    showSearchStatus();
    noticeLostConnection(true);
}

void ReportSelectDlg::showSearchStatus() {
    if (!m_pSearchStatus || !g_pCommTree) return;
    const int total = g_pCommTree->matchTotal();
    if (m_pSearchText->text().isEmpty())
        m_pSearchStatus->clear();
    else if (total == 0)
        m_pSearchStatus->setText(u("没有找到"));
    else
        m_pSearchStatus->setText(QString("%1 / %2").arg(g_pCommTree->matchShown()).arg(total));
}

bool ReportSelectDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pSearchText && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // The same search again steps on; a changed one starts over.
            const QString now = m_pSearchKind->currentText() + '\n' + m_pSearchText->text();
            if (now == m_lastSearch && m_pNextBtn->isEnabled())
                onNext();
            else
                onSearch();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ReportSelectDlg::restoreLayout() {
    QSettings settings;
    const QByteArray geometry = settings.value("dialog/geometry").toByteArray();
    if (!geometry.isEmpty()) restoreGeometry(geometry);
}

void ReportSelectDlg::saveLayout() const {
    QSettings settings;
    settings.setValue("dialog/geometry", saveGeometry());
}

bool ReportSelectDlg::noticeLostConnection(bool once) {
    if (!dbq::connectionLost()) return false;
    if (once && m_toldLost) return true;
    m_toldLost = true;
    const QString name = m_caseDb.database() ? m_caseDb.database()->databaseName() : QString();
    QMessageBox box(QMessageBox::Warning, u("提示"),
                    u("与数据库的连接已中断，选择不能保存，报表不能输出:") + name, QMessageBox::NoButton,
                    this);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(box.addButton(u("确定"), QMessageBox::AcceptRole));
    ui::execModal(box);
    return true;
}

void ReportSelectDlg::saveOutputOptions(const std::string& table) {
    casechoices::OutputOptions o;
    if (m_pPUnitRadio) o.unit = m_pPUnitRadio->isChecked();
    if (m_pAreaCheck) o.onArea = m_pAreaCheck->isChecked();
    if (m_pZoneCheck) o.onZone = m_pZoneCheck->isChecked();
    if (m_pSubCheck) o.onSub = m_pSubCheck->isChecked();
    o.overLimit = m_pOverRadio && m_pOverRadio->isChecked();
    if (m_pReportCheck) o.lreport = m_pReportCheck->isChecked();
    if (m_pFileCheck) o.lfile = m_pFileCheck->isChecked();
    if (casechoices::saveOutputOptions(m_caseDb, table, o, *this) && m_usingDefaults) {
        m_usingDefaults = false; // stored: they are the case's own now
        showChoiceProblems();
    }
}

void ReportSelectDlg::loadOutputOptions(const std::string& table) {
    const int n = m_pCaseCombo ? m_caseDb.getCaseNo(textcodec::toLocal8(m_pCaseCombo->currentText())) : -1;
    casechoices::OutputOptions o;
    dataproblems::List problems;
    m_choiceProblems.clear();
    // Each case starts from the kinds' first tables, as the batch does; its rows replace them.
    m_objVars.clear();
    m_objTableNo.clear();
    seedObjectVars();
    // A case never stored starts from the batch's defaults, said in the note and stored
    // with the first save; every kind is ticked and the case's rules untick the others.
    m_usingDefaults = !casechoices::loadOutputOptions(table, n, o, &problems);
    if (m_usingDefaults) {
        o.onArea = o.onZone = o.onSub = false;
        o.lreport = o.lfile = true;
        o.unit = true;
        o.overLimit = false;
    }
    if (m_pPUnitRadio) m_pPUnitRadio->setChecked(o.unit);
    if (m_pNamedRadio) m_pNamedRadio->setChecked(!o.unit);
    if (m_pAreaCheck) m_pAreaCheck->setChecked(o.onArea);
    if (m_pZoneCheck) m_pZoneCheck->setChecked(o.onZone);
    if (m_pSubCheck) m_pSubCheck->setChecked(o.onSub);
    if (o.hasOverLimit && m_pOverRadio) {
        m_pOverRadio->setChecked(o.overLimit);
        m_pAllRadio->setChecked(!o.overLimit);
    }
    if (m_pReportCheck) m_pReportCheck->setChecked(o.lreport);
    if (m_pFileCheck) m_pFileCheck->setChecked(o.lfile);
    for (const auto& [box, button] : m_objButtons) {
        const int kind = reportkinds::indexOf(m_objKeys[box]);
        if (kind < 0) continue;
        const bool on = m_usingDefaults || o.column(reportkinds::kinds()[size_t(kind)].column);
        box->setChecked(on); // onStateChanged keeps m_selObjects and "输出" in step
        if (button) button->setEnabled(on);
    }
    casechoices::loadObjectVars(casechoices::objectVarTable(m_caseDb), m_caseDb.getCaseNo(), *this,
                                &problems);
    m_choiceProblems = problems.entries();
    showChoiceProblems();
}

void ReportSelectDlg::showChoiceProblems() {
    if (!m_pChoiceNote) return;
    m_pChoiceNote->setVisible(m_usingDefaults || !m_choiceProblems.empty());
    if (m_usingDefaults) {
        m_pChoiceNote->setText(u("本作业还没有保存的选择，上面是默认选择：本作业可输出的全部报表、"
                                 "全部故障点、标幺值、不分组、报表和文件。输出或退出时保存。"));
        return;
    }
    if (m_choiceProblems.empty()) return;
    // A few lines here; the run lists them all.
    constexpr size_t kShown = 5;
    QString text = u("本作业保存的选择有 %1 处不能照用，按上面显示的选择输出（并列入数据错误）：")
                       .arg(m_choiceProblems.size());
    for (size_t i = 0; i < m_choiceProblems.size() && i < kShown; ++i)
        text += '\n' + textcodec::fromLocal8(dataproblems::lineText(m_choiceProblems[i]));
    if (m_choiceProblems.size() > kShown) text += u("\n……");
    m_pChoiceNote->setText(text);
}
