#pragma once

#include <QByteArray>
#include <QDateTime>

namespace fwb::jet::writer {

// Page 0: format and version, code page, sort order, creation date, and an empty password.
QByteArray definitionPage(const QDateTime &created);

// Days since 30 December 1899, the fraction the time of day: how Jet stores dates.
double oleDate(const QDateTime &moment);

} // namespace fwb::jet::writer
