#pragma once

#include "jet/writer/StoredTable.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <optional>

namespace fwb::jet::writer {

// The whole file for `tables` (checked user tables) and the catalog that lists them.
std::optional<QByteArray> databaseImage(const QList<TableSpec> &tables, const QDateTime &created,
                                        QString *error);

} // namespace fwb::jet::writer
