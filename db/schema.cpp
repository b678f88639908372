#include "schema.h"

#include "sqlstmt.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace schema {
namespace {

using C = ColType;

std::vector<Column> elementColumns() {
    return {{"ID", C::Int},         {"ID_Name", C::Name},   {"I_Name", C::Name}, {"J_Name", C::Name},
            {"K_Name", C::Name},    {"Node_Name", C::Name}, {"Name_1", C::Name}, {"Name_2", C::Name},
            {"Name_3", C::Name},    {"GrpName", C::Name},   {"R1", C::Real},     {"X1", C::Real},
            {"B1_half", C::Real},   {"R0", C::Real},        {"X0", C::Real},     {"B0_half", C::Real},
            {"R2", C::Real},        {"X2", C::Real},        {"R3", C::Real},     {"X3", C::Real},
            {"Tk", C::Real},        {"Tk2", C::Real},       {"Tk3", C::Real},    {"Conn", C::Name},
            {"Rated_MVA", C::Real}, {"Rated_kV", C::Real},  {"P", C::Real},      {"Q", C::Real},
            {"V_set", C::Real},     {"Xd2", C::Real},       {"Status", C::Int}};
}

// The case tables and the schemes of grouping.
void addCaseTables(std::vector<Table>& t) {
    const std::vector<Column> caseHead = {
        {"Case_No", C::Int},   {"Case_Name", C::Name}, {"SCHEME", C::Name},
        {"calculate", C::Int}, {"Note", C::Text},      {"CAL_DATE", C::Name},
        {"CAL_TIME", C::Name}, {"Date", C::Name},      {"Time", C::Name}};
    auto caseTable = [&](const char* name, std::vector<Column> extra) {
        Table tab{name, caseHead, {"Case_No"}};
        tab.columns.insert(tab.columns.end(), extra.begin(), extra.end());
        t.push_back(tab);
    };
    caseTable("SC_CASE", {{"Function", C::Int},
                          {"Simple_F", C::Int},
                          {"Type_Fault", C::Int},
                          {"CASE_LF", C::Int},
                          {"R_Fault", C::Real},
                          {"X_Fault", C::Real}});
    caseTable("LF_CASE", {{"Vmin", C::Real}, {"Vmax", C::Real}});

    t.push_back({"SCHEMEINF", {{"ID", C::Int}, {"SchName", C::Name}}, {}});
    t.push_back({"SCHEMECONT", {{"IDSch", C::Int}, {"GrpName", C::Name}, {"Nlever", C::Int}}, {}});
    t.push_back({"RPTWORK_SC_SCHEME_TMP", {{"ID", C::Int}}, {}});
}

// The network model, each table with its BAK copy.
void addNetworkTables(std::vector<Table>& t) {
    // Network model; each gets a BAK copy below.
    std::vector<Table> net;
    net.push_back({"CDB_SB", {{"base_MVA", C::Real}}, {}});
    net.push_back({"CDB_AREAS", {{"ID", C::Int}, {"Area_No", C::Int}, {"Area_Name", C::Name}}, {"Area_No"}});
    net.push_back({"CDB_ZONE",
                   {{"ID", C::Int}, {"Zone_No", C::Int}, {"Zone_Name", C::Name}, {"Area_No", C::Int}},
                   {"Zone_No"}});
    net.push_back({"CDB_PSTATION", {{"ID", C::Int}, {"PS_Name", C::Name}, {"Zone_No", C::Int}}, {"PS_Name"}});
    net.push_back({"CDB_NODE",
                   {{"ID", C::Int},
                    {"Node_Name", C::Name},
                    {"PS_Name", C::Name},
                    {"isPhyBus", C::Int},
                    {"Base_kV", C::Real},
                    {"GrpName", C::Name}},
                   {"Node_Name"}});
    for (const char* e :
         {"CDB_ACLINE", "CDB_DCLINE", "CDB_TRANS_2W", "CDB_TRANS_3W", "CDB_GENERAT", "CDB_LOAD",
          "CDB_SCAPREA", "CDB_PCAPREA", "CDB_SHIFT", "CDB_BREAKER", "CDB_ISOSWITCH"})
        net.push_back({e, elementColumns(), {}});
    for (const Table& n : net) {
        t.push_back(n);
        Table bak = n;
        bak.name += "BAK";
        t.push_back(bak);
    }
}

// What the calculation stores: fault results, voltages, branches, buses.
void addResultTables(std::vector<Table>& t) {
    t.push_back({"SCR_R120",
                 {{"Case_No", C::Int},
                  {"flg", C::Int},
                  {"I_Name", C::Name},
                  {"J_Name", C::Name},
                  {"ID_Name", C::Name},
                  {"Percent", C::Int},
                  {"T", C::Int},
                  {"IR1", C::Real},
                  {"II1", C::Real},
                  {"IR2", C::Real},
                  {"II2", C::Real},
                  {"IR0", C::Real},
                  {"II0", C::Real}},
                 {"Case_No", "flg"}}); // the few fault rows among the many branch rows
    t.push_back({"SCR_B120",
                 {{"Case_No", C::Int},
                  {"bus_Name", C::Name},
                  {"T", C::Int},
                  {"VR1", C::Real},
                  {"VI1", C::Real},
                  {"VR2", C::Real},
                  {"VI2", C::Real},
                  {"VR0", C::Real},
                  {"VI0", C::Real}},
                 // A run reads the voltages of the faults it reports from the index alone:
                 // a server visits no row, whatever order the rows were stored in.
                 {"Case_No", "T", "bus_Name", "VR1", "VI1", "VR2", "VI2", "VR0", "VI0"}});
    t.push_back({"SCR_LPC",
                 {{"Case_No", C::Int}, {"Bus_Name", C::Name}, {"Vrz", C::Real}, {"Viz", C::Real}},
                 {"Case_No"}});
    t.push_back({"SCR_LINE1",
                 {{"CASE_NO", C::Int},
                  {"I_Name", C::Name},
                  {"J_Name", C::Name},
                  {"ID_No", C::Int},
                  {"R1", C::Real},
                  {"X1", C::Real},
                  {"B1_half", C::Real},
                  {"Tk", C::Real},
                  {"Type", C::Int}},
                 {"CASE_NO"}});
    t.push_back({"SCR_LINE0",
                 {{"CASE_NO", C::Int},
                  {"I_Name", C::Name},
                  {"J_Name", C::Name},
                  {"ID_No", C::Int},
                  {"R0", C::Real},
                  {"X0", C::Real}},
                 {"CASE_NO"}});
    t.push_back({"SCR_BUS",
                 {{"CASE_NO", C::Int},
                  {"BUS_Name", C::Name},
                  {"SC1_MVA", C::Real},
                  {"SC3_MVA", C::Real},
                  {"Base_kV", C::Real}},
                 {"CASE_NO"}});
    t.push_back({"LFR_BS_R",
                 {{"CASE_NO", C::Int}, {"Bus_Name", C::Name}, {"V", C::Real}, {"Angle", C::Real}},
                 {"CASE_NO"}});
    t.push_back({"SCR_FAULTBUS", {{"Case_No", C::Int}, {"Bus_Name", C::Name}}, {"Case_No"}});
}

// The choices the program stores per case.
void addChoiceTables(std::vector<Table>& t) {
    t.push_back({"SCR_OUT",
                 {{"CASE_NO", C::Int},
                  {"Unit", C::Int},
                  {"On_area", C::Int},
                  {"On_Zone", C::Int},
                  {"On_Sub", C::Int},
                  {"OverLimit", C::Int},
                  {"Lreport", C::Int},
                  {"Lfile", C::Int}}, // then one column per report kind, named by the kinds
                 {"CASE_NO"}});
    Table cont{"SCR_CONT", {{"Case_NO", C::Int}, {"OBJNO", C::Int}, {"TableNO", C::Int}}, {"Case_NO"}};
    static const char* varNames[] = {"VAR1",  "VAR2",  "VAR3",  "VAR4",  "VAR5",  "VAR6",  "VAR7",
                                     "VAR8",  "VAR9",  "VAR10", "VAR11", "VAR12", "VAR13", "VAR14",
                                     "VAR15", "VAR16", "VAR17", "VAR18", "VAR19", "VAR20"};
    for (const char* v : varNames)
        cont.columns.push_back({v, C::Int, "-1"});
    t.push_back(cont);
}

std::vector<Table> buildTables() {
    std::vector<Table> t;
    addCaseTables(t);
    addNetworkTables(t);
    addResultTables(t);
    addChoiceTables(t);
    return t;
}

std::string typeOf(const SqlDialect& d, ColType c) {
    switch (c) {
    case C::Int:
        return d.intType();
    case C::Real:
        return d.realType();
    case C::Name:
        return d.nameType();
    case C::Text:
        return d.textType();
    }
    return d.textType();
}

} // namespace

const std::vector<Table>& tables() {
    static const std::vector<Table> t = buildTables();
    return t;
}

std::vector<std::string> ddl(const SqlDialect& d, const std::vector<Table>& tables) {
    std::vector<std::string> out;
    for (const Table& t : tables) {
        std::string s = "CREATE TABLE " + t.name + " (";
        for (size_t i = 0; i < t.columns.size(); ++i) {
            const Column& c = t.columns[i];
            // Quoted: some column names (Function, Date, Time, Type) are keywords.
            s += (i ? ", " : "") + d.quoteIdentifier(c.name) + " " + typeOf(d, c.type);
            if (c.defaultValue) s += std::string(" DEFAULT ") + c.defaultValue;
        }
        s += ")" + d.tableOptions();
        out.push_back(s);
        if (!t.indexColumns.empty()) {
            std::string cols;
            for (const std::string& c : t.indexColumns)
                cols += (cols.empty() ? "" : ",") + c;
            out.push_back("CREATE INDEX IX_" + t.name + " ON " + t.name + " (" + cols + ")");
        }
    }
    return out;
}

bool createTables(QSqlDatabase& db, const SqlDialect& d, const std::vector<Table>& tables, QString* err) {
    QSqlQuery q(db);
    db.transaction(); // one commit instead of one per table on SQLite
    for (const std::string& s : ddl(d, tables)) {
        if (!q.exec(QString::fromStdString(s))) {
            if (err) *err = QString::fromStdString(s) + ": " + q.lastError().text();
            db.rollback();
            return false;
        }
    }
    return db.commit();
}

bool createCaseDatabase(const std::string& dbArg, const std::vector<Table>& tables, QString* err) {
    SqlDialect d(SqlDialect::backendFor(dbArg));
    const QString name = QString::fromUtf8(dbArg.c_str());
    const QString conn = "screport-create-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(d.driverName(), conn);
        d.configure(db);
        if (d.isFileDatabase()) {
            if (QFileInfo::exists(name)) {
                if (err) *err = name + " already exists";
            } else {
                db.setDatabaseName(name);
                ok = db.open();
                if (!ok && err) *err = db.lastError().text();
            }
        } else if (!isPlainIdentifier(dbArg)) {
            if (err) *err = "database names are letters, digits and _: " + name;
        } else if (db.open()) { // server without a default database
            QSqlQuery q(db);
            ok = q.exec("CREATE DATABASE " + name + " CHARACTER SET utf8mb4 COLLATE utf8mb4_bin") &&
                 q.exec("USE " + name);
            if (!ok && err) *err = q.lastError().text();
        } else if (err) {
            *err = db.lastError().text();
        }
        if (ok) {
            d.afterOpen(db);
            ok = createTables(db, d, tables, err);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(conn);
    return ok;
}

} // namespace schema
