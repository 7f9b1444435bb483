#pragma once

#include <QByteArray>
#include <QList>

// The pages of the file being built, kept in memory until the file is complete.
namespace fwb::jet::writer {

class PageStore
{
public:
    // A new zero-filled page at the end; returns its number.
    int allocate();
    int count() const { return int(m_pages.size()); }
    QByteArray &page(int number) { return m_pages[number]; }
    const QByteArray &page(int number) const { return m_pages[number]; }
    // Replaces the bytes of a row already placed (row `pageRow & 0xff` of page
    // `pageRow >> 8`) with as many new ones.
    void overwriteRow(quint32 pageRow, const QByteArray &bytes);
    QByteArray image() const;

private:
    QList<QByteArray> m_pages;
};

} // namespace fwb::jet::writer
