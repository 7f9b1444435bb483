#pragma once

#include "platform/InstanceGuard.h"

#include <QLockFile>
#include <QStringList>
#include <memory>

namespace fwb {

// One Agent per user: a lock file in the user's runtime folder, or in the temporary folder
// when that one cannot hold it. The lock of an instance that died is taken over.
class LockFileInstanceGuard final : public InstanceGuard
{
public:
    // The places are tried in order; only a lock held by a live process stops the search.
    explicit LockFileInstanceGuard(QStringList lockPaths = defaultLockPaths());
    InstanceClaim claim() override;

    static QStringList defaultLockPaths();

private:
    QStringList m_paths;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace fwb
