#pragma once

#include "jet/engine/Mdb.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

namespace fwb::jet::engine {

// One Jet file opened read-only by libmdb, with its catalog of tables read once: re-reading
// the catalog is the costly part of opening.
class Database
{
public:
    // Nothing when libmdb cannot open the file as a Jet database or read its catalog, or when
    // the catalog is too damaged for libmdb to read safely. `fileSize` is the size of the file
    // at `path`.
    static std::unique_ptr<Database> open(const QString &path, qint64 fileSize);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    MdbHandle *handle() const { return m_mdb; }
    // The table of that name, letter case ignored as Jet does; system tables too. Nothing when
    // there is none.
    MdbCatalogEntry *findTable(const QString &name) const;
    // The names of the user tables, in catalog order.
    QStringList userTables() const;

private:
    struct TableEntry
    {
        QString name;
        MdbCatalogEntry *entry;
    };

    explicit Database(MdbHandle *mdb);

    MdbHandle *m_mdb;
    QList<TableEntry> m_tables;
};

} // namespace fwb::jet::engine
