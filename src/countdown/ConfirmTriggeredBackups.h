#pragma once

#include <QString>
#include <QStringList>

namespace fwb {

// Shows the triggered sets in the count-down dialog (with a count-down in mode 1, as a
// confirmation otherwise), waits until it closes and acts on how it was closed. `driveLabel`
// (the label, or the mount point where no label is known) names the drive that triggered them
// to a user who is not looking at the Agent.
void ConfirmTriggeredBackups(const QStringList &setPaths, const QString &driveLabel = QString());

} // namespace fwb
