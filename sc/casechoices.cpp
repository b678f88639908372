#include "casechoices.h"

#include "db/cdbutility.h"
#include "db/dbquery.h"
#include "db/log.h"
#include "db/textcodec.h"
#include "sc/reportkinds.h"

#include <QSqlDatabase>
#include <QSqlRecord>
#include <algorithm>
#include <utility>

namespace casechoices {
namespace {

namespace dp = dataproblems;

void note(dp::List* problems, dp::Problem p) {
    if (problems)
        problems->add(std::move(p));
    else
        dp::report(std::move(p));
}

std::string caseKey(const std::string& caseNo) {
    return textcodec::gb("作业 ") + caseNo;
}

// The stored values of the columns that make a row's meaning, as text: a later row of
// the same key is compared with the first on them alone (an added ID column differs always).
struct RowValues {
    std::vector<std::string> names, values;
    RowValues(dbq::Query& q, const std::vector<std::string>& columns) {
        for (const std::string& c : columns) {
            const int i = q.indexOf(c.c_str());
            if (i < 0) continue;
            names.push_back(q.rows()->columnName(i));
            values.push_back(q.isNull(i) ? std::string("NULL") : dp::storedText(q.value(i)));
        }
    }
};

// A later row of a key whose first row counts: the same values are one entry, other
// values one entry per column that differs, showing the first row's value first.
void noteLaterRow(dp::List* problems, const std::string& table, const char* keyColumns,
                  const std::string& key, const RowValues& first, const RowValues& later) {
    bool same = true;
    for (size_t i = 0; i < first.values.size() && i < later.values.size(); ++i) {
        if (first.values[i] == later.values[i]) continue;
        same = false;
        note(problems, {dp::Kind::Conflict, table, first.names[i], key,
                        first.values[i] + " / " + later.values[i], dp::Action::FirstRowUsed});
    }
    if (same)
        note(problems, {dp::Kind::Duplicate, table, keyColumns, key, std::string(), dp::Action::UsedOnce});
}

// Columns of the options row that are not a report kind's check state.
bool isFixedColumn(const QString& name) {
    static const char* fixed[] = {"CASE_NO", "Unit",      "On_area", "On_Zone",
                                  "On_Sub",  "OverLimit", "Lreport", "Lfile"};
    for (const char* f : fixed)
        if (name.compare(QLatin1String(f), Qt::CaseInsensitive) == 0) return true;
    return false;
}

// An INSERT built column by column; values are numbers or bound texts.
class RowInsert {
  public:
    void set(const std::string& column, const std::string& numText) { m_cols.emplace_back(column, numText); }
    void set(const std::string& column, long long n) { set(column, std::to_string(n)); }
    void set(const std::string& column, bool b) { set(column, std::string(b ? "1" : "0")); }
    SqlStmt statement(const std::string& table) const {
        SqlStmt s;
        s << "INSERT INTO " << table << " (";
        for (size_t i = 0; i < m_cols.size(); ++i)
            s << (i ? "," : "") << m_cols[i].first;
        s << ") VALUES (";
        for (size_t i = 0; i < m_cols.size(); ++i) {
            if (i) s << ",";
            s.number(m_cols[i].second);
        }
        s << ")";
        return s;
    }
    bool columnsArePlain() const {
        return std::all_of(m_cols.begin(), m_cols.end(),
                           [](const auto& c) { return isPlainIdentifier(c.first); });
    }

  private:
    std::vector<std::pair<std::string, std::string>> m_cols;
};

bool runOrLog(const SqlStmt& s) {
    dbq::Query q;
    if (q.exec(s)) return true;
    screport::logError(s.text());
    return false;
}

} // namespace

void ObjectChoices::seedObjectVars() {
    for (const reportkinds::Kind& k : reportkinds::kinds()) {
        if (k.labels.empty() || k.presets.empty()) continue;
        std::vector<int>& v = m_objVars[k.key];
        for (int n : k.presets.front())
            v.push_back(n - 1);
    }
}

bool OutputOptions::column(const std::string& name) const {
    const QString want = QString::fromStdString(name);
    for (const auto& [col, on] : columns)
        if (QString::fromStdString(col).compare(want, Qt::CaseInsensitive) == 0) return on;
    return false;
}

bool loadOutputOptions(const std::string& table, int caseNo, OutputOptions& out, dp::List* problems) {
    const std::string filter = "CASE_NO=" + std::to_string(caseNo);
    screport::logDebug("strcmd is " + filter);
    SqlStmt s;
    s << "select * from " << table << " where " << filter;
    dbq::Query q;
    if (!isPlainIdentifier(table) || !q.exec(s)) {
        screport::logError(s.text());
        return false;
    }
    // Nothing stored yet is the usual state of a new case, no error.
    if (!q.next()) {
        screport::logDebugU("作业没有保存的输出选项:", std::to_string(caseNo));
        return false;
    }
    auto flag = [&](const char* col) { return dbq::toBool(q.value(col)); };
    const std::string key = caseKey(std::to_string(caseNo));
    // The dialog writes 1 for per unit and 0 for named units; anything else says neither,
    // and per unit at least shows the stored values as they are.
    const dp::Checked unit = dp::readNumber(q.value("Unit"), dp::Domain::Integer);
    out.unit = !unit.ok || unit.value != 0;
    if (!unit.ok || (unit.value != 0 && unit.value != 1))
        note(problems, {unit.ok ? dp::Kind::OutOfDomain : unit.kind, table, "Unit", key,
                        dp::storedText(q.value("Unit")), dp::Action::PerUnitUsed});
    out.onArea = flag("On_area");
    out.onZone = flag("On_Zone");
    out.onSub = flag("On_Sub");
    screport::logDebug("check over limit");
    out.hasOverLimit = q.indexOf("OverLimit") >= 0;
    if (out.hasOverLimit) {
        screport::logDebug("has overlimit field");
        out.overLimit = flag("OverLimit");
    } else {
        screport::logDebug("no overlimit field ");
    }
    out.lreport = flag("Lreport");
    out.lfile = flag("Lfile");
    out.columns.clear();
    for (int i = 0; i < q.rows()->columns(); ++i) {
        const std::string name = q.rows()->columnName(i);
        if (!isFixedColumn(QString::fromStdString(name))) out.columns[name] = dbq::toBool(q.value(i));
    }
    std::vector<std::string> used = {"Unit", "On_area", "On_Zone", "On_Sub", "Lreport", "Lfile"};
    for (const reportkinds::Kind& k : reportkinds::kinds())
        used.push_back(k.column);
    const RowValues first(q, used);
    while (q.next())
        noteLaterRow(problems, table, "CASE_NO", key, first, RowValues(q, used));
    return true;
}

std::set<std::string> checkedObjects(const OutputOptions& opts) {
    std::set<std::string> on;
    for (const reportkinds::Kind& k : reportkinds::kinds())
        if (opts.column(k.column)) on.insert(k.key);
    return on;
}

std::string objectVarTable(const CDBUtility& db) {
    return db.getTablePrefix() + "CONT";
}

std::string itemRowKey(const std::string& caseNo, const std::string& kindKey) {
    const int k = reportkinds::indexOf(kindKey);
    return caseKey(caseNo) + textcodec::gb("，") +
           (k < 0 ? kindKey : textcodec::gb(reportkinds::kinds()[size_t(k)].step.c_str()));
}

void loadObjectVars(const std::string& table, const std::string& caseNo, ObjectChoices& c,
                    dp::List* problems) {
    screport::logDebug("tab is " + table);
    const std::string filter = "CASE_NO=" + caseNo;
    screport::logDebug(filter);
    SqlStmt s;
    s << "select * from " << table << " where CASE_NO=";
    s.number(caseNo);
    dbq::Query q;
    if (!isPlainIdentifier(table) || !q.exec(s)) return;
    const auto& kinds = reportkinds::kinds();
    std::vector<std::string> rowColumns = {"TableNo"};
    for (int i = 1; i <= kMaxObjectVars; ++i)
        rowColumns.push_back("VAR" + std::to_string(i));
    std::map<int, RowValues> firstRows;
    while (q.next()) {
        const int k = dbq::toInt(q.value("OBJNo"));
        if (k < 0 || k >= int(kinds.size())) continue; // rows of another module (OBJNo 7)
        const std::string& object = kinds[size_t(k)].key;
        const std::string key = itemRowKey(caseNo, object);
        RowValues row(q, rowColumns);
        if (firstRows.count(k)) {
            noteLaterRow(problems, table, "OBJNo", key, firstRows.at(k), row);
            continue;
        }
        firstRows.emplace(k, std::move(row));
        c.m_objTableNo[object] = dbq::toInt(q.value("TableNo"));
        auto vars = c.m_objVars.find(object);
        if (vars == c.m_objVars.end()) continue;
        screport::logDebug(" objidx is " + std::to_string(k) + ", name " + object);
        vars->second.clear();
        const size_t items = kinds[size_t(k)].labels.size();
        for (int i = 1; i <= kMaxObjectVars; ++i) {
            const std::string column = "VAR" + std::to_string(i);
            const QVariant v = q.value(column.c_str());
            if (v.isNull()) break;
            const dp::Checked n = dp::readNumber(v, dp::Domain::Integer);
            if (n.ok && n.value == -1) break;
            // Item 0 or some other column in its place would be a report the user never chose.
            if (!n.ok || n.value < 0 || n.value >= double(items)) {
                note(problems, {n.ok ? dp::Kind::OutOfDomain : n.kind, table, column, key, dp::storedText(v),
                                dp::Action::ItemLeftOut});
                continue;
            }
            vars->second.push_back(int(n.value));
        }
    }
}

void saveObjectVars(const CDBUtility& db, const std::string& table, const std::string& object,
                    const ObjectChoices& c) {
    auto vars = c.m_objVars.find(object);
    if (vars == c.m_objVars.end()) return;
    auto tab = c.m_objTableNo.find(object);
    RowInsert row;
    row.set("Case_NO", db.getCaseNo());
    row.set("OBJNO", (long long)std::max(0, reportkinds::indexOf(object)));
    row.set("TableNO", (long long)(tab == c.m_objTableNo.end() ? 0 : tab->second));
    const std::vector<int>& v = vars->second;
    for (int i = 0; i < kMaxObjectVars; ++i) {
        if (i < int(v.size()))
            row.set("VAR" + std::to_string(i + 1), (long long)v[i]);
        else if (i > 0 || !v.empty()) // an empty list leaves VAR1 to its default
            row.set("VAR" + std::to_string(i + 1), -1LL);
    }
    if (isPlainIdentifier(table)) runOrLog(row.statement(table));
}

// Every save of stored choices in one database takes its turn: two programs on one
// case never interleave their deletes and inserts.
static std::string choicesLock(const CDBUtility& db) {
    return "choices:" + db.database()->databaseName().toStdString();
}

bool saveOutputOptions(const CDBUtility& db, const std::string& table, const OutputOptions& opts,
                       const ObjectChoices& c) {
    const std::string caseTab = db.getCaseTab();
    const std::string caseName = textcodec::toLocal8(db.getCaseName());
    if (!isPlainIdentifier(table)) return false;
    if (!db.database() || !db.database()->isOpen()) return false;
    // The old rows go and the new ones come in one transaction: another program reading
    // the case, or a server that stops half way, never sees the case without options.
    return dbq::exclusiveTransaction(choicesLock(db), [&] {
        if (!runOrLog(db.dialect().deleteByCaseName(table, caseTab, caseName, ""))) return false;

        RowInsert row;
        row.set("CASE_NO", db.getCaseNo());
        row.set("Unit", opts.unit);
        row.set("On_area", opts.onArea);
        row.set("On_Zone", opts.onZone);
        row.set("On_Sub", opts.onSub);
        screport::logDebug("check overlimit!");
        if (dbq::hasColumn(table, "OverLimit")) {
            screport::logDebug("has overlimit field");
            row.set("OverLimit", opts.overLimit);
        } else {
            screport::logDebug("no overlimit field ");
        }
        screport::logDebug("after check overlimit");

        const std::string varTable = objectVarTable(db);
        if (isPlainIdentifier(varTable)) {
            // Rows of object 7 belong to another module of the short-circuit program.
            runOrLog(db.dialect().deleteByCaseName(varTable, caseTab, caseName, " and OBJNo!=7", true));
        }

        for (const reportkinds::Kind& k : reportkinds::kinds()) {
            const bool on = c.m_selObjects.count(k.key) > 0;
            row.set(k.column, on);
            if (on) saveObjectVars(db, varTable, k.key, c);
        }
        screport::logDebug("heer");
        row.set("Lreport", opts.lreport);
        row.set("Lfile", opts.lfile);
        if (!row.columnsArePlain() || !runOrLog(row.statement(table))) return false;
        screport::logDebug("leave!");
        return true;
    });
}

std::string faultKey(const std::string& idName, const std::string& iName, const std::string& jName,
                     const std::string& percent) {
    return iName == jName ? iName : idName + "_" + percent;
}

SCPosList allFaultPoints(const std::string& caseNo) {
    SCPosList out;
    SqlStmt s("select ID_Name,I_Name,J_Name,Percent from SCR_R120 where flg =1 and Case_No=");
    s.number(caseNo);
    s << " order by T";
    dbq::Query q;
    if (!q.exec(s)) return out;
    while (q.next()) {
        SCPos p;
        p.iName = q.text8(1);
        p.jName = q.text8(2);
        p.percent = dbq::toInt(q.value(3));
        p.name = casechoices::faultKey(q.text8(0), p.iName, p.jName, q.text8(3));
        out.push_back(p);
    }
    return out;
}

void loadFaultList(const CDBUtility& db, SCPosList& out) {
    out.clear();
    const std::string& caseNo = db.getCaseNo();
    SqlStmt s;
    s << "SELECT Bus_Name from SCR_FAULTBUS where CASE_NO=";
    s.number(caseNo);
    s << " order by Bus_Name";
    dbq::Query q;
    if (!q.exec(s)) {
        screport::logError(s.text());
        return;
    }
    while (q.next()) {
        SCPos p;
        p.name = q.text8(0);
        out.push_back(std::move(p));
    }
    // Names are ordered by their GB18030 bytes, whatever the server's collation.
    std::stable_sort(out.begin(), out.end(), [](const SCPos& a, const SCPos& b) { return a.name < b.name; });

    std::map<std::string, size_t> byName;
    for (size_t i = 0; i < out.size(); ++i)
        byName.emplace(out[i].name, i);
    SqlStmt f;
    f << "select ID_Name,I_Name,J_Name,Percent from SCR_R120 where flg =1 and Case_No=";
    f.number(caseNo);
    dbq::Query r;
    if (!r.exec(f)) return;
    while (r.next()) {
        const std::string iName = r.text8(1);
        const std::string jName = r.text8(2);
        const std::string key = faultKey(r.text8(0), iName, jName, r.text8(3));
        auto it = byName.find(key);
        if (it == byName.end()) continue;
        for (size_t i = it->second; i < out.size() && out[i].name == key; ++i) {
            out[i].iName = iName;
            out[i].jName = jName;
            out[i].percent = dbq::toInt(r.value(3));
        }
    }
}

bool saveFaultList(const CDBUtility& db, const SCPosList& list) {
    const std::string& caseNo = db.getCaseNo();
    SqlStmt del;
    del << "delete from SCR_FAULTBUS where CASE_NO=";
    del.number(caseNo);
    screport::logDebug(del.text());
    if (!db.database() || !db.database()->isOpen()) return false;
    // When a statement fails the previous list stays.
    return dbq::exclusiveTransaction(choicesLock(db), [&] {
        if (!runOrLog(del)) return false;
        for (const SCPos& p : list) {
            SqlStmt ins;
            ins << "insert into SCR_FAULTBUS (Case_No,Bus_Name) values (";
            ins.number(caseNo);
            ins << ",";
            ins.str(p.name);
            ins << ")";
            if (!runOrLog(ins)) return false;
        }
        return true;
    });
}

} // namespace casechoices
