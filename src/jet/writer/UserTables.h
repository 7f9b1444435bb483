#pragma once

#include "jet/writer/JetWriter.h"
#include "jet/writer/StoredTable.h"

#include <QList>
#include <QString>
#include <optional>

namespace fwb::jet::writer {

// Why `name` cannot name a table or column in Jet; empty when it can.
QString nameProblem(const QString &name);

// `tables` checked and with their values in stored form. Nothing, with the first problem in
// `error` (table, row and column named), when a name or a value cannot be stored.
std::optional<QList<TableSpec>> userTables(const QList<TableData> &tables, QString *error);

} // namespace fwb::jet::writer
