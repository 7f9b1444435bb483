#pragma once

#include <QString>
#include <QStringList>

namespace fwb {

// Starts the backup program once per set, in list order, logging each outcome and pausing
// about a second after each. A missing file skips only its own set.
void LaunchBackupSets(const QStringList &setPaths);

// Opens a file with the application the desktop associates with it. False when none is or
// the opener could not run.
bool OpenWithShell(const QString &path);

// Waits while the program stays responsive: until the clock's whole-second count has moved
// on by more than `seconds`, so one to two seconds for a pause of one.
void PauseSeconds(int seconds);

} // namespace fwb
