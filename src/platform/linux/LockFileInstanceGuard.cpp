#include "platform/linux/LockFileInstanceGuard.h"

#include <QDir>
#include <unistd.h>

namespace fwb {

LockFileInstanceGuard::LockFileInstanceGuard(QString lockPath) : m_path(std::move(lockPath)) {}

QString LockFileInstanceGuard::defaultLockPath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return runtime + QStringLiteral("/fwbagent.lock");
    // The temporary folder is shared by all users, so the name carries the user's id.
    return QDir::tempPath() + QStringLiteral("/fwbagent-%1.lock").arg(::getuid());
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
