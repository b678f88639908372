// The formulas of the short-circuit reports, with worked values.
#include "sc/quantities.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

using scq::Cx;

namespace {

// Every fixed text is what printf writes: ties of the exact binary value, values just
// beside a tie, negative values that round to zero, sizes past the fast path; but no sign
// on a zero angle or a NaN.
TEST(Quantities, FixedAsPrintfWithoutSigns) {
    char cell[scq::kCellRoom];
    EXPECT_EQ(std::string(cell, scq::complexTo(cell, Cx(1, -0.0))), "1.0000 / 0.00"); // atan2 gives -0
    EXPECT_EQ(scq::fixed(-std::nan(""), 4), "nan");
    std::mt19937_64 rng(7);
    std::vector<double> values = {0.0,   -0.0,   0.125, 0.375, 2.5,    -2.5,    1e-5,        -1e-5, 0.5,
                                  1e15,  -1e15,  9e15,  1e300, 1e-300, 4.35,    8.675,       1.005, 2.675,
                                  0.045, 10.055, 1e9,   1e-9,  -0.004, 0.00005, 123456.78905};
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

// A divisor too small for the quotient: its angle kept, its magnitude finite, so that no
// report value overflows; a zero divisor stays not-a-number.
TEST(Quantities, DivisionNeverOverflows) {
    for (const Cx& b : {Cx(0, 1e-320), Cx(1e-300, -1e-300), Cx(-1e-45, 0)}) {
        const Cx q = scq::div(Cx(0.3, -0.4), b);
        EXPECT_DOUBLE_EQ(std::abs(q), scq::kMaxQuotient) << b;
        EXPECT_NEAR(std::remainder(std::arg(q) - (std::arg(Cx(0.3, -0.4)) - std::arg(b)), 2 * M_PI), 0, 1e-12)
            << b;
    }
    EXPECT_EQ(scq::div(Cx(0.3, -0.4), Cx(0, 1e-30)), Cx(0.3, -0.4) / Cx(0, 1e-30)); // 5e29, kept
    EXPECT_TRUE(std::isnan(scq::div(Cx(1, 0), Cx()).imag()));
}

} // namespace
