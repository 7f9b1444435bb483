#include "platform/linux/LockFileInstanceGuard.h"

#include <QDir>
#include <QFileInfo>
#include <unistd.h>

namespace fwb {

LockFileInstanceGuard::LockFileInstanceGuard(QStringList lockPaths) : m_paths(std::move(lockPaths))
{}

// After `su` the runtime folder may still be another user's, present but not writable for
// us; the temporary folder then keeps the lock.
QStringList LockFileInstanceGuard::defaultLockPaths()
{
    QStringList paths;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        paths.append(runtime + QStringLiteral("/fwbagent.lock"));
    // The temporary folder is shared by all users, so the name carries the user's id.
    paths.append(QDir::tempPath() + QStringLiteral("/fwbagent-%1.lock").arg(::getuid()));
    return paths;
}

InstanceClaim LockFileInstanceGuard::claim()
{
    if (m_lock && m_lock->isLocked())
        return InstanceClaim::Claimed;
    for (const QString &path : std::as_const(m_paths)) {
        m_lock = std::make_unique<QLockFile>(path);
        // A running instance's lock never goes stale; one left by a dead process is taken over.
        m_lock->setStaleLockTime(0);
        if (m_lock->tryLock(0))
            return InstanceClaim::Claimed;
        // Only a lock held by a live process means another instance; a place where no lock
        // can be made (no folder, no permission, a full disk, a folder in the lock's place)
        // says nothing about one.
        if (m_lock->error() == QLockFile::LockFailedError && QFileInfo(path).isFile())
            return InstanceClaim::OtherInstanceRuns;
    }
    m_lock.reset();
    return InstanceClaim::Unguarded;
}

} // namespace fwb
