#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// How an ini file's bytes become text and back. Files written on Windows are in the ANSI code
// page (Windows-1252 here) or, with a byte-order mark, in UTF-16LE; files edited on Linux are
// usually UTF-8. Decoding is exact, so encoding unchanged text gives back the same bytes.
namespace fwb::ini {

enum class IniEncoding { Utf8, Windows1252, Utf16LE };

struct DecodedIni
{
    IniEncoding encoding = IniEncoding::Utf8;
    QByteArray head; // a byte-order mark, kept as found
    QString text;
    QByteArray tail; // the odd last byte of a UTF-16 file
};

// UTF-16LE after its byte-order mark; otherwise UTF-8 when the bytes are valid UTF-8 (an
// initial UTF-8 mark is set aside), Windows-1252 when they are not.
DecodedIni decodeIni(QByteArrayView bytes);
QByteArray encodeIni(const DecodedIni &ini);

// Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D have no character in Windows-1252; they become the
// C1 controls of the same number, so every byte survives a round trip.
QString fromWindows1252(QByteArrayView bytes);
// Characters Windows-1252 cannot hold become '?'.
QByteArray toWindows1252(QStringView text);

} // namespace fwb::ini
