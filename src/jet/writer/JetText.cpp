#include "jet/writer/JetText.h"

#include <QtEndian>
#include <algorithm>

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

// Whether the one-byte form holds the text: every character from U+0001 to U+00FF (a zero
// byte would switch modes) and enough of them that the two marker bytes pay off.
bool compressible(const QString &text)
{
    if (text.size() <= 2)
        return false;
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x01 && c.unicode() <= 0xff; });
}

} // namespace

std::optional<QByteArray> encodeText(const QString &text)
{
    // Access stores such texts compressed by default, so readers meet that form most.
    if (compressible(text))
        return QByteArray("\xff\xfe", 2) + text.toLatin1();
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
