// The report model: cell texts, pages, groups, headers and grouping.
#include "reporttest.h"

#include <cmath>
#include <limits>

using reporttest::gb;
using reporttest::Model;

namespace {

std::vector<std::string> cells(const Model& m, int page, int grp, int rec) {
    std::vector<std::string> out;
    const RecordStore& rs = m.page(page).records;
    for (int c = 0; c < rs.cellCount(grp, rec); ++c)
        out.emplace_back(rs.cell(grp, rec, c));
    return out;
}

} // namespace

TEST(ReportModel, CellTextsFollowTheNumberRulesAndMayBeFilledInAnyOrder) {
    Model m;
    const int p = m.addRP(false);
    const int r = m.addRec(p);
    m.addText(p, r, 2.0, 0);
    m.addText(p, r, 0.1234567, 0);
    m.addText(p, r, 100.5, 0);
    m.addText(p, r, 1234567.0, 0); // %g switches to an exponent
    m.addText(p, r, 1234567, 0);   // an integer stays whole
    m.addText(p, r, 1.0, 0.0005, 0);
    m.addText(p, r, 1.0, 4.0, 0);
    m.addText(p, r, 1.0, -0.001, 0); // |b| not below the limit
    m.addText(p, r, QString::fromUtf8("母线"), 0);
    m.addText(p, r, QVariant(QString::fromUtf8("厂站")), 0);
    m.addText(p, r, QByteArray("raw\xff", 4), 0);
    const double v[3] = {1, 0.5, -2.25};
    m.addText(p, r, v, 3, 0);

    std::vector<std::string> want{"2",       "0.123457", "100.5", "1.23457e+06",
                                  "1234567", "0.00",     "25.00", "-100000.00"};
    want.insert(want.end(), {gb("母线"), gb("厂站"), std::string("raw\xff", 4), "1", "0.5", "-2.25"});
    EXPECT_EQ(cells(m, p, 0, r), want);
    const int rn = m.addRec(p);
    m.addText(p, rn, std::numeric_limits<double>::quiet_NaN(), 0);
    EXPECT_EQ(cells(m, p, 0, rn), std::vector<std::string>{"nan"});
    EXPECT_EQ(RepPortBase::fixedText(1e300, 1).size(), 303u); // beyond any stack buffer
    EXPECT_EQ(RepPortBase::fixedText(-0.005, 2), "-0.01");    // rounds on the binary value

    // Cells may be filled in any order.
    const int q = m.addRP(false);
    m.setGrpSize(q, 2);
    EXPECT_EQ(m.addRec(q, 2, 1), 2);
    EXPECT_EQ(m.addRec(q, 3, 1), 5);
    EXPECT_EQ(m.addRec(q, 1), 5); // an index, not a count
    // Column by column, as a builder filling one quantity for all records does.
    for (int col = 0; col < 3; ++col)
        for (int r = 5; r >= 0; --r)
            m.addText(q, r, std::to_string(r) + ":" + std::to_string(col), 1);
    for (int r = 0; r < 6; ++r)
        EXPECT_EQ(cells(m, q, 1, r),
                  (std::vector<std::string>{std::to_string(r) + ":0", std::to_string(r) + ":1",
                                            std::to_string(r) + ":2"}));
    EXPECT_EQ(m.recordCount(q, 0), 0);
    EXPECT_EQ(m.page(q).records.cell(1, 0, 3), "");

    // A cell larger than an arena block.
    const std::string big(3u << 20, 'x');
    m.addText(q, 0, big, 1);
    m.addText(q, 0, "after", 1);
    EXPECT_EQ(m.page(q).records.cell(1, 0, 3), big);
    EXPECT_EQ(m.page(q).records.cell(1, 0, 4), "after");

    // Shrinking drops the surplus groups with their records.
    m.setGrpSize(q, 1);
    EXPECT_EQ(m.groupCount(q), 1);
    EXPECT_EQ(m.page(q).grpTexts.size(), 1u);
}

TEST(ReportModel, GroupFlagsAndSpanningHeaders) {
    Model m;
    EXPECT_EQ(m.groupCount(m.addRP(true)), 1); // no grouping flag: one group anyway
    EXPECT_TRUE(m.page(0).grpTexts.empty());
    m.setGrpInfo(false, true, false);
    EXPECT_EQ(m.groupCount(m.addRP(true)), 0);
    EXPECT_EQ(m.groupCount(m.addRP(false)), 1);
    EXPECT_EQ(m.pageCount(), 3);

    // Only row 0 counts columns; rows grow to fit.
    const int q = m.addRP(false);
    m.addHeader(q, 0, "I", 2, 1, "");
    m.addHeader(q, 1, "Ia", 1, 1, "");
    m.addHeader(q, 3, "deep", 1, 1, "style=x");
    m.addHeader(q, "V", 6, false);
    EXPECT_EQ(m.page(q).m_nColCount, 3);
    EXPECT_EQ(m.page(q).headers.size(), 4u);
    EXPECT_EQ(m.page(q).headers[3][0].width, 16);
}

TEST(ReportGrouping, HeadingsTextsAndKeys) {
    Model m;
    const int p = m.addRP(true);
    m.setGrpInfo(true, true, false);
    const int q = m.addRP(true);
    m.addGrpTitle(q, true);
    ASSERT_EQ(m.page(q).grpTitles.size(), 2u);
    EXPECT_EQ(m.page(q).grpTitles[0].text, gb("区域"));
    EXPECT_EQ(m.page(q).grpTitles[1].text, gb("分区"));

    const int z1 = m.dealGrp(q, "S1", "Z1", "A1");
    EXPECT_EQ(m.dealGrp(q, "S2", "Z1", "A1"), z1);
    const int z2 = m.dealGrp(q, "S3", "Z2", "A1");
    EXPECT_EQ(z2, z1 + 1);
    EXPECT_EQ(m.page(q).grpTexts[z1], (std::vector<std::string>{"A1", "Z1"}));
    EXPECT_EQ(m.groupCount(q), 2);
    // Keys are per page; page p, made before the flags, keeps its group 0 from addRP.
    EXPECT_EQ(m.dealGrp(p, "S1", "Z1", "A1"), 1);
    EXPECT_EQ(m.groupCount(p), 2);

    // Branches: between areas and between zones of one area share one group.
    const int b = m.addRP(true);
    const int within = m.dealGrp2(b, "Z1", "Z2", "A", "A");
    EXPECT_EQ(m.dealGrp2(b, "Z1", "Z9", "A", "B"), within);
    EXPECT_EQ(m.page(b).grpTexts[within], (std::vector<std::string>{"A", gb("分区间")}));
    EXPECT_EQ(m.dealGrp2(b, "Z1", "Z1", "A", "A"), within + 1);

    m.setGrpInfo(true, false, false);
    const int a = m.addRP(true);
    const int between = m.dealGrp2(a, "Z1", "Z1", "A", "B");
    EXPECT_EQ(m.page(a).grpTexts[between], (std::vector<std::string>{gb("区域间")}));
    EXPECT_EQ(m.dealGrp2(a, "Z1", "Z2", "C", "C"), between + 1);

    m.setGrpInfo(false, false, true);
    const int s = m.addRP(true);
    m.addGrpTitle(s, false);
    EXPECT_TRUE(m.page(s).grpTitles.empty());
    m.setGrpSize(s, 1);
    m.fillGrp(s, 0, false, "A", "Z", "S");
    EXPECT_TRUE(m.page(s).grpTexts[0].empty());
    m.fillGrp(s, 0, true, "A", "Z", "S");
    EXPECT_EQ(m.page(s).grpTexts[0], (std::vector<std::string>{"S"}));

    m.setGrpInfo(false, false, false);
    const int n = m.addRP(false);
    m.setGrpSize(n, 3);
    EXPECT_EQ(m.dealGrp2(n, "Z1", "Z2", "A", "B"), 0);
    EXPECT_EQ(m.groupCount(n), 1);
    EXPECT_EQ(m.dealGrp(n, "S", "Z", "A"), 0);
}

TEST(ReportGrouping, NodesGroupedByWhereTheyLie) {
    auto where = std::make_shared<BusLocations>();
    where->add("n1", BusLocation{gb("东区"), "Z10", "S1"});
    where->add("n2", BusLocation{gb("西区"), "Z20", "S2"});
    where->add("n3", BusLocation{gb("东区"), "Z10", "S3"});
    where->add("N1", BusLocation{gb("西区"), "Z20", "S2"});
    Model m;
    m.setGrpInfo(true, false, false, where);
    const int p = m.addRP(true);
    const int east = m.dealGrpOld(p, "n1");
    EXPECT_EQ(m.dealGrpOld(p, "n3"), east);
    const int west = m.dealGrpOld(p, "n2");
    EXPECT_EQ(m.dealGrpOld(p, "N1"), west); // names differ by case: other node
    EXPECT_NE(east, west);
    const int unknown = m.dealGrpOld(p, "nx");
    EXPECT_EQ(m.dealGrpOld(p, "ny"), unknown); // every unknown node in one group
    EXPECT_NE(unknown, east);
    EXPECT_EQ(m.page(p).grpTexts[east], (std::vector<std::string>{""}));

    m.setGrpInfo(false, false, true, where);
    const int q = m.addRP(true);
    EXPECT_EQ(m.dealGrpOld(q, "n1"), m.dealGrpOld(q, "n1"));
    EXPECT_NE(m.dealGrpOld(q, "n3"), m.dealGrpOld(q, "n1"));
}
