#pragma once

#include "platform/FileSystem.h"

#include <QSet>
#include <QStringList>
#include <map>

namespace fwb {

// An in-memory tree of folders and files below "/" and below network roots ("//server"),
// names kept in the letter case they were added with and looked up as Linux does: exactly,
// except in wildcard searches and in findStoredName's second try. Relative paths name nothing.
class FakeFileSystem final : public FileSystem
{
public:
    FakeFileSystem();

    // Both add the missing folders above the path as well.
    void addFolder(const QString &path);
    void addFile(const QString &path);
    // A folder acting as a drive that cannot be read (a drive without its medium): it still
    // shows in its parent, but nothing in it or below it can be found or created.
    void setDriveReady(const QString &root, bool ready);
    // Every later attempt to create this folder fails.
    void failCreationOf(const QString &path);

    bool isFolder(const QString &path) const;
    bool isFile(const QString &path) const;

    std::optional<QString> findFirst(const QString &pattern) const override;
    std::optional<QString> findStoredName(const QString &folder,
                                          const QString &name) const override;
    bool isDriveReady(const QString &root) const override;
    QStringList listPlainFiles(const QString &folder, const QString &pattern) const override;
    // The fake's files hold nothing: an empty content for each.
    std::optional<QByteArray> readPlainFile(const QString &path, qint64 maxBytes) const override;
    bool createDirectory(const QString &path) override;
    // Adds the file when its folder exists; the fake keeps no content.
    bool replaceFile(const QString &path, const QByteArray &bytes) override;
    void removeStaleTemporaries(const QString &) override {}

    QStringList createAttempts;       // every createDirectory call, as passed, in order
    mutable QStringList driveQueries; // every isDriveReady call, as passed, in order

private:
    enum class Kind { Folder, File };

    void add(const QString &path, Kind kind);
    bool isListable(const QString &folder) const;
    QStringList names(const QString &folder) const;

    std::map<QString, Kind> m_entries; // by normalized path
    QSet<QString> m_notReady;
    QSet<QString> m_failing;
};

} // namespace fwb
