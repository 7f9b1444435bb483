#pragma once

#include <QString>
#include <QStringList>

namespace fwb {

// Shows the triggered sets in the count-down dialog (with a count-down in mode 1, as a
// confirmation otherwise), waits until it closes and acts on how it was closed.
void ConfirmTriggeredBackups(const QStringList &setPaths);

} // namespace fwb
