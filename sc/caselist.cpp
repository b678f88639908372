#include "caselist.h"

#include "db/cdbutility.h"
#include "db/dataproblems.h"
#include "db/dbquery.h"
#include "db/errortext.h"
#include "db/sqlstmt.h"
#include "db/textcodec.h"

namespace dp = dataproblems;

std::vector<CaseInfo> listCases(const CDBUtility& db) {
    const SqlStmt s("SELECT Case_No,Case_Name,Type_Fault,calculate,Note from SC_CASE order by Case_No");
    dbq::Query q(db.connection());
    if (!q.exec(s)) {
        const std::string why = dbq::failureText(db.connection());
        raiseError(why.empty() ? textcodec::gb("不能读出短路作业表:SC_CASE") : why);
    }
    std::vector<CaseInfo> out;
    while (q.next()) {
        CaseInfo c;
        c.name = q.text8(1);
        const dp::Checked no = dp::readNumber(q.value(0), dp::Domain::Integer);
        if (!no.ok) {
            dp::report(dp::Problem{no.kind, "SC_CASE", "Case_No", c.name, dp::storedText(q.value(0)),
                                   dp::Action::RowLeftOut});
            continue;
        }
        c.number = int(no.value);
        const dp::Checked type = dp::readNumber(q.value(2), dp::Domain::FaultType);
        c.faultType = type.ok ? int(type.value) : 0;
        const dp::Checked calc = dp::readNumber(q.value(3), dp::Domain::Integer);
        c.calculated = calc.ok && calc.value == 1;
        c.note = q.text8(4);
        out.push_back(c);
    }
    return out;
}

const char* faultTypeName(int faultType) {
    switch (faultType) {
    case 1:
        return "three-phase";
    case 2:
        return "A to ground";
    case 3:
        return "A-B";
    case 4:
        return "A-B to ground";
    default:
        return "unknown";
    }
}
