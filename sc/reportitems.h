#pragma once
// The items of a report kind: per item number, the cells it adds to a row (or to a group
// line), computed from the row's quantities. The reports share one loop over the chosen
// items; a kind differs only in its table.
#include "sc/quantities.h"

#include <cmath>
#include <functional>
#include <initializer_list>
#include <string_view>
#include <type_traits>
#include <vector>

namespace scitems {

// Where a cell's text is made; the text is used before the next cell is made.
struct CellBuffer {
    char data[scq::kCellRoom];
    // The row was computed from a value the database does not really hold: a
    // not-a-number result stays an empty cell instead of "nan".
    bool blankNaN = false;
    // A cell was left empty for a value too large to write.
    bool overflowed = false;
    // The value(s) the last number cell was printed from, for full precision in the
    // .xlsx: one, or a complex cell's magnitude and angle; 0 for a text.
    int nExact = 0;
    double exact[2] = {};

    // Whether a cell of magnitude m (nan: some part is NaN) stays empty; an overflow is noted.
    bool empty(double m, bool nan) {
        if (nan) return blankNaN;
        if (!scq::tooLarge(m)) return false;
        overflowed = true;
        return true;
    }
};

// A complex cell (magnitude / angle).
inline std::string_view complexCell(CellBuffer& b, const scq::Cx& z) {
    const bool nan = std::isnan(z.real()) || std::isnan(z.imag());
    // |z| <= |re| + |im|: the magnitude only when it may be too large.
    const double m = !nan && std::fabs(z.real()) + std::fabs(z.imag()) >= scq::kMaxCell ? std::abs(z) : 0.0;
    if (b.empty(m, nan)) return std::string_view();
    // As scq::complexTo writes it, keeping what it printed.
    b.exact[0] = std::abs(z);
    b.exact[1] = scq::angleDeg(z);
    b.nExact = 2;
    size_t n = scq::fixedTo(b.data, b.exact[0], 4);
    b.data[n++] = ' ';
    b.data[n++] = '/';
    b.data[n++] = ' ';
    return std::string_view(b.data, n + scq::fixedTo(b.data + n, b.exact[1], 2));
}

// Whether any of the values is NaN, the mark of a bad stored value.
inline bool anyBad(std::initializer_list<scq::Cx> zs, std::initializer_list<double> xs = {}) {
    for (const scq::Cx& z : zs)
        if (std::isnan(z.real()) || std::isnan(z.imag())) return true;
    for (double x : xs)
        if (std::isnan(x)) return true;
    return false;
}

template <class Ctx> struct Item {
    using Cell = std::function<std::string_view(const Ctx&, CellBuffer&)>;
    Cell cell;
    // Second cell of two-sided items (the branch-end report's J side); empty otherwise.
    Cell cell2;
};

template <class Ctx> using Table = std::vector<Item<Ctx>>;

// A number cell: the value in fixed notation with `decimals` places.
template <class Ctx, class F> typename Item<Ctx>::Cell number(F value, int decimals) {
    return [value, decimals](const Ctx& c, CellBuffer& b) {
        const double v = value(c);
        if (b.empty(v, std::isnan(v))) return std::string_view();
        b.exact[0] = v;
        b.nExact = 1;
        return std::string_view(b.data, scq::fixedTo(b.data, v, decimals));
    };
}

// Appends the cells of the chosen items, in the order chosen, as out(text) or, when out
// takes them, out(text, buffer) with the values printed. Numbers without a definition
// add nothing. `tainted`: the row's inputs hold a bad stored value. Returns the first
// item left empty for a value too large to write, -1 for none.
template <class Ctx, class Emit>
int appendCells(const Table<Ctx>& table, const std::vector<int>& chosen, const Ctx& c, Emit&& out,
                bool tainted = false) {
    CellBuffer buf;
    buf.blankNaN = tainted;
    int first = -1;
    for (int n : chosen) {
        if (n < 0 || n >= int(table.size())) continue;
        const Item<Ctx>& it = table[size_t(n)];
        auto put = [&](std::string_view t) {
            if constexpr (std::is_invocable_v<Emit, std::string_view, const CellBuffer&>)
                out(t, buf);
            else
                out(t);
        };
        buf.nExact = 0;
        put(it.cell(c, buf));
        if (it.cell2) {
            buf.nExact = 0;
            put(it.cell2(c, buf));
        }
        if (buf.overflowed && first < 0) first = n;
    }
    return first;
}

} // namespace scitems
