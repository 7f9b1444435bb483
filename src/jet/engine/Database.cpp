#include "jet/engine/Database.h"

#include "jet/engine/CatalogCheck.h"
#include "system/FileNames.h"

namespace fwb::jet::engine {

namespace {

QString nameOf(const MdbCatalogEntry *entry)
{
    return QString::fromUtf8(entry->object_name,
                             qstrnlen(entry->object_name, sizeof entry->object_name));
}

} // namespace

std::unique_ptr<Database> Database::open(const QString &path, qint64 fileSize)
{
    MdbHandle *mdb = mdb_open(EncodeFileName(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        return nullptr;
    std::unique_ptr<Database> database(new Database(mdb));
    if (!catalogIsSound(mdb, fileSize))
        return nullptr;
    GPtrArray *catalog = mdb_read_catalog(mdb, MDB_TABLE);
    if (!catalog)
        return nullptr;
    for (guint i = 0; i < catalog->len; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(catalog, i));
        if (entry && entry->object_type == MDB_TABLE)
            database->m_tables.append({nameOf(entry), entry});
    }
    return database;
}

Database::Database(MdbHandle *mdb) : m_mdb(mdb) {}

Database::~Database()
{
    mdb_close(m_mdb);
}

MdbCatalogEntry *Database::findTable(const QString &name) const
{
    for (const TableEntry &table : m_tables) {
        if (table.name.compare(name, Qt::CaseInsensitive) == 0)
            return table.entry;
    }
    return nullptr;
}

QStringList Database::userTables() const
{
    QStringList names;
    for (const TableEntry &table : m_tables) {
        if (mdb_is_user_table(table.entry))
            names.append(table.name);
    }
    return names;
}

} // namespace fwb::jet::engine
