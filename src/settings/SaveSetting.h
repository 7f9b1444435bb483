#pragma once

#include <QString>

namespace fwb {

// Writes one setting and, when the file cannot take it, says so in the monitor log: the new
// value still holds for this run, and the user learns it will not survive a restart.
void SaveSetting(const QString &file, const QString &section, const QString &key,
                 const QString &value);
// The monitor-log entry of a setting that could not be saved, for a write whose report has to
// wait (start-up writes before the log begins).
void ReportUnsavedSetting(const QString &file, const QString &key, const QString &value);

} // namespace fwb
