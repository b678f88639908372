#include "casebrowsedlg.h"

#include "db/cdbutility.h"
#include "db/dbquery.h"
#include "db/log.h"
#include "db/textcodec.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// A case name doubles as the case number here; anything but a whole number counts as 0.
int wholeNumber(const QString& s) {
    bool ok = false;
    const int n = s.toInt(&ok, 10);
    return ok ? n : 0;
}

} // namespace

CaseBrowseDlg::CaseBrowseDlg(const CDBUtility& db, QWidget* parent, const char* name, bool modal,
                             Qt::WindowFlags f)
    : QDialog(parent, f) {
    if (name) setObjectName(textcodec::fromLocal8(name));
    setModal(modal);
    setWindowTitle(QString::fromUtf8("作业浏览"));
    QRect desk(0, 0, 1024, 768);
    if (QScreen* screen = QGuiApplication::primaryScreen()) desk = screen->geometry();
    screport::logDebug(std::to_string(desk.width()) + ", " + std::to_string(desk.height()));
    resize(int(desk.width() * 0.5), int(desk.height() * 0.5));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(10);
    m_pTable = new QTableWidget(0, 2, this);
    m_pTable->setHorizontalHeaderLabels({QString::fromUtf8("作业名"), QString::fromUtf8("作业描述")});
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);

    SqlStmt s;
    s << "SELECT CASE_Name,NOTE FROM " << db.getCaseTab() << " where calculate=1";
    screport::logDebug(s.text());
    dbq::Query q(db.connection());
    if (q.exec(s)) {
        while (q.next()) {
            const QString caseName = textcodec::fromLocal8(q.text8(0));
            if (wholeNumber(caseName) <= 0) continue;
            const int row = m_pTable->rowCount();
            m_pTable->insertRow(row);
            m_pTable->setItem(row, 0, new QTableWidgetItem(caseName));
            m_pTable->setItem(row, 1, new QTableWidgetItem(textcodec::fromLocal8(q.text8(1))));
        }
    }
    layout->addWidget(m_pTable);
    // The browser lists cases by their number-like names; an empty table needs a word.
    if (m_pTable->rowCount() == 0) {
        auto* none = new QLabel(QString::fromUtf8("没有可列出的作业：这里只列出名称是正整数的已计算作业。"
                                                  "请在“作业名”中选择作业。"),
                                this);
        none->setObjectName("noCases");
        none->setWordWrap(true);
        layout->addWidget(none);
    }

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QWidget(this), 100);
    auto* ok = new QPushButton(QString::fromUtf8("确定"), this);
    ok->setDefault(true);
    ok->setToolTip(QString::fromUtf8("换到所选的作业（回车；Esc不换）"));
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_pTable, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);
    m_pTable->setToolTip(QString::fromUtf8("双击或回车选择作业"));

    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QSettings settings;
    const QByteArray geometry = settings.value("caseBrowser/geometry").toByteArray();
    if (!geometry.isEmpty()) restoreGeometry(geometry);
    m_pTable->horizontalHeader()->restoreState(settings.value("caseBrowser/header").toByteArray());
}

void CaseBrowseDlg::preselect(const QString& caseName) {
    for (int row = 0; row < m_pTable->rowCount(); ++row)
        if (m_pTable->item(row, 0) && m_pTable->item(row, 0)->text() == caseName) {
            m_pTable->setCurrentCell(row, 0);
            m_pTable->scrollToItem(m_pTable->item(row, 0));
            return;
        }
    // Not listed (its name is no number): no row is current, so Return picks nothing by accident.
    m_pTable->setCurrentCell(-1, -1);
}

void CaseBrowseDlg::done(int result) {
    QSettings settings;
    settings.setValue("caseBrowser/geometry", saveGeometry());
    settings.setValue("caseBrowser/header", m_pTable->horizontalHeader()->saveState());
    QDialog::done(result);
}

int CaseBrowseDlg::getSelectedCase() const {
    const int row = m_pTable->currentRow();
    if (row < 0 || !m_pTable->item(row, 0)) return -1;
    return m_pTable->item(row, 0)->text().toInt();
}
