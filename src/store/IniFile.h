#pragma once

#include <QByteArray>
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

// Settings files are a few kilobytes; anything larger than this is not one and is left alone
// rather than read into memory.
constexpr qint64 kMaxIniFileSize = 16 * 1024 * 1024;

// One ini file read and decoded once, for several values to be looked up in it with the
// rules of readProfileString(). A file that cannot be read answers every default.
class ProfileFile
{
public:
    static ProfileFile load(const QString &file);
    // From a file's bytes read elsewhere; nothing stands for a file that could not be read.
    static ProfileFile fromBytes(const std::optional<QByteArray> &bytes);
    QString read(const QString &section, const QString &key, const QString &defaultValue,
                 int bufferSize) const;

private:
    std::optional<QString> m_text;
};

// Sets `key` in `section` to `value`, creating the file or section as needed; every other
// byte of the file stays as it was. The file is replaced atomically. False on failure.
bool writeProfileString(const QString &file, const QString &section, const QString &key,
                        const QString &value);

} // namespace fwb::ini
