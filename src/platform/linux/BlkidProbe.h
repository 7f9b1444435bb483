#pragma once

#include "platform/VolumeQuery.h"

namespace fwb {

// Reads the filesystem's own superblock on a device node or an image file. Needs read access
// to it; nothing when it cannot be opened or read, or when it carries more than one
// filesystem signature. A device with no signature the probe knows gives empty fields.
//
// `mountedAs` is the filesystem type the mount table names for the device, when it is
// mounted: the probe then looks for that filesystem's superblock only, rather than trying
// every type libblkid knows. Only when that finds nothing is every type tried. "fuseblk", or
// nothing, says nothing of the filesystem.
std::optional<VolumeInfo> probeVolume(const QString &devicePath, const QString &mountedAs = {});

// libblkid and udev report no id for a FAT volume whose serial number is 0 (an id of zeros
// counts as none to them), where Windows shows "0000-0000". For a FAT volume without an id this
// reads the serial number from the device's boot sector, where the device can be read.
void addFatSerialFromBootSector(VolumeInfo &info, const QString &devicePath);

} // namespace fwb
