#include "jet/writer/Record.h"

#include "jet/writer/Bytes.h"

namespace fwb::jet::writer {

namespace {

int nullMaskSize(const TableLayout &layout)
{
    return int((layout.columns.size() + 7) / 8);
}

int offsetTableSize(const TableLayout &layout)
{
    // The end-of-data offset, one offset per variable column, their count.
    return layout.varCount > 0 ? 2 + 2 * layout.varCount + 2 : 0;
}

} // namespace

int recordSize(const TableLayout &layout, const QList<Field> &fields)
{
    int size = 2 + layout.fixedSize + offsetTableSize(layout) + nullMaskSize(layout);
    for (const ColumnLayout &column : layout.columns) {
        const Field &field = fields.at(column.number);
        if (!column.fixed && field)
            size += int(field->size());
    }
    return size;
}

QByteArray encodeRecord(const TableLayout &layout, const QList<Field> &fields)
{
    QByteArray record(2 + layout.fixedSize, '\0');
    put16(record, 0, quint16(layout.columns.size()));
    QByteArray nullMask(nullMaskSize(layout), '\0');
    QList<quint16> varOffsets;
    for (const ColumnLayout &column : layout.columns) {
        const Field &field = fields.at(column.number);
        if (field)
            nullMask[column.number / 8] =
                char(nullMask[column.number / 8] | 1 << column.number % 8);
        if (column.fixed) {
            if (field)
                record.replace(2 + column.fixedOffset, column.length, *field);
            continue;
        }
        varOffsets.append(quint16(record.size()));
        if (field)
            record.append(*field);
    }
    if (layout.varCount > 0) {
        append16(record, quint16(record.size()));
        for (qsizetype i = varOffsets.size() - 1; i >= 0; --i)
            append16(record, varOffsets.at(i));
        append16(record, quint16(layout.varCount));
    }
    record.append(nullMask);
    return record;
}

} // namespace fwb::jet::writer
