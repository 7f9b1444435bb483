#include "ExternalReaders.h"
#include "TestSupport.h"
#include "WriterDataSets.h"
#include "jet/DataAccess.h"
#include "jet/TextLimit.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace fwb;
using fwb::jet::Cell;
using fwb::jet::ColumnType;
using fwb::jet::TableData;

namespace {

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

QStringList tableNames(const QList<TableData> &tables)
{
    QStringList names;
    for (const TableData &table : tables)
        names.append(table.name);
    return names;
}

// The first way `read` differs from the written tables; empty when none.
QString difference(const QList<TableData> &tables, const test::ReadDatabase &read, bool emptyIsNull)
{
    if (read.tables != tableNames(tables))
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
    for (const QString &name : test::writerDataSetNames())
        QTest::newRow(qPrintable(name)) << name;
}

// mdbtools and the engine; mdbtools reads characters beyond U+FFFF as "?", so the set that has
// them is for mdb-reader alone.
void JetWriterTest::readersReadWhatWasWritten()
{
    QFETCH(QString, dataSet);
    const QList<TableData> tables = test::writerDataSet(dataSet);
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
    const auto reader = test::MdbReader::install(QStringLiteral(FWB_NODE_MODULES_ROOT),
                                                 QStringLiteral(FWB_MDB_READER_SCRIPT), &failure);
    if (!reader)
        QSKIP(
            qPrintable(QStringLiteral("cannot run here: mdb-reader is not available: ") + failure));
    QStringList files;
    for (const QString &name : test::writerDataSetNames())
        files.append(write(name, test::writerDataSet(name)));
    const auto read = reader->read(files, &failure);
    QVERIFY2(read, qPrintable(failure));
    QCOMPARE(read->size(), files.size());
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString name = test::writerDataSetNames().at(i);
        const QString problem = difference(test::writerDataSet(name), read->at(i), false);
        QVERIFY2(problem.isEmpty(), qPrintable(name + QStringLiteral(": ") + problem));
    }
}

// Readers tolerate wrong free-space counts; Access relies on them when it adds rows.
void JetWriterTest::rowsFillPagesInOrder()
{
    const auto image = jet::buildDatabase(test::writerDataSet(QStringLiteral("deleted rows")));
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
        << one(ColumnType::Text, QString(256, u'x')) << QStringLiteral("row 1, column \"C\"");
    QTest::newRow("long integer overflow")
        << one(ColumnType::LongInteger, QStringLiteral("2147483648"))
        << QStringLiteral("not a whole number");
    QTest::newRow("integer overflow") << one(ColumnType::Integer, QStringLiteral("32768"))
                                      << QStringLiteral("from -32768 to 32767");
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

    TableData two{
        QStringLiteral("T"),
        {{QStringLiteral("A"), ColumnType::Text}, {QStringLiteral("B"), ColumnType::Text}},
        {{QStringLiteral("a"), QStringLiteral("b")}, {QStringLiteral("a")}}};
    QTest::newRow("row missing a cell")
        << QList<TableData>{two} << QStringLiteral("row 2: 1 cells for 2 columns");
    two.rows.clear();
    TableData renamed = two;
    renamed.name = QStringLiteral("t");
    QTest::newRow("same table name in other case")
        << QList<TableData>{renamed, two} << QStringLiteral("used twice");
    renamed.name = QStringLiteral("msysobjects");
    QTest::newRow("catalog's name") << QList<TableData>{renamed} << QStringLiteral("reserved");
    for (const QString &name : {QString(), QStringLiteral("a.b"), QString(65, u'n')}) {
        renamed.name = name;
        QTest::addRow("table name \"%s\"", qPrintable(name))
            << QList<TableData>{renamed} << QStringLiteral("Table name");
    }
    two.columns[1].name = QStringLiteral("a");
    QTest::newRow("same column twice") << QList<TableData>{two} << QStringLiteral("used twice");

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
