#pragma once

#include "jet/engine/Mdb.h"

#include <QByteArrayView>
#include <vector>

namespace fwb::jet::engine {

// Walks the rows of a table in stored order, as mdb_fetch_row does, but tells a damaged row
// from a deleted one: libmdb skips a row it cannot decode without a word, which would make a
// damaged table look merely shorter.
class RowScan
{
public:
    enum class Step { Row, End, Damaged };

    explicit RowScan(MdbTableDef *table);

    // Moves to the next live row and fills the table's bound columns with it.
    Step next();
    // Whether a column of the current row is NULL. libmdb binds NULL and the empty text alike;
    // the row's null mask tells them apart.
    bool isNull(int column) const { return m_nulls[size_t(column)]; }
    // The stored bytes of a column of the current row, where libmdb's row cracking found them
    // on the page; empty for a NULL or a column the row does not hold.
    QByteArrayView storedBytes(int column) const { return m_stored[size_t(column)]; }

private:
    Step nextPage();
    bool readNulls();

    MdbTableDef *m_table;
    std::vector<MdbField> m_fields;
    std::vector<bool> m_nulls;
    std::vector<QByteArrayView> m_stored;
    int m_start = 0;
    size_t m_size = 0;
    unsigned m_rowsRead = 0;
};

} // namespace fwb::jet::engine
