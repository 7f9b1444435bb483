#pragma once

#include <QByteArray>
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
// byte of the file stays as it was. The file is replaced atomically, through a temporary file
// named "<file>.fwbtmp-XXXXXX"; ones that writers killed mid-way left behind are removed once
// they are a minute old. False on failure, and when the write would change how the rest of the
// file reads (a Windows-1252 file that would become valid UTF-8).
bool writeProfileString(const QString &file, const QString &section, const QString &key,
                        const QString &value);

// Removes the temporary files of `file` that writers killed mid-way left behind, once they are
// a minute old; those of a writer still at work are kept.
void removeStaleTemporaries(const QString &file);

// What writeProfileString would make of a file holding `before` (empty for a missing file), or
// nothing when it would refuse the write.
std::optional<QByteArray> bytesWithValue(QByteArrayView before, const QString &section,
                                         const QString &key, const QString &value);

} // namespace fwb::ini
