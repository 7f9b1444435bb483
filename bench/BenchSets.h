#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Backup-set folders as users have them, for the benchmarks.
namespace fwb::bench {

// Three triggers as the backup program stores them: on a serial number, on a label, and (with
// `anyDrive`) on any drive for every hundredth set.
QString triggerList(int n, bool anyDrive = true);

// An ini set of about forty keys, the trigger list among the last of its section.
QByteArray iniSet(int n, bool anyDrive = true);

// Writes `count` ini sets ("Backup set <n>.fwb") into `folder` (with a trailing separator).
bool writeIniSets(const QString &folder, int count, bool anyDrive = true);

// What a plain C program spends on the folder's set files: list it, then open, read to the
// end and close every "*.fwb" in it. Nanoseconds, or -1 when the folder cannot be read.
long long cReadLoopNs(const QString &folder);

} // namespace fwb::bench
