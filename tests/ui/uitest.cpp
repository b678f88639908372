#include "uitest.h"

#include "casegen/casegen.h"
#include "db/textcodec.h"
#include "ui/screpdialog.h"

#include <QAbstractButton>
#include <QSettings>
#include <QSqlDatabase>

namespace uitest {

void addNetwork(const testdb::CaseDb& db, const std::string& sf) {
    db.exec("INSERT INTO CDB_AREAS" + sf + " (ID,Area_No,Area_Name) VALUES (1,1,'华东'),(2,2,'华北')");
    db.exec("INSERT INTO CDB_ZONE" + sf +
            " (ID,Zone_No,Zone_Name,Area_No) VALUES (1,1,'Z1',1),(2,2,'Z2',1),(3,3,'Z3',2)");
    db.exec("INSERT INTO CDB_PSTATION" + sf +
            " (ID,PS_Name,Zone_No) VALUES (1,'S1',1),(2,'S2',1),(3,'S3',2),(4,'ABC',3)");
    db.exec(
        "INSERT INTO CDB_NODE" + sf +
        " (ID,Node_Name,PS_Name,isPhyBus) VALUES "
        "(1,'B1','S1',1),(2,'B2','S1',1),(3,'B1x','S1',0),(4,'B3','S2',1),(5,'B4','S3',1),(6,'B5','ABC',1)");
    db.exec("INSERT INTO CDB_ACLINE" + sf +
            " (ID,ID_Name,I_Name,J_Name) VALUES "
            "(1,'L12','B1','B2'),(2,'L13','B1','B3'),(3,'L14','B1','B4'),(4,'L15','B1','B5')");
    db.exec("INSERT INTO CDB_DCLINE" + sf + " (ID,ID_Name,I_Name,J_Name) VALUES (1,'D25','B2','B5')");
    // Two records of one generator (two data groups): listed once.
    db.exec("INSERT INTO CDB_GENERAT" + sf +
            " (ID,ID_Name,Node_Name,GrpName) VALUES "
            "(1,'G1','B1','g1'),(2,'G1','B1','g2'),(3,'G2','B2','g1')");
    db.exec("INSERT INTO CDB_LOAD" + sf + " (ID,ID_Name,Node_Name) VALUES (1,'D3','B3')");
}

void addCases(const testdb::CaseDb& db) {
    // 101: every kind; sc2: no summary (Function 0); 3: single-phase, a fault at 30 % of
    // L13; 4: a fault at 50 % of L14; x: not calculated; abc: not a number.
    db.exec(
        "INSERT INTO SC_CASE (Case_No,Case_Name,SCHEME,calculate,Note,`Function`,Simple_F,Type_Fault) VALUES "
        "(1,'101','S',1,'first note',1,1,1),(2,'sc2','S',1,'second',0,1,1),(3,'3','S',1,'',1,1,2),"
        "(4,'4','S',1,'',1,1,1),(5,'x','S',0,'',1,1,1),(6,'abc','S',1,'',1,1,1)");
    db.exec(
        "INSERT INTO SCR_R120 (Case_No,flg,ID_Name,I_Name,J_Name,Percent) VALUES "
        "(1,1,'B1','B1','B1',0),(1,1,'B2','B2','B2',0),(1,1,'B3','B3','B3',0),(1,1,'B4','B4','B4',0),"
        "(1,2,'G1','B1','B1',0),(3,1,'B1','B1','B1',0),(3,1,'L13','B1','B3',30),(4,1,'L14','B1','B4',50)");
}

QAbstractButton* button(QWidget* root, const char* utf8) {
    for (QAbstractButton* b : root->findChildren<QAbstractButton*>())
        if (b->text() == QString::fromUtf8(utf8)) return b;
    ADD_FAILURE() << "no button " << utf8;
    return nullptr;
}

QStringList rows(const QListWidget* l) {
    QStringList out;
    for (int i = 0; i < l->count(); ++i)
        out << l->item(i)->text();
    return out;
}

void UiTest::SetUp() {
    QSettings().clear();
    db = std::make_unique<testdb::CaseDb>(GetParam());
    cdb.setDBType(DB_SC);
    ui::setModalDriver([this](QDialog& dlg) {
        if (pending.empty()) {
            ADD_FAILURE() << "unexpected dialog " << dlg.metaObject()->className() << " "
                          << dlg.windowTitle().toStdString();
            return int(QDialog::Rejected);
        }
        auto h = pending.front();
        pending.erase(pending.begin());
        return h(dlg);
    });
}

void UiTest::TearDown() {
    EXPECT_TRUE(pending.empty()) << pending.size() << " expected dialog(s) never opened";
    ui::setModalDriver(nullptr);
    SCRepDialog::setOutputRunner(nullptr);
    SCRepDialog::setProgressDelay(500);
    cdb.closedb();
    db.reset();
}

void UiTest::open() {
    ASSERT_NE(cdb.opendb(db->arg().c_str()), nullptr);
}

void CaseTest::SetUp() {
    UiTest::SetUp();
    addCases(*db);
    open();
    cdb.setCaseName("101");
}

void UiTest::makeDemo() {
    std::string err;
    ASSERT_TRUE(casegen::makeDemo(db->arg(), &err)) << err;
    setenv("SCREPORT_TEXT_VIEWER", "true", 1);
    setenv("SCREPORT_SHEET_VIEWER", "true", 1);
}

std::vector<std::string> UiTest::column(const std::string& sqlUtf8) {
    std::vector<std::string> out;
    for (const QString& r : testdb::rows(QSqlDatabase::database(QString::fromStdString(db->arg()), false),
                                         QString::fromUtf8(sqlUtf8.c_str())))
        out.push_back(r.toStdString());
    return out;
}

bool UiTest::logged(bool error, const std::string& line8) const {
    const auto& v = error ? log.errors : log.debug;
    return std::find(v.begin(), v.end(), line8) != v.end();
}

} // namespace uitest

// Widgets need an application object before any test runs.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Remembered window sizes go to a folder of the test's own, never the user's.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
