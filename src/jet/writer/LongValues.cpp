#include "jet/writer/LongValues.h"

#include "jet/writer/Bytes.h"
#include "jet/writer/Format.h"

namespace fwb::jet::writer {

namespace {

QByteArray memoField(qsizetype length, quint8 storage, quint32 pageRow)
{
    QByteArray field(kMemoFieldHeaderSize, '\0');
    put32(field, 0, quint32(length) | quint32(storage) << 24);
    put32(field, 4, pageRow);
    return field;
}

} // namespace

QByteArray inlineMemo(const QByteArray &value)
{
    return memoField(value.size(), kMemoInline, 0) + value;
}

LongValueWriter::LongValueWriter(PageStore &store) : m_packer(store, kLongValueOwner) {}

QByteArray LongValueWriter::store(const QByteArray &value)
{
    Q_ASSERT(value.size() <= kMaxMemoBytes);
    if (value.size() <= kMaxPageRowSize)
        return memoField(value.size(), kMemoOnePage, m_packer.place(value));
    return memoField(value.size(), kMemoPageChain, storeChain(value));
}

quint32 LongValueWriter::storeChain(const QByteArray &value)
{
    // Each piece points to the next, so the pieces are placed last to first; the full pieces
    // take a page each, the short last one may share a page with other values.
    const qsizetype pieces = (value.size() + kLongValuePieceSize - 1) / kLongValuePieceSize;
    quint32 next = 0;
    for (qsizetype piece = pieces - 1; piece >= 0; --piece) {
        QByteArray row;
        append32(row, next);
        row.append(value.mid(piece * kLongValuePieceSize, kLongValuePieceSize));
        next = m_packer.place(row);
    }
    return next;
}

} // namespace fwb::jet::writer
