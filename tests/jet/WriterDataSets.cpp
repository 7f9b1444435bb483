#include "WriterDataSets.h"

#include "jet/TextLimit.h"

#include <limits>

using fwb::jet::Cell;
using fwb::jet::ColumnType;
using fwb::jet::kMaxTextLength;
using fwb::jet::TableData;

namespace fwb::test {

namespace {

Cell text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

Cell number(qint64 value)
{
    return QString::number(value);
}

// Text that is not one character repeated, so a piece read from the wrong place shows.
QString varied(int length, int seed)
{
    static const QString alphabet = QString::fromUtf8("abcdefghijklmnopqrstuvwxyzåäöÅÄÖ§日本語 ");
    QString result;
    result.reserve(length);
    for (int i = 0; i < length; ++i)
        result += alphabet.at((i * 7 + seed + i / 97) % alphabet.size());
    return result;
}

QList<TableData> allColumnTypes()
{
    TableData table{QStringLiteral("Mixed"),
                    {{QStringLiteral("Label"), ColumnType::Text},
                     {QStringLiteral("Notes"), ColumnType::Memo},
                     {QStringLiteral("Count"), ColumnType::LongInteger},
                     {QStringLiteral("Small"), ColumnType::Integer}},
                    {}};
    table.rows = {
        {text("plain"), text("short memo"), number(1), number(2)},
        {Cell(), Cell(), Cell(), Cell()},
        {text(""), text(""), number(0), number(0)},
        {text("åäöÅÄÖ"), text("Ärlig § paragraf"), number(-1), number(-1)},
        {text("日本語のテキスト"), text("中文 한국어 日本語"), number(42), Cell()},
        {text("tab\there"), text("line\nbreak\r\nand \\ backslash"), Cell(), number(7)},
        {text("\\N"), text("\"quoted\", with commas;"), number(std::numeric_limits<qint32>::min()),
         number(-32768)},
        {text("§§ marks §§"), text("Zeile eins§§Zeile zwei"),
         number(std::numeric_limits<qint32>::max()), number(32767)},
        {QString(255, QChar(u'ÿ')), text(" spaces "), number(100000), number(-300)},
    };
    return {table};
}

// Readers take a value that begins with the bytes FF FE for compressed text.
QList<TableData> leadingByteOrderMarks()
{
    const QChar mark(0xfeff);
    TableData table{
        QStringLiteral("Marks"),
        {{QStringLiteral("Short"), ColumnType::Text}, {QStringLiteral("Long"), ColumnType::Memo}},
        {}};
    table.rows = {
        {mark + QStringLiteral("in text"), mark + QStringLiteral("in memo")},
        {QString(mark), QString(mark)},
        {QString(mark) + mark, mark + varied(3000, 1)},
        {QStringLiteral("inside") + mark, QStringLiteral("inside") + mark},
    };
    return {table};
}

QList<TableData> memos()
{
    TableData table{QStringLiteral("Memos"),
                    {{QStringLiteral("Id"), ColumnType::LongInteger},
                     {QStringLiteral("Body"), ColumnType::Memo},
                     {QStringLiteral("Extra"), ColumnType::Memo}},
                    {}};
    const int lengths[] = {0, 1, 127, 128, 129, 1000, 2040, 2041, 5 * 1024, 4000, kMaxTextLength};
    int id = 0;
    for (int length : lengths)
        table.rows.append({number(++id), varied(length, id), varied(length / 3, id + 1)});
    table.rows.append({number(++id), Cell(), varied(6000, id)});
    table.rows.append({number(++id), varied(9000, id), Cell()});

    // Twenty memos that would each stay in the record, too many together for one record.
    TableData wide{QStringLiteral("WideMemos"), {}, {}};
    QList<Cell> row;
    for (int c = 0; c < 20; ++c) {
        wide.columns.append({QStringLiteral("M%1").arg(c), ColumnType::Memo});
        row.append(varied(120, c));
    }
    wide.rows = {row, QList<Cell>(20, Cell()), QList<Cell>(20, QString())};
    return {table, wide};
}

// Every eleventh word and every fifth number NULL; words of 1 to `textLength` characters, or
// all of `textLength` when `fullLength`.
QList<TableData> manyRows(int rowCount, int textLength, bool fullLength)
{
    TableData table{QStringLiteral("Many"),
                    {{QStringLiteral("N"), ColumnType::LongInteger},
                     {QStringLiteral("Word"), ColumnType::Text},
                     {QStringLiteral("Half"), ColumnType::Integer}},
                    {}};
    for (int i = 0; i < rowCount; ++i) {
        const int length = fullLength ? textLength : i % textLength + 1;
        const Cell word = i % 11 == 0 ? Cell() : Cell(varied(length, i));
        table.rows.append({number(i), word, i % 5 == 0 ? Cell() : number(i % 30000 - 15000)});
    }
    return {table};
}

QList<TableData> severalTables()
{
    TableData numbersOnly{QStringLiteral("Numbers"),
                          {{QStringLiteral("A"), ColumnType::LongInteger},
                           {QStringLiteral("B"), ColumnType::Integer}},
                          {{number(1), number(2)}, {Cell(), number(3)}, {number(4), Cell()}}};
    TableData textsOnly{
        QStringLiteral("Texte på svenska"),
        {{QStringLiteral("Första"), ColumnType::Text}, {QStringLiteral("Andra"), ColumnType::Memo}},
        {{text("ett"), text("två")}, {Cell(), text("")}}};
    TableData empty{QStringLiteral("Empty"), {{QStringLiteral("X"), ColumnType::Text}}, {}};
    TableData items{
        QStringLiteral("Items"),
        {{QStringLiteral("Form"), ColumnType::Text},
         {QStringLiteral("Name"), ColumnType::Memo},
         {QStringLiteral("Text"), ColumnType::Memo},
         {QStringLiteral("Type"), ColumnType::LongInteger},
         {QStringLiteral("Index"), ColumnType::Integer}},
        {{text("GLOBAL"), text("FW Backup Agent"), text("FW Säkerhetskopiering"), number(0),
          Cell()},
         {text("AGENT_frmMAIN"), text("cmdClose"), text("&Stäng"), number(1), number(-1)}}};
    return {numbersOnly, textsOnly, empty, items};
}

// 255 columns with 64-character names: the table definition spans ten pages.
QList<TableData> widestTable()
{
    TableData table{QStringLiteral("Widest"), {}, {{}, {}}};
    for (int c = 0; c < 255; ++c) {
        const QString name =
            QStringLiteral("Column %1 ").arg(c, 3, 10, QChar(u'0')) + varied(64, c);
        table.columns.append({name.left(64), c % 3 == 0 ? ColumnType::Memo : ColumnType::Integer});
        table.rows[0].append(number(c));
        table.rows[1].append(c % 2 ? Cell() : number(-c));
    }
    return {table};
}

// Over 512 data pages: the table's usage map refers to bitmap pages.
QList<TableData> pastOneUsageBitmap()
{
    return manyRows(5000, 255, true);
}

// Rows deleted where Access leaves them: the first and the last row, one between live rows, a
// run longer than two pages hold (so at least one page holds nothing else), and a whole table;
// long memos in deleted rows too.
QList<TableData> deletedRows()
{
    QList<TableData> tables = manyRows(1200, 60, false);
    TableData &many = tables[0];
    many.deletedRows = {0, 5, many.rows.size() - 1};
    for (qsizetype r = 100; r < 700; ++r)
        many.deletedRows.insert(r);
    TableData memos{QStringLiteral("Gone"),
                    {{QStringLiteral("Id"), ColumnType::LongInteger},
                     {QStringLiteral("Body"), ColumnType::Memo}},
                    {{number(1), varied(5000, 1)}, {number(2), varied(9000, 2)}},
                    {0, 1}};
    tables.append(memos);
    return tables;
}

// Stored as UTF-16 surrogate pairs.
QList<TableData> beyondUcs2()
{
    return {{QStringLiteral("Faces"),
             {{QStringLiteral("T"), ColumnType::Text}, {QStringLiteral("M"), ColumnType::Memo}},
             {{text("a😀b"), text("𝄞 music 𝄞")}}}};
}

struct DataSet
{
    const char *name;
    QList<TableData> (*make)();
};

const DataSet kDataSets[] = {
    {"all column types", allColumnTypes},
    {"memos", memos},
    {"several tables", severalTables},
    {"rows past one usage bitmap", pastOneUsageBitmap},
    {"leading byte order marks", leadingByteOrderMarks},
    {"255 columns", widestTable},
    {"deleted rows", deletedRows},
    {"characters beyond U+FFFF", beyondUcs2},
};

} // namespace

QStringList writerDataSetNames()
{
    QStringList names;
    for (const DataSet &set : kDataSets)
        names.append(QLatin1String(set.name));
    return names;
}

QList<TableData> writerDataSet(const QString &name)
{
    for (const DataSet &set : kDataSets) {
        if (name == QLatin1String(set.name))
            return set.make();
    }
    return {};
}

} // namespace fwb::test
