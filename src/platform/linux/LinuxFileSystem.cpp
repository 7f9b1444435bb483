#include "platform/linux/LinuxFileSystem.h"

#include "platform/NameMatching.h"
#include "system/FileNames.h"

#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fwb {
namespace {

// Every name in `folder`, "." and ".." first, then in name order so that "the first match"
// does not depend on the order the file system happens to keep.
std::optional<QStringList> listFolder(const QString &folder)
{
    DIR *dir = ::opendir(EncodeFileName(folder).constData());
    if (!dir)
        return std::nullopt;
    QStringList names;
    while (const dirent *entry = ::readdir(dir))
        names.append(DecodeFileName(entry->d_name));
    ::closedir(dir);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const bool aDots = a == QLatin1String(".") || a == QLatin1String("..");
        const bool bDots = b == QLatin1String(".") || b == QLatin1String("..");
        return aDots != bDots ? aDots : a < b;
    });
    return names;
}

bool entryExists(const QString &path)
{
    struct stat info;
    return ::lstat(EncodeFileName(path).constData(), &info) == 0;
}

} // namespace

std::optional<QString> LinuxFileSystem::findFirst(const QString &pattern) const
{
    if (pattern.isEmpty() || pattern.endsWith(u'/'))
        return std::nullopt;
    const qsizetype slash = pattern.lastIndexOf(u'/');
    const QString folder =
        slash < 0 ? QStringLiteral(".") : pattern.left(std::max<qsizetype>(slash, 1));
    const QString name = pattern.mid(slash + 1);

    if (!name.contains(u'*') && !name.contains(u'?'))
        return entryExists(pattern) ? std::optional<QString>(name) : std::nullopt;

    const auto names = listFolder(folder);
    if (!names)
        return std::nullopt;
    for (const QString &candidate : *names)
        if (WildcardMatch(name, candidate))
            return candidate;
    return std::nullopt;
}

std::optional<QString> LinuxFileSystem::findStoredName(const QString &folder,
                                                       const QString &name) const
{
    const QString base = folder.endsWith(u'/') ? folder : folder + u'/';
    if (entryExists(base + name))
        return name;
    const auto names = listFolder(folder);
    if (!names)
        return std::nullopt;
    for (const QString &candidate : *names)
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return candidate;
    return std::nullopt;
}

bool LinuxFileSystem::isDriveReady(const QString &root) const
{
    DIR *dir = ::opendir(EncodeFileName(root).constData());
    if (!dir)
        return false;
    ::closedir(dir);
    return true;
}

namespace {

// The plain files of an open folder whose names match `pattern`, in name order (so that the
// order of the sets does not depend on the file system's).
QStringList plainFilesIn(DIR *dir, const QString &pattern)
{
    QStringList files;
    while (const dirent *entry = ::readdir(dir)) {
        const QString name = DecodeFileName(entry->d_name);
        if (name.startsWith(u'.') || !WildcardMatch(pattern, name))
            continue;
        // The listing names regular files as such on most file systems; anything else (a
        // link, or a file system that does not say) is looked at with fstatat(), which
        // follows a link to what it points at and never opens the entry, so a FIFO cannot
        // block the listing.
        struct stat info;
        if (entry->d_type == DT_REG ||
            ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) &&
             ::fstatat(::dirfd(dir), entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode)))
            files.append(name);
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Reads one entry of a folder whole. It is looked at before it is opened, so nothing but a
// regular file (or a link to one) is ever opened; the opening cannot wait either way, for an
// entry replaced by a FIFO since.
std::optional<QByteArray> readPlainEntry(int folderFd, const char *name, qint64 maxBytes)
{
    struct stat info;
    if (::fstatat(folderFd, name, &info, 0) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > maxBytes)
        return std::nullopt;
    const int fd = ::openat(folderFd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    QByteArray bytes;
    // One byte more than the size seen, so that growth since shows without another look.
    qint64 want = info.st_size + 1;
    for (;;) {
        const qsizetype had = bytes.size();
        bytes.resize(had + want);
        const ssize_t got = ::read(fd, bytes.data() + had, size_t(want));
        bytes.resize(had + std::max<ssize_t>(got, 0));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || bytes.size() > maxBytes) {
            ::close(fd);
            return std::nullopt;
        }
        if (got < want)
            break;
        want = 64 * 1024;
    }
    ::close(fd);
    return bytes;
}

} // namespace

QStringList LinuxFileSystem::listPlainFiles(const QString &folder, const QString &pattern) const
{
    DIR *dir = ::opendir(EncodeFileName(folder).constData());
    if (!dir)
        return {};
    QStringList files = plainFilesIn(dir, pattern);
    ::closedir(dir);
    return files;
}

std::optional<QByteArray> LinuxFileSystem::readPlainFile(const QString &path, qint64 maxBytes) const
{
    return readPlainEntry(AT_FDCWD, EncodeFileName(path).constData(), maxBytes);
}

// A look through a folder of backup sets reads thousands of files, and each new drive costs
// one such look: every file is looked up from the open folder, not from the root again.
void LinuxFileSystem::readPlainFiles(const QString &folder, const QString &pattern, qint64 maxBytes,
                                     const PlainFileVisitor &visit) const
{
    DIR *dir = ::opendir(EncodeFileName(folder).constData());
    if (!dir)
        return;
    for (const QString &name : plainFilesIn(dir, pattern))
        visit(name, readPlainEntry(::dirfd(dir), EncodeFileName(name).constData(), maxBytes));
    ::closedir(dir);
}

bool LinuxFileSystem::createDirectory(const QString &path)
{
    return ::mkdir(EncodeFileName(path).constData(), 0777) == 0;
}

} // namespace fwb
