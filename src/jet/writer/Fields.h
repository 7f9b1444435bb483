#pragma once

#include "jet/writer/StoredTable.h"

#include <QString>

// Stored forms of single values.
namespace fwb::jet::writer {

QByteArray integerField(qint16 value);
QByteArray longField(qint32 value);
QByteArray dateField(double oleDate);

} // namespace fwb::jet::writer
