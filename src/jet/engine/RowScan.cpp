#include "jet/engine/RowScan.h"

#include "jet/engine/RowSlots.h"

namespace fwb::jet::engine {

RowScan::RowScan(MdbTableDef *table)
    : m_table(table), m_fields(table->num_cols), m_nulls(table->num_cols), m_stored(table->num_cols)
{
    mdb_rewind_table(table);
}

RowScan::Step RowScan::next()
{
    MdbHandle *mdb = m_table->entry->mdb;
    if (m_table->cur_pg_num == 0) {
        m_table->cur_pg_num = 1;
        m_table->cur_row = 0;
        if (const Step step = nextPage(); step != Step::Row)
            return step;
    }
    for (;;) {
        const unsigned rows = unsigned(mdb_get_int16(mdb->pg_buf, mdb->fmt->row_count_offset));
        // A slot table that runs past the page is damage, not rows to look at.
        if (mdb->fmt->row_count_offset + 2 + 2 * qint64(rows) > mdb->fmt->pg_size)
            return Step::Damaged;
        if (m_table->cur_row >= rows) {
            m_table->cur_row = 0;
            if (const Step step = nextPage(); step != Step::Row)
                return step;
            continue;
        }
        const int row = int(m_table->cur_row++);
        // Access leaves a deleted row's slot flagged, often with no space at all (its offset at
        // the page end or on the next row's); libmdb and mdb-reader pass over it unread, so its
        // offset says nothing about damage.
        if (rowSlot(mdb, mdb->pg_buf, row) & kDeletedRowFlag)
            continue;
        if (mdb_find_row(mdb, row, &m_start, &m_size) != 0 || m_size == 0)
            return Step::Damaged;
        if (!readNulls() || !mdb_read_row(m_table, unsigned(row)))
            return Step::Damaged;
        ++m_rowsRead;
        return Step::Row;
    }
}

// The table's next data page by its usage map, as mdb_read_next_dpg finds it. libmdb skips a
// page the map names but the file does not hold (cut short) or that belongs to something else;
// here either is damage.
RowScan::Step RowScan::nextPage()
{
    MdbHandle *mdb = m_table->entry->mdb;
    const gint32 page =
        mdb_map_find_next(mdb, m_table->usage_map, guint(m_table->map_sz), m_table->cur_phys_pg);
    // The table definition counts the table's rows. Fewer found means pages went missing, as
    // in a file cut short: the map that lists them is then read as empty.
    if (page == 0)
        return m_rowsRead >= m_table->num_rows ? Step::End : Step::Damaged;
    if (page < 0 || mdb_read_pg(mdb, gulong(page)) != mdb->fmt->pg_size)
        return Step::Damaged;
    m_table->cur_phys_pg = guint32(page);
    const bool ours = mdb->pg_buf[0] == MDB_PAGE_DATA &&
                      guint32(mdb_get_int32(mdb->pg_buf, 4)) == m_table->entry->table_pg;
    return ours ? Step::Row : Step::Damaged;
}

bool RowScan::readNulls()
{
    if (mdb_crack_row(m_table, m_start & kRowOffsetMask, m_size, m_fields.data()) < 0)
        return false;
    std::fill(m_nulls.begin(), m_nulls.end(), false);
    std::fill(m_stored.begin(), m_stored.end(), QByteArrayView());
    const auto *page = static_cast<const char *>(static_cast<void *>(m_table->entry->mdb->pg_buf));
    for (const MdbField &field : m_fields) {
        if (field.colnum < 0 || size_t(field.colnum) >= m_nulls.size())
            continue;
        m_nulls[size_t(field.colnum)] = field.is_null != 0;
        // A field that reaches outside the page is left empty; the caller's length checks then
        // find the value damaged.
        if (!field.is_null && field.start >= 0 && field.siz >= 0 &&
            qint64(field.start) + field.siz <= m_table->entry->mdb->fmt->pg_size)
            m_stored[size_t(field.colnum)] = QByteArrayView(page + field.start, field.siz);
    }
    return true;
}

} // namespace fwb::jet::engine
