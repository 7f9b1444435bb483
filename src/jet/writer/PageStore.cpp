#include "jet/writer/PageStore.h"

#include "jet/writer/Bytes.h"
#include "jet/writer/Format.h"

namespace fwb::jet::writer {

int PageStore::allocate()
{
    m_pages.append(QByteArray(kPageSize, '\0'));
    return int(m_pages.size()) - 1;
}

void PageStore::overwriteRow(quint32 pageRow, const QByteArray &bytes)
{
    QByteArray &target = page(int(pageRow >> 8));
    const int start = get16(target, kRowOffsetsStart + 2 * int(pageRow & 0xff));
    target.replace(start, bytes.size(), bytes);
}

QByteArray PageStore::image() const
{
    QByteArray bytes;
    bytes.reserve(qsizetype(m_pages.size()) * kPageSize);
    for (const QByteArray &page : m_pages)
        bytes.append(page);
    return bytes;
}

} // namespace fwb::jet::writer
