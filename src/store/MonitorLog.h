#pragma once

#include <QString>
#include <functional>

namespace fwb {

// The monitor log: stamped entries, kept from the program's start whether or not a window shows
// them yet. Each entry also goes to standard error as one line, control characters escaped
// ("\x1b"); the log itself keeps the text as it is.
void AddLogEntry(const QString &text);
// Starts the log afresh with this one entry; the sink is not told, whoever restarts shows it.
void RestartMonitorLog(const QString &text);
void ClearMonitorLog();
// The whole log, newest entry first: each entry is "stamp: text" and an empty line, CRLF breaks.
QString MonitorLogText();
QString NewestLogEntry();
// From now on Qt's own messages go to standard error as single lines starting "qt: " (and their
// category), never looking like log entries.
void KeepQtMessagesApart();
// Told of each added entry's text, after the log holds it.
void SetMonitorLogSink(std::function<void(const QString &)> sink);

} // namespace fwb
