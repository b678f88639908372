// The formulas of the short-circuit reports, with worked values.
#include "sc/quantities.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

using scq::Cx;

namespace {

TEST(Quantities, Texts) {
    EXPECT_EQ(scq::complexText(Cx(-1, 0)), "1.0000 / 180.00");
    EXPECT_EQ(scq::complexText(Cx(-0.5, -0.8660254)), "1.0000 / 240.00"); // never a negative angle
    EXPECT_EQ(scq::complexText(Cx(1, -0.0)), "1.0000 / 0.00");            // atan2 gives -0: no sign
    EXPECT_EQ(scq::complexText(Cx(0, -1)), "1.0000 / 270.00");
    EXPECT_EQ(scq::complexText(Cx(0, 0)), "0.0000 / 0.00");
    EXPECT_EQ(scq::fixed(1.02 * 110, 4), "112.2000");
    EXPECT_EQ(scq::fixed(2.5 * (100.0 / 300.0) * 100, 2), "83.33");
    EXPECT_EQ(scq::fixed(-std::nan(""), 4), "nan");
    EXPECT_EQ(scq::dateText("20240115"), "2024/01/15");
    EXPECT_EQ(scq::timeText("083005"), "08:30:05");
    // A zero divisor gives not-a-number, never infinity.
    const Cx q = scq::div(Cx(1, 2), Cx(0, 0));
    EXPECT_EQ(scq::complexText(q), "nan / nan");
}

// Every fixed text is what printf writes: ties of the exact binary value, values just
// beside a tie, negative values that round to zero, sizes past the fast path.
TEST(Quantities, FixedAsPrintf) {
    std::mt19937_64 rng(7);
    std::vector<double> values = {0.0,   -0.0,   0.125, 0.375,  2.5,    -2.5,   1e-5,  -1e-5, 0.5,
                                  1e15,  -1e15,  9e15,  1e300,  1e-300, 4.35,   8.675, 1.005, 2.675,
                                  0.045, 10.055, 1e9,   1e-9,   -0.004, 0.00005, 123456.78905};
    for (int i = 0; i < 20000; ++i) {
        const double mant = std::uniform_real_distribution<double>(-1, 1)(rng);
        const int e = std::uniform_int_distribution<int>(-8, 12)(rng);
        values.push_back(mant * std::pow(10.0, e));
        // Decimal ties and their neighbours at 2 and 4 places.
        const double t = double(std::uniform_int_distribution<long>(0, 2000000)(rng)) / 20000 + 0.00005;
        values.insert(values.end(), {t, std::nextafter(t, 0), std::nextafter(t, 1e9)});
    }
    char want[512], got[scq::kNumberRoom];
    for (double v : values)
        for (int d : {0, 2, 3, 4, 6, 9, 12}) {
            std::snprintf(want, sizeof want, "%.*f", d, v);
            ASSERT_EQ(std::string(got, scq::fixedTo(got, v, d)), want) << v << " with " << d;
        }
}

TEST(Quantities, PhasesAndUnits) {
    // Positive sequence: B lags A by 120 degrees; negative sequence the other way round.
    scq::Phases p = scq::toPhases(Cx(1, 0), Cx(), Cx());
    EXPECT_EQ(scq::complexText(p.b), "1.0000 / 240.00");
    EXPECT_EQ(scq::complexText(p.c), "1.0000 / 120.00");
    p = scq::toPhases(Cx(), Cx(1, 0), Cx());
    EXPECT_EQ(scq::complexText(p.b), "1.0000 / 120.00");
    p = scq::toPhases(Cx(), Cx(), Cx(0.3, 0));
    for (const Cx& x : {p.a, p.b, p.c})
        EXPECT_NEAR(std::abs(x - Cx(0.3, 0)), 0, 1e-15);
    // 100 MVA, 110 kV: 100 / (1.7320508 * 110) = 0.524864 kA; 110^2 / 100 = 121 ohm
    EXPECT_EQ(scq::fixed(scq::currentFactor(100, 110), 6), "0.524864");
    EXPECT_DOUBLE_EQ(scq::impedanceFactor(100, 110), 121.0);
    EXPECT_DOUBLE_EQ(scq::Scale::named(100, 220).kZ, 484.0);
}

TEST(Quantities, BranchCurrents) {
    const scq::SeqV vi{Cx(1.0, 0), Cx(-0.2, 0), Cx(-0.1, 0)};
    const scq::SeqV vj{Cx(0.9, 0), Cx(-0.3, 0), Cx(-0.2, 0)};
    const Cx z0(0, 0.3);
    // Line with charging: I1i = (1 - 0.9)/j0.1 + j0.05*1 = -j0.95
    //                     I1j = (1 - 0.9)/j0.1 - j0.05*0.9 = -j1.045
    //                     I2i = (-0.2 + 0.3)/j0.1 + j0.05*(-0.2) = -j1.01
    //                     I0  = (-0.1 + 0.2)/j0.3 = -j0.333333
    scq::BranchEnds e = scq::branchCurrents(Cx(0, 0.1), 0.05, 1.0, false, vi, vj, &z0);
    EXPECT_NEAR(std::abs(e.i1i - Cx(0, -0.95)), 0, 1e-12);
    EXPECT_NEAR(std::abs(e.i1j - Cx(0, -1.045)), 0, 1e-12);
    EXPECT_NEAR(std::abs(e.i2i - Cx(0, -1.01)), 0, 1e-12);
    EXPECT_NEAR(std::abs(e.i0 - Cx(0, -1.0 / 3.0)), 0, 1e-12);
    // Transformer, ratio 1.05: I1i = (1 - 0.9/1.05)/j0.1, I1j = ((1 - 0.9)/j0.1)/1.05;
    // no zero-sequence impedance, no zero-sequence current.
    e = scq::branchCurrents(Cx(0, 0.1), 0.0, 1.05, false, vi, vj, nullptr);
    EXPECT_NEAR(e.i1i.imag(), -(1 - 0.9 / 1.05) / 0.1, 1e-12);
    EXPECT_NEAR(e.i1j.imag(), -1.0 / 1.05, 1e-12);
    EXPECT_EQ(e.i0, Cx());
    // To ground: Vi/Z1 at both ends, whatever the charging and ratio say.
    e = scq::branchCurrents(Cx(0, 0.25), 0.05, 1.05, true, vi, vj, &z0);
    EXPECT_NEAR(e.i1i.imag(), -4.0, 1e-12);
    EXPECT_EQ(e.i1i, e.i1j);
    EXPECT_NEAR(e.i0.imag(), 0.1 / 0.3, 1e-12);
    e = scq::branchCurrents(Cx(), 0.0, 1.0, false, vi, vj, nullptr);
    EXPECT_TRUE(std::isnan(e.i1i.real()) && std::isnan(e.i1i.imag()));
}

} // namespace
