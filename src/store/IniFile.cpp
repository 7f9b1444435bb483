#include "store/IniFile.h"

#include "store/IniCodec.h"
#include "store/IniText.h"
#include "system/FileNames.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
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

// A file descriptor that closes itself.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

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

// Temporary files carry this mark, so that one left by a writer that died can be told from
// anybody else's file and cleared away.
const QString kTemporaryMark = QStringLiteral(".fwbtmp-");
constexpr qint64 kStaleTemporarySeconds = 60;

QString folderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : path.left(slash);
}

// Where the bytes really go: a link is followed, even one whose target does not exist yet.
QString finalPath(const QString &path)
{
    QByteArray target(4096, Qt::Uninitialized);
    const ssize_t length =
        ::readlink(EncodeFileName(path).constData(), target.data(), size_t(target.size()));
    if (length <= 0 || length >= target.size())
        return path;
    const QString linked = DecodeFileName(QByteArrayView(target.constData(), length));
    return linked.startsWith(u'/') ? linked : folderOf(path) + u'/' + linked;
}

// A writer holds a lock on its temporary file until the file is renamed or removed, so an old
// one nobody holds belongs to a writer that was killed.
void removeTemporariesOf(const QString &path)
{
    DIR *folder = ::opendir(EncodeFileName(folderOf(path)).constData());
    if (!folder)
        return;
    const QByteArray prefix = EncodeFileName(path.mid(path.lastIndexOf(u'/') + 1) + kTemporaryMark);
    const time_t staleBefore = ::time(nullptr) - kStaleTemporarySeconds;
    while (const dirent *entry = ::readdir(folder)) {
        struct stat info;
        if (!QByteArrayView(entry->d_name).startsWith(prefix) ||
            ::fstatat(::dirfd(folder), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode) || info.st_mtime > staleBefore)
            continue;
        const Descriptor stale(::openat(::dirfd(folder), entry->d_name,
                                        O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        if (stale.get() >= 0 && ::flock(stale.get(), LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(::dirfd(folder), entry->d_name, 0);
    }
    ::closedir(folder);
}

// A new temporary file beside the target, created exclusively and locked; its name in `name`.
int openTemporary(const QString &target, QByteArray &name)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        QString suffix;
        for (int i = 0; i < 6; ++i)
            suffix += QChar(
                u"abcdefghijklmnopqrstuvwxyz0123456789"[QRandomGenerator::global()->bounded(36)]);
        name = EncodeFileName(target + kTemporaryMark + suffix);
        Descriptor fd(::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.get() >= 0) {
            if (::flock(fd.get(), LOCK_EX) == 0)
                return fd.release();
            ::unlink(name.constData());
            return -1;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

bool writeAll(int fd, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const ssize_t written = ::write(fd, bytes.data(), size_t(bytes.size()));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes = bytes.sliced(written);
    }
    return true;
}

// Where a replacement cannot keep the file's owner and group (only root may give a file to
// somebody else), or no new file can be made beside it, the file is written over instead, as
// Windows always does.
bool writeInPlace(const QByteArray &target, const QByteArray &bytes)
{
    const Descriptor fd(::open(target.constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info;
    return fd.get() >= 0 && ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) &&
           writeAll(fd.get(), bytes) && ::ftruncate(fd.get(), bytes.size()) == 0 &&
           ::fsync(fd.get()) == 0;
}

// The temporary file is written, synced and given the target's owner, group and permissions
// before it is renamed over the target; on any failure it is removed and the target is
// untouched. A file that may not be written is not replaced either: like Windows with a
// read-only file, the write fails. A file with no write permission for anybody was made
// read-only on purpose, so root, who could write it all the same, is refused too.
bool replaceFile(const QString &path, const QByteArray &bytes)
{
    const QString target = finalPath(path);
    const QByteArray nativeTarget = EncodeFileName(target);
    struct stat existing;
    const bool exists = ::stat(nativeTarget.constData(), &existing) == 0;
    if (exists && ((existing.st_mode & 0222) == 0 ||
                   ::faccessat(AT_FDCWD, nativeTarget.constData(), W_OK, AT_EACCESS) != 0))
        return false;
    removeTemporariesOf(target);
    QByteArray temporaryName;
    const Descriptor temp(openTemporary(target, temporaryName));
    if (temp.get() < 0)
        return exists && (errno == EACCES || errno == EPERM) && writeInPlace(nativeTarget, bytes);
    bool replaced = false;
    if (exists && ::fchown(temp.get(), existing.st_uid, existing.st_gid) != 0) {
        replaced = writeInPlace(nativeTarget, bytes);
    } else {
        replaced = (!exists || ::fchmod(temp.get(), existing.st_mode & 07777) == 0) &&
                   writeAll(temp.get(), bytes) && ::fsync(temp.get()) == 0 &&
                   ::rename(temporaryName.constData(), nativeTarget.constData()) == 0;
        if (replaced)
            return true;
    }
    ::unlink(temporaryName.constData());
    return replaced;
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
    removeTemporariesOf(finalPath(file));
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
    return replaceFile(file, *bytes);
}

} // namespace fwb::ini
