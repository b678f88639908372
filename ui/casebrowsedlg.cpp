#include "casebrowsedlg.h"

#include "db/cdbutility.h"
#include "db/dbquery.h"
#include "db/log.h"
#include "db/textcodec.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QSqlQuery>
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

CaseBrowseDlg::CaseBrowseDlg(QWidget* parent, const char* name, bool modal, Qt::WindowFlags f)
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
    s << "SELECT CASE_Name,NOTE FROM " << CDBUtility::getCaseTab() << " where calculate=1";
    screport::logDebug(s.text());
    QSqlQuery q = dbq::newQuery();
    if (dbq::exec(q, s)) {
        while (q.next()) {
            const QString caseName = textcodec::fromLocal8(dbq::text8(q.value(0)));
            if (wholeNumber(caseName) <= 0) continue;
            const int row = m_pTable->rowCount();
            m_pTable->insertRow(row);
            m_pTable->setItem(row, 0, new QTableWidgetItem(caseName));
            m_pTable->setItem(row, 1, new QTableWidgetItem(textcodec::fromLocal8(dbq::text8(q.value(1)))));
        }
    }
    layout->addWidget(m_pTable);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QWidget(this), 100);
    auto* ok = new QPushButton(QString::fromUtf8("确定"), this);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

int CaseBrowseDlg::getSelectedCase() const {
    const int row = m_pTable->currentRow();
    if (row < 0 || !m_pTable->item(row, 0)) return -1;
    return m_pTable->item(row, 0)->text().toInt();
}
