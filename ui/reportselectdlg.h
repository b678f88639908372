#pragma once
// The common part of the report dialogs: the case with its note, the output objects
// with their choose buttons, the output options, the network tree's search bar and
// the storage of all these choices per case.
#include "db/cdbutility.h"
#include "sc/casechoices.h"

#include <QDialog>
#include <map>
#include <set>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTextEdit;

class ReportSelectDlg : public QDialog, protected casechoices::ObjectChoices {
    Q_OBJECT
  public:
    ReportSelectDlg(const std::string& projectDir, bool useBackupTables, QWidget* parent = nullptr,
                    const char* name = nullptr, bool modal = false, Qt::WindowFlags f = {});
    ~ReportSelectDlg() override;

    // Read access for the program's own checks and for tests.
    const CDBUtility& caseDb() const { return m_caseDb; }
    const casechoices::ObjectChoices& choices() const { return *this; }
    QComboBox* caseCombo() const { return m_pCaseCombo; }
    QTextEdit* noteEdit() const { return m_pNoteEdit; }
    QPushButton* outputButton() const { return m_pOutputBtn; }
    QPushButton* nextButton() const { return m_pNextBtn; }
    QComboBox* searchKind() const { return m_pSearchKind; }
    QLineEdit* searchText() const { return m_pSearchText; }
    // "n / m" of the match shown, or that nothing matched.
    QLabel* searchStatus() const { return m_pSearchStatus; }
    // What the stored choices of the case held that could not be used as stored.
    QLabel* choiceNote() const { return m_pChoiceNote; }
    QCheckBox* objectBox(const std::string& key8) const;
    QPushButton* chooseButton(const std::string& key8) const;

  protected:
    virtual void createCaseArea(QWidget* parent, const std::string& caseName8);
    virtual void updateOutputButton();
    virtual void loadOptions() {}
    virtual void saveOptions() {}

    QWidget* createCaseRow(QWidget* parent, const std::string& caseName8);
    QWidget* createRangeRow(QWidget* parent);
    QWidget* createNetTree(QWidget* parent);
    QWidget* createSearchBox(QWidget* parent);
    // withChoose: a "选择" button beside every kind that has items to choose.
    void createNoteAndOptions(QWidget* parent, bool withChoose);
    QGroupBox* createObjectBox(QWidget* parent, bool withChoose);
    QWidget* createOptionColumn(QWidget* parent);
    QGroupBox* createGroupBox(QWidget* parent);
    QGroupBox* createUnitBox(QWidget* parent);
    QGroupBox* createModeBox(QWidget* parent);

    // After an action that used the database: when the server has gone, says so in a box
    // naming the database and returns true. `once` keeps it to the first time (for
    // actions repeated without the user asking, like the note saved as it is typed).
    bool noticeLostConnection(bool once = false);

    void saveOutputOptions(const std::string& table);
    // Shows the case's stored choices; what could not be used as stored is kept in
    // m_choiceProblems and said in the choice note.
    void loadOutputOptions(const std::string& table);
    void showChoiceProblems();
    // Window size and position, and column widths, kept between program runs.
    void restoreLayout();
    void saveLayout() const;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showSearchStatus();
    // The note of `caseName` (GB18030) from the case table; false when the case has no row.
    bool readNote(const QString& caseName);

    // The case database the dialog works on: opened by the dialog, handed to its parts.
    CDBUtility m_caseDb;
    std::string m_strProjDir;
    bool m_toldLost = false;
    std::map<QCheckBox*, QPushButton*> m_objButtons;
    std::map<QCheckBox*, std::string> m_objKeys;

    QComboBox* m_pCaseCombo = nullptr;
    QTextEdit* m_pNoteEdit = nullptr;
    QComboBox* m_pSearchKind = nullptr;
    QLineEdit* m_pSearchText = nullptr;
    QPushButton* m_pNextBtn = nullptr;
    QLabel* m_pSearchStatus = nullptr;
    QString m_lastSearch; // kind and text of the search whose matches "下一个" walks
    QRadioButton* m_pAllRadio = nullptr;
    QRadioButton* m_pOverRadio = nullptr;
    QCheckBox* m_pAreaCheck = nullptr;
    QCheckBox* m_pZoneCheck = nullptr;
    QCheckBox* m_pSubCheck = nullptr;
    QRadioButton* m_pPUnitRadio = nullptr;
    QRadioButton* m_pNamedRadio = nullptr;
    QCheckBox* m_pReportCheck = nullptr;
    QCheckBox* m_pFileCheck = nullptr;
    QPushButton* m_pOutputBtn = nullptr;
    QLabel* m_pChoiceNote = nullptr;
    std::vector<dataproblems::Problem> m_choiceProblems;
    bool m_usingDefaults = false; // the case has no stored choices: the dialog shows defaults

  protected slots:
    virtual void onChangeCase(const QString& name);
    void onBrowseCase();
    void onSearch();
    void onNext();
    void onStateChanged(int state);
    virtual void onOutput() {}
    virtual void save_caseNote() {}
};
