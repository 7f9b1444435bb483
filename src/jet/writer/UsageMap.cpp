#include "jet/writer/UsageMap.h"

#include "jet/writer/Bytes.h"
#include "jet/writer/Format.h"

#include <algorithm>

namespace fwb::jet::writer {

namespace {

void setBit(QByteArray &bitmap, int offset, int bit)
{
    bitmap[offset + bit / 8] = char(bitmap[offset + bit / 8] | 1 << bit % 8);
}

QByteArray inlineMap(int firstPage)
{
    QByteArray map(kUsageMapRowSize, '\0');
    put8(map, 0, 0x00);
    put32(map, 1, quint32(firstPage));
    return map;
}

QByteArray bitmapPagesMap(const QList<int> &pages, PageStore &store)
{
    QByteArray map(kUsageMapRowSize, '\0');
    put8(map, 0, 0x01);
    QList<int> bitmapPages(kMaxBitmapPages, 0);
    for (int page : pages) {
        const int block = page / kBitmapPageCoverage;
        Q_ASSERT(block < kMaxBitmapPages);
        if (bitmapPages[block] == 0) {
            bitmapPages[block] = store.allocate();
            QByteArray &bitmap = store.page(bitmapPages[block]);
            put8(bitmap, 0, UsageBitmapPage);
            put8(bitmap, 1, 0x01);
            put32(map, 1 + 4 * block, quint32(bitmapPages[block]));
        }
        setBit(store.page(bitmapPages[block]), 4, page % kBitmapPageCoverage);
    }
    return map;
}

} // namespace

QByteArray usageMap(const QList<int> &pages, PageStore &store)
{
    if (pages.isEmpty())
        return inlineMap(0);
    const auto [first, last] = std::minmax_element(pages.begin(), pages.end());
    if (*last - *first >= kInlineMapPages)
        return bitmapPagesMap(pages, store);
    QByteArray map = inlineMap(*first);
    for (int page : pages)
        setBit(map, 5, page - *first);
    return map;
}

QByteArray globalUsageMap(int pageCount)
{
    QByteArray map = inlineMap(0);
    for (int page = pageCount; page < kInlineMapPages; ++page)
        setBit(map, 5, page);
    return map;
}

} // namespace fwb::jet::writer
