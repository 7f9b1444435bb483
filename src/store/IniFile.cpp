#include "store/IniFile.h"

#include "store/IniCodec.h"
#include "store/IniText.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <filesystem>
#include <optional>
#include <sys/file.h>
#include <unistd.h>

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

// Temporary files carry this mark, so that one left by a writer that died can be told from
// anybody else's file and cleared away.
const QString kTemporaryMark = QStringLiteral(".fwbtmp-");
constexpr qint64 kStaleTemporarySeconds = 60;

// Where the bytes really go: a link is followed, even one whose target does not exist yet.
QString finalPath(const QString &path)
{
    const QFileInfo info(path);
    return info.isSymLink() ? info.symLinkTarget() : path;
}

// A writer holds a lock on its temporary file until the file is renamed or removed, so an old
// one nobody holds belongs to a writer that was killed.
void removeStaleTemporaries(const QString &path)
{
    const QFileInfo target(path);
    const QString prefix = target.fileName() + kTemporaryMark;
    const QDateTime staleBefore = QDateTime::currentDateTime().addSecs(-kStaleTemporarySeconds);
    const QFileInfoList entries =
        target.absoluteDir().entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo &entry : entries) {
        if (!entry.fileName().startsWith(prefix) || entry.lastModified() > staleBefore)
            continue;
        QFile stale(entry.filePath());
        if (stale.open(QIODevice::ReadOnly) && ::flock(stale.handle(), LOCK_EX | LOCK_NB) == 0)
            QFile::remove(entry.filePath());
    }
}

// A new temporary file beside the target, created exclusively and locked.
bool openTemporary(QFile &temp, const QString &target)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        QString suffix;
        for (int i = 0; i < 6; ++i)
            suffix += QChar(
                u"abcdefghijklmnopqrstuvwxyz0123456789"[QRandomGenerator::global()->bounded(36)]);
        temp.setFileName(target + kTemporaryMark + suffix);
        if (temp.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            return ::flock(temp.handle(), LOCK_EX) == 0;
        if (temp.error() != QFileDevice::OpenError || !QFileInfo(temp.fileName()).exists())
            return false;
    }
    return false;
}

// The temporary file is written, synced and given the target's permissions before it is
// renamed over the target; on any failure it is removed and the target is untouched.
bool replaceFile(const QString &path, const QByteArray &bytes)
{
    const QString target = finalPath(path);
    removeStaleTemporaries(target);
    QFile temp;
    if (!openTemporary(temp, target)) {
        if (temp.isOpen())
            temp.remove();
        return false;
    }
    const QFileInfo existing(target);
    bool written = temp.write(bytes) == bytes.size() && ::fsync(temp.handle()) == 0 &&
                   (!existing.exists() || temp.setPermissions(existing.permissions()));
    std::error_code error;
    if (written)
        std::filesystem::rename(QFile::encodeName(temp.fileName()).toStdString(),
                                QFile::encodeName(target).toStdString(), error);
    if (!written || error) {
        temp.remove();
        return false;
    }
    return true;
}

// Other programs share these files, so a write must not change how the rest of a file reads:
// in a Windows-1252 file, a value replacing the only bytes that were not valid UTF-8 would make
// every other non-ASCII value read as UTF-8. Such a write is refused.
bool readsAsBefore(const DecodedIni &before, const QByteArray &bytes)
{
    const DecodedIni after = decodeIni(bytes);
    if (after.encoding == before.encoding)
        return true;
    return before.encoding == IniEncoding::Windows1252 &&
           after.text == fromWindows1252(QByteArrayView(bytes).sliced(before.head.size()));
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

std::optional<QByteArray> bytesWithValue(QByteArrayView before, const QString &section,
                                         const QString &key, const QString &value)
{
    DecodedIni ini = decodeIni(before);
    ini.text = withValue(ini.text, section, key, value);
    QByteArray bytes = encodeIni(ini);
    if (!readsAsBefore(ini, bytes))
        return std::nullopt;
    return bytes;
}

bool writeProfileString(const QString &file, const QString &section, const QString &key,
                        const QString &value)
{
    const IniBytes existing = loadIniBytes(file);
    if (existing.state == FileState::Unusable)
        return false;
    const std::optional<QByteArray> bytes = bytesWithValue(existing.bytes, section, key, value);
    if (!bytes)
        return false;
    if (existing.state == FileState::Read && *bytes == existing.bytes)
        return true;
    return replaceFile(file, *bytes);
}

} // namespace fwb::ini
