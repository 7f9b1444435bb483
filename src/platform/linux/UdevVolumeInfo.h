#pragma once

#include "monitor/MountTable.h"
#include "platform/VolumeQuery.h"

namespace fwb {

// Whether udev runs on this machine; without it the udev database is missing or stale.
bool udevIsRunning();

// The volume identity udev recorded for a block device when it probed it. Reading the
// database needs no privileges. Nothing when udev has not probed the device.
std::optional<VolumeInfo> udevVolumeInfo(DeviceNumber device);

} // namespace fwb
