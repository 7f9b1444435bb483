#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace fwb {

// The file-system services behind the path and folder operations. Paths use '/'.
class FileSystem
{
public:
    virtual ~FileSystem() = default;

    // A directory search by name, as the Windows directory search does it: the last
    // component of `pattern` may hold '*' and '?'. Answers the name (as stored) of the first
    // entry found, or nothing. A pattern ending in '/' finds nothing. A folder's "." and
    // ".." entries count, so "folder/*" finds something in every folder that can be listed.
    virtual std::optional<QString> findFirst(const QString &pattern) const = 0;

    // The entry of `folder` whose name is `name`; when none has exactly that name, the first
    // (in name order) that equals it without regard to letter case.
    virtual std::optional<QString> findStoredName(const QString &folder,
                                                  const QString &name) const = 0;

    // Whether a path root (a mount point such as "/") is present and can be listed.
    virtual bool isDriveReady(const QString &root) const = 0;

    // The plain files of `folder` whose names match `pattern` ('*' and '?', without regard to
    // letter case), in name order: regular files and links to them, never folders, devices,
    // FIFOs or sockets, and no hidden files (names starting with '.').
    virtual QStringList listPlainFiles(const QString &folder, const QString &pattern) const = 0;

    // The whole content of a plain file (a regular file, or a link to one). Nothing when it is
    // missing, is anything else (a FIFO is never opened, so this never waits for a writer),
    // cannot be read, or holds more than `maxBytes`.
    virtual std::optional<QByteArray> readPlainFile(const QString &path, qint64 maxBytes) const = 0;

    // listPlainFiles() and readPlainFile() of each file listed, in one pass over the folder:
    // `visit` gets each name, in name order, and its content.
    using PlainFileVisitor =
        std::function<void(const QString &name, const std::optional<QByteArray> &bytes)>;
    virtual void readPlainFiles(const QString &folder, const QString &pattern, qint64 maxBytes,
                                const PlainFileVisitor &visit) const
    {
        const QString base = folder.endsWith(u'/') ? folder : folder + u'/';
        for (const QString &name : listPlainFiles(folder, pattern))
            visit(name, readPlainFile(base + name, maxBytes));
    }

    // Creates one folder whose parent exists. False when it could not be created.
    virtual bool createDirectory(const QString &path) = 0;

    // Gives the file at `path` (or the file a link there points at) exactly `bytes`, all at once:
    // a reader sees the old content or the new, never a mix, and a writer killed mid-way leaves
    // the file as it was. The file keeps its owner, group and permissions. A file that may not
    // be written, or that nobody may write, is refused as on Windows. False when nothing was
    // written.
    virtual bool replaceFile(const QString &path, const QByteArray &bytes) = 0;
    // Clears what writers of `path` that were killed mid-way left beside it, once it is a minute
    // old; what a writer still at work holds is kept.
    virtual void removeStaleTemporaries(const QString &path) = 0;
};

} // namespace fwb
