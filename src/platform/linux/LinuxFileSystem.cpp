#include "platform/linux/LinuxFileSystem.h"

#include "platform/NameMatching.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace fwb {
namespace {

// Every name in `folder`, "." and ".." first, then in name order so that "the first match"
// does not depend on the order the file system happens to keep.
std::optional<QStringList> listFolder(const QString &folder)
{
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return std::nullopt;
    QStringList names;
    while (const dirent *entry = ::readdir(dir))
        names.append(QFile::decodeName(entry->d_name));
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
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
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
    DIR *dir = ::opendir(QFile::encodeName(root).constData());
    if (!dir)
        return false;
    ::closedir(dir);
    return true;
}

QStringList LinuxFileSystem::listPlainFiles(const QString &folder, const QString &pattern) const
{
    QStringList files;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return files;
    while (const dirent *entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
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
    ::closedir(dir);
    // In name order, so that the order of the sets does not depend on the file system's.
    std::sort(files.begin(), files.end());
    return files;
}

bool LinuxFileSystem::createDirectory(const QString &path)
{
    return ::mkdir(QFile::encodeName(path).constData(), 0777) == 0;
}

} // namespace fwb
