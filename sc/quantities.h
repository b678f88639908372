#pragma once
// Sequence and phase quantities of the short-circuit reports as small pure functions:
// complex arithmetic, sequence-to-phase conversion, angle and number texts, unit factors.
#include "db/export.h"

#include <cmath>
#include <complex>
#include <string>

namespace scq {

using Cx = std::complex<double>;

// The rotation operator a = cos 120° + j sin 120°, computed once.
SCREPORT_CORE_EXPORT const Cx& rotA();

inline double sqrt3() {
    static const double s = std::sqrt(3.0);
    return s;
}

// Largest magnitude a quotient is given: far past what a cell shows (kMaxCell), and small
// enough that its products with stored values and the unit factors stay finite, so that
// no report value overflows to an infinity or a NaN.
constexpr double kMaxQuotient = 1e40;
// a / b; a complex zero divisor gives not-a-number in both parts (no infinities). A larger
// quotient of finite values keeps its angle and gets the magnitude kMaxQuotient.
SCREPORT_CORE_EXPORT Cx div(const Cx& a, const Cx& b);

struct Phases {
    Cx a, b, c;
};

// A = s0 + s1 + s2, B = s0 + a²s1 + a s2, C = s0 + a s1 + a²s2, with a² formed as (x·a)·a.
// Used for voltages and currents alike.
SCREPORT_CORE_EXPORT Phases toPhases(const Cx& s1, const Cx& s2, const Cx& s0);

// Angle in degrees in [0, 360): atan2 in degrees, 360 added when negative.
// Not-a-number stays not-a-number.
SCREPORT_CORE_EXPORT double angleDeg(const Cx& z);

// Fixed notation with `decimals` places, as printf %.*f writes it, except that every
// not-a-number is "nan".
SCREPORT_CORE_EXPORT std::string fixed(double v, int decimals);
// The same texts into a buffer, for cells written by the million: the number of bytes
// written to `out`, which has room for kNumberRoom (fixed) or kCellRoom (complex) bytes.
constexpr size_t kNumberRoom = 400;
constexpr size_t kCellRoom = 2 * kNumberRoom + 8;
SCREPORT_CORE_EXPORT size_t fixedTo(char* out, double v, int decimals);
SCREPORT_CORE_EXPORT size_t complexTo(char* out, const Cx& z);

// Largest magnitude a cell is written with: a number whose whole part alone is wider than
// the widest field of any report (20 characters) is no reading anyone can use.
constexpr double kMaxCell = 1e20;
// Infinite, or too large for a cell: what an overflow leaves (NaN is not).
inline bool tooLarge(double v) {
    return std::fabs(v) >= kMaxCell;
}

// The zero-sequence fault currents of a case's fault points, against its fault type.
struct ZeroSeqSeen {
    int zero = 0, nonZero = 0;
    // Below a millionth of the positive-sequence current a zero-sequence current is what
    // rounding leaves of none. A NaN (bad stored value) tells nothing.
    void add(const Cx& i1, const Cx& i0) {
        const double a0 = std::abs(i0), a1 = std::abs(i1);
        if (std::isnan(a0) || std::isnan(a1)) return;
        if (a0 <= 1e-6 * a1)
            ++zero;
        else
            ++nonZero;
    }
};
// Whether the currents contradict the fault type code: three-phase (1) and phase-to-phase
// (3) faults have no zero-sequence current anywhere, ground faults (2, 4) have some somewhere
// (one at a bus without a zero-sequence path may have none).
inline bool typeContradicted(int type, const ZeroSeqSeen& s) {
    if (type == 1 || type == 3) return s.nonZero > 0;
    if (type == 2 || type == 4) return s.zero > 0 && s.nonZero == 0;
    return false;
}

// Sequence values of one bus (or one end) at one fault.
struct SeqV {
    Cx v1, v2, v0;
};

// Currents of a branch at one fault: I side, J side, and the zero sequence, which has
// no charging and no ratio term and is the same at both ends.
struct BranchEnds {
    Cx i1i, i2i, i1j, i2j, i0;
};

// z1 = R1 + jX1, b1half the half charging susceptance, tk the ratio. toGround: the two
// bus names are equal, the branch is a shunt element fed by its I side. z0 null: the
// branch has no zero-sequence impedance and carries no zero-sequence current.
SCREPORT_CORE_EXPORT BranchEnds branchCurrents(const Cx& z1, double b1half, double tk, bool toGround,
                                               const SeqV& vi, const SeqV& vj, const Cx* z0);

// Calculation date YYYYMMDD as YYYY/MM/DD and time HHMMSS as HH:MM:SS: separators
// inserted at fixed positions of the growing text (a short text is padded with blanks).
SCREPORT_CORE_EXPORT std::string dateText(std::string yyyymmdd);
SCREPORT_CORE_EXPORT std::string timeText(std::string hhmmss);

// Per unit to named units for base power sb (MVA) and base voltage ub (kV):
// current in kA, impedance in ohm; a voltage in kV is |V| · ub.
inline double currentFactor(double sb, double ub) {
    return (sb / sqrt3()) / ub;
}
inline double impedanceFactor(double sb, double ub) {
    return (ub * ub) / sb;
}

// The scales of one row: all 1 in per-unit output.
struct Scale {
    double kU = 1.0, kI = 1.0, kZ = 1.0;
    static Scale perUnit() { return Scale(); }
    static Scale named(double sb, double ub) {
        return Scale{ub, currentFactor(sb, ub), impedanceFactor(sb, ub)};
    }
};

} // namespace scq
