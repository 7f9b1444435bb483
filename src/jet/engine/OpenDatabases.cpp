#include "jet/engine/OpenDatabases.h"

#include "system/FileNames.h"

#include <sys/stat.h>

namespace fwb::jet::engine {

namespace {

// A backup-set scan opens every file of a folder once; keeping all of them would only hold
// descriptors and page buffers.
constexpr std::size_t kMaxOpen = 8;

} // namespace

std::optional<FileStamp> regularFileStamp(const QString &path)
{
    struct stat info
    {
    };
    if (path.isEmpty() || ::stat(EncodeFileName(path).constData(), &info) != 0 ||
        !S_ISREG(info.st_mode))
        return std::nullopt;
    return FileStamp{info.st_dev, info.st_ino, info.st_size,
                     qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

Database *OpenDatabases::get(const QString &path)
{
    const std::optional<FileStamp> stamp = regularFileStamp(path);
    auto found = m_open.find(path);
    if (found != m_open.end() && (!stamp || found->second.stamp != *stamp)) {
        m_open.erase(found);
        found = m_open.end();
    }
    if (!stamp)
        return nullptr;
    if (found == m_open.end()) {
        std::unique_ptr<Database> database = Database::open(path, qint64(stamp->size));
        if (!database)
            return nullptr;
        makeRoom();
        found = m_open.emplace(path, Entry{*stamp, std::move(database), 0}).first;
    }
    found->second.lastUse = ++m_uses;
    return found->second.database.get();
}

void OpenDatabases::makeRoom()
{
    while (m_open.size() >= kMaxOpen) {
        auto oldest = m_open.begin();
        for (auto it = m_open.begin(); it != m_open.end(); ++it) {
            if (it->second.lastUse < oldest->second.lastUse)
                oldest = it;
        }
        m_open.erase(oldest);
    }
}

} // namespace fwb::jet::engine
