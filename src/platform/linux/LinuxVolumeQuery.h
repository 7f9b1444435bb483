#pragma once

#include "platform/VolumeQuery.h"

namespace fwb {

// The identity of the volume behind a mount point: from the udev database where udev runs,
// else from the device's superblock when the device can be read, looked for first among the
// filesystem type the mount table names (FUSE mounts all say "fuseblk" there, so for them
// the probe finds the type).
class LinuxVolumeQuery final : public VolumeQuery
{
public:
    std::optional<VolumeInfo> query(const QString &rootPath) const override;
};

} // namespace fwb
