#pragma once

#include <QDateTime>
#include <QString>

namespace fwb {

// The user's general date-and-time text: short date with a four-digit year, then the time
// with seconds.
QString GeneralDateTimeText(const QDateTime &when);

} // namespace fwb
