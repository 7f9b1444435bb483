#pragma once

#include "jet/engine/Mdb.h"

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace fwb::jet::engine {

// The stored bytes of a memo value from its field in the row: a 12-byte header (length and
// storage kind, a page-row pointer) and, for a value kept in the row, the value itself. A value
// on long-value pages is one row there, or a chain of rows each starting with a pointer to the
// next.
//
// Nothing when the value is damaged: a pointer to no row, a chain that loops or ends before the
// stored length is reached, or a length above `maxBytes`. libmdb returns what it found in such
// cases and only prints a warning, so a damaged memo would come back shorter with success.
std::optional<QByteArray> longValueBytes(MdbHandle *mdb, QByteArrayView field, qsizetype maxBytes);

} // namespace fwb::jet::engine
