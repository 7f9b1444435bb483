#pragma once

#include <QString>
#include <functional>

namespace fwb {

// The monitor log: stamped entries, kept from the program's start whether or not a window shows
// them yet. Each entry also goes to standard error as one line.
void AddLogEntry(const QString &text);
// Starts the log afresh with this one entry; the sink is not told, whoever restarts shows it.
void RestartMonitorLog(const QString &text);
void ClearMonitorLog();
// The whole log, newest entry first: each entry is "stamp: text" and an empty line, CRLF breaks.
QString MonitorLogText();
QString NewestLogEntry();
// Told of each added entry's text, after the log holds it.
void SetMonitorLogSink(std::function<void(const QString &)> sink);

} // namespace fwb
