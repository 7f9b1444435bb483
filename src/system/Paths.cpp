#include "system/Paths.h"

#include "platform/ComponentHost.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"
#include "system/MessageBox.h"
#include "system/PendingEvents.h"

#include <algorithm>

namespace fwb {
namespace {

FileSystem &files()
{
    Q_ASSERT(platform().fileSystem);
    return *platform().fileSystem;
}

bool isSeparator(QChar c)
{
    return c == u'/' || c == u'\\';
}

// The server name of a network path ("//server", "//server/") names no folder that could be
// made, and on Linux it would even name "/server". A relative path compares equal here as
// well, so relative paths are never created.
bool isServerName(const QString &part, bool networkOrRelative)
{
    return networkOrRelative && RemoveTrailingSlash(UncServerPrefix(part)).toLower() ==
                                    RemoveTrailingSlash(part).toLower();
}

void createOneFolder(const QString &folder, const QString &errorText)
{
    if (!files().createDirectory(folder) && !errorText.isEmpty())
        ShowMessageBox(errorText + u' ' + folder, QStringLiteral("FWB Agent"), BoxIcon::None);
}

} // namespace

// Backup-set paths are Linux paths here, so the platform's "/" separates as "\\" does.
QString GetFileName(const QString &path)
{
    return path.mid(std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/')) + 1);
}

QString PathSeparator(const QString &path)
{
    return path.contains(u'/') ? QStringLiteral("/") : QStringLiteral("\\");
}

QString AddTrailingSlash(const QString &path)
{
    const QString separator = PathSeparator(path);
    return path.endsWith(separator) ? path : path + separator;
}

QString RemoveTrailingSlash(const QString &path)
{
    qsizetype first = 0;
    qsizetype end = path.size();
    while (first < end && path.at(first) == u' ')
        ++first;
    while (end > first && path.at(end - 1) == u' ')
        --end;
    if (end > first && isSeparator(path.at(end - 1)))
        --end;
    return path.mid(first, end - first);
}

QString TrimAtNull(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

bool IsDriveRooted(const QString &path)
{
    return path.startsWith(u'/') && !path.startsWith(QStringLiteral("//"));
}

QString UncServerPrefix(const QString &path)
{
    const QString separator = PathSeparator(path);
    if (!path.startsWith(separator + separator))
        return path;
    const qsizetype next = path.indexOf(separator, 2);
    return next < 0 ? path : path.left(next + 1);
}

bool FileExists(const QString &path)
{
    return !path.isEmpty() && files().findFirst(path).has_value();
}

bool FolderExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    // The root has no name to search for; it exists when it can be listed.
    if (path == QStringLiteral("/"))
        return files().isDriveReady(path);
    // Searching the folder's contents finds its "." entry even when it is empty; the second
    // search covers files and folders that cannot be listed.
    return files().findFirst(AddTrailingSlash(path) + u'*').has_value() ||
           files().findFirst(path).has_value();
}

QString GetRealPathCase(const QString &path)
{
    if (path.isEmpty())
        return path;
    const QString s = (path.endsWith(u'/') ? path.chopped(1) : path) + u'/';
    if (!IsDriveRooted(s))
        return s;

    QString resolved;
    for (qsizetype start = 1, slash; (slash = s.indexOf(u'/', start)) >= 0; start = slash + 1) {
        const QString name = s.mid(start, slash - start);
        if (name.isEmpty())
            return s;
        const auto stored =
            files().findStoredName(resolved.isEmpty() ? QStringLiteral("/") : resolved, name);
        if (!stored)
            return s;
        resolved += u'/' + *stored;
    }
    return resolved.isEmpty() ? QStringLiteral("/") : resolved;
}

QString ParentFolder(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString parent = RemoveTrailingSlash(path.left(slash + 1));
    // A file right below the root keeps the root as its folder rather than the empty text.
    return slash >= 0 && parent.isEmpty() ? QStringLiteral("/") : parent;
}

// The platform's folder calls answer failures as results and raise nothing, so creation has
// no internal-error path: every failure is a folder that could not be created.
bool CreateFolder(const QString &path, const QString &errorText)
{
    const bool networkOrRelative = !IsDriveRooted(path);
    const QString separator = PathSeparator(path);
    // A network path's two leading separators, or the root "/", are never a level of their own.
    qsizetype from = networkOrRelative ? 2 : 1;
    for (qsizetype next; (next = path.indexOf(separator, from)) >= 0; from = next + 1) {
        const QString part = path.left(next);
        if (!FolderExists(part) && !isServerName(part, networkOrRelative))
            createOneFolder(part, errorText);
    }
    if (!FolderExists(path) && !isServerName(path, networkOrRelative)) {
        LetPendingEventsRun();
        createOneFolder(path, errorText);
    }
    return FolderExists(path);
}

QString GetSpecialFolderPath(int folder)
{
    // Linux has none of the Windows special folders; its component host answers empty text.
    const ComponentHost *host = platform().componentHost;
    return host ? TrimAtNull(host->specialFolderPath(folder)) : QString();
}

} // namespace fwb
