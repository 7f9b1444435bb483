#include "jet/writer/StoredTable.h"

namespace fwb::jet::writer {

namespace {

int fixedLength(JetType type)
{
    switch (type) {
    case JetType::Integer:
        return 2;
    case JetType::LongInteger:
        return 4;
    case JetType::DateTime:
        return 8;
    default:
        return 0;
    }
}

int declaredLength(JetType type)
{
    switch (type) {
    case JetType::Text:
    case JetType::Binary:
        return 2 * kMaxTextChars;
    case JetType::Memo:
    case JetType::Ole:
        return 0;
    default:
        return fixedLength(type);
    }
}

} // namespace

bool isLongValue(JetType type)
{
    return type == JetType::Memo || type == JetType::Ole;
}

TableLayout layoutTable(const TableSpec &table)
{
    TableLayout layout;
    for (const ColumnSpec &spec : table.columns) {
        ColumnLayout column;
        column.type = spec.type;
        column.number = int(layout.columns.size());
        column.fixed = fixedLength(spec.type) > 0;
        column.length = declaredLength(spec.type);
        column.flags = quint8(Nullable | spec.extraFlags | (column.fixed ? FixedLength : 0));
        column.varIndex = layout.varCount;
        if (column.fixed) {
            column.fixedOffset = layout.fixedSize;
            layout.fixedSize += column.length;
        } else {
            ++layout.varCount;
        }
        if (isLongValue(spec.type))
            layout.longValueColumns.append(column.number);
        layout.columns.append(column);
    }
    return layout;
}

} // namespace fwb::jet::writer
