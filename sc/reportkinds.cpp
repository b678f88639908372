#include "reportkinds.h"

#include "db/dbquery.h"
#include "db/errortext.h"
#include "db/sqlstmt.h"
#include "db/textcodec.h"
#include "sc/caserow.h"
#include "sc/screports.h"

#include <algorithm>

namespace reportkinds {
namespace {

std::vector<std::string> gbList(std::initializer_list<const char*> l) {
    std::vector<std::string> v;
    for (const char* s : l)
        v.push_back(textcodec::gb(s));
    return v;
}

bool always(const CaseFacts&) {
    return true;
}

// Key and step from the UTF-8 key; the key's line break stays out of the step.
Kind kind(Id id, const char* keyUtf8, const char* column, const char* shortName,
          std::vector<std::string> labels, std::vector<std::vector<int>> presets,
          bool (*allowed)(const CaseFacts&), void (*build)(SCRepPort&), std::vector<TableNeed> reads) {
    std::string step = keyUtf8;
    step.erase(std::remove(step.begin(), step.end(), '\n'), step.end());
    return Kind{id,
                textcodec::gb(keyUtf8),
                column,
                shortName,
                step,
                std::move(labels),
                std::move(presets),
                allowed,
                build,
                std::move(reads)};
}

std::vector<TableNeed> operator+(std::vector<TableNeed> a, const std::vector<TableNeed>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<Kind> build() {
    // What the reports read, by the statements that read it (locals: kinds() may be
    // asked for while other files are still being initialised).
    const std::vector<std::string> kFaultColumns = {"CASE_NO", "flg", "I_Name", "J_Name", "ID_Name",
                                                    "Percent", "T",   "IR1",    "II1",    "IR2",
                                                    "II2",     "IR0", "II0"};
    const std::vector<TableNeed> kCapacities = {
        {"SC_CASE", {"Note", "Date", "Time"}},
        {"SCR_R120", kFaultColumns},
        {"SCR_BUS", {"CASE_NO", "BUS_Name", "SC1_MVA", "SC3_MVA", "Base_kV"}}};
    const std::vector<TableNeed> kVoltages = {
        {"SCR_R120", kFaultColumns},
        {"SCR_B120", {"Case_No", "bus_Name", "T", "VR1", "VI1", "VR2", "VI2", "VR0", "VI0"}},
        {"SCR_BUS", {"CASE_NO", "BUS_Name", "Base_kV"}, TableNeed::NamedUnits}};
    const std::vector<TableNeed> kBranches = {
        {"SCR_LINE1", {"CASE_NO", "I_Name", "J_Name", "ID_No", "R1", "X1", "B1_half", "Tk", "Type"}},
        {"SCR_LINE0", {"CASE_NO", "I_Name", "J_Name", "ID_No", "R0", "X0"}, TableNeed::ZeroSequence}};
    const std::vector<TableNeed> kPreFault = {
        {"LFR_BS_R", {"CASE_NO", "Bus_Name", "V", "Angle"}, TableNeed::LoadFlowVoltages},
        {"SCR_LPC", {"Case_No", "Bus_Name", "Vrz", "Viz"}, TableNeed::StoredPreFault}};
    const std::vector<std::string> seqPhaseVolts = gbList(
        {"正序电压幅值", "正序电压相角", "负序电压幅值", "负序电压相角", "零序电压幅值", "零序电压相角",
         "A相电压幅值", "A相电压相角", "B相电压幅值", "B相电压相角", "C相电压幅值", "C相电压相角"});
    const std::vector<std::string> seqPhaseCurrents = gbList(
        {"正序电流幅值", "正序电流相角", "负序电流幅值", "负序电流相角", "零序电流幅值", "零序电流相角",
         "A相电流幅值", "A相电流相角", "B相电流幅值", "B相电流相角", "C相电流幅值", "C相电流相角"});
    // Indexed by Id, so that the order always follows it.
    std::vector<Kind> k(KindCount);
    // Capacities and distribution coefficients need what a full simple calculation
    // stores; the coefficients a three-phase fault.
    k[Summary] = kind(
        Summary, "短路电流简表", "LSummary", "summary", {}, {},
        [](const CaseFacts& c) { return c.function && c.simple; }, &portSummary, kCapacities);
    k[Distribution] = kind(
        Distribution, "短路电流分布系数", "LDistribut", "distribution", {}, {},
        [](const CaseFacts& c) { return c.function && c.simple && c.faultType == 1; }, &portDistribut,
        kVoltages + kBranches);
    // A fault inside a branch has no bus whose branches it could list.
    k[ShortBra] = kind(
        ShortBra, "短路点及其支路", "LShortBra", "shortbra",
        gbList({"IK1", "IK0", "SK1", "SK0", "Z1K", "A1K", "Z0K", "A0K", "Z1S", "A1S", "Z0S", "A0S"}),
        {{3, 5, 9, 4, 7, 11}, {1, 3, 5, 9}, {2, 4, 6, 11}},
        [](const CaseFacts& c) { return c.simple && !c.faultInBranch; }, &portShortBra,
        kVoltages + kBranches + kPreFault);
    k[BusVol] =
        kind(BusVol, "母线电压", "LBusVol", "busvol", seqPhaseVolts,
             {{7, 8, 9, 10, 11, 12}, {7, 8}, {1, 2}, {1, 2, 3, 4, 5, 6}}, always, &portBusVol, kVoltages);
    k[LineCur] = kind(LineCur, "支路电流", "LLineCur", "linecur", seqPhaseCurrents,
                      {{7, 8, 9, 10, 11, 12}, {7, 8}, {1, 2}, {1, 2, 3, 4, 5, 6}}, always, &portLineCur,
                      kVoltages + kBranches);
    k[BranchEnds] = kind(BranchEnds, "支路两端的电压、\n电流和视在阻抗", "LVIZ", "viz",
                         gbList({"正序电压", "正序电流", "正序阻抗", "负序电压", "负序电流", "负序阻抗",
                                 "零序序电压", "零序电流", "零序阻抗", "A相电压", "A相电流", "A相阻抗",
                                 "B相电压", "B相电流", "B相阻抗", "C相电压", "C相电流", "C相阻抗"}),
                         {{3, 6, 9}, {12, 15, 18}, {3}}, always, &portVIZ, kVoltages + kBranches);
    return k;
}

} // namespace

const std::vector<Kind>& kinds() {
    static const std::vector<Kind> k = build();
    return k;
}

const Kind& kind(Id id) {
    return kinds()[size_t(id)];
}

int indexOf(const std::string& s) {
    const auto& k = kinds();
    for (size_t i = 0; i < k.size(); ++i)
        if (k[i].key == s || k[i].shortName == s) return int(i);
    return -1;
}

bool Kind::readsVoltages() const {
    return std::any_of(reads.begin(), reads.end(), [](const TableNeed& n) { return n.table == "SCR_B120"; });
}

std::string shortNames() {
    std::string s;
    for (const Kind& k : kinds())
        s += (s.empty() ? "" : ", ") + k.shortName;
    return s;
}

std::map<std::string, std::vector<std::string>> itemLabels() {
    std::map<std::string, std::vector<std::string>> m;
    for (const Kind& k : kinds())
        m[k.key] = k.labels;
    return m;
}

std::set<std::string> enabledKinds(const DbConnection& db, const std::string& caseNo) {
    const CaseRow row = readCaseRow(db, caseNo);
    if (!row.found) raiseError(textcodec::gb("在SC_CASE表中找不到对应的作业:") + caseNo);
    CaseFacts facts;
    facts.function = dbq::toBool(row.function);
    facts.simple = dbq::toBool(row.simple);
    facts.faultType = dbq::toInt(row.typeFault);
    SqlStmt inner;
    inner << "select ID_Name from SCR_R120 where Percent > 0 and Percent < 100 and Case_No=";
    inner.number(caseNo);
    dbq::Query b(db);
    facts.faultInBranch = b.exec(inner) && b.next();

    std::set<std::string> keys;
    for (const Kind& k : kinds())
        if (k.allowed(facts)) keys.insert(k.key);
    return keys;
}

} // namespace reportkinds

std::vector<schema::Table> reportkinds::caseTables() {
    std::vector<schema::Table> t = schema::tables();
    for (schema::Table& tab : t)
        if (tab.name == "SCR_OUT")
            for (const Kind& k : kinds())
                tab.columns.push_back({k.column.c_str(), schema::ColType::Int});
    return t;
}
