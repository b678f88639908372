#pragma once
// Which items (columns) one report kind shows, and in which order: one of its
// predefined tables, or the custom table ticked item by item.
#include <QDialog>
#include <map>
#include <string>
#include <vector>

namespace reportkinds {
struct Kind;
}

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QRadioButton;

class CLFRepItemSelDlg : public QDialog {
    Q_OBJECT
  public:
    // The dialog's name is the kind's key; it edits the kind's entries of objVars and
    // objTableNo in place on OK.
    CLFRepItemSelDlg(const reportkinds::Kind& kind, std::map<std::string, std::vector<int>>& objVars,
                     std::map<std::string, int>& objTableNo, QWidget* parent);

    const std::string& key() const { return m_key; }
    int customTable() const { return int(m_tables.size()); }
    QRadioButton* tableButton(int t) const;
    QCheckBox* itemBox(int i) const { return m_boxes.at(size_t(i)); }
    QLabel* orderLabel(int i) const { return m_order.at(size_t(i)); }
    int itemCount() const { return int(m_boxes.size()); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  protected slots:
    void onChangeTab(int t);
    void onChangeItem(int index);
    void onPressed();
    void onStateChanged(int state);
    void onOK();

  private:
    // The predefined tables and the custom one, one radio button each.
    QGroupBox* createTableBox(QWidget* parent);
    // A check box per item, with the label that shows its place in the custom table.
    QGroupBox* createItemBox(QWidget* parent, const std::vector<std::string>& labels);
    QHBoxLayout* createOkCancel();
    // Shows the kind's stored table, and on the custom table its stored items in order.
    void showStored();
    int orderOf(int i) const;
    void setOrder(int i, int n);

    std::string m_key;
    std::vector<std::vector<int>> m_tables;
    std::map<std::string, std::vector<int>>& m_objVars;
    std::map<std::string, int>& m_objTableNo;
    QButtonGroup* m_pTabGroup = nullptr;
    QRadioButton* m_pCustomBtn = nullptr;
    std::vector<QCheckBox*> m_boxes;
    std::vector<QLabel*> m_order;
    bool m_bUserToggle = false; // a box was pressed: its next change is the user's
    int m_perColumn = 1;
};
