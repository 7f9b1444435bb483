#pragma once

#include "jet/writer/JetWriter.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Language-pack sources: UTF-8 tab-separated text with the header line
// "Form<TAB>Name<TAB>Text<TAB>Type<TAB>Index" and one line per row of the pack's Items table.
namespace fwb::jet::tool {

QStringList packColumnNames();

// The Items table a source describes; nothing, with "line N: ..." in `error`, for a source
// that is not well formed.
std::optional<TableData> parsePackSource(const QByteArray &source, QString *error);

// The canonical source of Items rows (Form, Name, Text, Type, Index).
QByteArray formatPackSource(const QList<QList<Cell>> &rows);

} // namespace fwb::jet::tool
