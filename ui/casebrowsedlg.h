#pragma once
// The calculated cases of the current case kind with their notes; the user picks one.
#include <QDialog>

class CDBUtility;
class QTableWidget;

class CaseBrowseDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CaseBrowseDlg(const CDBUtility& db, QWidget* parent = nullptr, const char* name = nullptr,
                           bool modal = false, Qt::WindowFlags f = {});
    // The number in the first column of the current row, or -1 without a current row.
    int getSelectedCase() const;
    QTableWidget* table() const { return m_pTable; }
    // Makes the row of `caseName` the current one, when it is listed.
    void preselect(const QString& caseName);

  public slots:
    void done(int result) override;

  private:
    QTableWidget* m_pTable = nullptr;
};
