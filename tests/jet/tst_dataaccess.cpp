#include "TestSupport.h"
#include "jet/DataAccess.h"
#include "jet/writer/JetWriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <csignal>
#include <sys/stat.h>
#include <thread>

using namespace fwb::jet;
using namespace std::chrono_literals;

namespace {

const QString kSamples = QStringLiteral(FWB_JET_SAMPLES);
const QString kEngine = QStringLiteral(FWB_JET_ENGINE);
constexpr int kPageSize = 4096;

QString sample(const QString &name)
{
    return kSamples + QLatin1Char('/') + name;
}

#define REQUIRE_SAMPLES()                                                                          \
    do {                                                                                           \
        if (!QFileInfo::exists(sample(QStringLiteral("V2000_test.mdb"))))                          \
            QSKIP("The Jet sample files are not there (../shared/jet-samples)");                   \
    } while (false)

QByteArray sampleBytes(const QString &name)
{
    return fwb::test::readFile(sample(name));
}

// One field of mdb-export's CSV and whether it stood in quotes: mdb-export quotes every
// text-like value and never the NULL marker.
struct CsvField
{
    QString text;
    bool quoted = false;
};

QList<QList<CsvField>> parseCsv(const QString &csv)
{
    QList<QList<CsvField>> rows;
    QList<CsvField> row;
    CsvField field;
    bool inQuotes = false;
    for (qsizetype i = 0; i < csv.size(); ++i) {
        const QChar c = csv.at(i);
        if (inQuotes && c == u'"' && i + 1 < csv.size() && csv.at(i + 1) == u'"') {
            field.text += c;
            ++i;
        } else if (c == u'"') {
            inQuotes = !inQuotes;
            field.quoted = true;
        } else if (!inQuotes && (c == u',' || c == u'\n')) {
            row.append(std::exchange(field, {}));
            if (c == u'\n')
                rows.append(std::exchange(row, {}));
        } else {
            field.text += c;
        }
    }
    return rows;
}

// What mdb-export prints for a table. `-0 NULL` makes an absent value visible as an unquoted
// NULL; mdb-export prints a zero-length text the same way, so such a cell stands for "NULL or
// empty" and is compared as such.
std::optional<QList<QList<CsvField>>> mdbExport(const QString &file, const QString &table)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    environment.insert(QStringLiteral("MDB_JET3_CHARSET"), QStringLiteral("CP1252"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("mdb-export"),
                  {QStringLiteral("-0"), QStringLiteral("NULL"), file, table});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return std::nullopt;
    return parseCsv(QString::fromUtf8(process.readAllStandardOutput()));
}

void compareWithExport(const Table &table, const QList<QList<CsvField>> &exported)
{
    QVERIFY(!exported.isEmpty());
    QStringList header;
    for (const CsvField &field : exported.first())
        header.append(field.text);
    QCOMPARE(table.columns, header);
    QCOMPARE(table.rows.size(), exported.size() - 1);
    for (qsizetype r = 0; r < table.rows.size(); ++r) {
        const QList<CsvField> &expected = exported.at(r + 1);
        QCOMPARE(table.rows.at(r).size(), expected.size());
        for (qsizetype c = 0; c < expected.size(); ++c) {
            const Cell &cell = table.rows.at(r).at(c);
            const CsvField &field = expected.at(c);
            const QString where = QStringLiteral("row %1, column %2").arg(r).arg(header.at(c));
            if (!field.quoted && field.text == QLatin1String("NULL"))
                QVERIFY2(!cell || cell->isEmpty(), qPrintable(where));
            else
                QVERIFY2(cell && *cell == field.text,
                         qPrintable(where + QStringLiteral(": ") +
                                    cell.value_or(QStringLiteral("<NULL>"))));
        }
    }
}

QStringList columnValues(const Table &table, int column)
{
    QStringList values;
    for (const QList<Cell> &row : table.rows)
        values.append(row.at(column).value_or(QStringLiteral("<NULL>")));
    return values;
}

// Byte offset of the row slot of the V2000 sample's Table1 row ("a", "b", 0, ...): the only
// row of nine columns whose texts are stored as plain UTF-16 "a" and "b".
std::optional<qsizetype> secondRowEnd(const QByteArray &file)
{
    for (qsizetype page = 0; page + kPageSize <= file.size(); page += kPageSize) {
        if (file.at(page) != 1)
            continue;
        const int rows = qFromLittleEndian<quint16>(file.constData() + page + 12);
        for (int r = 1; r < rows && r < 256; ++r) {
            const int start = qFromLittleEndian<quint16>(file.constData() + page + 14 + 2 * r);
            const int end = qFromLittleEndian<quint16>(file.constData() + page + 12 + 2 * r);
            const QByteArray row =
                file.mid(page + (start & 0x1fff), (end & 0x1fff) - (start & 0x1fff));
            if (row.startsWith(QByteArray("\x09\x00", 2)) && row.contains(QByteArray("a\0b\0", 4)))
                return page + (end & 0x1fff) - 1;
        }
    }
    return std::nullopt;
}

// The V2000 sample with column B of its second row made NULL (its null-mask bit cleared) or a
// zero-length text (its end offset moved onto its start): Access's own row layout, one field
// changed.
QByteArray sampleWithSecondB(bool null)
{
    QByteArray file = sampleBytes(QStringLiteral("V2000_test.mdb"));
    const std::optional<qsizetype> rowEnd = secondRowEnd(file);
    if (!rowEnd)
        return {};
    const qsizetype mask = *rowEnd - 1; // two mask bytes for nine columns
    if (null) {
        file[mask] = char(file.at(mask) & ~0x02);
    } else {
        // Before the mask: the number of variable columns, then their offsets running
        // backwards: A's start, B's start, B's end.
        const qsizetype bStart = mask - 2 - 2 - 2;
        const qsizetype bEnd = bStart - 2;
        file[bEnd] = file.at(bStart);
        file[bEnd + 1] = file.at(bStart + 1);
    }
    return file;
}

Query query(const QString &table, const QStringList &columns = {},
            const QList<Condition> &where = {}, int maxRows = -1)
{
    Query query;
    query.table = table;
    query.columns = columns;
    query.where = where;
    query.maxRows = maxRows;
    return query;
}

Query selectA(const QList<Condition> &where = {}, int maxRows = -1)
{
    return query(QStringLiteral("Table1"), {QStringLiteral("A")}, where, maxRows);
}

ColumnDef column(const char *name, ColumnType type)
{
    return ColumnDef{QString::fromLatin1(name), type};
}

} // namespace

// Readable cells and rows in failure messages.
namespace QTest {
template <> char *toString(const Cell &cell)
{
    if (!cell)
        return qstrdup("NULL");
    const QString shown = cell->size() > 60 ? cell->left(60) + QStringLiteral("...") : *cell;
    return qstrdup(qPrintable(QLatin1Char('"') + shown + QLatin1Char('"')));
}

template <> char *toString(const QList<Cell> &row)
{
    QByteArray text = "(";
    for (const Cell &cell : row) {
        char *shown = toString(cell);
        text += (text.size() > 1 ? ", " : "") + QByteArray(shown);
        delete[] shown;
    }
    return qstrdup(text + ")");
}
} // namespace QTest

class TestDataAccess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void tablesOfSamples_data();
    void tablesOfSamples();
    void samplesMatchMdbExport_data();
    void samplesMatchMdbExport();
    void selectWithConditions_data();
    void selectWithConditions();
    void columnsInAskedOrder();
    void unknownNamesFail_data();
    void unknownNamesFail();
    void nullAndEmptyStayApart();
    void badFilesFail_data();
    void badFilesFail();
    void changedFileIsReadAgain();
    void engineKilledMidRequest();
    void engineDiedWhileIdle();
    void hangPastTimeLimit();
    void brokenEngines_data();
    void brokenEngines();
    void oversizedAnswerFails();
    void sharedInstance();
    void damagedMemoChainFails_data();
    void damagedMemoChainFails();
    void tableOverManyPages();
    void corruptedCopiesNeverHurtTheCaller();

private:
    QString goodFile() const { return sample(QStringLiteral("V2000_test.mdb")); }
    // Writes a database of these tables into the test folder and returns its path; empty when
    // the writer refuses.
    QString written(const QString &name, const QList<TableData> &tables);
    // A request on an intact file works: what every failure must leave behind.
    void verifyEngineWorks();

    std::unique_ptr<DataAccess> m_access;
    QTemporaryDir m_dir;
};

void TestDataAccess::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Lets the engines started by this test honour stall requests.
    qputenv("FWB_JET_ENGINE_TEST", "1");
}

void TestDataAccess::init()
{
    DataAccess::setEnginePath(kEngine);
    m_access = std::make_unique<DataAccess>();
}

void TestDataAccess::cleanup()
{
    m_access.reset();
}

void TestDataAccess::verifyEngineWorks()
{
    const std::optional<Table> table = m_access->select(goodFile(), selectA());
    QVERIFY(table);
    QCOMPARE(columnValues(*table, 0), QStringList({"abcdefg", "a"}));
}

QString TestDataAccess::written(const QString &name, const QList<TableData> &tables)
{
    const QString path = m_dir.filePath(name);
    QString error;
    if (!writeDatabase(path, tables, &error)) {
        qWarning("cannot write %s: %s", qPrintable(path), qPrintable(error));
        return {};
    }
    return path;
}

void TestDataAccess::tablesOfSamples_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("tables");

    const QStringList four{"Table1", "Table2", "Table3", "Table4"};
    QTest::newRow("Jet 3") << "V1997_test.mdb" << four;
    QTest::newRow("Jet 4, Access 2000") << "V2000_test.mdb" << four;
    QTest::newRow("Jet 4, Access 2003") << "V2003_test.mdb" << four;
    QTest::newRow("system tables only") << "V2000_empty.mdb" << QStringList();
}

void TestDataAccess::tablesOfSamples()
{
    REQUIRE_SAMPLES();
    QFETCH(QString, file);
    QFETCH(QStringList, tables);

    QCOMPARE(m_access->tables(sample(file)), std::optional<QStringList>(tables));
}

void TestDataAccess::samplesMatchMdbExport_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("table");

    for (const char *file : {"V1997_test.mdb", "V2000_test.mdb", "V2003_test.mdb"}) {
        for (const char *table : {"Table1", "Table2", "Table3", "Table4"})
            QTest::addRow("%s %s", file, table) << QString::fromLatin1(file) << table;
    }
}

void TestDataAccess::samplesMatchMdbExport()
{
    REQUIRE_SAMPLES();
    QFETCH(QString, file);
    QFETCH(QString, table);
    const std::optional<QList<QList<CsvField>>> exported = mdbExport(sample(file), table);
    if (!exported)
        QSKIP("mdb-export (Debian package mdbtools) is not installed");

    const std::optional<Table> read = m_access->select(sample(file), query(table));
    QVERIFY(read);
    compareWithExport(*read, *exported);
}

void TestDataAccess::selectWithConditions_data()
{
    QTest::addColumn<QList<Condition>>("where");
    QTest::addColumn<int>("maxRows");
    QTest::addColumn<QStringList>("values");

    const auto is = [](const char *column, const QString &value) {
        return Condition{QString::fromLatin1(column), value, false};
    };
    const auto isNot = [](const char *column, const QString &value) {
        return Condition{QString::fromLatin1(column), value, true};
    };
    const QStringList first{"abcdefg"};
    const QStringList second{"a"};
    const QStringList both{"abcdefg", "a"};

    QTest::newRow("no condition") << QList<Condition>() << -1 << both;
    QTest::newRow("text ignoring case") << QList{is("A", "ABCdefG")} << -1 << first;
    QTest::newRow("column name ignoring case") << QList{is("b", "B")} << -1 << second;
    QTest::newRow("text needs the whole value") << QList{is("A", "abc")} << -1 << QStringList();
    QTest::newRow("negated text") << QList{isNot("A", "A")} << -1 << first;
    QTest::newRow("byte by value") << QList{is("C", "2.0")} << -1 << first;
    QTest::newRow("integer by value") << QList{is("D", "2.22e2")} << -1 << first;
    QTest::newRow("long by value") << QList{is("E", "333333333")} << -1 << first;
    QTest::newRow("double") << QList{is("F", "444.555")} << -1 << first;
    QTest::newRow("currency") << QList{is("H", "3.5")} << -1 << first;
    QTest::newRow("negated number") << QList{isNot("D", "0")} << -1 << first;
    QTest::newRow("not a number matches nothing") << QList{is("D", "two")} << -1 << QStringList();
    QTest::newRow("nor does its negation") << QList{isNot("D", "two")} << -1 << QStringList();
    QTest::newRow("yes/no true") << QList{is("I", "True")} << -1 << first;
    QTest::newRow("yes/no Jet true") << QList{is("I", "-1")} << -1 << first;
    QTest::newRow("yes/no false") << QList{is("I", "0")} << -1 << second;
    QTest::newRow("date as shown") << QList{is("G", "12/12/81 00:00:00")} << -1 << second;
    QTest::newRow("all conditions hold") << QList{is("A", "a"), is("C", "0")} << -1 << second;
    QTest::newRow("one condition fails")
        << QList{is("A", "a"), is("C", "2")} << -1 << QStringList();
    QTest::newRow("max rows") << QList<Condition>() << 1 << first;
    QTest::newRow("max rows counts matches") << QList{isNot("A", "abcdefg")} << 1 << second;
    QTest::newRow("zero rows") << QList<Condition>() << 0 << QStringList();
}

void TestDataAccess::selectWithConditions()
{
    REQUIRE_SAMPLES();
    QFETCH(QList<Condition>, where);
    QFETCH(int, maxRows);
    QFETCH(QStringList, values);

    const std::optional<Table> table = m_access->select(goodFile(), selectA(where, maxRows));
    QVERIFY(table);
    QCOMPARE(table->columns, QStringList({"A"}));
    QCOMPARE(columnValues(*table, 0), values);
}

void TestDataAccess::columnsInAskedOrder()
{
    REQUIRE_SAMPLES();
    const std::optional<Table> table =
        m_access->select(goodFile(), query(QStringLiteral("table1"), {"i", "B", "a"}));
    QVERIFY(table);
    // Stored names, in the order asked for; lookups ignore case.
    QCOMPARE(table->columns, QStringList({"I", "B", "A"}));
    QCOMPARE(table->columnIndex(QStringLiteral("b")), 1);
    QCOMPARE(table->columnIndex(QStringLiteral("Z")), -1);
    QCOMPARE(table->rows.at(1),
             QList<Cell>({QStringLiteral("0"), QStringLiteral("b"), QStringLiteral("a")}));
}

void TestDataAccess::unknownNamesFail_data()
{
    QTest::addColumn<Query>("query");

    QTest::newRow("table") << query(QStringLiteral("Items"));
    QTest::newRow("column") << query(QStringLiteral("Table1"), {"A", "Z"});
    QTest::newRow("condition column")
        << query(QStringLiteral("Table1"), {}, {Condition{"Z", "1", false}});
}

void TestDataAccess::unknownNamesFail()
{
    REQUIRE_SAMPLES();
    QFETCH(Query, query);

    QVERIFY(m_access->tables(goodFile()));
    const qint64 engine = m_access->engineProcessId();
    QVERIFY(!m_access->select(goodFile(), query));
    // A plain failure, not a crash: the same engine answers the next request.
    QVERIFY(m_access->lastRequestAnswered());
    QCOMPARE(m_access->engineProcessId(), engine);
    verifyEngineWorks();
}

void TestDataAccess::nullAndEmptyStayApart()
{
    REQUIRE_SAMPLES();
    const QString nullFile = m_dir.filePath(QStringLiteral("null.mdb"));
    const QString emptyFile = m_dir.filePath(QStringLiteral("empty.mdb"));
    fwb::test::writeFile(nullFile, sampleWithSecondB(true));
    fwb::test::writeFile(emptyFile, sampleWithSecondB(false));
    const Query allB = query(QStringLiteral("Table1"), {QStringLiteral("B")});

    std::optional<Table> table = m_access->select(nullFile, allB);
    QVERIFY(table);
    QCOMPARE(table->rows.at(1).at(0), Cell());
    table = m_access->select(emptyFile, allB);
    QVERIFY(table);
    QCOMPARE(table->rows.at(1).at(0), Cell(QString()));

    // NULL passes neither a condition nor its negation; the empty text is a value like others.
    const auto aWhereB = [](const QString &value, bool negated) {
        return selectA({Condition{QStringLiteral("B"), value, negated}});
    };
    QCOMPARE(columnValues(*m_access->select(nullFile, aWhereB("b", true)), 0),
             QStringList({"abcdefg"}));
    QCOMPARE(columnValues(*m_access->select(nullFile, aWhereB("", false)), 0), QStringList());
    QCOMPARE(columnValues(*m_access->select(emptyFile, aWhereB("b", true)), 0),
             QStringList({"abcdefg", "a"}));
    QCOMPARE(columnValues(*m_access->select(emptyFile, aWhereB("", false)), 0), QStringList({"a"}));
}

void TestDataAccess::badFilesFail_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("listable");
    // Files libmdb never gets to parse must not cost the engine.
    QTest::addColumn<bool>("sameEngine");

    REQUIRE_SAMPLES();
    const QByteArray good = fwb::test::readFile(sample(QStringLiteral("V2000_test.mdb")));
    QByteArray catalogNoise = good;
    QByteArray rowNoise = good;
    QRandomGenerator random(7);
    for (int i = 16; i < kPageSize; ++i) {
        // Page 2 describes the catalog table; page 27 holds Table1's rows, its header kept.
        catalogNoise[2 * kPageSize + i] = char(random.bounded(256));
        rowNoise[27 * kPageSize + i] = char(random.bounded(256));
    }

    QTest::newRow("missing") << "missing.mdb" << QByteArray() << false << true;
    QTest::newRow("text file") << "text.mdb" << QByteArray("[GENERAL]\nGEN_Version=30\n") << false
                               << true;
    QTest::newRow("empty file") << "empty.mdb" << QByteArray("") << false << true;
    QTest::newRow("first page only") << "short.mdb" << good.left(kPageSize + 100) << false << false;
    // Cut after Table1's definition (page 24), before its rows (page 27).
    QTest::newRow("cut before the rows") << "cut.mdb" << good.left(25 * kPageSize) << true << false;
    QTest::newRow("catalog overwritten") << "catalog.mdb" << catalogNoise << false << false;
    // The catalog is intact, so the tables are still listed; their rows cannot be read.
    QTest::newRow("rows overwritten") << "rows.mdb" << rowNoise << true << false;
    QTest::newRow("folder") << "folder.mdb" << QByteArray() << false << true;
    QTest::newRow("fifo") << "fifo.mdb" << QByteArray() << false << true;
    QTest::newRow("no path") << "" << QByteArray() << false << true;
}

void TestDataAccess::badFilesFail()
{
    REQUIRE_SAMPLES();
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, listable);
    QFETCH(bool, sameEngine);
    const QString path =
        name.isEmpty() ? QString() : m_dir.filePath(QTest::currentDataTag() + name);
    if (name == QLatin1String("folder.mdb"))
        QVERIFY(QDir().mkpath(path));
    else if (name == QLatin1String("fifo.mdb"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (!content.isNull())
        fwb::test::writeFile(path, content);

    QVERIFY(m_access->tables(goodFile()));
    const qint64 engine = m_access->engineProcessId();
    QCOMPARE(m_access->tables(path).has_value(), listable);
    QVERIFY(!m_access->select(path, selectA()));
    if (sameEngine)
        QCOMPARE(m_access->engineProcessId(), engine);
    verifyEngineWorks();
}

void TestDataAccess::changedFileIsReadAgain()
{
    REQUIRE_SAMPLES();
    const QString path = m_dir.filePath(QStringLiteral("pack.mdb"));
    const QString next = m_dir.filePath(QStringLiteral("pack.new"));
    fwb::test::writeFile(path, sampleBytes(QStringLiteral("V2000_test.mdb")));
    QCOMPARE(columnValues(*m_access->select(path, selectA()), 0), QStringList({"abcdefg", "a"}));

    // Replaced by a file whose rows are stored the other way round.
    fwb::test::writeFile(next, sampleBytes(QStringLiteral("V1997_test.mdb")));
    QVERIFY(QFile::remove(path));
    QVERIFY(QFile::rename(next, path));
    QCOMPARE(columnValues(*m_access->select(path, selectA()), 0), QStringList({"a", "abcdefg"}));

    // Written over in place.
    fwb::test::writeFile(path, sampleBytes(QStringLiteral("V2003_test.mdb")));
    QCOMPARE(columnValues(*m_access->select(path, selectA()), 0), QStringList({"abcdefg", "a"}));

    QVERIFY(QFile::remove(path));
    QVERIFY(!m_access->select(path, selectA()));
}

void TestDataAccess::engineKilledMidRequest()
{
    REQUIRE_SAMPLES();
    QVERIFY(m_access->tables(goodFile()));
    const qint64 engine = m_access->engineProcessId();
    QVERIFY(engine > 0);

    std::thread killer([engine] {
        std::this_thread::sleep_for(300ms);
        ::kill(pid_t(engine), SIGKILL);
    });
    QElapsedTimer clock;
    clock.start();
    const bool answered = m_access->stall(20000);
    killer.join();
    QVERIFY(!answered);
    // The death ended the wait, not the time limit.
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(m_access->engineProcessId(), 0);

    verifyEngineWorks();
    QVERIFY(m_access->engineProcessId() != engine);
}

void TestDataAccess::engineDiedWhileIdle()
{
    REQUIRE_SAMPLES();
    QVERIFY(m_access->tables(goodFile()));
    const qint64 engine = m_access->engineProcessId();
    QCOMPARE(::kill(pid_t(engine), SIGKILL), 0);
    std::this_thread::sleep_for(100ms);

    // Not even the first request after the death is lost.
    verifyEngineWorks();
    QVERIFY(m_access->engineProcessId() != engine);
}

void TestDataAccess::hangPastTimeLimit()
{
    REQUIRE_SAMPLES();
    m_access->setTimeLimit(300ms);
    QVERIFY(m_access->stall(10));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!m_access->stall(60000));
    QVERIFY(clock.elapsed() < 30000);
    // So the caller need not ask again about a file that hangs the engine.
    QVERIFY(!m_access->lastRequestAnswered());

    m_access->setTimeLimit(10s);
    verifyEngineWorks();
}

void TestDataAccess::brokenEngines_data()
{
    QTest::addColumn<QString>("program");

    // cat echoes the request, which is no answer; yes floods the pipe with an absurd frame.
    QTest::newRow("garbled answer") << "/bin/cat";
    QTest::newRow("oversized garbage") << "/usr/bin/yes";
    QTest::newRow("exits at once") << "/bin/true";
    QTest::newRow("missing") << "/nonexistent/fwb-jet-engine";
}

void TestDataAccess::brokenEngines()
{
    REQUIRE_SAMPLES();
    QFETCH(QString, program);
    if (!QFileInfo(program).isExecutable() && !program.startsWith(QLatin1String("/nonexistent")))
        QSKIP("the stand-in program is not installed");

    DataAccess::setEnginePath(program);
    m_access->setTimeLimit(3s);
    QVERIFY(!m_access->tables(goodFile()));
    QCOMPARE(m_access->engineProcessId(), 0);

    DataAccess::setEnginePath(kEngine);
    verifyEngineWorks();
}

void TestDataAccess::oversizedAnswerFails()
{
    REQUIRE_SAMPLES();
    const Query table2 = query(QStringLiteral("Table2"));
    m_access->setAnswerLimit(200);
    QVERIFY(!m_access->select(goodFile(), table2));

    m_access->setAnswerLimit(64 << 20);
    const std::optional<Table> table = m_access->select(goodFile(), table2);
    QVERIFY(table);
    QCOMPARE(table->columns.size(), 89);
}

void TestDataAccess::sharedInstance()
{
    REQUIRE_SAMPLES();
    QCOMPARE(&DataAccess::instance(), &DataAccess::instance());
    QCOMPARE(DataAccess::enginePath(), kEngine);
    QVERIFY(DataAccess::instance().tables(goodFile()));
    DataAccess::instance().shutdown();
    QCOMPARE(DataAccess::instance().engineProcessId(), 0);
}

void TestDataAccess::damagedMemoChainFails_data()
{
    QTest::addColumn<bool>("looping");
    QTest::newRow("cut short") << false;
    QTest::newRow("looping") << true;
}

void TestDataAccess::damagedMemoChainFails()
{
    QFETCH(bool, looping);
    using enum ColumnType;
    // Two bytes a character: three pieces, each on a long-value page of its own.
    TableData table{QStringLiteral("1"), {column("16", Memo)}, {{QString(5000, QChar(0x65e5))}}};
    const QString file = written(QStringLiteral("chain.fwb"), {table});
    QVERIFY(!file.isEmpty());
    QByteArray bytes = fwb::test::readFile(file);
    QList<qsizetype> pages;
    for (qsizetype page = 0; page < bytes.size(); page += kPageSize) {
        if (bytes.at(page) == 0x01 && bytes.mid(page + 4, 4) == "LVAL")
            pages.append(page);
    }
    QCOMPARE(pages.size(), 3);
    // The pieces were placed last to first. The middle piece's pointer to the last one is cut,
    // or turned back to the first piece, which would fill the length with wrong text.
    const qsizetype middleRow =
        pages[1] + (qFromLittleEndian<quint16>(bytes.constData() + pages[1] + 14) & 0x1fff);
    const quint32 firstPiece = quint32(pages[2] / kPageSize) << 8;
    qToLittleEndian<quint32>(looping ? firstPiece : 0, bytes.data() + middleRow);
    const QString damaged = m_dir.filePath(QStringLiteral("damaged chain.fwb"));
    fwb::test::writeFile(damaged, bytes);

    QVERIFY(!m_access->select(damaged, query(QStringLiteral("1"))));
    const std::optional<Table> read = m_access->select(file, query(QStringLiteral("1")));
    QVERIFY(read);
    QCOMPARE(read->rows, table.rows);
}

void TestDataAccess::tableOverManyPages()
{
    using enum ColumnType;
    TableData table{QStringLiteral("Rows"), {column("N", LongInteger), column("Label", Text)}, {}};
    for (int n = 0; n < 3000; ++n)
        table.rows.append(
            {QString::number(n - 1000), QStringLiteral("row %1 ").arg(n).repeated(8)});
    const QString file = written(QStringLiteral("rows.mdb"), {table});
    QVERIFY(!file.isEmpty());

    std::optional<Table> read = m_access->select(file, query(QStringLiteral("Rows")));
    QVERIFY(read);
    QCOMPARE(read->rows, table.rows);
    read = m_access->select(
        file, query(QStringLiteral("Rows"), {"Label"}, {Condition{"N", "1.5e3", false}}));
    QVERIFY(read);
    QCOMPARE(columnValues(*read, 0), QStringList({table.rows.at(2500).at(1).value()}));
    read = m_access->select(
        file, query(QStringLiteral("Rows"), {"N"}, {Condition{"N", "-1000", true}}, 2));
    QVERIFY(read);
    QCOMPARE(columnValues(*read, 0), QStringList({"-999", "-998"}));
}

void TestDataAccess::corruptedCopiesNeverHurtTheCaller()
{
    REQUIRE_SAMPLES();
    const QByteArray jet3 = sampleBytes(QStringLiteral("V1997_test.mdb"));
    const QByteArray jet4 = sampleBytes(QStringLiteral("V2000_test.mdb"));
    QRandomGenerator random(20240601);
    m_access->setTimeLimit(3s);
    int answered = 0;
    int failed = 0;
    int hung = 0;
    const Query withCondition = query(QStringLiteral("Table1"), {QStringLiteral("B")},
                                      {Condition{QStringLiteral("A"), QStringLiteral("a"), false}});

    for (int i = 0; i < 200; ++i) {
        QByteArray file = i % 2 ? jet4 : jet3;
        if (i % 5 == 4) {
            file.truncate(random.bounded(qint64(file.size())));
        } else {
            // Damage where the structure lives: the first pages hold the header, the catalog
            // and the table definitions.
            const int span = int(qMin<qsizetype>(file.size(), 64 * kPageSize));
            for (int n = random.bounded(1, 64); n > 0; --n)
                file[random.bounded(span)] = char(random.bounded(256));
        }
        const QString path = m_dir.filePath(QStringLiteral("corrupt-%1.mdb").arg(i));
        fwb::test::writeFile(path, file);

        QElapsedTimer clock;
        clock.start();
        for (const auto &result :
             {m_access->tables(path).has_value(),
              m_access->select(path, query(QStringLiteral("Table1"))).has_value(),
              m_access->select(path, withCondition).has_value()})
            ++(result ? answered : failed);
        if (clock.elapsed() >= 3000)
            ++hung;
        QFile::remove(path);
    }
    qInfo("%d requests answered, %d failed; %d copies hung the engine", answered, failed, hung);
    QCOMPARE(answered + failed, 600);
    m_access->setTimeLimit(10s);
    verifyEngineWorks();
}

QTEST_GUILESS_MAIN(TestDataAccess)
#include "tst_dataaccess.moc"
