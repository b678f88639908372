// The formulas of the short-circuit reports, with worked values.
#include "sc/quantities.h"

#include <gtest/gtest.h>

#include <cmath>

using scq::Cx;

namespace {

TEST(Quantities, AngleAndNumberTexts) {
    EXPECT_EQ(scq::angleText(Cx(-1, 0), 2), "180.00");
    EXPECT_EQ(scq::angleText(Cx(0, -1), 2), "270.00");
    EXPECT_EQ(scq::angleText(Cx(0, 0), 2), "0.00");
    EXPECT_EQ(scq::angleText(Cx(-0.5, -0.8660254), 2), "240.00");
    // atan2 of a negative zero is -0: still written without a sign
    EXPECT_EQ(scq::angleText(Cx(1, -0.0), 2), "0.00");
    EXPECT_EQ(scq::complexText(Cx(0, -1)), "1.0000 / 270.00");
    EXPECT_EQ(scq::complexText(Cx(-1, 0)), "1.0000 / 180.00");
    EXPECT_EQ(scq::complexText(Cx(0, 0)), "0.0000 / 0.00");
    EXPECT_EQ(scq::fixed(1.02, 4), "1.0200");
    EXPECT_EQ(scq::fixed(1.02 * 110, 4), "112.2000");
    EXPECT_EQ(scq::fixed(2.5 * 100, 3), "250.000");
    EXPECT_EQ(scq::fixed(2.5 * (100.0 / 300.0) * 100, 2), "83.33");
    EXPECT_EQ(scq::fixed(-std::nan(""), 4), "nan");
    EXPECT_EQ(scq::general(3.0), "3");
    EXPECT_EQ(scq::general(0.1234567), "0.123457");
    EXPECT_EQ(scq::dateText("20240115"), "2024/01/15");
    EXPECT_EQ(scq::timeText("083005"), "08:30:05");
}

TEST(Quantities, DivisionByZeroIsNotANumber) {
    const Cx q = scq::div(Cx(1, 2), Cx(0, 0));
    EXPECT_TRUE(std::isnan(q.real()));
    EXPECT_TRUE(std::isnan(q.imag()));
    EXPECT_EQ(scq::complexText(q), "nan / nan");
    const Cx ok = scq::div(Cx(0.52, 0), Cx(0, -4.01)); // 0.52 / -j4.01 = +j0.129676
    EXPECT_NEAR(ok.real(), 0.0, 1e-15);
    EXPECT_NEAR(ok.imag(), 0.52 / 4.01, 1e-15);
}

TEST(Quantities, SequenceToPhase) {
    // Positive sequence only: A at 0, B lags by 120 (240), C leads by 120.
    scq::Phases p = scq::toPhases(Cx(1, 0), Cx(), Cx());
    EXPECT_EQ(scq::complexText(p.a), "1.0000 / 0.00");
    EXPECT_EQ(scq::complexText(p.b), "1.0000 / 240.00");
    EXPECT_EQ(scq::complexText(p.c), "1.0000 / 120.00");
    // Negative sequence only: the other rotation.
    p = scq::toPhases(Cx(), Cx(1, 0), Cx());
    EXPECT_EQ(scq::angleText(p.b, 2), "120.00");
    EXPECT_EQ(scq::angleText(p.c, 2), "240.00");
    // Zero sequence: the same in every phase.
    p = scq::toPhases(Cx(), Cx(), Cx(0.3, 0));
    for (const Cx& x : {p.a, p.b, p.c}) {
        EXPECT_NEAR(x.real(), 0.3, 1e-15);
        EXPECT_NEAR(x.imag(), 0.0, 1e-15);
    }
    // A to ground fault at B1 of the hand case: V1 0.5, V2 -0.25, V0 -0.2.
    // VB = -0.2 + 0.5(-0.5 - j0.8660254) - 0.25(-0.5 + j0.8660254) = -0.325 - j0.6495191
    p = scq::toPhases(Cx(0.5, 0), Cx(-0.25, 0), Cx(-0.2, 0));
    EXPECT_NEAR(p.a.real(), 0.05, 1e-15);
    EXPECT_NEAR(p.b.real(), -0.325, 1e-12);
    EXPECT_NEAR(p.b.imag(), -0.75 * 0.8660254037844386, 1e-12);
    EXPECT_NEAR(p.c.imag(), 0.75 * 0.8660254037844386, 1e-12);
}

TEST(Quantities, UnitFactors) {
    // 100 MVA, 110 kV: 100 / (1.7320508 * 110) = 0.524864 kA; 110^2 / 100 = 121 ohm
    EXPECT_EQ(scq::fixed(scq::currentFactor(100, 110), 6), "0.524864");
    EXPECT_DOUBLE_EQ(scq::impedanceFactor(100, 110), 121.0);
    const scq::Scale s = scq::Scale::named(100, 220);
    EXPECT_DOUBLE_EQ(s.kU, 220.0);
    EXPECT_DOUBLE_EQ(s.kZ, 484.0);
    EXPECT_NEAR(s.kI, 100 / (std::sqrt(3.0) * 220), 1e-15);
    const scq::Scale pu = scq::Scale::perUnit();
    EXPECT_EQ(pu.kU * pu.kI * pu.kZ, 1.0);
}

TEST(Quantities, BranchCurrents) {
    const scq::SeqV vi{Cx(1.0, 0), Cx(-0.2, 0), Cx(-0.1, 0)};
    const scq::SeqV vj{Cx(0.9, 0), Cx(-0.3, 0), Cx(-0.2, 0)};
    const Cx z0(0, 0.3);
    // Line with charging: I1i = (1 - 0.9)/j0.1 + j0.05*1 = -j1 + j0.05 = -j0.95
    //                     I1j = (1 - 0.9)/j0.1 - j0.05*0.9 = -j1 - j0.045 = -j1.045
    //                     I2i = (-0.2 + 0.3)/j0.1 + j0.05*(-0.2) = -j1 - j0.01
    //                     I0  = (-0.1 + 0.2)/j0.3 = -j0.333333
    scq::BranchEnds e = scq::branchCurrents(Cx(0, 0.1), 0.05, 1.0, false, vi, vj, &z0);
    EXPECT_NEAR(e.i1i.imag(), -0.95, 1e-12);
    EXPECT_NEAR(e.i1j.imag(), -1.045, 1e-12);
    EXPECT_NEAR(e.i2i.imag(), -1.01, 1e-12);
    EXPECT_NEAR(e.i0.imag(), -1.0 / 3.0, 1e-12);
    EXPECT_NEAR(e.i1i.real(), 0.0, 1e-12);
    // Transformer, ratio 1.05, no charging: I1i = (1 - 0.9/1.05)/j0.1 = -j1.4285714
    //                                       I1j = ((1 - 0.9)/j0.1)/1.05 = -j0.952381
    e = scq::branchCurrents(Cx(0, 0.1), 0.0, 1.05, false, vi, vj, nullptr);
    EXPECT_NEAR(e.i1i.imag(), -(1 - 0.9 / 1.05) / 0.1, 1e-12);
    EXPECT_NEAR(e.i1j.imag(), -1.0 / 1.05, 1e-12);
    EXPECT_EQ(e.i0, Cx()); // no zero-sequence impedance: no zero-sequence current
    // Equal end voltages still drive a current through a tap: (1 - 1/1.05)/j0.1
    e = scq::branchCurrents(Cx(0, 0.1), 0.0, 1.05, false, vi, vi, nullptr);
    EXPECT_NEAR(std::abs(e.i1i), (1 - 1 / 1.05) / 0.1, 1e-12);
    // To ground: Vi/Z1 at both ends, whatever the charging and ratio say.
    e = scq::branchCurrents(Cx(0, 0.25), 0.05, 1.05, true, vi, vj, &z0);
    EXPECT_NEAR(e.i1i.imag(), -4.0, 1e-12);
    EXPECT_EQ(e.i1i, e.i1j);
    EXPECT_EQ(e.i2i, e.i2j);
    EXPECT_NEAR(e.i0.imag(), 0.1 / 0.3, 1e-12);
    // A zero impedance gives not-a-number, not infinity.
    e = scq::branchCurrents(Cx(), 0.0, 1.0, false, vi, vj, nullptr);
    EXPECT_TRUE(std::isnan(e.i1i.real()) && std::isnan(e.i1i.imag()));
}

} // namespace
