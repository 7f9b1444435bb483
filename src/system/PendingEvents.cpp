#include "system/PendingEvents.h"

#include <QCoreApplication>

namespace fwb {

void LetPendingEventsRun()
{
    QCoreApplication::processEvents();
}

} // namespace fwb
