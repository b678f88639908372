#include "quantities.h"

#include <cstdint>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace scq {

const Cx& rotA() {
    static const Cx a(std::cos(2.0943951023931953), std::sin(2.0943951023931953));
    return a;
}

Cx div(const Cx& a, const Cx& b) {
    if (b.real() == 0.0 && b.imag() == 0.0) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return Cx(nan, nan);
    }
    const Cx q = a / b;
    // |q| <= |re| + |im|; a NaN (a bad value, or a divisor too small for the division) fails too.
    if (std::fabs(q.real()) + std::fabs(q.imag()) < kMaxQuotient) return q;
    auto finite = [](const Cx& z) { return std::isfinite(z.real()) && std::isfinite(z.imag()); };
    if (!finite(a) || !finite(b)) return q;
    if (std::abs(q) <= kMaxQuotient) return q;
    return std::polar(kMaxQuotient, std::arg(a) - std::arg(b));
}

Phases toPhases(const Cx& s1, const Cx& s2, const Cx& s0) {
    const Cx& a = rotA();
    Phases p;
    p.a = (s0 + s1) + s2;
    p.b = (s0 + (s1 * a) * a) + s2 * a;
    p.c = (s0 + s1 * a) + (s2 * a) * a;
    return p;
}

BranchEnds branchCurrents(const Cx& z1, double b1half, double tk, bool toGround, const SeqV& vi,
                          const SeqV& vj, const Cx* z0) {
    BranchEnds e;
    if (toGround) {
        e.i1i = e.i1j = div(vi.v1, z1);
        e.i2i = e.i2j = div(vi.v2, z1);
        e.i0 = z0 ? div(vi.v0, *z0) : Cx();
        return e;
    }
    // The negative sequence sees the positive-sequence impedance and charging.
    const Cx y(0.0, b1half);
    auto overTk = [tk](const Cx& x) { return tk == 0.0 ? div(x, Cx()) : x / tk; };
    e.i1i = div(vi.v1 - overTk(vj.v1), z1) + y * vi.v1;
    e.i2i = div(vi.v2 - overTk(vj.v2), z1) + y * vi.v2;
    e.i1j = overTk(div(vi.v1 - vj.v1, z1) - y * vj.v1);
    e.i2j = overTk(div(vi.v2 - vj.v2, z1) - y * vj.v2);
    e.i0 = z0 ? div(vi.v0 - vj.v0, *z0) : Cx();
    return e;
}

double angleDeg(const Cx& z) {
    double phi = std::atan2(z.imag(), z.real()) * 57.29577951308232;
    if (phi < 0) phi += 360.0;
    return phi + 0.0; // -0 becomes 0, so no angle is written with a sign
}

namespace {

constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
constexpr uint64_t kIPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

// n / 10^D, a point and D digits of n % 10^D.
template <int D> char* digits(char* p, uint64_t n) {
    constexpr uint64_t scale = kIPow10[D];
    p = std::to_chars(p, p + 24, n / scale).ptr;
    *p++ = '.';
    uint64_t f = n % scale;
    for (int k = D - 1; k >= 0; --k) {
        p[k] = char('0' + f % 10);
        f /= 10;
    }
    return p + D;
}

// The common case without the general conversion: the scaled value is rounded once, so
// it is within a relative 2^-53 of the exact product; unless that leaves it near a
// rounding tie, its nearest integer is the one printf rounds the exact value to.
// Returns 0 when it cannot decide (tie, huge, infinite).
size_t fastFixed(char* out, double v, int decimals) {
    if (decimals < 0 || decimals > 9) return 0;
    const double s = std::fabs(v) * kPow10[decimals];
    if (!(s < 9.0e15)) return 0;
    const uint64_t whole = uint64_t(s); // truncation is floor here, and exact
    const double frac = s - double(whole);
    if (std::fabs(frac - 0.5) <= s * 4.5e-16 + 1e-300) return 0;
    const uint64_t n = whole + (frac > 0.5 ? 1 : 0);
    char* p = out;
    if (std::signbit(v)) *p++ = '-';
    switch (decimals) { // constant divisors: no division instruction per cell
    case 0:
        return size_t(std::to_chars(p, p + 24, n).ptr - out);
    case 1:
        return size_t(digits<1>(p, n) - out);
    case 2:
        return size_t(digits<2>(p, n) - out);
    case 3:
        return size_t(digits<3>(p, n) - out);
    case 4:
        return size_t(digits<4>(p, n) - out);
    case 5:
        return size_t(digits<5>(p, n) - out);
    case 6:
        return size_t(digits<6>(p, n) - out);
    case 7:
        return size_t(digits<7>(p, n) - out);
    case 8:
        return size_t(digits<8>(p, n) - out);
    default:
        return size_t(digits<9>(p, n) - out);
    }
}

} // namespace

size_t fixedTo(char* out, double v, int decimals) {
    if (std::isnan(v)) {
        std::memcpy(out, "nan", 3);
        return 3;
    }
    if (const size_t n = fastFixed(out, v, decimals)) return n;
    auto r = std::to_chars(out, out + kNumberRoom, v, std::chars_format::fixed, decimals);
    if (r.ec == std::errc()) return size_t(r.ptr - out);
    const int n = std::snprintf(out, kNumberRoom, "%.*f", decimals, v);
    return n < 0 ? 0 : std::min(size_t(n), kNumberRoom - 1);
}

size_t complexTo(char* out, const Cx& z) {
    size_t n = fixedTo(out, std::abs(z), 4);
    std::memcpy(out + n, " / ", 3);
    n += 3;
    return n + fixedTo(out + n, angleDeg(z), 2);
}

std::string fixed(double v, int decimals) {
    char buf[kNumberRoom];
    return std::string(buf, fixedTo(buf, v, decimals));
}

namespace {
void insertAt(std::string& s, size_t pos, const char* sep) {
    if (s.size() < pos) s.resize(pos, ' ');
    s.insert(pos, sep);
}
} // namespace

std::string dateText(std::string d) {
    insertAt(d, 4, "/");
    insertAt(d, 7, "/");
    return d;
}

std::string timeText(std::string t) {
    insertAt(t, 2, ":");
    insertAt(t, 5, ":");
    return t;
}

} // namespace scq
