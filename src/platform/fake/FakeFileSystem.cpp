#include "platform/fake/FakeFileSystem.h"

#include "platform/NameMatching.h"

#include <algorithm>

namespace fwb {
namespace {

QString rootFolder()
{
    return QStringLiteral("/");
}

bool isNetwork(const QString &path)
{
    return path.startsWith(QStringLiteral("//"));
}

// One spelling per entry: no repeated or trailing separators, except the two that open a
// network path and the root itself.
QString normalized(const QString &path)
{
    const qsizetype keep = isNetwork(path) ? 2 : 0;
    QString result = path.left(keep);
    for (qsizetype i = keep; i < path.size(); ++i)
        if (path.at(i) != u'/' || !result.endsWith(u'/'))
            result += path.at(i);
    if (result.size() > 1 && result.endsWith(u'/') && result.size() > keep)
        result.chop(1);
    return result;
}

// The folder holding an entry; empty for a root ("/", "//server") and for relative paths.
QString parentOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (path == rootFolder() || slash < 0 || (isNetwork(path) && slash == 1))
        return {};
    return slash == 0 ? rootFolder() : path.left(slash);
}

QString nameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

} // namespace

FakeFileSystem::FakeFileSystem()
{
    m_entries[rootFolder()] = Kind::Folder;
}

void FakeFileSystem::addFolder(const QString &path)
{
    add(normalized(path), Kind::Folder);
}

void FakeFileSystem::addFile(const QString &path)
{
    add(normalized(path), Kind::File);
}

void FakeFileSystem::add(const QString &path, Kind kind)
{
    if (path.isEmpty() || !path.startsWith(u'/'))
        return;
    const QString parent = parentOf(path);
    if (!parent.isEmpty() && !isFolder(parent))
        add(parent, Kind::Folder);
    m_entries[path] = kind;
}

void FakeFileSystem::setDriveReady(const QString &root, bool ready)
{
    if (ready)
        m_notReady.remove(normalized(root));
    else
        m_notReady.insert(normalized(root));
}

void FakeFileSystem::failCreationOf(const QString &path)
{
    m_failing.insert(normalized(path));
}

bool FakeFileSystem::isFolder(const QString &path) const
{
    const auto entry = m_entries.find(normalized(path));
    return entry != m_entries.end() && entry->second == Kind::Folder;
}

bool FakeFileSystem::isFile(const QString &path) const
{
    const auto entry = m_entries.find(normalized(path));
    return entry != m_entries.end() && entry->second == Kind::File;
}

bool FakeFileSystem::isListable(const QString &folder) const
{
    if (!isFolder(folder))
        return false;
    for (QString at = folder; !at.isEmpty(); at = parentOf(at))
        if (m_notReady.contains(at))
            return false;
    return true;
}

// "." and ".." first, then the names in name order, as the real listing answers them.
QStringList FakeFileSystem::names(const QString &folder) const
{
    QStringList children;
    for (const auto &[path, kind] : m_entries)
        if (parentOf(path) == folder)
            children.append(nameOf(path));
    std::sort(children.begin(), children.end());
    return QStringList{QStringLiteral("."), QStringLiteral("..")} + children;
}

std::optional<QString> FakeFileSystem::findFirst(const QString &pattern) const
{
    if (pattern.isEmpty() || pattern.endsWith(u'/'))
        return std::nullopt;
    const QString path = normalized(pattern);
    const QString folder = parentOf(path);
    if (folder.isEmpty() || !isListable(folder))
        return std::nullopt;
    const QString name = nameOf(path);
    for (const QString &candidate : names(folder)) {
        const bool found = name.contains(u'*') || name.contains(u'?')
                               ? WildcardMatch(name, candidate)
                               : candidate == name;
        if (found)
            return candidate;
    }
    return std::nullopt;
}

std::optional<QString> FakeFileSystem::findStoredName(const QString &folder,
                                                      const QString &name) const
{
    const QString path = normalized(folder);
    if (!isListable(path))
        return std::nullopt;
    const QStringList candidates = names(path);
    if (candidates.contains(name))
        return name;
    for (const QString &candidate : candidates)
        if (candidate.compare(name, Qt::CaseInsensitive) == 0)
            return candidate;
    return std::nullopt;
}

bool FakeFileSystem::isDriveReady(const QString &root) const
{
    driveQueries.append(root);
    return isListable(normalized(root));
}

QStringList FakeFileSystem::listPlainFiles(const QString &folder, const QString &pattern) const
{
    QStringList files;
    const QString path = normalized(folder);
    if (!isListable(path))
        return files;
    for (const QString &name : names(path))
        if (!name.startsWith(u'.') && WildcardMatch(pattern, name) &&
            isFile((path.endsWith(u'/') ? path : path + u'/') + name))
            files.append(name);
    return files;
}

std::optional<QByteArray> FakeFileSystem::readPlainFile(const QString &path, qint64) const
{
    return isFile(path) ? std::optional<QByteArray>(QByteArray()) : std::nullopt;
}

bool FakeFileSystem::createDirectory(const QString &path)
{
    createAttempts.append(path);
    const QString folder = normalized(path);
    const QString parent = parentOf(folder);
    if (m_failing.contains(folder) || m_entries.count(folder) || parent.isEmpty() ||
        !isListable(parent))
        return false;
    m_entries[folder] = Kind::Folder;
    return true;
}

bool FakeFileSystem::replaceFile(const QString &path, const QByteArray &)
{
    const QString file = normalized(path);
    const auto entry = m_entries.find(file);
    if (entry != m_entries.end())
        return entry->second == Kind::File;
    if (!isListable(parentOf(file)))
        return false;
    m_entries[file] = Kind::File;
    return true;
}

} // namespace fwb
