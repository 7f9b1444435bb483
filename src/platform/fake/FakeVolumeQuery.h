#pragma once

#include "platform/VolumeQuery.h"

#include <QHash>
#include <QStringList>

namespace fwb {

// Volumes by root path; a root path not listed cannot be queried.
class FakeVolumeQuery final : public VolumeQuery
{
public:
    std::optional<VolumeInfo> query(const QString &rootPath) const override
    {
        queried.append(rootPath);
        const auto found = volumes.constFind(rootPath);
        if (found == volumes.cend())
            return std::nullopt;
        return *found;
    }

    QHash<QString, VolumeInfo> volumes;
    mutable QStringList queried;
};

} // namespace fwb
