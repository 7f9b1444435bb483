#pragma once

#include <QString>

namespace fwb {

struct Setting;

// Writes one setting and, when the file cannot take it, says so in the monitor log: the new
// value still holds for this run, and the user learns it will not survive a restart.
void SaveSetting(const Setting &setting, const QString &value);
// The monitor-log entry of a setting that could not be saved, for a write whose report has to
// wait (start-up writes before the log begins).
void ReportUnsavedSetting(const Setting &setting, const QString &value);

} // namespace fwb
