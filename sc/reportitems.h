#pragma once
// The items of a report kind: per item number, the cells it adds to a row (or to a group
// line), computed from the row's quantities. The reports share one loop over the chosen
// items; a kind differs only in its table.
#include "sc/quantities.h"

#include <functional>
#include <string>
#include <vector>

namespace scitems {

template <class Ctx> struct Item {
    std::function<std::string(const Ctx&)> cell;
    // Second cell of two-sided items (the branch-end report's J side); empty otherwise.
    std::function<std::string(const Ctx&)> cell2;
};

template <class Ctx> using Table = std::vector<Item<Ctx>>;

// A number cell: the value in fixed notation with `decimals` places.
template <class Ctx, class F> Item<Ctx> number(F value, int decimals) {
    return Item<Ctx>{[value, decimals](const Ctx& c) { return scq::fixed(value(c), decimals); }, {}};
}

// Appends the cells of the chosen items, in the order chosen. Numbers without a
// definition add nothing.
template <class Ctx, class Emit>
void appendCells(const Table<Ctx>& table, const std::vector<int>& chosen, const Ctx& c, Emit&& out) {
    for (int n : chosen) {
        if (n < 0 || n >= int(table.size())) continue;
        const Item<Ctx>& it = table[size_t(n)];
        out(it.cell(c));
        if (it.cell2) out(it.cell2(c));
    }
}

} // namespace scitems
