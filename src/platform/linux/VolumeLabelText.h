#pragma once

#include <QByteArrayView>
#include <QString>

namespace fwb {

// A label as the probes hand it over for a filesystem of type `fsType`. FAT ("vfat", "msdos")
// keeps its label as bytes in the DOS (OEM) code page of the Windows that wrote it, and the
// probes pass those bytes on as they are: they are read in the code page that goes with the
// user's language, as Windows in that language reads them (see oemCodePage()). Every other
// filesystem gives UTF-8 (exFAT and NTFS store UTF-16, which the probes convert); bytes that are
// not UTF-8 are taken as Latin-1 there, so no byte is lost.
QString labelFromBytes(QByteArrayView bytes, const QString &fsType = {});

// Undoes udev's escaping of ID_FS_LABEL_ENC, where "\xNN" stands for one byte (spaces, slashes,
// quotes and backslashes are escaped so; UTF-8 letters are not), then reads the bytes as
// labelFromBytes() does. A backslash that does not start such an escape is kept.
QString decodeUdevEncoded(QByteArrayView encoded, const QString &fsType = {});

// The DOS code page of the user's language, the first of LANGUAGE, LC_ALL, LC_MESSAGES and LANG
// that is set: 850 for the languages of Western Europe (Catalan, Danish, Dutch, English as
// written in Britain and Ireland, Faroese, Finnish, French, Galician, German, Icelandic, Irish,
// Italian, Luxembourgish, Norwegian, Occitan, Portuguese, Romansh, Scottish Gaelic, Spanish,
// Swedish, Basque), 437 for every other.
int oemCodePage();

} // namespace fwb
