#pragma once

#include "platform/VolumeQuery.h"

namespace fwb {

// Reads the filesystem's own superblock on a device node or an image file. Needs read access
// to it; nothing when it cannot be opened or read, or when it carries more than one
// filesystem signature. A device with no signature the probe knows gives empty fields.
std::optional<VolumeInfo> probeVolume(const QString &devicePath);

} // namespace fwb
