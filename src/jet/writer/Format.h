#pragma once

#include <QtGlobal>

// The constants of the Jet 4 file layout that the writer relies on.
namespace fwb::jet::writer {

constexpr int kPageSize = 4096;
// Jet 4 files end at 2 GB.
constexpr qint64 kMaxPageCount = (qint64(2) << 30) / kPageSize;

enum PageType : quint8 {
    DefinitionPage = 0x00,
    DataPage = 0x01,
    TableDefinitionPage = 0x02,
    UsageBitmapPage = 0x05,
};

// Fixed page numbers.
constexpr int kGlobalUsageMapPage = 1;
constexpr int kCatalogDefinitionPage = 2;

// Data and long-value pages: a 14-byte header, then one 2-byte offset per row; the rows fill the
// page from its end.
constexpr int kRowCountOffset = 12;
constexpr int kRowOffsetsStart = 14;
// A row slot holds the row's offset in its low bits and flags above them.
constexpr int kRowOffsetMask = 0x1fff;
constexpr int kDeletedRowFlag = 0x4000;
// A row's number lives in the low byte of a page-row pointer.
constexpr int kMaxRowsPerPage = 255;
// The owner field of a long-value page.
constexpr quint32 kLongValueOwner = 0x4c41564c; // "LVAL"

// The largest record Access accepts; readers take up to a whole page.
constexpr int kMaxRowSize = 4060;
// The largest row that fits an empty page.
constexpr int kMaxPageRowSize = kPageSize - kRowOffsetsStart - 2;
// A long value spread over pages: a 4-byte pointer to the next piece, then the piece.
constexpr int kLongValuePieceSize = kMaxPageRowSize - 4;
// A memo field in a row: 3 bytes length, 1 byte storage kind, 4 bytes page-row, 4 unused.
constexpr int kMemoFieldHeaderSize = 12;
constexpr quint8 kMemoInline = 0x80;
constexpr quint8 kMemoOnePage = 0x40;
constexpr quint8 kMemoPageChain = 0x00;
// The 3-byte length of a memo.
constexpr int kMaxMemoBytes = 0xffffff;

enum class JetType : quint8 {
    Integer = 0x03,
    LongInteger = 0x04,
    DateTime = 0x08,
    Binary = 0x09,
    Text = 0x0a,
    Ole = 0x0b,
    Memo = 0x0c,
};

enum ColumnFlag : quint8 {
    FixedLength = 0x01,
    Nullable = 0x02,
    SystemColumn = 0x10,
};

// Jet's own number for table definitions, repeated in every column entry.
constexpr quint32 kTableMagic = 1625;
// "General" sort order.
constexpr quint16 kGeneralSortOrder = 0x0409;

constexpr int kMaxTextChars = 255;
constexpr int kMaxNameChars = 64;
constexpr int kMaxColumns = 255;

// A usage map: one type byte, then either a start page and a bitmap of 512 pages, or pointers
// to bitmap pages, each covering (page size - 4) * 8 pages.
constexpr int kUsageMapRowSize = 69;
constexpr int kInlineMapPages = (kUsageMapRowSize - 5) * 8;
constexpr int kBitmapPageCoverage = (kPageSize - 4) * 8;
constexpr int kMaxBitmapPages = (kUsageMapRowSize - 1) / 4;

} // namespace fwb::jet::writer
