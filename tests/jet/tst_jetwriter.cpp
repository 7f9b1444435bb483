#include "ExternalReaders.h"
#include "TestSupport.h"
#include "jet/DataAccess.h"
#include "jet/TextLimit.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <limits>

using namespace fwb;
using fwb::jet::Cell;
using fwb::jet::ColumnType;
using fwb::jet::kMaxTextLength;
using fwb::jet::TableData;

namespace {

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
    return {{"Mixed",
             {{"Label", ColumnType::Text},
              {"Notes", ColumnType::Memo},
              {"Count", ColumnType::LongInteger},
              {"Small", ColumnType::Integer}},
             {
                 {"plain", "short memo", number(1), number(2)},
                 {Cell(), Cell(), Cell(), Cell()},
                 {"", "", number(0), number(0)},
                 {"åäöÅÄÖ", "Ärlig § paragraf", number(-1), number(-1)},
                 {"日本語のテキスト", "中文 한국어 日本語", number(42), Cell()},
                 {"tab\there", "line\nbreak\r\nand \\ backslash", Cell(), number(7)},
                 {"\\N", "\"quoted\", with commas;", number(std::numeric_limits<qint32>::min()),
                  number(-32768)},
                 {"§§ marks §§", "Zeile eins§§Zeile zwei",
                  number(std::numeric_limits<qint32>::max()), number(32767)},
                 {QString(255, QChar(u'ÿ')), " spaces ", number(100000), number(-300)},
             }}};
}

// Readers take a value that begins with the bytes FF FE for compressed text.
QList<TableData> leadingByteOrderMarks()
{
    const QChar mark(0xfeff);
    return {{"Marks",
             {{"Short", ColumnType::Text}, {"Long", ColumnType::Memo}},
             {{mark + QStringLiteral("in text"), mark + QStringLiteral("in memo")},
              {QString(mark), QString(mark)},
              {QString(mark) + mark, mark + varied(3000, 1)},
              {QStringLiteral("inside") + mark, QStringLiteral("inside") + mark}}}};
}

QList<TableData> memos()
{
    TableData table{
        "Memos",
        {{"Id", ColumnType::LongInteger}, {"Body", ColumnType::Memo}, {"Extra", ColumnType::Memo}},
        {}};
    const int lengths[] = {0, 1, 127, 128, 129, 1000, 2040, 2041, 5 * 1024, 4000, kMaxTextLength};
    int id = 0;
    for (int length : lengths)
        table.rows.append({number(++id), varied(length, id), varied(length / 3, id + 1)});
    table.rows.append({number(++id), Cell(), varied(6000, id)});
    table.rows.append({number(++id), varied(9000, id), Cell()});

    // Twenty memos that would each stay in the record, too many together for one record.
    TableData wide{"WideMemos", {}, {}};
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
    TableData table{
        "Many",
        {{"N", ColumnType::LongInteger}, {"Word", ColumnType::Text}, {"Half", ColumnType::Integer}},
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
    TableData numbersOnly{"Numbers",
                          {{"A", ColumnType::LongInteger}, {"B", ColumnType::Integer}},
                          {{number(1), number(2)}, {Cell(), number(3)}, {number(4), Cell()}}};
    TableData textsOnly{QStringLiteral("Texte på svenska"),
                        {{"Första", ColumnType::Text}, {"Andra", ColumnType::Memo}},
                        {{"ett", "två"}, {Cell(), ""}}};
    TableData empty{"Empty", {{"X", ColumnType::Text}}, {}};
    TableData items{QStringLiteral("Items"),
                    {{"Form", ColumnType::Text},
                     {"Name", ColumnType::Memo},
                     {"Text", ColumnType::Memo},
                     {"Type", ColumnType::LongInteger},
                     {"Index", ColumnType::Integer}},
                    {{"GLOBAL", "FW Backup Agent", "FW Säkerhetskopiering", number(0), Cell()},
                     {"AGENT_frmMAIN", "cmdClose", "&Stäng", number(1), number(-1)}}};
    return {numbersOnly, textsOnly, empty, items};
}

// 255 columns with 64-character names: the table definition spans ten pages.
QList<TableData> widestTable()
{
    TableData table{"Widest", {}, {{}, {}}};
    for (int c = 0; c < 255; ++c) {
        const QString name =
            QStringLiteral("Column %1 ").arg(c, 3, 10, QChar(u'0')) + varied(64, c);
        table.columns.append({name.left(64), c % 3 == 0 ? ColumnType::Memo : ColumnType::Integer});
        table.rows[0].append(number(c));
        table.rows[1].append(c % 2 ? Cell() : number(-c));
    }
    return {table};
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
    TableData memos{"Gone",
                    {{"Id", ColumnType::LongInteger}, {"Body", ColumnType::Memo}},
                    {{number(1), varied(5000, 1)}, {number(2), varied(9000, 2)}},
                    {0, 1}};
    tables.append(memos);
    return tables;
}

// Stored as UTF-16 surrogate pairs.
QList<TableData> beyondUcs2()
{
    return {{"Faces", {{"T", ColumnType::Text}, {"M", ColumnType::Memo}}, {{"a😀b", "𝄞 music 𝄞"}}}};
}

// Databases to write and read back, each meant to catch a different way a writer goes wrong.
const QList<std::pair<QString, QList<TableData>>> &dataSets()
{
    static const QList<std::pair<QString, QList<TableData>>> sets{
        {"all column types", allColumnTypes()},
        {"memos", memos()},
        {"several tables", severalTables()},
        {"rows past one usage bitmap", manyRows(5000, 255, true)}, // bitmap pages in the usage map
        {"leading byte order marks", leadingByteOrderMarks()},
        {"255 columns", widestTable()},
        {"deleted rows", deletedRows()},
        {"characters beyond U+FFFF", beyondUcs2()},
    };
    return sets;
}

// What a reader should see of a written table: the rows not stored as deleted.
test::ReadTable expected(const TableData &table)
{
    test::ReadTable read;
    for (const jet::ColumnDef &column : table.columns)
        read.columns.append(column.name);
    for (qsizetype r = 0; r < table.rows.size(); ++r) {
        if (!table.deletedRows.contains(r))
            read.rows.append(table.rows.at(r));
    }
    return read;
}

// The first way `read` differs from the written tables; empty when none.
QString difference(const QList<TableData> &tables, const test::ReadDatabase &read, bool emptyIsNull)
{
    QStringList names;
    for (const TableData &table : tables)
        names.append(table.name);
    if (read.tables != names)
        return QStringLiteral("tables ") + read.tables.join(u',');
    for (const TableData &table : tables) {
        const test::ReadTable want =
            emptyIsNull ? asMdbtoolsSees(expected(table)) : expected(table);
        const QString problem = test::difference(want, read.contents.value(table.name));
        if (!problem.isEmpty())
            return table.name + QStringLiteral(": ") + problem;
    }
    return {};
}

} // namespace

class JetWriterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void readersReadWhatWasWritten_data();
    void readersReadWhatWasWritten();
    void mdbReaderReadsWhatWasWritten();
    void rowsFillPagesInOrder();
    void rejectsWhatCannotBeStored_data();
    void rejectsWhatCannotBeStored();
    void replacesTheFileAsAWhole();

private:
    QString write(const QString &name, const QList<TableData> &tables);

    QTemporaryDir m_dir;
};

void JetWriterTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE));
}

QString JetWriterTest::write(const QString &name, const QList<TableData> &tables)
{
    const QString path = m_dir.filePath(name + QStringLiteral(".mdb"));
    QString error;
    if (!jet::writeDatabase(path, tables, &error))
        qWarning("%s", qPrintable(error));
    return path;
}

void JetWriterTest::readersReadWhatWasWritten_data()
{
    QTest::addColumn<QString>("dataSet");
    QTest::addColumn<QList<TableData>>("tables");
    for (const auto &[name, tables] : dataSets())
        QTest::newRow(qPrintable(name)) << name << tables;
}

// mdbtools and the engine; mdbtools reads characters beyond U+FFFF as "?", so the set that has
// them is for mdb-reader alone.
void JetWriterTest::readersReadWhatWasWritten()
{
    QFETCH(QString, dataSet);
    QFETCH(QList<TableData>, tables);
    const QString path = write(dataSet, tables);
    QString failure;
    const auto mdbtools = test::readWithMdbtools(path, &failure);
    QVERIFY2(mdbtools, qPrintable(failure));
    if (!dataSet.contains(QLatin1String("beyond U+FFFF")))
        QCOMPARE(difference(tables, *mdbtools, true), QString());

    jet::DataAccess &access = jet::DataAccess::instance();
    test::ReadDatabase engine{access.tables(path).value_or(QStringList()), {}};
    for (const TableData &table : tables) {
        const auto read = access.select(path, jet::Query{table.name, {}, {}, -1});
        QVERIFY2(read, qPrintable(table.name));
        engine.contents.insert(table.name, {read->columns, read->rows});
    }
    QCOMPARE(difference(tables, engine, false), QString());
}

// In its own test entry: it needs node and the mdb-reader package, which a machine may lack.
void JetWriterTest::mdbReaderReadsWhatWasWritten()
{
    QString failure;
    const QString script = test::installMdbReader(QStringLiteral(FWB_NODE_MODULES_ROOT),
                                                  QStringLiteral(FWB_MDB_READER_SCRIPT), &failure);
    if (script.isEmpty())
        QSKIP(qPrintable(QStringLiteral("cannot run here: no mdb-reader: ") + failure));
    QStringList files;
    for (const auto &[name, tables] : dataSets())
        files.append(write(name, tables));
    const auto read = test::readWithMdbReader(script, files, &failure);
    QVERIFY2(read, qPrintable(failure));
    QCOMPARE(read->size(), files.size());
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString problem = difference(dataSets().at(i).second, read->at(i), false);
        QVERIFY2(problem.isEmpty(),
                 qPrintable(dataSets().at(i).first + QStringLiteral(": ") + problem));
    }
}

// Readers tolerate wrong free-space counts; Access relies on them when it adds rows.
void JetWriterTest::rowsFillPagesInOrder()
{
    const auto image = jet::buildDatabase(deletedRows());
    QVERIFY(image);
    int dataPages = 0;
    for (qsizetype offset = 0; offset < image->size(); offset += 4096) {
        const char *page = image->constData() + offset;
        if (page[0] != 0x01 || qstrncmp(page + 4, "LVAL", 4) == 0)
            continue;
        ++dataPages;
        const int rows = qFromLittleEndian<quint16>(page + 12);
        const int lowest = qFromLittleEndian<quint16>(page + 14 + 2 * (rows - 1)) & 0x1fff;
        QVERIFY2(rows > 0 && rows < 256, qPrintable(QString::number(offset / 4096)));
        QCOMPARE(qFromLittleEndian<quint16>(page + 2), lowest - 14 - 2 * rows);
    }
    QVERIFY2(dataPages >= 5, qPrintable(QString::number(dataPages)));
}

void JetWriterTest::rejectsWhatCannotBeStored_data()
{
    QTest::addColumn<QList<TableData>>("tables");
    QTest::addColumn<QString>("problem");
    const auto one = [](ColumnType type, const Cell &cell) {
        return QList<TableData>{{QStringLiteral("T"), {{QStringLiteral("C"), type}}, {{cell}}}};
    };
    QTest::newRow("text of 256 characters")
        << one(ColumnType::Text, QString(256, u'x')) << "row 1, column \"C\"";
    QTest::newRow("long integer overflow")
        << one(ColumnType::LongInteger, QStringLiteral("2147483648")) << "not a whole number";
    QTest::newRow("integer overflow")
        << one(ColumnType::Integer, QStringLiteral("32768")) << "from -32768 to 32767";
    QTest::newRow("padded number")
        << one(ColumnType::Integer, QStringLiteral(" 1")) << "not a whole number";
    QTest::newRow("text longer than the engine reads")
        << one(ColumnType::Memo, QString(jet::kMaxTextLength + 1, u'x'))
        << "65536 characters, a text holds at most 65535";
    QList<TableData> ghost = one(ColumnType::Text, QStringLiteral("x"));
    ghost[0].deletedRows = {1};
    QTest::newRow("deleted row that is not there") << ghost << "no row 2";
    QTest::newRow("mark then zero low byte")
        << one(ColumnType::Memo, QChar(0xfeff) + QString(QChar(0x0100))) << "U+FEFF";

    TableData two{
        QStringLiteral("T"),
        {{QStringLiteral("A"), ColumnType::Text}, {QStringLiteral("B"), ColumnType::Text}},
        {{QStringLiteral("a"), QStringLiteral("b")}, {QStringLiteral("a")}}};
    QTest::newRow("row missing a cell") << QList<TableData>{two} << "row 2: 1 cells for 2 columns";
    two.rows.clear();
    TableData renamed = two;
    renamed.name = QStringLiteral("t");
    QTest::newRow("same table name in other case")
        << QList<TableData>{renamed, two} << "used twice";
    renamed.name = QStringLiteral("msysobjects");
    QTest::newRow("catalog's name") << QList<TableData>{renamed} << "reserved";
    for (const QString &name : {QString(), QStringLiteral("a.b"), QString(65, u'n')}) {
        renamed.name = name;
        QTest::addRow("table name \"%s\"", qPrintable(name))
            << QList<TableData>{renamed} << "Table name";
    }
    two.columns[1].name = QStringLiteral("a");
    QTest::newRow("same column twice") << QList<TableData>{two} << "used twice";

    TableData wide{QStringLiteral("Wide"), {}, {{}}};
    for (int c = 0; c < 9; ++c) {
        wide.columns.append({QStringLiteral("C%1").arg(c), ColumnType::Text});
        wide.rows[0].append(QString(255, u'ω')); // two bytes each: not compressible
    }
    QTest::newRow("record larger than a page")
        << QList<TableData>{wide} << "row 1: the row takes more than 4060 bytes";
}

void JetWriterTest::rejectsWhatCannotBeStored()
{
    QFETCH(QList<TableData>, tables);
    QFETCH(QString, problem);
    QString error;
    QVERIFY(!jet::buildDatabase(tables, &error));
    QVERIFY2(error.contains(problem), qPrintable(error));
}

void JetWriterTest::replacesTheFileAsAWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pack.mdb"));
    const TableData first{QStringLiteral("First"), {{QStringLiteral("A"), ColumnType::Text}}, {}};
    const TableData second{QStringLiteral("Second"), {{QStringLiteral("B"), ColumnType::Memo}}, {}};
    QVERIFY(jet::writeDatabase(path, {first}));
    QVERIFY(jet::writeDatabase(path, {second}));
    QCOMPARE(jet::DataAccess::instance().tables(path), QStringList{QStringLiteral("Second")});

    const QByteArray before = test::readFile(path);
    QString error;
    QVERIFY(!jet::writeDatabase(path, {{QStringLiteral("Broken"), {}, {}}}, &error));
    QCOMPARE(test::readFile(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("pack.mdb")});

    for (const QString &unwritable :
         {dir.filePath(QStringLiteral("no folder/pack.mdb")), dir.path()}) {
        QVERIFY(!jet::writeDatabase(unwritable, {first}, &error));
        QVERIFY2(error.contains(unwritable), qPrintable(error));
    }
}

QTEST_GUILESS_MAIN(JetWriterTest)
#include "tst_jetwriter.moc"
