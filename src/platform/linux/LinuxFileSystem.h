#pragma once

#include "platform/FileSystem.h"

namespace fwb {

class LinuxFileSystem final : public FileSystem
{
public:
    std::optional<QString> findFirst(const QString &pattern) const override;
    std::optional<QString> findStoredName(const QString &folder,
                                          const QString &name) const override;
    bool isDriveReady(const QString &root) const override;
    QStringList listPlainFiles(const QString &folder, const QString &pattern) const override;
    std::optional<QByteArray> readPlainFile(const QString &path, qint64 maxBytes) const override;
    void readPlainFiles(const QString &folder, const QString &pattern, qint64 maxBytes,
                        const PlainFileVisitor &visit) const override;
    bool createDirectory(const QString &path) override;
    // Through a temporary file "<file>.fwbtmp-XXXXXX" beside the file, renamed over it.
    bool replaceFile(const QString &path, const QByteArray &bytes) override;
    void removeStaleTemporaries(const QString &path) override;
};

} // namespace fwb
