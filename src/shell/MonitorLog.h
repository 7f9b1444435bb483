#pragma once

#include <QString>
#include <functional>

namespace fwb {

// Adds a timestamped entry at the top of the monitor log. The main window receives the
// entries; until it is there they are dropped.
void AddLogEntry(const QString &text);
void SetMonitorLogSink(std::function<void(const QString &)> sink);

} // namespace fwb
