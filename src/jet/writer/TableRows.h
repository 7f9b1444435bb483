#pragma once

#include "jet/writer/PageStore.h"
#include "jet/writer/StoredTable.h"

#include <QList>
#include <QString>
#include <optional>

namespace fwb::jet::writer {

struct PageSet
{
    QList<int> owned;
    QList<int> withRoom;
};

struct StoredRows
{
    quint32 rowCount = 0;
    PageSet records;
    QList<PageSet> longValues; // one per long-value column, in column order
};

// Puts the rows of `table` into `store`: first each long-value column's pages, then the records,
// owned by the definition on `definitionPage`, in row order. Nothing, with the reason in
// `error`, when a record does not fit a page or the file would pass the size limit.
std::optional<StoredRows> storeRows(PageStore &store, const TableSpec &table,
                                    const TableLayout &layout, int definitionPage, QString *error);

} // namespace fwb::jet::writer
