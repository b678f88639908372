// The report model: cell texts, pages, groups, headers and grouping.
#include "reporttest.h"

#include <limits>

using reporttest::gb;
using reporttest::Model;

// Cell texts as the text report shows them.
TEST(ReportModel, CellTextsFollowTheNumberRulesAndMayBeFilledInAnyOrder) {
    Model m;
    const int p = m.addRP(false);
    for (int c = 0; c < 14; ++c)
        m.addHeader(p, "c" + std::to_string(c), 12, false);
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
    m.addText(p, m.addRec(p), std::numeric_limits<double>::quiet_NaN(), 0);
    EXPECT_EQ(RepPortBase::fixedText(1e300, 1).size(), 303u); // beyond any stack buffer
    EXPECT_EQ(RepPortBase::fixedText(-0.005, 2), "-0.01");    // rounds on the binary value

    // Records may be made ahead and filled column by column, as a builder filling one
    // quantity for all records does.
    const int q = m.addRP(false);
    for (const char* h : {"a", "b", "c"})
        m.addHeader(q, h, 4, false);
    m.setGrpSize(q, 2);
    EXPECT_EQ(m.addRec(q, 2, 1), 2);
    EXPECT_EQ(m.addRec(q, 3, 1), 5);
    EXPECT_EQ(m.addRec(q, 1), 5); // an index, not a count
    for (int col = 0; col < 3; ++col)
        for (int r = 5; r >= 0; --r)
            m.addText(q, r, std::to_string(r) + ":" + std::to_string(col), 1);

    // Only row 0 of the header counts columns; rows grow to fit.
    const int h = m.addRP(false);
    m.addHeader(h, 0, "I", 2, 1, "");
    m.addHeader(h, 1, "Ia", 1, 1, "");
    m.addHeader(h, 3, "deep", 1, 1, "style=x");
    m.addHeader(h, "V", 6, false);
    // Shrinking drops the surplus groups with their records.
    const int s = m.addRP(false);
    m.addHeader(s, "s", 4, false);
    m.setGrpSize(s, 2);
    m.addText(s, m.addRec(s, 1), "gone", 1);
    m.setGrpSize(s, 1);
    reporttest::expectGolden("txt_cells.txt", reporttest::text(m));

    // A cell larger than an arena block.
    EXPECT_EQ(m.page(q).records.cell(1, 0, 3), "");
    const std::string big(3u << 20, 'x');
    m.addText(q, 0, big, 1);
    m.addText(q, 0, "after", 1);
    EXPECT_EQ(m.page(q).records.cell(1, 0, 3), big);
    EXPECT_EQ(m.page(q).records.cell(1, 0, 4), "after");
}
