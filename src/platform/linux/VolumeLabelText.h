#pragma once

#include <QByteArrayView>
#include <QString>

namespace fwb {

// A label as the probes hand it over: UTF-8 for most filesystems, but FAT labels are raw bytes
// in the code page of whoever formatted the volume. Bytes that are not UTF-8 are taken as
// Latin-1, so no byte is lost.
QString labelFromBytes(QByteArrayView bytes);

// Undoes udev's escaping of ID_FS_LABEL_ENC, where "\xNN" stands for one byte (spaces, slashes,
// quotes and backslashes are escaped so; UTF-8 letters are not). A backslash that does not
// start such an escape is kept.
QString decodeUdevEncoded(QByteArrayView encoded);

} // namespace fwb
