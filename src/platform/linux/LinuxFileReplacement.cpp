#include "platform/linux/LinuxFileSystem.h"
#include "system/Descriptor.h"
#include "system/FileNames.h"

#include <QRandomGenerator>
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace fwb {
namespace {

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
bool replaceThroughTemporary(const QString &path, const QByteArray &bytes)
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

} // namespace

bool LinuxFileSystem::replaceFile(const QString &path, const QByteArray &bytes)
{
    return replaceThroughTemporary(path, bytes);
}

void LinuxFileSystem::removeStaleTemporaries(const QString &path)
{
    removeTemporariesOf(finalPath(path));
}

} // namespace fwb
