#include "jet/engine/StoredText.h"

#include <QtEndian>

namespace fwb::jet::engine {

namespace {

bool hasCompressionMarker(QByteArrayView stored)
{
    return stored.size() >= 2 && quint8(stored[0]) == 0xff && quint8(stored[1]) == 0xfe;
}

std::optional<QString> utf16le(QByteArrayView stored)
{
    if (stored.size() % 2 != 0)
        return std::nullopt;
    QString text(stored.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(qFromLittleEndian<quint16>(stored.data() + 2 * i));
    return text;
}

std::optional<QString> uncompressed(QByteArrayView stored)
{
    QString text;
    text.reserve(stored.size());
    bool oneByte = true;
    for (qsizetype i = 2; i < stored.size(); ++i) {
        const quint8 byte = quint8(stored[i]);
        if (byte == 0) {
            oneByte = !oneByte;
        } else if (oneByte) {
            text.append(QChar(byte));
        } else {
            if (i + 1 >= stored.size())
                return std::nullopt;
            text.append(QChar(quint16(byte | quint8(stored[i + 1]) << 8)));
            ++i;
        }
    }
    return text;
}

// Windows-1252's characters for the bytes 0x80 to 0x9F; the five it leaves undefined keep their
// own code, as Windows converts them.
constexpr char16_t kCp1252High[32] = {
    0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008d, 0x017d, 0x008f, 0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
    0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x009d, 0x017e, 0x0178};

} // namespace

std::optional<QString> jet4Text(QByteArrayView stored)
{
    return hasCompressionMarker(stored) ? uncompressed(stored) : utf16le(stored);
}

QString jet3Text(QByteArrayView stored)
{
    QString text(stored.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const quint8 byte = quint8(stored[i]);
        text[i] = QChar(byte >= 0x80 && byte < 0xa0 ? kCp1252High[byte - 0x80] : char16_t(byte));
    }
    return text;
}

} // namespace fwb::jet::engine
