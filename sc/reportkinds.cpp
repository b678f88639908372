#include "reportkinds.h"

#include "db/dbquery.h"
#include "db/errortext.h"
#include "db/sqlstmt.h"
#include "db/textcodec.h"
#include "sc/caserow.h"

#include <QSqlQuery>

namespace reportkinds {
namespace {

std::vector<std::string> gbList(std::initializer_list<const char*> l) {
    std::vector<std::string> v;
    for (const char* s : l)
        v.push_back(textcodec::gb(s));
    return v;
}

std::vector<Kind> build() {
    using textcodec::gb;
    std::vector<Kind> k;
    k.push_back({gb("短路电流简表"), "LSummary", "summary", {}, {}});
    k.push_back({gb("短路电流分布系数"), "LDistribut", "distribution", {}, {}});
    k.push_back({gb("短路点及其支路"),
                 "LShortBra",
                 "shortbra",
                 gbList({"IK1", "IK0", "SK1", "SK0", "Z1K", "A1K", "Z0K", "A0K", "Z1S", "A1S", "Z0S", "A0S"}),
                 {{3, 5, 9, 4, 7, 11}, {1, 3, 5, 9}, {2, 4, 6, 11}}});
    k.push_back({gb("母线电压"),
                 "LBusVol",
                 "busvol",
                 gbList({"正序电压幅值", "正序电压相角", "负序电压幅值", "负序电压相角", "零序电压幅值",
                         "零序电压相角", "A相电压幅值", "A相电压相角", "B相电压幅值", "B相电压相角",
                         "C相电压幅值", "C相电压相角"}),
                 {{7, 8, 9, 10, 11, 12}, {7, 8}, {1, 2}, {1, 2, 3, 4, 5, 6}}});
    k.push_back({gb("支路电流"),
                 "LLineCur",
                 "linecur",
                 gbList({"正序电流幅值", "正序电流相角", "负序电流幅值", "负序电流相角", "零序电流幅值",
                         "零序电流相角", "A相电流幅值", "A相电流相角", "B相电流幅值", "B相电流相角",
                         "C相电流幅值", "C相电流相角"}),
                 {{7, 8, 9, 10, 11, 12}, {7, 8}, {1, 2}, {1, 2, 3, 4, 5, 6}}});
    k.push_back({gb("支路两端的电压、\n电流和视在阻抗"),
                 "LVIZ",
                 "viz",
                 gbList({"正序电压", "正序电流", "正序阻抗", "负序电压", "负序电流", "负序阻抗", "零序序电压",
                         "零序电流", "零序阻抗", "A相电压", "A相电流", "A相阻抗", "B相电压", "B相电流",
                         "B相阻抗", "C相电压", "C相电流", "C相阻抗"}),
                 {{3, 6, 9}, {12, 15, 18}, {3}}});
    return k;
}

} // namespace

const std::vector<Kind>& kinds() {
    static const std::vector<Kind> k = build();
    return k;
}

int indexOf(const std::string& s) {
    const auto& k = kinds();
    for (size_t i = 0; i < k.size(); ++i)
        if (k[i].key == s || k[i].shortName == s) return int(i);
    return -1;
}

std::map<std::string, std::vector<std::string>> itemLabels() {
    std::map<std::string, std::vector<std::string>> m;
    for (const Kind& k : kinds())
        m[k.key] = k.labels;
    return m;
}

std::set<std::string> enabledKinds(const std::string& caseNo) {
    const CaseRow row = readCaseRow(caseNo);
    if (!row.found) raiseError(textcodec::gb("在SC_CASE表中找不到对应的作业:") + caseNo);
    const bool function = dbq::toBool(row.function);
    const bool simple = dbq::toBool(row.simple);
    const int faultType = dbq::toInt(row.typeFault);
    SqlStmt inner;
    inner << "select ID_Name from SCR_R120 where Percent > 0 and Percent < 100 and Case_No=";
    inner.number(caseNo);
    QSqlQuery b = dbq::newQuery();
    const bool faultInBranch = dbq::exec(b, inner) && b.next();

    const bool on[6] = {
        function && simple, function && simple && faultType == 1, simple && !faultInBranch, true, true, true};
    std::set<std::string> keys;
    for (size_t i = 0; i < kinds().size() && i < 6; ++i)
        if (on[i]) keys.insert(kinds()[i].key);
    return keys;
}

} // namespace reportkinds
