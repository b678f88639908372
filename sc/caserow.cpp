#include "caserow.h"

#include "db/dbquery.h"
#include "db/sqlstmt.h"

CaseRow readCaseRow(const DbConnection& db, const std::string& caseNo) {
    SqlStmt s;
    s << "select * from SC_CASE where CASE_NO=";
    s.number(caseNo);
    dbq::Query q(db);
    CaseRow row;
    if (!q.exec(s) || !q.next()) return row;
    // By name: the package's tables may hold the columns in any order, and a column the
    // table lacks reads as NULL.
    auto col = [&q](const char* name) { return q.value(name); };
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
