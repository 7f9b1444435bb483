#include "jet/writer/Catalog.h"

#include "jet/writer/DefinitionPage.h"
#include "jet/writer/Fields.h"
#include "jet/writer/JetText.h"

namespace fwb::jet::writer {

namespace {

enum ObjectType : qint16 { TableObject = 1, ContainerObject = 3 };

constexpr qint32 kRootId = 0x0f000000;
constexpr qint32 kTablesContainerId = 0x0f000001;
constexpr qint32 kDatabasesContainerId = 0x0f000002;
constexpr qint32 kRelationshipsContainerId = 0x0f000003;
constexpr auto kSystemObject = qint32(0x80000000u);

// Columns in Jet's own order, so the row layout matches what Access writes.
QList<ColumnSpec> catalogColumns()
{
    const auto column = [](const char *name, JetType type) {
        return ColumnSpec{QString::fromLatin1(name), type, SystemColumn};
    };
    return {column("Id", JetType::LongInteger),      column("ParentId", JetType::LongInteger),
            column("Name", JetType::Text),           column("Type", JetType::Integer),
            column("DateCreate", JetType::DateTime), column("DateUpdate", JetType::DateTime),
            column("Owner", JetType::Binary),        column("Flags", JetType::LongInteger),
            column("Database", JetType::Memo),       column("Connect", JetType::Memo),
            column("ForeignName", JetType::Text),    column("RmtInfoShort", JetType::Binary),
            column("RmtInfoLong", JetType::Ole),     column("Lv", JetType::Ole),
            column("LvProp", JetType::Ole),          column("LvModule", JetType::Ole),
            column("LvExtra", JetType::Ole)};
}

QList<Field> catalogRow(qint32 id, qint32 parentId, const QString &name, ObjectType type,
                        qint32 flags, double date)
{
    QList<Field> row(catalogColumns().size());
    row[0] = longField(id);
    row[1] = longField(parentId);
    row[2] = encodeText(name);
    row[3] = integerField(type);
    row[4] = dateField(date);
    row[5] = dateField(date);
    row[7] = longField(flags);
    return row;
}

} // namespace

TableSpec catalogTable(const QList<CatalogEntry> &tables, const QDateTime &created)
{
    const double date = oleDate(created);
    TableSpec catalog{kCatalogName, true, catalogColumns(), {}};
    catalog.rows = {
        catalogRow(kTablesContainerId, kRootId, QStringLiteral("Tables"), ContainerObject,
                   kSystemObject, date),
        catalogRow(kDatabasesContainerId, kRootId, QStringLiteral("Databases"), ContainerObject,
                   kSystemObject, date),
        catalogRow(kRelationshipsContainerId, kRootId, QStringLiteral("Relationships"),
                   ContainerObject, kSystemObject, date),
        catalogRow(kCatalogDefinitionPage, kTablesContainerId, kCatalogName, TableObject,
                   kSystemObject, date),
    };
    for (const CatalogEntry &table : tables) {
        catalog.rows.append(
            catalogRow(table.definitionPage, kTablesContainerId, table.name, TableObject, 0, date));
    }
    return catalog;
}

} // namespace fwb::jet::writer
