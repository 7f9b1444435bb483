#pragma once

#include "jet/engine/Database.h"

#include <QString>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <sys/types.h>

namespace fwb::jet::engine {

// What tells a changed file from the one opened: the same path may name a replaced file (new
// inode) or a file written in place (new size or modification time).
struct FileStamp
{
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 modifiedNs = 0;

    bool operator==(const FileStamp &) const = default;
};

// The stamp of a regular file (symbolic links followed); nothing for anything else, so FIFOs
// and devices are never opened: reading a FIFO would block the engine.
std::optional<FileStamp> regularFileStamp(const QString &path);

// The databases opened so far, by path, kept for the engine's life; a few at most, the least
// recently used closed first.
class OpenDatabases
{
public:
    // The database at `path`, opened on first use and opened again when the file has changed;
    // nothing when it is no regular file or libmdb cannot open it.
    Database *get(const QString &path);

private:
    struct Entry
    {
        FileStamp stamp;
        std::unique_ptr<Database> database;
        quint64 lastUse = 0;
    };

    void makeRoom();

    std::map<QString, Entry> m_open;
    quint64 m_uses = 0;
};

} // namespace fwb::jet::engine
