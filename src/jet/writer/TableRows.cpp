#include "jet/writer/TableRows.h"

#include "jet/writer/LongValues.h"
#include "jet/writer/Record.h"
#include "jet/writer/RowPacker.h"

namespace fwb::jet::writer {

namespace {

// Memos up to this size stay in the record while it has room; longer ones go to long-value
// pages, so records stay small and many fit a page.
constexpr int kInlineMemoLimit = 256;

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

bool withinSizeLimit(const PageStore &store, QString *error)
{
    if (store.count() <= kMaxPageCount)
        return true;
    setError(error, QStringLiteral("The database would be larger than 2 GB, the most a Jet "
                                   "database can hold."));
    return false;
}

// The record's fields with each long value either kept inline or, as a 12-byte placeholder for
// its reference, marked for long-value pages in `outOfRow`.
std::optional<QList<Field>> placeLongValues(const TableLayout &layout, const QList<Field> &row,
                                            QList<bool> &outOfRow)
{
    QList<Field> fields = row;
    outOfRow.fill(false, row.size());
    for (int number : layout.longValueColumns) {
        if (!row.at(number))
            continue;
        if (row.at(number)->size() <= kInlineMemoLimit) {
            fields[number] = inlineMemo(*row.at(number));
        } else {
            outOfRow[number] = true;
            fields[number] = QByteArray(kMemoFieldHeaderSize, '\0');
        }
    }
    // Too big a record sends its largest inline values out until it fits.
    while (recordSize(layout, fields) > kMaxRowSize) {
        int largest = -1;
        for (int number : layout.longValueColumns) {
            if (fields.at(number) && !outOfRow.at(number) && !row.at(number)->isEmpty() &&
                (largest < 0 || row.at(number)->size() > row.at(largest)->size())) {
                largest = number;
            }
        }
        if (largest < 0)
            return std::nullopt;
        outOfRow[largest] = true;
        fields[largest] = QByteArray(kMemoFieldHeaderSize, '\0');
    }
    return fields;
}

} // namespace

std::optional<StoredRows> storeRows(PageStore &store, const TableSpec &table,
                                    const TableLayout &layout, int definitionPage, QString *error)
{
    QList<QList<Field>> records;
    QList<QList<bool>> outOfRow(table.rows.size());
    records.reserve(table.rows.size());
    for (qsizetype r = 0; r < table.rows.size(); ++r) {
        auto fields = placeLongValues(layout, table.rows.at(r), outOfRow[r]);
        if (!fields) {
            setError(error, QStringLiteral("Table \"%1\", row %2: the row takes more than %3 "
                                           "bytes even with its memos stored apart.")
                                .arg(table.name)
                                .arg(r + 1)
                                .arg(kMaxRowSize));
            return std::nullopt;
        }
        records.append(*fields);
    }

    StoredRows stored;
    stored.rowCount = quint32(records.size() - table.deletedRows.size());
    for (int number : layout.longValueColumns) {
        LongValueWriter writer(store);
        for (qsizetype r = 0; r < records.size(); ++r) {
            if (outOfRow.at(r).at(number) && !table.deletedRows.contains(r))
                records[r][number] = writer.store(*table.rows.at(r).at(number));
            if (!withinSizeLimit(store, error))
                return std::nullopt;
        }
        stored.longValues.append({writer.pages(), writer.pagesWithRoom()});
    }

    RowPacker packer(store, quint32(definitionPage));
    for (qsizetype r = 0; r < records.size(); ++r) {
        if (table.deletedRows.contains(r))
            packer.placeDeleted();
        else
            packer.place(encodeRecord(layout, records.at(r)));
        if (!withinSizeLimit(store, error))
            return std::nullopt;
    }
    stored.records = {packer.pages(), packer.pagesWithRoom()};
    return stored;
}

} // namespace fwb::jet::writer
