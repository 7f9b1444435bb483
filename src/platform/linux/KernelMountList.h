#pragma once

#include "monitor/MountTable.h"

#include <optional>

namespace fwb {

// This process's mounts as the kernel itself lists them (listmount and statmount, Linux 6.8
// and later), each with the 64-bit id the kernel never hands out twice. In the order the
// mounts were made. Nothing when the running kernel cannot list mounts so, or the list
// cannot be had; callers then read /proc/self/mountinfo, whose ids the kernel reuses.
std::optional<MountTable> listKernelMounts();

// Whether the running kernel answers listKernelMounts(). Asked once, then remembered.
bool kernelHasUniqueMountIds();

} // namespace fwb
