#include "scfixture.h"

#include "handcase.h"

namespace sctest {

void ScCaseTest::SetUp() {
    db = std::make_unique<testdb::CaseDb>(GetParam());
    fill();
    if (HasFatalFailure()) return;
    cdb.setDBType(DB_SC);
    ASSERT_NE(cdb.opendb(db->arg().c_str()), nullptr);
    dataproblems::setCurrent(&problems);
    labels = reportkinds::itemLabels();
    for (const auto& k : reportkinds::kinds()) {
        chosen.insert(k.key);
        std::vector<int> all;
        for (size_t i = 0; i < k.labels.size(); ++i)
            all.push_back(int(i));
        items[k.key] = all;
    }
}

void ScCaseTest::TearDown() {
    stores.clear();
    dataproblems::setCurrent(nullptr);
    cdb.closedb();
    db.reset();
}

void ScCaseTest::fill() {
    handcase::insert(*db);
}

std::unique_ptr<SCRepPort> ScCaseTest::builder(int caseNo, bool perUnit) {
    stores.push_back(std::make_unique<CaseStore>(cdb.connection(), caseNo));
    auto p = std::make_unique<SCRepPort>(*stores.back(), chosen, labels, items, &faults);
    p->setUnitInfo(perUnit);
    return p;
}

std::vector<std::string> ScCaseTest::row(const SCRepPort& p, int page, int grp, int rec) const {
    std::vector<std::string> out;
    const RecordStore& rs = p.page(page).records;
    for (int c = 0; c < rs.cellCount(grp, rec); ++c)
        out.emplace_back(rs.cell(grp, rec, c));
    return out;
}

std::vector<std::string> ScCaseTest::errorLines(const std::string& prefixUtf8) const {
    std::vector<std::string> out;
    const std::string p = gb(prefixUtf8.c_str());
    for (const std::string& l : log.errors)
        if (l.rfind(p, 0) == 0) out.push_back(l);
    return out;
}

} // namespace sctest
