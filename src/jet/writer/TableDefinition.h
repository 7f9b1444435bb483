#pragma once

#include "jet/writer/PageStore.h"
#include "jet/writer/StoredTable.h"

#include <QByteArray>
#include <QList>

// Table definitions: counts, the usage maps' row pointers, one entry per column, the column
// names, and the maps of each long-value column. A long definition continues on further pages.
namespace fwb::jet::writer {

// Page-row pointers of the two maps a table (or a long-value column) has: the pages it owns,
// and those of them with room for more rows.
struct MapPointers
{
    quint32 owned = 0;
    quint32 withRoom = 0;
};

// The definition as one byte run, its first 8 bytes left for the page header.
QByteArray tableDefinition(const TableSpec &table, const TableLayout &layout, quint32 rowCount,
                           MapPointers tableMaps, const QList<MapPointers> &longValueMaps);

int definitionPageCount(qsizetype definitionSize);

// Spreads `definition` over `pages` (definitionPageCount of them), chained in that order.
void storeDefinition(PageStore &store, const QList<int> &pages, const QByteArray &definition);

} // namespace fwb::jet::writer
