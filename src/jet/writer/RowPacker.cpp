#include "jet/writer/RowPacker.h"

#include "jet/writer/Bytes.h"
#include "jet/writer/Format.h"

namespace fwb::jet::writer {

namespace {

// Below this a page counts as full: no record of the smallest useful size fits.
constexpr int kRoomForAnotherRow = 16;

int rowCount(const QByteArray &page)
{
    return get16(page, kRowCountOffset);
}

int lowestRowStart(const QByteArray &page)
{
    const int rows = rowCount(page);
    return rows == 0 ? kPageSize : get16(page, kRowOffsetsStart + 2 * (rows - 1)) & kRowOffsetMask;
}

} // namespace

RowPacker::RowPacker(PageStore &store, quint32 owner) : m_store(store), m_owner(owner) {}

int RowPacker::freeSpace(const QByteArray &page)
{
    return lowestRowStart(page) - kRowOffsetsStart - 2 * rowCount(page);
}

void RowPacker::startPage()
{
    const int number = m_store.allocate();
    QByteArray &page = m_store.page(number);
    put8(page, 0, DataPage);
    put8(page, 1, 0x01);
    put16(page, 2, quint16(kPageSize - kRowOffsetsStart));
    put32(page, 4, m_owner);
    m_pages.append(number);
}

quint32 RowPacker::place(const QByteArray &row)
{
    Q_ASSERT(row.size() <= kMaxPageRowSize);
    const auto fits = [&](const QByteArray &page) {
        return rowCount(page) < kMaxRowsPerPage && freeSpace(page) >= row.size() + 2;
    };
    if (m_pages.isEmpty() || !fits(m_store.page(m_pages.last())))
        startPage();

    QByteArray &page = m_store.page(m_pages.last());
    const int rowNumber = rowCount(page);
    const int start = lowestRowStart(page) - int(row.size());
    page.replace(start, row.size(), row);
    put16(page, kRowOffsetsStart + 2 * rowNumber, quint16(start));
    put16(page, kRowCountOffset, quint16(rowNumber + 1));
    put16(page, 2, quint16(freeSpace(page)));
    return quint32(m_pages.last()) << 8 | quint32(rowNumber);
}

void RowPacker::placeDeleted()
{
    if (m_pages.isEmpty() || rowCount(m_store.page(m_pages.last())) >= kMaxRowsPerPage ||
        freeSpace(m_store.page(m_pages.last())) < 2)
        startPage();
    QByteArray &page = m_store.page(m_pages.last());
    const int rowNumber = rowCount(page);
    put16(page, kRowOffsetsStart + 2 * rowNumber, quint16(lowestRowStart(page) | kDeletedRowFlag));
    put16(page, kRowCountOffset, quint16(rowNumber + 1));
    put16(page, 2, quint16(freeSpace(page)));
}

QList<int> RowPacker::pagesWithRoom() const
{
    QList<int> result;
    for (int number : m_pages) {
        const QByteArray &page = m_store.page(number);
        if (rowCount(page) < kMaxRowsPerPage && freeSpace(page) >= kRoomForAnotherRow)
            result.append(number);
    }
    return result;
}

} // namespace fwb::jet::writer
