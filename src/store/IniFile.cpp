#include "store/IniFile.h"

#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "store/IniCodec.h"
#include "store/IniText.h"
#include "system/Descriptor.h"
#include "system/FileNames.h"

#include <QFile>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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
    const QByteArray native = EncodeFileName(path);
    struct stat info;
    if (::stat(native.constData(), &info) != 0)
        return {FileState::Missing, {}};
    if (!S_ISREG(info.st_mode) || info.st_size > kMaxIniFileSize)
        return {FileState::Unusable, {}};
    // Not blocking, should a FIFO have taken the file's place since.
    Descriptor fd(::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return {FileState::Unusable, {}};
    QFile file;
    if (!file.open(fd.release(), QIODevice::ReadOnly | QIODevice::Unbuffered,
                   QFileDevice::AutoCloseHandle))
        return {FileState::Unusable, {}};
    std::optional<QByteArray> bytes = readAtMost(file, info.st_size, kMaxIniFileSize);
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

void removeStaleTemporaries(const QString &file)
{
    platform().fileSystem->removeStaleTemporaries(file);
}

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
    return platform().fileSystem->replaceFile(file, *bytes);
}

} // namespace fwb::ini
