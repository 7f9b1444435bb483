#pragma once

#include "jet/writer/Format.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <optional>

// A table as the writer stores it, user table or catalog alike: values already in their stored
// byte form.
namespace fwb::jet::writer {

struct ColumnSpec
{
    QString name;
    JetType type = JetType::Text;
    quint8 extraFlags = 0; // beyond FixedLength and Nullable, which follow from the type
};

// Nothing for NULL; otherwise the value's bytes: little-endian numbers, encoded text (the whole
// text for memos, which the writer then keeps in the row or on long-value pages).
using Field = std::optional<QByteArray>;

struct TableSpec
{
    QString name;
    bool system = false;
    QList<ColumnSpec> columns;
    QList<QList<Field>> rows;
    // Rows stored the way Access leaves a deleted row: a slot flagged deleted that holds nothing.
    QSet<qsizetype> deletedRows{};
};

struct ColumnLayout
{
    JetType type = JetType::Text;
    int number = 0;
    bool fixed = false;
    int varIndex = 0;    // variable columns: its slot in the row's offset table
    int fixedOffset = 0; // fixed columns: where it starts after the column count
    int length = 0;      // bytes; 0 for long values
    quint8 flags = 0;
};

struct TableLayout
{
    QList<ColumnLayout> columns;
    int fixedSize = 0;
    int varCount = 0;
    QList<int> longValueColumns; // column numbers of memo and OLE columns, in order
};

TableLayout layoutTable(const TableSpec &table);
bool isLongValue(JetType type);

} // namespace fwb::jet::writer
