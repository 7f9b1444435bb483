#pragma once

#include "jet/engine/Mdb.h"

namespace fwb::jet::engine {

// A data page lists its rows in slots after the row count: each the row's offset in its low
// bits, with flags above (libmdb's OFFSET_MASK and delflag).
constexpr int kRowOffsetMask = 0x1fff;
constexpr int kDeletedRowFlag = 0x4000;

// The slot of `row` on a page held in one of the handle's page buffers; the caller has checked
// the row number against the page's slot table.
inline int rowSlot(const MdbHandle *mdb, const unsigned char *page, int row)
{
    const int at = mdb->fmt->row_count_offset + 2 + 2 * row;
    return page[at] | page[at + 1] << 8;
}

} // namespace fwb::jet::engine
