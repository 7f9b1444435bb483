#pragma once

#include "monitor/MountTable.h"

#include <optional>

namespace fwb {

// This process's mount table as the kernel lists it now. Nothing when it cannot be read; a
// readable table is never empty, since it holds at least the root.
std::optional<MountTable> readProcessMountTable();

} // namespace fwb
