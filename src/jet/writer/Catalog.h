#pragma once

#include "jet/writer/StoredTable.h"

#include <QDateTime>
#include <QList>

// MSysObjects, the catalog through which readers find the tables. Its definition is always on
// page 2.
namespace fwb::jet::writer {

struct CatalogEntry
{
    QString name;
    int definitionPage = 0;
};

inline const QString kCatalogName = QStringLiteral("MSysObjects");

// The catalog with the containers Jet expects, itself, and `tables`.
TableSpec catalogTable(const QList<CatalogEntry> &tables, const QDateTime &created);

} // namespace fwb::jet::writer
