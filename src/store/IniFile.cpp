#include "store/IniFile.h"

#include "store/IniCodec.h"
#include "store/IniText.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <optional>

namespace fwb::ini {

namespace {

enum class FileState { Missing, Read, Unusable };

struct IniBytes
{
    FileState state = FileState::Missing;
    QByteArray bytes;
};

// Reads to the end of the file, which may have changed since `expectedSize` was seen.
std::optional<QByteArray> readAtMost(QFile &file, qint64 expectedSize, qint64 limit)
{
    QByteArray bytes;
    // One byte more than expected, so that growth shows without a second look at the size.
    qint64 want = expectedSize + 1;
    for (;;) {
        const qsizetype had = bytes.size();
        bytes.resize(had + want);
        const qint64 got = file.read(bytes.data() + had, want);
        if (got < 0)
            return std::nullopt;
        bytes.resize(had + got);
        if (bytes.size() > limit)
            return std::nullopt;
        if (got < want)
            return bytes;
        want = 64 * 1024;
    }
}

// Only a regular file (after following links) is opened: opening a FIFO would wait for a
// writer, and a device or folder holds no settings.
IniBytes loadIniBytes(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return {info.exists() ? FileState::Unusable : FileState::Missing, {}};
    if (info.size() > kMaxIniFileSize)
        return {FileState::Unusable, {}};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {FileState::Unusable, {}};
    std::optional<QByteArray> bytes = readAtMost(file, info.size(), kMaxIniFileSize);
    if (!bytes)
        return {FileState::Unusable, {}};
    return {FileState::Read, std::move(*bytes)};
}

QString withoutTrailingSpaces(QStringView text)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == u' ')
        --end;
    return text.first(end).toString();
}

// The caller's buffer holds bufferSize - 1 characters and a terminator. A character outside
// the Basic Multilingual Plane is not split.
QString fittedToBuffer(const QString &text, int bufferSize)
{
    const qsizetype room = qMax(bufferSize - 1, 0);
    qsizetype units = 0;
    for (qsizetype chars = 0; chars < room && units < text.size(); ++chars) {
        const bool pair = text[units].isHighSurrogate() && units + 1 < text.size() &&
                          text[units + 1].isLowSurrogate();
        units += pair ? 2 : 1;
    }
    return units == text.size() ? text : text.first(units);
}

QStringView untilNul(QStringView text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.first(nul);
}

// The temporary file lives beside the target, is synced and takes the target's permissions
// before it is renamed over it; on any failure it is removed and the target is untouched.
// Unbuffered, because QSaveFile::commit() renames even when flushing its buffer failed: a
// full disk would then leave a cut-off file.
bool replaceFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (out.write(bytes) != bytes.size() || out.error() != QFileDevice::NoError) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

} // namespace

ProfileFile ProfileFile::load(const QString &file)
{
    ProfileFile loaded;
    const IniBytes ini = loadIniBytes(file);
    if (ini.state == FileState::Read)
        loaded.m_text = decodeIni(ini.bytes).text;
    return loaded;
}

ProfileFile ProfileFile::fromBytes(const std::optional<QByteArray> &bytes)
{
    ProfileFile loaded;
    if (bytes)
        loaded.m_text = decodeIni(*bytes).text;
    return loaded;
}

QString ProfileFile::read(const QString &section, const QString &key, const QString &defaultValue,
                          int bufferSize) const
{
    std::optional<QString> value;
    if (m_text)
        value = findValue(*m_text, section, key);
    if (!value)
        value = withoutTrailingSpaces(untilNul(defaultValue));
    return fittedToBuffer(*value, bufferSize);
}

QString readProfileString(const QString &file, const QString &section, const QString &key,
                          const QString &defaultValue, int bufferSize)
{
    return ProfileFile::load(file).read(section, key, defaultValue, bufferSize);
}

bool writeProfileString(const QString &file, const QString &section, const QString &key,
                        const QString &value)
{
    const IniBytes existing = loadIniBytes(file);
    if (existing.state == FileState::Unusable)
        return false;
    DecodedIni ini = decodeIni(existing.bytes);
    ini.text = withValue(ini.text, section, key, value);
    const QByteArray bytes = encodeIni(ini);
    if (existing.state == FileState::Read && bytes == existing.bytes)
        return true;
    return replaceFile(file, bytes);
}

} // namespace fwb::ini
