#pragma once

#include "jet/writer/StoredTable.h"

#include <QByteArray>
#include <QList>

// A Jet 4 record: the column count, the fixed-length area, the variable-length values, then
// from the end backwards the null mask, the number of variable values, their offsets and the
// end of the variable data. A table with no variable columns has only the count, the fixed area
// and the null mask.
namespace fwb::jet::writer {

// `fields`: per column, the bytes kept in the row (for long values their in-row form).
QByteArray encodeRecord(const TableLayout &layout, const QList<Field> &fields);
int recordSize(const TableLayout &layout, const QList<Field> &fields);

} // namespace fwb::jet::writer
