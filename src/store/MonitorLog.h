#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace fwb {

struct MonitorLogState
{
    QStringList entries; // oldest first, so adding one costs the same however long the log is
    std::function<void(const QString &)> sink;
};
// Kept in the program state (program/ProgramState.h).
MonitorLogState &monitorLogState();

// The monitor log: stamped entries, kept from the program's start whether or not a window shows
// them yet. Each entry also goes to standard error as one line, control characters escaped
// ("\x1b"); the log itself keeps the text as it is.
void AddLogEntry(const QString &text);
// An entry as a window shows it: its own CRLF line breaks stay, every other control character
// is escaped as on standard error, so that nothing in a label or a file name can break a line.
QString LogDisplayText(const QString &text);
// A value from outside (a label, a path) as an entry's text holds it: control characters
// escaped, even a CRLF, which would otherwise pass for the entry's own line break.
QString LogValue(const QString &value);
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
