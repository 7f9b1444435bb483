#pragma once

#include "jet/writer/JetWriter.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The tab-separated text of `export`, `pack-dump` and pack sources: one line per row, fields
// separated by tabs, a NULL written as \N, and a backslash, tab, line feed or carriage return
// inside a value written as \\, \t, \n or \r.
namespace fwb::jet::tool {

QString escapeField(const Cell &cell);
QByteArray formatLine(const QList<Cell> &cells);
QByteArray formatHeader(const QStringList &names);

// The cell a field stands for; nothing, with the reason in `problem`, for a malformed escape.
std::optional<Cell> parseField(const QString &field, QString *problem);

} // namespace fwb::jet::tool
