#include "runs.h"

#include "db/cdbutility.h"
#include "db/dbquery.h"
#include "sc/casechoices.h"
#include "sc/reportkinds.h"

#include <QSqlQuery>

namespace testrun {

SCPosList faultPoints(int caseNo, size_t maxPoints) {
    SCPosList out;
    QSqlQuery q(*CDBUtility::m_pDatabase);
    if (!q.exec(QString("select ID_Name,I_Name,J_Name,Percent from SCR_R120 where flg=1 and Case_No=%1 "
                        "order by T")
                    .arg(caseNo)))
        return out;
    while ((maxPoints == 0 || out.size() < maxPoints) && q.next()) {
        SCPos p{"", dbq::text8(q.value(1)), dbq::text8(q.value(2)), dbq::toInt(q.value(3))};
        p.name = casechoices::faultKey(dbq::text8(q.value(0)), p.iName, p.jName, dbq::text8(q.value(3)));
        out.push_back(p);
    }
    return out;
}

OutputRequest everyReport(int caseNo, bool perUnit, const std::string& project, const SCPosList& faults) {
    OutputRequest r;
    r.projectDir = project;
    r.caseNo = caseNo;
    r.itemLabels = reportkinds::itemLabels();
    for (const auto& k : reportkinds::kinds()) {
        r.chosenKeys.insert(k.key);
        for (size_t i = 0; i < k.labels.size(); ++i)
            r.itemSel[k.key].push_back(int(i));
    }
    r.faults = &faults;
    r.perUnit = perUnit;
    r.writeSheet = true;
    r.openViewers = false;
    return r;
}

} // namespace testrun
