#include "jet/engine/LongValue.h"

#include "jet/engine/RowSlots.h"

#include <QSet>
#include <QtEndian>

namespace fwb::jet::engine {

namespace {

constexpr int kFieldHeaderBytes = 12;
constexpr quint32 kLengthMask = 0x3fffffff;
constexpr quint32 kInRow = 0x80000000;
constexpr quint32 kOneRow = 0x40000000;
constexpr quint32 kChain = 0;

int get16(const unsigned char *page, int offset)
{
    return qFromLittleEndian<quint16>(page + offset);
}

// One row of a long-value page, read into the handle's second page buffer (libmdb's own row
// lookup there does not report a bad row number).
std::optional<QByteArrayView> longValueRow(MdbHandle *mdb, quint32 pageRow)
{
    const quint32 page = pageRow >> 8;
    const int row = int(pageRow & 0xff);
    if (page == 0 || mdb_read_alt_pg(mdb, page) != mdb->fmt->pg_size)
        return std::nullopt;
    const unsigned char *buffer = mdb->alt_pg_buf;
    const int pageSize = int(mdb->fmt->pg_size);
    const int countOffset = mdb->fmt->row_count_offset;
    const int rows = get16(buffer, countOffset);
    const int slotsEnd = countOffset + 2 + 2 * rows;
    if (buffer[0] != MDB_PAGE_DATA || row >= rows || slotsEnd > pageSize)
        return std::nullopt;
    const int slot = rowSlot(mdb, buffer, row);
    const int start = slot & kRowOffsetMask;
    const int end = row == 0 ? pageSize : get16(buffer, countOffset + 2 * row) & kRowOffsetMask;
    if ((slot & kDeletedRowFlag) || start < slotsEnd || start > end || end > pageSize)
        return std::nullopt;
    return QByteArrayView(buffer + start, end - start);
}

// The pieces of a chain joined until `length` bytes are found. A piece past the length is cut,
// as Access leaves room at the end of the last one.
std::optional<QByteArray> chainBytes(MdbHandle *mdb, quint32 pageRow, qsizetype length)
{
    QByteArray bytes;
    bytes.reserve(length);
    QSet<quint32> visited;
    while (bytes.size() < length) {
        if (pageRow == 0 || visited.contains(pageRow))
            return std::nullopt;
        visited.insert(pageRow);
        const std::optional<QByteArrayView> row = longValueRow(mdb, pageRow);
        if (!row || row->size() < 4)
            return std::nullopt;
        pageRow = qFromLittleEndian<quint32>(row->data());
        bytes.append(row->sliced(4).first(qMin(row->size() - 4, length - bytes.size())));
    }
    return bytes;
}

} // namespace

std::optional<QByteArray> longValueBytes(MdbHandle *mdb, QByteArrayView field, qsizetype maxBytes)
{
    if (field.size() < kFieldHeaderBytes)
        return std::nullopt;
    const quint32 header = qFromLittleEndian<quint32>(field.data());
    const quint32 pageRow = qFromLittleEndian<quint32>(field.data() + 4);
    const qsizetype length = qsizetype(header & kLengthMask);
    if (length > maxBytes)
        return std::nullopt;
    switch (header & ~kLengthMask) {
    case kInRow:
        if (field.size() - kFieldHeaderBytes < length)
            return std::nullopt;
        return field.sliced(kFieldHeaderBytes, length).toByteArray();
    case kOneRow: {
        const std::optional<QByteArrayView> row = longValueRow(mdb, pageRow);
        if (!row || row->size() < length)
            return std::nullopt;
        return row->first(length).toByteArray();
    }
    case kChain:
        return chainBytes(mdb, pageRow, length);
    default:
        return std::nullopt;
    }
}

} // namespace fwb::jet::engine
