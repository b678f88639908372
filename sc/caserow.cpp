#include "caserow.h"

#include "db/dbquery.h"
#include "db/sqlstmt.h"

#include <QSqlQuery>
#include <QSqlRecord>

CaseRow readCaseRow(const DbConnection& db, const std::string& caseNo) {
    SqlStmt s;
    s << "select * from SC_CASE where CASE_NO=";
    s.number(caseNo);
    QSqlQuery q = db.query();
    CaseRow row;
    if (!dbq::exec(q, s) || !q.next()) return row;
    // By name: the package's tables may hold the columns in any order, and a column the
    // table lacks reads as NULL.
    const QSqlRecord r = q.record();
    auto col = [&r](const char* name) { return r.value(QLatin1String(name)); };
    row.found = true;
    row.name = col("Case_Name");
    row.note = col("Note");
    row.date = col("Date");
    row.time = col("Time");
    row.calDate = col("CAL_DATE");
    row.calTime = col("CAL_TIME");
    row.typeFault = col("Type_Fault");
    row.caseLF = col("CASE_LF");
    row.function = col("Function");
    row.simple = col("Simple_F");
    return row;
}
