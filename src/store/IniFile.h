#pragma once

#include <QString>

// Reading and writing ini files the way the Windows private-profile functions do, because
// the settings files and the ini backup sets are written by Windows programs.
namespace fwb::ini {

// The value of `key` in `section`, or `defaultValue` when the file, section or key is absent.
// `bufferSize` is the size of the caller's buffer, terminator included: a longer value comes
// back cut to bufferSize - 1 characters.
QString readProfileString(const QString &file, const QString &section, const QString &key,
                          const QString &defaultValue, int bufferSize);

// Sets `key` in `section` to `value`, creating the file or section as needed; every other
// byte of the file stays as it was. The file is replaced atomically. False on failure.
bool writeProfileString(const QString &file, const QString &section, const QString &key,
                        const QString &value);

} // namespace fwb::ini
