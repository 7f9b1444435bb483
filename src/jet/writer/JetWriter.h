#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <optional>

// Writing Jet 4 (Access 2000) database files: user tables with their rows and the system
// catalog that readers need to find them. No indexes, no queries, no properties.
namespace fwb::jet {

enum class ColumnType {
    Text,        // up to 255 characters
    Memo,        // long text
    LongInteger, // signed 32 bits
    Integer,     // signed 16 bits
};

struct ColumnDef
{
    QString name;
    ColumnType type = ColumnType::Text;
};

// One cell, as DataAccess reads it back: nothing for NULL; text as stored, numbers as decimal
// text ("-42").
using Cell = std::optional<QString>;

struct TableData
{
    QString name;
    QList<ColumnDef> columns;
    QList<QList<Cell>> rows; // each row has one cell per column, in column order
    // Rows (by index into `rows`) to store as Access leaves a deleted row: the slot flagged
    // deleted and holding nothing. Readers must pass over them; for testing readers.
    QSet<qsizetype> deletedRows{};
};

// The complete file. Nothing, with the reason in `error`, when a name, a value or a row cannot
// be stored.
std::optional<QByteArray> buildDatabase(const QList<TableData> &tables, QString *error = nullptr);

// Builds the file and puts it at `path` in one step: a reader sees the old file or the new one,
// never a part, and a failure leaves the old file as it was.
bool writeDatabase(const QString &path, const QList<TableData> &tables, QString *error = nullptr);

} // namespace fwb::jet
