#pragma once
// The network model as a lazily filled tree: areas, zones, stations and, inside a
// station, one folder per element kind; line folders between areas, zones and
// stations. Also the search of the report dialog's search bar.
#include "db/sqlstmt.h"

class CDBUtility;
namespace dbq {
class Query;
}

#include <QTreeWidget>
#include <deque>
#include <map>
#include <string>

class CommTreeView : public QTreeWidget {
    Q_OBJECT
  public:
    // Kind codes; an element folder is even and its elements the next odd code.
    enum KindCode {
        kRoot = 1,
        kAreaACLines = 3,
        kAreaDCLines = 4,
        kArea = 5,
        kZone = 6,
        kZoneACLines = 7,
        kZoneDCLines = 8,
        kStationACLines = 9,
        kStationDCLines = 10,
        kStation = 11,
        kACLine = 12,
        kDCLine = 13,
        kBusFolder = 32,
        kBus = 33,
        kInnerACFolder = 34,
        kInnerDCFolder = 35,
        kInnerACLine = 36,
        kInnerDCLine = 37,
    };

    struct Kind {
        int parent = 0;
        std::string table; // with the model-table suffix; empty for folders
        std::string label; // GB18030
        std::string nodeCol;
        std::string nameCol;
        std::string idCol;
    };

    // One search hit; station, zone and area are empty where the element lies between them.
    struct Match {
        std::string label;
        std::string name;
        std::string station;
        std::string zone;
        std::string area;
    };

    // Reads the network model of `db`, which must outlive the tree.
    explicit CommTreeView(const CDBUtility& db, QWidget* parent = nullptr, const char* name = nullptr,
                          Qt::WindowFlags f = {});
    ~CommTreeView() override;

    // Queues the elements of the kind labelled `kindLabel8` whose name contains `text8`
    // and shows the first; returns how many are still queued.
    int search(const std::string& kindLabel8, const std::string& text8);
    // Shows the next queued match; returns how many are still queued.
    int searchNext();

    // Deletes every item and lists the areas and the inter-area line folders again.
    void reloadRoot();
    // Expands `item` by its kind, as a double click does.
    void expandItem(QTreeWidgetItem* item);

    QTreeWidgetItem* rootItem() const { return m_root; }
    static int kindOf(const QTreeWidgetItem* item);
    static std::string nameOf(const QTreeWidgetItem* item);
    // The area, zone or station item of that name, if it is in the tree.
    QTreeWidgetItem* findItem(int kind, const std::string& name8) const;
    // A folder child of `parent` with the label of `folderKind`.
    QTreeWidgetItem* findFolder(QTreeWidgetItem* parent, int folderKind) const;
    size_t queuedMatches() const { return m_matches.size(); }
    // Matches of the last search, and which of them is shown (1-based; 0 before any).
    int matchTotal() const { return m_matchTotal; }
    int matchShown() const { return m_matchTotal - int(m_matches.size()); }

    static const std::map<int, Kind>& kindRegistry();
    static const std::map<std::string, int>& kindCodes();

  public slots:
    void onDoubleClicked(QTreeWidgetItem* item);
    void onSelectChanged(QTreeWidgetItem* item);

  protected:
    // Registers a kind; its table gets the database's model-table suffix.
    void registerKind(int code, const Kind& k);
    static void registerLabel(const std::string& label8, int code);
    // Deletes every item and creates the bare root item.
    void createRootItem();
    // Makes a freshly created row or root item what this tree shows (check items).
    virtual void decorate(QTreeWidgetItem* item) { (void)item; }
    // Return opens or closes the current level; it never reaches the dialog's default button.
    void keyPressEvent(QKeyEvent* event) override;

    std::string m_busCond; // only the physical-bus statement

  private:
    // The model-table suffix of the database.
    const std::string& sfx() const;
    QTreeWidgetItem* newItem(QTreeWidgetItem* parent, int kind, const std::string& name8, int insertAt = -1);
    void forget(QTreeWidgetItem* item);
    void markLoaded(QTreeWidgetItem* item);
    void showRootOnly();
    QTreeWidgetItem* childNamed(QTreeWidgetItem* parent, int kind, const std::string& name8) const;
    // Opens an area, zone or station, reading it only if it was never read.
    void openLevel(QTreeWidgetItem* item);
    void removeChildren(QTreeWidgetItem* item);
    void removeItem(QTreeWidgetItem* item);

    // Runs `s` and puts its rows (name in column `nameCol`) into a new folder of
    // `folderKind` under `parent`; no rows, no folder.
    QTreeWidgetItem* fillFolder(QTreeWidgetItem* parent, int folderKind, int elemKind, const SqlStmt& s,
                                int nameCol, int insertAt = -1);
    // Deletes `folder` and builds it again in its place from `s`.
    QTreeWidgetItem* refillFolder(QTreeWidgetItem* folder, int elemKind, const SqlStmt& s, int nameCol);
    void fillRows(QTreeWidgetItem* parent, int kind, const SqlStmt& s);

    void expandArea(QTreeWidgetItem* item);
    void expandZone(QTreeWidgetItem* item);
    void expandStation(QTreeWidgetItem* item);

    SqlStmt betweenAreas(int lineKind) const;
    SqlStmt betweenZones(int lineKind, const std::string& area8) const;
    SqlStmt betweenStations(int lineKind, const std::string& zone8) const;
    SqlStmt insideStation(int lineKind, const std::string& station8) const;
    SqlStmt busesOfStation(int busKind, const std::string& station8) const;
    SqlStmt elementsOfStation(int elemKind, const std::string& station8) const;
    QTreeWidgetItem* stationFolder(QTreeWidgetItem* station, int folderKind);

    // The columns of a search's rows: name, then station, zone and area as far as the kind has them.
    enum RowShape { AreaRow, ZoneRow, StationRow, LineRow, ElementRow };
    SqlStmt searchStatement(int kindCode, const std::string& text8, RowShape* shape) const;
    static Match matchOf(dbq::Query& q, RowShape shape);
    // Puts the matches in the tree's order.
    void sortMatches();

    void selectIn(QTreeWidgetItem* parent, int folderKind, const std::string& name8);
    void selectItem(QTreeWidgetItem* item);

    const CDBUtility& m_db;
    QTreeWidgetItem* m_root = nullptr;
    std::map<int, std::map<std::string, QTreeWidgetItem*>> m_byName;
    std::deque<Match> m_matches;
    int m_matchTotal = 0;
};

// The tree with the root "全部", rebuilt when the tree is cleared. Its items carry no check
// boxes: a tick would choose nothing.
class CheckTreeView : public CommTreeView {
    Q_OBJECT
  public:
    explicit CheckTreeView(const CDBUtility& db, QWidget* parent = nullptr, const char* name = nullptr,
                           Qt::WindowFlags f = {});
};

// The tree the report dialog searches; set while the dialog is built.
extern CommTreeView* g_pCommTree;
