#include "jet/writer/TableDefinition.h"

#include "jet/writer/Bytes.h"
#include "jet/writer/Format.h"
#include "jet/writer/JetText.h"

namespace fwb::jet::writer {

namespace {

constexpr int kHeaderSize = 8;
constexpr int kColumnsStart = 63;
constexpr quint8 kUserTable = 0x4e;
constexpr quint8 kSystemTable = 0x53;

QByteArray header(const TableSpec &table, const TableLayout &layout, quint32 rowCount,
                  MapPointers maps)
{
    QByteArray bytes(kColumnsStart, '\0');
    put32(bytes, 12, kTableMagic);
    put32(bytes, 16, rowCount);
    put8(bytes, 24, 0x01); // autonumbers usable
    put8(bytes, 40, table.system ? kSystemTable : kUserTable);
    put16(bytes, 41, quint16(layout.columns.size()));
    put16(bytes, 43, quint16(layout.varCount));
    put16(bytes, 45, quint16(layout.columns.size()));
    // No indexes: the logical and real index counts at 47 and 51 stay zero.
    put32(bytes, 55, maps.owned);
    put32(bytes, 59, maps.withRoom);
    return bytes;
}

QByteArray columnEntry(const ColumnLayout &column)
{
    QByteArray entry(25, '\0');
    put8(entry, 0, quint8(column.type));
    put32(entry, 1, kTableMagic);
    put16(entry, 5, quint16(column.number));
    put16(entry, 7, quint16(column.varIndex));
    put16(entry, 9, quint16(column.number));
    put16(entry, 11, kGeneralSortOrder);
    put8(entry, 15, column.flags);
    put16(entry, 21, quint16(column.fixed ? column.fixedOffset : 0));
    put16(entry, 23, quint16(column.length));
    return entry;
}

} // namespace

QByteArray tableDefinition(const TableSpec &table, const TableLayout &layout, quint32 rowCount,
                           MapPointers tableMaps, const QList<MapPointers> &longValueMaps)
{
    Q_ASSERT(longValueMaps.size() == layout.longValueColumns.size());
    QByteArray bytes = header(table, layout, rowCount, tableMaps);
    for (const ColumnLayout &column : layout.columns)
        bytes.append(columnEntry(column));
    for (const ColumnSpec &column : table.columns) {
        const QByteArray name = encodeName(column.name);
        append16(bytes, quint16(name.size()));
        bytes.append(name);
    }
    for (qsizetype i = 0; i < layout.longValueColumns.size(); ++i) {
        append16(bytes, quint16(layout.longValueColumns.at(i)));
        append32(bytes, longValueMaps.at(i).owned);
        append32(bytes, longValueMaps.at(i).withRoom);
    }
    append16(bytes, 0xffff);
    put32(bytes, 8, quint32(bytes.size()));
    return bytes;
}

int definitionPageCount(qsizetype definitionSize)
{
    const qsizetype more = definitionSize - kPageSize;
    const int perPage = kPageSize - kHeaderSize;
    return 1 + int(more > 0 ? (more + perPage - 1) / perPage : 0);
}

void storeDefinition(PageStore &store, const QList<int> &pages, const QByteArray &definition)
{
    Q_ASSERT(pages.size() == definitionPageCount(definition.size()));
    qsizetype taken = kHeaderSize;
    for (qsizetype i = 0; i < pages.size(); ++i) {
        QByteArray &page = store.page(pages.at(i));
        const QByteArray piece = definition.mid(taken, kPageSize - kHeaderSize);
        taken += piece.size();
        page.replace(kHeaderSize, piece.size(), piece);
        put8(page, 0, TableDefinitionPage);
        put8(page, 1, 0x01);
        // Jet keeps the free space here less 8.
        put16(page, 2, quint16(qMax(0, kPageSize - kHeaderSize - int(piece.size()) - 8)));
        put32(page, 4, i + 1 < pages.size() ? quint32(pages.at(i + 1)) : 0);
    }
}

} // namespace fwb::jet::writer
