#pragma once
// Moves fault points between the case's available ones and the selected ones.
#include "sc/scpos.h"

#include <QDialog>

class CDBUtility;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QListWidget;
class QListWidgetItem;

class SCPosSelDlg : public QDialog {
    Q_OBJECT
  public:
    // The fault points of the current case of `db`; `current` are the selected ones.
    SCPosSelDlg(const CDBUtility& db, const SCPosList& current, QWidget* parent, const char* name = nullptr,
                bool modal = false, Qt::WindowFlags f = {});

    // The selected fault points, in the order of the selected list.
    const SCPosList& selected() const { return m_sel; }
    const SCPosList& available() const { return m_avail; }
    QListWidget* availableList() const { return m_pAvailList; }
    QListWidget* selectedList() const { return m_pSelList; }
    QLineEdit* searchEdit() const { return m_pSearchEdit; }
    QPushButton* findNextButton() const { return m_pFindNextBtn; }
    QLabel* findStatus() const { return m_pFindStatus; }

  protected slots:
    void onSelAll();
    void onClearAll();
    void onSelect();
    void onClear();
    void onSearch();
    void onDoubleClicked_Sel(QListWidgetItem* item);
    void onDoubleClicked_unSel(QListWidgetItem* item);

  private:
    // The two lists with the buttons that move points between them.
    QGroupBox* createPointLists();
    QGridLayout* createMoveButtons(QWidget* parent);
    QGroupBox* createFindBox(QWidget* parent);
    QHBoxLayout* createOkCancel();
    void load_scbuses(const CDBUtility& db, const SCPosList& current);
    // Moves the highlighted rows of one list to the end of the other, keeping their order.
    static void moveSelected(QListWidget* fromList, SCPosList& from, QListWidget* toList, SCPosList& to);
    static void moveAll(QListWidget* fromList, SCPosList& from, QListWidget* toList, SCPosList& to);
    static void fill(QListWidget* list, const SCPosList& records);
    // Highlights the first available row from `start` on (wrapping) that begins with the text.
    void findFrom(int start);

    QListWidget* m_pAvailList = nullptr;
    QListWidget* m_pSelList = nullptr;
    QLineEdit* m_pSearchEdit = nullptr;
    QPushButton* m_pFindNextBtn = nullptr;
    QLabel* m_pFindStatus = nullptr;
    QString m_findText;
    int m_findRow = -1;
    SCPosList m_avail;
    SCPosList m_sel;
};
