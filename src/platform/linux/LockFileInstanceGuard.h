#pragma once

#include "platform/InstanceGuard.h"

#include <QLockFile>
#include <memory>

namespace fwb {

// One Agent per user: a lock file in the user's runtime folder. The lock of an instance that
// died is taken over.
class LockFileInstanceGuard final : public InstanceGuard
{
public:
    explicit LockFileInstanceGuard(QString lockPath = defaultLockPath());
    bool claim() override;

    static QString defaultLockPath();

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace fwb
