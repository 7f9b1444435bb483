#include "ExternalReaders.h"
#include "TestSupport.h"
#include "WriterDataSets.h"
#include "jet/DataAccess.h"
#include "jet/TextLimit.h"
#include "jet/writer/JetWriter.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace fwb;
using fwb::jet::Cell;
using fwb::jet::ColumnType;
using fwb::jet::TableData;

namespace {

QString shown(const Cell &cell)
{
    if (!cell)
        return QStringLiteral("NULL");
    if (cell->size() <= 60)
        return QLatin1Char('"') + *cell + QLatin1Char('"');
    return QStringLiteral("%1 characters beginning \"%2\"").arg(cell->size()).arg(cell->left(40));
}

// mdbtools gives its programs NULL and empty text alike.
Cell asMdbtoolsSees(const Cell &cell)
{
    return cell && cell->isEmpty() ? Cell() : cell;
}

// The rows a reader should see: those not stored as deleted.
QList<QList<Cell>> liveRows(const TableData &table)
{
    QList<QList<Cell>> rows;
    for (qsizetype r = 0; r < table.rows.size(); ++r) {
        if (!table.deletedRows.contains(r))
            rows.append(table.rows.at(r));
    }
    return rows;
}

// The first difference between what was written and what a reader read; empty when none.
QString difference(const TableData &table, const test::ReadTable &read, bool emptyIsNull)
{
    const QList<QList<Cell>> written = liveRows(table);
    QStringList names;
    for (const jet::ColumnDef &column : table.columns)
        names.append(column.name);
    if (read.columns != names)
        return QStringLiteral("columns %1, expected %2")
            .arg(read.columns.join(u','), names.join(u','));
    if (read.rows.size() != written.size())
        return QStringLiteral("%1 rows, expected %2").arg(read.rows.size()).arg(written.size());
    for (qsizetype r = 0; r < written.size(); ++r) {
        if (read.rows.at(r).size() != names.size())
            return QStringLiteral("row %1 has %2 cells").arg(r + 1).arg(read.rows.at(r).size());
        for (qsizetype c = 0; c < names.size(); ++c) {
            const Cell &want = written.at(r).at(c);
            const Cell expected = emptyIsNull ? asMdbtoolsSees(want) : want;
            if (read.rows.at(r).at(c) != expected)
                return QStringLiteral("row %1, column %2: read %3, expected %4")
                    .arg(r + 1)
                    .arg(names.at(c), shown(read.rows.at(r).at(c)), shown(expected));
        }
    }
    return {};
}

QStringList tableNames(const QList<TableData> &tables)
{
    QStringList names;
    for (const TableData &table : tables)
        names.append(table.name);
    return names;
}

void addDataSets()
{
    QTest::addColumn<QString>("dataSet");
    for (const QString &name : test::writerDataSetNames())
        QTest::newRow(qPrintable(name)) << name;
}

struct PageCounts
{
    int dataPages = 0;
    QString problem;
};

// Walks the data pages owned by the table whose definition is on `definitionPage`, checking the
// row count and free-space fields of each page.
PageCounts checkDataPages(const QByteArray &image, quint32 definitionPage)
{
    PageCounts counts;
    for (qsizetype offset = 0; offset < image.size(); offset += 4096) {
        const char *page = image.constData() + offset;
        if (page[0] != 0x01 || qFromLittleEndian<quint32>(page + 4) != definitionPage)
            continue;
        ++counts.dataPages;
        const int rows = qFromLittleEndian<quint16>(page + 12);
        const int lowest =
            rows == 0 ? 4096 : qFromLittleEndian<quint16>(page + 14 + 2 * (rows - 1));
        const int freeSpace = lowest - 14 - 2 * rows;
        if (rows == 0 || rows > 255 || qFromLittleEndian<quint16>(page + 2) != freeSpace)
            counts.problem = QStringLiteral("page %1: %2 rows, free space field %3, actual %4")
                                 .arg(offset / 4096)
                                 .arg(rows)
                                 .arg(qFromLittleEndian<quint16>(page + 2))
                                 .arg(freeSpace);
    }
    return counts;
}

} // namespace

class JetWriterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void mdbtoolsReadsWhatWasWritten_data() { addDataSets(); }
    void mdbtoolsReadsWhatWasWritten();
    void mdbReaderReadsWhatWasWritten_data() { addDataSets(); }
    void mdbReaderReadsWhatWasWritten();
    void dataAccessReadsWhatWasWritten_data() { addDataSets(); }
    void dataAccessReadsWhatWasWritten();
    void mdbReaderReadsCharactersBeyondUcs2();
    void rowsFillPagesInOrder();
    void rejectsWhatCannotBeStored_data();
    void rejectsWhatCannotBeStored();
    void replacesTheFileAsAWhole();
    void reportsAnUnwritablePath();

private:
    QString writeDataSet(const QString &name, QList<TableData> *tables);
    const test::MdbReader &mdbReader();

    QTemporaryDir m_dir;
    std::optional<test::MdbReader> m_mdbReader;
    QString m_mdbReaderFailure;
    bool m_mdbReaderTried = false;
};

void JetWriterTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString version = test::programVersion(QStringLiteral("mdb-export"));
    QVERIFY2(!version.isEmpty(), "mdb-export is missing: install mdbtools "
                                 "(scripts/ensure-packages test)");
    qInfo("Reading back with mdb-export: %s", qPrintable(version));
    jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE));
}

QString JetWriterTest::writeDataSet(const QString &name, QList<TableData> *tables)
{
    *tables = test::writerDataSet(name);
    const QString path = m_dir.filePath(name + QStringLiteral(".mdb"));
    QString error;
    if (!jet::writeDatabase(path, *tables, &error))
        qWarning("%s", qPrintable(error));
    return path;
}

const test::MdbReader &JetWriterTest::mdbReader()
{
    if (!m_mdbReaderTried) {
        m_mdbReaderTried = true;
        m_mdbReader =
            test::MdbReader::install(QStringLiteral(FWB_NODE_MODULES_ROOT),
                                     QStringLiteral(FWB_MDB_READER_SCRIPT), &m_mdbReaderFailure);
        if (m_mdbReader)
            qInfo("Reading back with mdb-reader %s", qPrintable(m_mdbReader->version()));
    }
    return *m_mdbReader;
}

void JetWriterTest::mdbtoolsReadsWhatWasWritten()
{
    QFETCH(QString, dataSet);
    QList<TableData> tables;
    const QString path = writeDataSet(dataSet, &tables);

    QString failure;
    const auto names = test::mdbTables(path, &failure);
    QVERIFY2(names, qPrintable(failure));
    QCOMPARE(*names, tableNames(tables));
    for (const TableData &table : std::as_const(tables)) {
        const test::ReaderResult read = test::mdbExport(path, table.name);
        QVERIFY2(read.table, qPrintable(read.failure));
        const QString problem = difference(table, *read.table, true);
        QVERIFY2(problem.isEmpty(), qPrintable(table.name + QStringLiteral(": ") + problem));
    }
}

void JetWriterTest::mdbReaderReadsWhatWasWritten()
{
    QFETCH(QString, dataSet);
    const test::MdbReader &reader = mdbReader();
    if (!m_mdbReader)
        QSKIP(qPrintable(QStringLiteral("mdb-reader is not available: ") + m_mdbReaderFailure));
    QList<TableData> tables;
    const QString path = writeDataSet(dataSet, &tables);

    QString failure;
    const auto names = reader.tables(path, &failure);
    QVERIFY2(names, qPrintable(failure));
    QCOMPARE(*names, tableNames(tables));
    for (const TableData &table : std::as_const(tables)) {
        const test::ReaderResult read = reader.read(path, table.name);
        QVERIFY2(read.table, qPrintable(read.failure));
        const QString problem = difference(table, *read.table, false);
        QVERIFY2(problem.isEmpty(), qPrintable(table.name + QStringLiteral(": ") + problem));
    }
}

void JetWriterTest::dataAccessReadsWhatWasWritten()
{
    QFETCH(QString, dataSet);
    QList<TableData> tables;
    const QString path = writeDataSet(dataSet, &tables);

    jet::DataAccess &access = jet::DataAccess::instance();
    const auto names = access.tables(path);
    QVERIFY(names);
    QCOMPARE(*names, tableNames(tables));
    for (const TableData &table : std::as_const(tables)) {
        const auto read = access.select(path, jet::Query{table.name, {}, {}, -1});
        QVERIFY2(read, qPrintable(table.name));
        const QString problem = difference(table, {read->columns, read->rows}, false);
        QVERIFY2(problem.isEmpty(), qPrintable(table.name + QStringLiteral(": ") + problem));
    }
}

void JetWriterTest::mdbReaderReadsCharactersBeyondUcs2()
{
    // mdbtools converts text as UCS-2 and shows such characters as "?"; the file holds them
    // as UTF-16 surrogate pairs, which mdb-reader decodes.
    const test::MdbReader &reader = mdbReader();
    if (!m_mdbReader)
        QSKIP(qPrintable(QStringLiteral("mdb-reader is not available: ") + m_mdbReaderFailure));
    const TableData table{
        QStringLiteral("Faces"),
        {{QStringLiteral("T"), ColumnType::Text}, {QStringLiteral("M"), ColumnType::Memo}},
        {{QString::fromUtf8("a😀b"), QString::fromUtf8("𝄞 music 𝄞")}}};
    const QString path = m_dir.filePath(QStringLiteral("faces.mdb"));
    QVERIFY(jet::writeDatabase(path, {table}));
    const test::ReaderResult read = reader.read(path, table.name);
    QVERIFY2(read.table, qPrintable(read.failure));
    QCOMPARE(difference(table, *read.table, false), QString());
}

void JetWriterTest::rowsFillPagesInOrder()
{
    const QList<TableData> tables = test::writerDataSet(QStringLiteral("3000 rows"));
    QString error;
    const auto image = jet::buildDatabase(tables, &error);
    QVERIFY2(image, qPrintable(error));
    QCOMPARE(image->size() % 4096, 0);
    // The catalog's definition is on page 2; the one user table's is the next definition page.
    qsizetype definitionPage = 3;
    while (definitionPage * 4096 < image->size() && image->at(definitionPage * 4096) != 0x02)
        ++definitionPage;
    const PageCounts counts = checkDataPages(*image, quint32(definitionPage));
    QVERIFY2(counts.problem.isEmpty(), qPrintable(counts.problem));
    QVERIFY2(counts.dataPages >= 5, qPrintable(QString::number(counts.dataPages)));
}

void JetWriterTest::rejectsWhatCannotBeStored_data()
{
    QTest::addColumn<QList<TableData>>("tables");
    QTest::addColumn<QString>("problem");
    const auto one = [](ColumnType type, const Cell &cell) {
        return QList<TableData>{{QStringLiteral("T"), {{QStringLiteral("C"), type}}, {{cell}}}};
    };
    QTest::newRow("text of 256 characters")
        << one(ColumnType::Text, QString(256, u'x')) << QStringLiteral("row 1, column \"C\"");
    QTest::newRow("word in a number column")
        << one(ColumnType::LongInteger, QStringLiteral("abc")) << QStringLiteral("\"abc\"");
    QTest::newRow("long integer overflow")
        << one(ColumnType::LongInteger, QStringLiteral("2147483648"))
        << QStringLiteral("not a whole number");
    QTest::newRow("integer overflow") << one(ColumnType::Integer, QStringLiteral("32768"))
                                      << QStringLiteral("from -32768 to 32767");
    QTest::newRow("fraction") << one(ColumnType::Integer, QStringLiteral("1.5"))
                              << QStringLiteral("not a whole number");
    QTest::newRow("padded number")
        << one(ColumnType::Integer, QStringLiteral(" 1")) << QStringLiteral("not a whole number");
    QTest::newRow("text longer than the engine reads")
        << one(ColumnType::Memo, QString(jet::kMaxTextLength + 1, u'x'))
        << QStringLiteral("65536 characters, a text holds at most 65535");
    QList<TableData> ghost = one(ColumnType::Text, QStringLiteral("x"));
    ghost[0].deletedRows = {1};
    QTest::newRow("deleted row that is not there") << ghost << QStringLiteral("no row 2");
    QTest::newRow("mark then zero low byte")
        << one(ColumnType::Memo, QChar(0xfeff) + QString(QChar(0x0100)))
        << QStringLiteral("U+FEFF");

    TableData twoColumns{
        QStringLiteral("T"),
        {{QStringLiteral("A"), ColumnType::Text}, {QStringLiteral("B"), ColumnType::Text}},
        {{QStringLiteral("a"), QStringLiteral("b")}, {QStringLiteral("a")}}};
    QTest::newRow("row missing a cell")
        << QList<TableData>{twoColumns} << QStringLiteral("row 2: 1 cells for 2 columns");
    twoColumns.rows.clear();

    TableData renamed = twoColumns;
    renamed.name = QStringLiteral("t");
    QTest::newRow("same table name in other case")
        << QList<TableData>{renamed, twoColumns} << QStringLiteral("used twice");
    renamed.name = QStringLiteral("msysobjects");
    QTest::newRow("catalog's name") << QList<TableData>{renamed} << QStringLiteral("reserved");
    const QStringList badNames = {
        QString(),         QStringLiteral("a.b"),    QStringLiteral(" lead"), QStringLiteral("[x]"),
        QString(65, u'n'), QStringLiteral("tab\tin")};
    for (const QString &name : badNames) {
        renamed.name = name;
        QTest::addRow("table name \"%s\"", qPrintable(name))
            << QList<TableData>{renamed} << QStringLiteral("Table name");
    }
    TableData sameColumns = twoColumns;
    sameColumns.columns[1].name = QStringLiteral("a");
    QTest::newRow("same column twice")
        << QList<TableData>{sameColumns} << QStringLiteral("used twice");
    sameColumns.columns.clear();
    QTest::newRow("no columns") << QList<TableData>{sameColumns} << QStringLiteral("0 columns");

    TableData wide{QStringLiteral("Wide"), {}, {{}}};
    for (int c = 0; c < 9; ++c) {
        wide.columns.append({QStringLiteral("C%1").arg(c), ColumnType::Text});
        wide.rows[0].append(QString(255, u'ω')); // two bytes each: not compressible
    }
    QTest::newRow("record larger than a page")
        << QList<TableData>{wide} << QStringLiteral("row 1: the row takes more than 4060 bytes");
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
    QString failure;
    QCOMPARE(test::mdbTables(path, &failure), QStringList{QStringLiteral("Second")});

    const QByteArray before = test::readFile(path);
    const TableData broken{QStringLiteral("Broken"),
                           {{QStringLiteral("N"), ColumnType::Integer}},
                           {{QStringLiteral("many")}}};
    QString error;
    QVERIFY(!jet::writeDatabase(path, {broken}, &error));
    QVERIFY2(error.contains(QStringLiteral("\"many\"")), qPrintable(error));
    QCOMPARE(test::readFile(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("pack.mdb")});
}

void JetWriterTest::reportsAnUnwritablePath()
{
    QTemporaryDir dir;
    const TableData table{QStringLiteral("T"), {{QStringLiteral("A"), ColumnType::Text}}, {}};
    QString error;
    const QString missingFolder = dir.filePath(QStringLiteral("no such folder/pack.mdb"));
    QVERIFY(!jet::writeDatabase(missingFolder, {table}, &error));
    QVERIFY2(error.contains(missingFolder), qPrintable(error));
    QVERIFY(!jet::writeDatabase(dir.path(), {table}, &error));
    QVERIFY2(error.contains(dir.path()), qPrintable(error));
}

QTEST_GUILESS_MAIN(JetWriterTest)
#include "tst_jetwriter.moc"
