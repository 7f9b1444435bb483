#include "store/IniCodec.h"

#include <QStringDecoder>
#include <array>

namespace fwb::ini {

namespace {

// Windows-1252 bytes 0x80 to 0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr QByteArrayView kUtf8Bom("\xEF\xBB\xBF");
constexpr QByteArrayView kUtf16LeBom("\xFF\xFE");

char toWindows1252Byte(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == c)
            return char(0x80 + i);
    }
    return '?';
}

DecodedIni decodeUtf16Le(QByteArrayView bytes)
{
    DecodedIni ini{IniEncoding::Utf16LE, kUtf16LeBom.toByteArray(), {}, {}};
    const QByteArrayView body = bytes.sliced(kUtf16LeBom.size());
    const qsizetype units = body.size() / 2;
    ini.text.resize(units);
    QChar *out = ini.text.data();
    for (qsizetype i = 0; i < units; ++i)
        out[i] = QChar(char16_t(uchar(body[2 * i]) | uchar(body[2 * i + 1]) << 8));
    if (body.size() % 2)
        ini.tail = body.last(1).toByteArray();
    return ini;
}

QByteArray encodeUtf16Le(QStringView text)
{
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        bytes[2 * i] = char(unit & 0xFF);
        bytes[2 * i + 1] = char(unit >> 8);
    }
    return bytes;
}

} // namespace

QString fromWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar b = uchar(bytes[i]);
        out[i] = (b >= 0x80 && b < 0xA0) ? QChar(kHighControls[b - 0x80]) : QChar(char16_t(b));
    }
    return text;
}

QByteArray toWindows1252(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        // A surrogate pair is one character, so it becomes one '?'.
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        bytes.append(c.isSurrogate() ? '?' : toWindows1252Byte(c.unicode()));
    }
    return bytes;
}

DecodedIni decodeIni(QByteArrayView bytes)
{
    if (bytes.startsWith(kUtf16LeBom))
        return decodeUtf16Le(bytes);

    DecodedIni ini;
    if (bytes.startsWith(kUtf8Bom)) {
        ini.head = kUtf8Bom.toByteArray();
        bytes = bytes.sliced(kUtf8Bom.size());
    }
    // Stateless, so a sequence cut off at the end of the file counts as an error too.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    ini.text = utf8.decode(bytes);
    if (utf8.hasError()) {
        ini.encoding = IniEncoding::Windows1252;
        ini.text = fromWindows1252(bytes);
    }
    return ini;
}

QByteArray encodeIni(const DecodedIni &ini)
{
    QByteArray body;
    switch (ini.encoding) {
    case IniEncoding::Utf8:
        body = ini.text.toUtf8();
        break;
    case IniEncoding::Windows1252:
        body = toWindows1252(ini.text);
        break;
    case IniEncoding::Utf16LE:
        body = encodeUtf16Le(ini.text);
        break;
    }
    return ini.head + body + ini.tail;
}

} // namespace fwb::ini
