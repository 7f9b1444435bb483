#pragma once

#include "jet/DataAccess.h"

#include <QString>
#include <optional>

// The equality test of query conditions, done the way Jet does it for each kind of column.
namespace fwb::jet {

enum class CompareAs {
    Text,    // without regard to letter case (Unicode case folding)
    Number,  // by decimal value: "3.5" equals "3.5000" and "35e-1"
    Boolean, // "1"/"0" as read; a value is true when it is a non-zero number or True/Yes/On
};

// Whether `cell` equals `value`; nothing when `value` cannot be compared with a column of this
// kind (a text that is not a number, against a number column).
std::optional<bool> cellEquals(const QString &cell, const QString &value, CompareAs as);

// Whether a row with this cell passes `column = value` (or, with `negated`, its negation).
// A NULL cell or an incomparable value passes neither.
bool conditionHolds(const Cell &cell, const QString &value, bool negated, CompareAs as);

} // namespace fwb::jet
