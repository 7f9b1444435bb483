#pragma once

#include "jet/writer/PageStore.h"

#include <QByteArray>
#include <QList>

// Places rows on data pages (or long-value pages) of one owner, filling each page before it
// starts the next, so rows keep the order they were placed in.
namespace fwb::jet::writer {

class RowPacker
{
public:
    // `owner`: the table definition page the rows belong to, or kLongValueOwner.
    RowPacker(PageStore &store, quint32 owner);

    // Puts `row` (at most kMaxPageRowSize bytes) on the current page, or on a new one when it
    // does not fit; returns its page-row pointer.
    quint32 place(const QByteArray &row);
    // Adds a slot flagged deleted that takes no space: its offset is that of the row before it
    // on the page, or the page end, as Access leaves a deleted row.
    void placeDeleted();

    // The pages used, in the order they were started.
    const QList<int> &pages() const { return m_pages; }
    // Those of them with room left for another small row.
    QList<int> pagesWithRoom() const;

private:
    static int freeSpace(const QByteArray &page);
    void startPage();

    PageStore &m_store;
    quint32 m_owner;
    QList<int> m_pages;
};

} // namespace fwb::jet::writer
