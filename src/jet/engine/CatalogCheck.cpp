#include "jet/engine/CatalogCheck.h"

#include "jet/engine/LongValue.h"
#include "jet/engine/RowScan.h"
#include "jet/engine/TableDef.h"

#include <QtEndian>
#include <cstring>

namespace fwb::jet::engine {

namespace {

// The catalog table's definition always sits on page 2.
constexpr unsigned long kCatalogPage = 2;
// Far above the properties Access stores for a table and its columns.
constexpr qsizetype kMaxPropertyBytes = 16 << 20;
// A record's length and kind come first in each record of a property list.
constexpr qsizetype kRecordHeaderBytes = 6;
constexpr quint16 kNamesRecord = 0x80;
constexpr quint16 kLastValuesRecord = 0x02;

quint16 get16(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.data() + at);
}

// The number of names in a names record, or -1 when one runs past the record.
qsizetype nameCount(QByteArrayView record)
{
    qsizetype names = 0;
    for (qsizetype at = 0; at < record.size(); ++names) {
        if (at + 2 > record.size())
            return -1;
        at += 2 + get16(record, at);
        if (at > record.size())
            return -1;
    }
    return names;
}

// A block of property values, read the way libmdb reads it: it stops at a value that names no
// known property or runs past the block, and otherwise moves on by the value's stored length.
bool valuesEnd(QByteArrayView block, qsizetype names)
{
    if (block.size() < 6)
        return false;
    qsizetype at = 6 + get16(block, 4);
    if (at > block.size())
        return false;
    while (at < block.size()) {
        if (at + 8 > block.size())
            return false;
        const quint16 length = get16(block, at);
        if (get16(block, at + 4) >= names || at + 8 + get16(block, at + 6) > block.size())
            return true;
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

int lvPropColumn(const TableDef &table)
{
    for (int i = 0; i < table.columnCount(); ++i) {
        if (qstrnicmp(table.column(i)->name, "LvProp", 7) == 0)
            return i;
    }
    return -1;
}

} // namespace

bool propertiesEnd(QByteArrayView properties)
{
    // libmdb looks at nothing but the kind mark of a list that does not start with one.
    if (properties.size() >= 4 && std::memcmp(properties.data(), "KKD", 4) != 0 &&
        std::memcmp(properties.data(), "MR2", 4) != 0)
        return true;
    if (properties.size() < 4)
        return properties.isEmpty();
    qsizetype names = -1;
    for (qsizetype at = 4; at < properties.size();) {
        if (at + kRecordHeaderBytes > properties.size())
            return false;
        const quint32 length = qFromLittleEndian<quint32>(properties.data() + at);
        const quint16 kind = get16(properties, at + 4);
        if (length < kRecordHeaderBytes || length > quint32(properties.size() - at))
            return false;
        const QByteArrayView record =
            properties.sliced(at + kRecordHeaderBytes, qsizetype(length) - kRecordHeaderBytes);
        if (kind == kNamesRecord)
            names = nameCount(record);
        if ((kind == kNamesRecord && names < 0) ||
            (kind <= kLastValuesRecord && names >= 0 && !valuesEnd(record, names)))
            return false;
        at += qsizetype(length);
    }
    return true;
}

bool catalogIsSound(MdbHandle *mdb, qint64 fileSize)
{
    const qint64 pageSize = mdb->fmt->pg_size;
    // A file cut short (or grown by something else) is no longer whole pages.
    if (pageSize <= 0 || fileSize % pageSize != 0 || fileSize <= qint64(kCatalogPage) * pageSize)
        return false;
    MdbCatalogEntry catalog{};
    catalog.mdb = mdb;
    catalog.object_type = MDB_TABLE;
    catalog.table_pg = kCatalogPage;
    std::strcpy(catalog.object_name, "MSysObjects");
    const TableDef table(&catalog);
    if (!table.usable())
        return false;
    const int properties = lvPropColumn(table);
    RowScan scan(table.get());
    for (;;) {
        switch (scan.next()) {
        case RowScan::Step::End:
            return true;
        case RowScan::Step::Damaged:
            return false;
        case RowScan::Step::Row:
            break;
        }
        if (properties < 0 || scan.isNull(properties))
            continue;
        const std::optional<QByteArray> list =
            longValueBytes(mdb, scan.storedBytes(properties), kMaxPropertyBytes);
        if (!list || !propertiesEnd(*list))
            return false;
    }
}

} // namespace fwb::jet::engine
