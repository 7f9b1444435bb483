#include "platform/linux/LockFileInstanceGuard.h"

#include <QDir>
#include <QStandardPaths>

namespace fwb {

LockFileInstanceGuard::LockFileInstanceGuard(QString lockPath) : m_path(std::move(lockPath)) {}

QString LockFileInstanceGuard::defaultLockPath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QStringLiteral("/fwbagent.lock");
}

bool LockFileInstanceGuard::claim()
{
    if (m_lock && m_lock->isLocked())
        return true;
    m_lock = std::make_unique<QLockFile>(m_path);
    // A running instance's lock never goes stale; one left by a dead process is taken over.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}

} // namespace fwb
