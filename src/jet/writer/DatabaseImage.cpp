#include "jet/writer/DatabaseImage.h"

#include "jet/writer/Catalog.h"
#include "jet/writer/DefinitionPage.h"
#include "jet/writer/PageStore.h"
#include "jet/writer/RowPacker.h"
#include "jet/writer/TableDefinition.h"
#include "jet/writer/TableRows.h"
#include "jet/writer/UsageMap.h"

namespace fwb::jet::writer {

namespace {

// The file is laid out as: the definition page, the file-wide usage map, the catalog's
// definition, the pages holding every usage map, the tables' definitions, then each table's
// long values and records. Usage maps and definitions are filled in last, once every page is
// placed.
struct PlannedTable
{
    TableSpec spec;
    TableLayout layout;
    QList<int> definitionPages;
    MapPointers maps;
    QList<MapPointers> longValueMaps;
    StoredRows stored;
};

QByteArray placeholderMap()
{
    return QByteArray(kUsageMapRowSize, '\0');
}

MapPointers reserveMaps(RowPacker &packer)
{
    const quint32 owned = packer.place(placeholderMap());
    return {owned, packer.place(placeholderMap())};
}

void reserveAllMaps(PageStore &store, QList<PlannedTable> &tables)
{
    RowPacker packer(store, 0);
    for (PlannedTable &table : tables) {
        table.maps = reserveMaps(packer);
        for (qsizetype i = 0; i < table.layout.longValueColumns.size(); ++i)
            table.longValueMaps.append(reserveMaps(packer));
    }
}

QList<int> allocatePages(PageStore &store, int count)
{
    QList<int> pages;
    for (int i = 0; i < count; ++i)
        pages.append(store.allocate());
    return pages;
}

void fillMaps(PageStore &store, MapPointers maps, const PageSet &pages)
{
    store.overwriteRow(maps.owned, usageMap(pages.owned, store));
    store.overwriteRow(maps.withRoom, usageMap(pages.withRoom, store));
}

QByteArray definitionOf(const PlannedTable &table)
{
    return tableDefinition(table.spec, table.layout, table.stored.rowCount, table.maps,
                           table.longValueMaps);
}

} // namespace

std::optional<QByteArray> databaseImage(const QList<TableSpec> &tables, const QDateTime &created,
                                        QString *error)
{
    PageStore store;
    store.allocate();
    RowPacker globalMap(store, 0);
    const quint32 globalMapRow = globalMap.place(placeholderMap());
    const int catalogPage = store.allocate();
    Q_ASSERT(globalMapRow >> 8 == kGlobalUsageMapPage && catalogPage == kCatalogDefinitionPage);

    QList<PlannedTable> planned;
    planned.append({catalogTable({}, created), {}, {catalogPage}, {}, {}, {}});
    for (const TableSpec &spec : tables)
        planned.append({spec, {}, {}, {}, {}, {}});
    for (PlannedTable &table : planned)
        table.layout = layoutTable(table.spec);
    reserveAllMaps(store, planned);

    QList<CatalogEntry> entries;
    for (qsizetype i = 1; i < planned.size(); ++i) {
        PlannedTable &table = planned[i];
        const int pages = definitionPageCount(definitionOf(table).size());
        table.definitionPages = allocatePages(store, pages);
        entries.append({table.spec.name, table.definitionPages.first()});
    }
    planned[0].spec = catalogTable(entries, created);

    for (PlannedTable &table : planned) {
        auto stored =
            storeRows(store, table.spec, table.layout, table.definitionPages.first(), error);
        if (!stored)
            return std::nullopt;
        table.stored = std::move(*stored);
    }

    for (const PlannedTable &table : std::as_const(planned)) {
        fillMaps(store, table.maps, table.stored.records);
        for (qsizetype i = 0; i < table.longValueMaps.size(); ++i)
            fillMaps(store, table.longValueMaps.at(i), table.stored.longValues.at(i));
        storeDefinition(store, table.definitionPages, definitionOf(table));
    }
    store.overwriteRow(globalMapRow, globalUsageMap(store.count()));
    store.page(0) = definitionPage(created);
    return store.image();
}

} // namespace fwb::jet::writer
