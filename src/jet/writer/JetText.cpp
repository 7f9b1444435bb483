#include "jet/writer/JetText.h"

#include <QtEndian>

namespace fwb::jet::writer {

namespace {

constexpr char16_t kByteOrderMark = u'\xfeff';

QByteArray utf16le(const QString &text)
{
    QByteArray bytes(text.size() * 2, '\0');
    for (qsizetype i = 0; i < text.size(); ++i)
        qToLittleEndian(text.at(i).unicode(), bytes.data() + 2 * i);
    return bytes;
}

} // namespace

std::optional<QByteArray> encodeText(const QString &text)
{
    if (!text.startsWith(QChar(kByteOrderMark)))
        return utf16le(text);
    for (QChar c : text) {
        // In uncompressed mode a zero byte where a character starts switches the mode back.
        if ((c.unicode() & 0xff) == 0)
            return std::nullopt;
    }
    QByteArray bytes("\xff\xfe", 2);
    bytes.append('\0');
    bytes.append(utf16le(text));
    return bytes;
}

QByteArray encodeName(const QString &name)
{
    return utf16le(name);
}

} // namespace fwb::jet::writer
