#pragma once

#include "jet/writer/PageStore.h"

#include <QByteArray>
#include <QList>

// Usage maps: which pages belong to a table (or hold a column's long values). Readers walk a
// table's data pages through its map.
namespace fwb::jet::writer {

// The map row for `pages`: the bitmap inline when they lie within 512 consecutive pages, else
// pointers to bitmap pages, which it allocates from `store`.
QByteArray usageMap(const QList<int> &pages, PageStore &store);

// The file-wide map on page 1, which marks the pages not yet in use.
QByteArray globalUsageMap(int pageCount);

} // namespace fwb::jet::writer
