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
    const auto names = listFolder(folder);
    if (!names)
        return files;
    const QString base = folder.endsWith(u'/') ? folder : folder + u'/';
    for (const QString &name : *names) {
        if (name.startsWith(u'.') || !WildcardMatch(pattern, name))
            continue;
        // stat() follows a link to what it points at and never opens the entry, so a FIFO
        // cannot block the listing.
        struct stat info;
        if (::stat(QFile::encodeName(base + name).constData(), &info) == 0 && S_ISREG(info.st_mode))
            files.append(name);
    }
    return files;
}

bool LinuxFileSystem::createDirectory(const QString &path)
{
    return ::mkdir(QFile::encodeName(path).constData(), 0777) == 0;
}

} // namespace fwb
