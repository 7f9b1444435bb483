#include "platform/linux/LinuxFileSystem.h"

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

// '*' and '?' as the Windows directory search reads them, without regard to letter case.
bool wildcardMatch(QStringView pattern, QStringView name)
{
    if (pattern.isEmpty())
        return name.isEmpty();
    if (pattern.front() == u'*') {
        for (qsizetype skip = 0; skip <= name.size(); ++skip)
            if (wildcardMatch(pattern.mid(1), name.mid(skip)))
                return true;
        return false;
    }
    if (name.isEmpty())
        return false;
    const bool same = pattern.front() == u'?' ||
                      QStringView(pattern.left(1)).compare(name.left(1), Qt::CaseInsensitive) == 0;
    return same && wildcardMatch(pattern.mid(1), name.mid(1));
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
        if (wildcardMatch(name, candidate))
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

bool LinuxFileSystem::createDirectory(const QString &path)
{
    return ::mkdir(QFile::encodeName(path).constData(), 0777) == 0;
}

} // namespace fwb
