#pragma once

#include "jet/engine/Mdb.h"

namespace fwb::jet::engine {

// A table definition read by libmdb, freed with it.
class TableDef
{
public:
    explicit TableDef(MdbCatalogEntry *entry) : m_table(mdb_read_table(entry))
    {
        if (m_table && !mdb_read_columns(m_table)) {
            mdb_free_tabledef(m_table);
            m_table = nullptr;
        }
    }
    ~TableDef()
    {
        if (m_table)
            mdb_free_tabledef(m_table);
    }
    TableDef(const TableDef &) = delete;
    TableDef &operator=(const TableDef &) = delete;

    // A definition whose column list matches its column count; libmdb indexes one by the
    // other without checking.
    bool usable() const
    {
        return m_table && m_table->columns && m_table->num_cols > 0 &&
               m_table->columns->len == m_table->num_cols;
    }
    MdbTableDef *get() const { return m_table; }
    MdbColumn *column(int index) const
    {
        return static_cast<MdbColumn *>(g_ptr_array_index(m_table->columns, guint(index)));
    }
    int columnCount() const { return int(m_table->num_cols); }

private:
    MdbTableDef *m_table;
};

} // namespace fwb::jet::engine
