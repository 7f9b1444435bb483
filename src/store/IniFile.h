#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

// Reading and writing ini files the way the Windows private-profile functions do, because
// the settings files and the ini backup sets are written by Windows programs.
namespace fwb::ini {

// The value of `key` in `section`, or `defaultValue` when the file, section or key is absent.
// `bufferSize` is the size of the caller's buffer, terminator included: a longer value comes
// back cut to bufferSize - 1 characters.
QString readProfileString(const QString &file, const QString &section, const QString &key,
                          const QString &defaultValue, int bufferSize);

// Sets `key` in `section` to `value`, creating the file or section as needed; every other
// byte of the file stays as it was. The file is replaced atomically, through a temporary file
// named "<file>.fwbtmp-XXXXXX"; ones that writers killed mid-way left behind are removed once
// they are a minute old. False on failure, and when the write would change how the rest of the
// file reads (a Windows-1252 file that would become valid UTF-8).
bool writeProfileString(const QString &file, const QString &section, const QString &key,
                        const QString &value);

// What writeProfileString would make of a file holding `before` (empty for a missing file), or
// nothing when it would refuse the write.
std::optional<QByteArray> bytesWithValue(QByteArrayView before, const QString &section,
                                         const QString &key, const QString &value);

} // namespace fwb::ini
