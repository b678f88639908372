#pragma once
// Values the case database does not really hold: NULL, text that is no number,
// infinities and NaN, numbers outside their column's domain, rows that should be there
// and are not, rows stored twice, a fault type the results contradict, results too large
// to write. Every read of a number goes through readNumber; what it rejects never
// becomes a plausible number: it is NaN from then on, and the cells computed from it
// stay empty. Each problem is one entry of the run's list.
#include "export.h"

#include <QVariant>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace dataproblems {

enum class Kind {
    Null,
    NotNumber,
    NotFinite,
    OutOfDomain,
    Missing,
    Duplicate, // a row's key stored again with the same values
    Conflict,  // ... with other values: one entry per column, both values shown
    Mismatch,  // a case value the stored results contradict
    Overflow,  // a result of values within their bounds too large to write
    BadText,   // a name whose bytes are text in neither UTF-8 nor GB18030
};
enum class Action {
    CellsEmpty,
    RowLeftOut,
    FaultLeftOut,
    UsedOnce,
    // Stored choices of the report dialog:
    ItemLeftOut,  // an item number that is no item of its report
    PerUnitUsed,  // a unit that is neither
    FirstRowUsed, // a later row of the same case or report differs
};

// What a column may hold.
enum class Domain {
    Finite,    // finite, magnitude at most kMaxStored
    Positive,  // 1 / kMaxStored to kMaxStored: base voltage, base power, ratio
    Integer,   // whole number within int
    FaultType, // 1 to 4
};

struct Problem {
    Kind kind = Kind::Missing;
    std::string table, column; // as the program's statements name them
    std::string key;           // the row: case, bus / branch / fault point (GB18030)
    std::string value;         // the stored value as text (GB18030), empty for NULL or a missing row
    Action action = Action::CellsEmpty;
};

// The problems of one run, each (table, column, key) once, in the order found.
class SCREPORT_CORE_EXPORT List {
  public:
    void add(Problem p);
    const std::vector<Problem>& entries() const { return m_entries; }
    bool empty() const { return m_entries.empty(); }
    size_t size() const { return m_entries.size(); }
    std::map<Kind, size_t> counts() const;

  private:
    std::vector<Problem> m_entries;
    std::map<std::string, size_t> m_seen;
};

// GB18030 texts of the list.
SCREPORT_CORE_EXPORT std::string kindText(Kind k);
SCREPORT_CORE_EXPORT std::string actionText(Action a);
// One line: table.column, key, stored value, kind, what was done.
SCREPORT_CORE_EXPORT std::string lineText(const Problem& p);
// "n 个数据问题：" with the count of each kind.
SCREPORT_CORE_EXPORT std::string countsText(const List& l);

// The list problems go to while an output run is on; null outside one, when report()
// writes the entry to the error stream instead.
SCREPORT_CORE_EXPORT void setCurrent(List* list);
SCREPORT_CORE_EXPORT List* current();
SCREPORT_CORE_EXPORT void report(Problem p);

constexpr double kBad = std::numeric_limits<double>::quiet_NaN();
// No per-unit value, MVA, kV, ratio or angle of a power system comes near it (the largest,
// capacities, are some 1e5 MVA); beyond it a value is a marker or damage, as is a base or
// ratio below its inverse. Products of a few values within it stay far from overflow, so
// only a division by a near-zero can overflow.
constexpr double kMaxStored = 1e15;
inline bool bad(double v) {
    return std::isnan(v);
}

struct Checked {
    double value = kBad; // NaN unless ok
    bool ok = false;
    Kind kind = Kind::Null;
};

// The one conversion of a stored number: NULL, text that does not read as a number as
// a whole, non-finite values and values outside the domain are rejected. Every read path
// (the Qt drivers' values, the server's binary rows) comes down to the two below.
SCREPORT_CORE_EXPORT Checked readNumber(const QVariant& v, Domain d = Domain::Finite);
// A value the database holds as a number.
SCREPORT_CORE_EXPORT Checked readNumber(double x, Domain d);
// A value the database holds as text: a number as a whole, blanks around it allowed.
SCREPORT_CORE_EXPORT Checked readNumberText(const QString& s, Domain d);
inline Checked nullValue() {
    return Checked{};
}
// The stored value as text for the list (GB18030).
SCREPORT_CORE_EXPORT std::string storedText(const QVariant& v);
SCREPORT_CORE_EXPORT std::string storedText(double x);
SCREPORT_CORE_EXPORT std::string storedText(const QString& s);

} // namespace dataproblems
