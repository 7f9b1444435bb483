#pragma once

#include "jet/writer/RowPacker.h"

#include <QByteArray>

// Memo values: kept in the record when small, else on long-value pages, as one row when it fits
// a page and as a chain of rows (each starting with a pointer to the next) when it does not.
namespace fwb::jet::writer {

// The in-row form of a memo kept in the record.
QByteArray inlineMemo(const QByteArray &value);

// The long-value pages of one column.
class LongValueWriter
{
public:
    explicit LongValueWriter(PageStore &store);

    // Stores `value` (at most kMaxMemoBytes) on long-value pages; returns its in-row form.
    QByteArray store(const QByteArray &value);

    const QList<int> &pages() const { return m_packer.pages(); }
    QList<int> pagesWithRoom() const { return m_packer.pagesWithRoom(); }

private:
    quint32 storeChain(const QByteArray &value);

    RowPacker m_packer;
};

} // namespace fwb::jet::writer
