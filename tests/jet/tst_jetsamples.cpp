#include "ExternalReaders.h"
#include "TestSupport.h"
#include "jet/DataAccess.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace fwb::jet;
using namespace std::chrono_literals;

namespace {

const QString kSamples = QStringLiteral(FWB_JET_SAMPLES);
constexpr int kPageSize = 4096;

QString sample(const QString &name)
{
    return kSamples + QLatin1Char('/') + name;
}

QByteArray sampleBytes(const QString &name)
{
    return fwb::test::readFile(sample(name));
}

Query query(const QString &table, const QStringList &columns = {},
            const QList<Condition> &where = {}, int maxRows = -1)
{
    return Query{table, columns, where, maxRows};
}

Query selectA(const QList<Condition> &where = {}, int maxRows = -1)
{
    return query("Table1", {QStringLiteral("A")}, where, maxRows);
}

QStringList columnValues(const std::optional<Table> &table)
{
    QStringList values;
    for (const QList<Cell> &row : table ? table->rows : QList<QList<Cell>>())
        values.append(row.at(0).value_or(QStringLiteral("<NULL>")));
    return values;
}

} // namespace

// The engine on files Access made, with mdb-export as the reference reader.
class TestJetSamples : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init() { m_access = std::make_unique<DataAccess>(); }
    void samplesMatchMdbExport_data();
    void samplesMatchMdbExport();
    void selectWithConditions_data();
    void selectWithConditions();
    void unknownNamesFail_data();
    void unknownNamesFail();
    void badFilesFail_data();
    void badFilesFail();
    void changedFileIsReadAgain();
    void corruptedCopiesNeverHurtTheCaller();

private:
    QString goodFile() const { return sample("V2000_test.mdb"); }
    void verifyEngineWorks()
    {
        QCOMPARE(columnValues(m_access->select(goodFile(), selectA())),
                 QStringList({"abcdefg", "a"}));
    }

    std::unique_ptr<DataAccess> m_access;
    QTemporaryDir m_dir;
};

void TestJetSamples::initTestCase()
{
    if (!QFileInfo::exists(sample("V2000_test.mdb")))
        QSKIP(qPrintable(QStringLiteral("cannot run here: no Access-made samples in ") + kSamples));
    QVERIFY(m_dir.isValid());
    DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE));
}

void TestJetSamples::samplesMatchMdbExport_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("tables");
    const QStringList four{"Table1", "Table2", "Table3", "Table4"};
    QTest::newRow("Jet 3") << "V1997_test.mdb" << four;
    QTest::newRow("Jet 4, Access 2000") << "V2000_test.mdb" << four;
    QTest::newRow("Jet 4, Access 2003") << "V2003_test.mdb" << four;
    QTest::newRow("system tables only") << "V2000_empty.mdb" << QStringList();
}

void TestJetSamples::samplesMatchMdbExport()
{
    QFETCH(QString, file);
    QFETCH(QStringList, tables);
    QCOMPARE(m_access->tables(sample(file)), std::optional<QStringList>(tables));
    QString failure;
    const auto exported = fwb::test::readWithMdbtools(sample(file), &failure);
    QVERIFY2(exported, qPrintable(failure));
    for (const QString &name : tables) {
        const std::optional<Table> read = m_access->select(sample(file), query(name));
        QVERIFY(read);
        const QString problem = fwb::test::difference(
            exported->contents.value(name), fwb::test::asMdbtoolsSees({read->columns, read->rows}));
        QVERIFY2(problem.isEmpty(), qPrintable(name + QStringLiteral(": ") + problem));
    }
}

void TestJetSamples::selectWithConditions_data()
{
    QTest::addColumn<QList<Condition>>("where");
    QTest::addColumn<int>("maxRows");
    QTest::addColumn<QStringList>("values");

    const auto is = [](const char *column, const QString &value, bool negated = false) {
        return Condition{QString::fromLatin1(column), value, negated};
    };
    const QStringList first{"abcdefg"};
    const QStringList second{"a"};
    QTest::newRow("column name ignoring case") << QList{is("b", "B")} << -1 << second;
    QTest::newRow("text needs the whole value") << QList{is("A", "abc")} << -1 << QStringList();
    QTest::newRow("byte") << QList{is("C", "2.0")} << -1 << first;
    QTest::newRow("integer") << QList{is("D", "2.22e2")} << -1 << first;
    QTest::newRow("long") << QList{is("E", "333333333")} << -1 << first;
    QTest::newRow("double") << QList{is("F", "444.555")} << -1 << first;
    QTest::newRow("currency") << QList{is("H", "3.5")} << -1 << first;
    QTest::newRow("negated number") << QList{is("D", "0", true)} << -1 << first;
    QTest::newRow("yes/no Jet true") << QList{is("I", "-1")} << -1 << first;
    QTest::newRow("yes/no false") << QList{is("I", "0")} << -1 << second;
    QTest::newRow("date as shown") << QList{is("G", "12/12/81 00:00:00")} << -1 << second;
    QTest::newRow("all conditions hold") << QList{is("A", "a"), is("C", "0")} << -1 << second;
    QTest::newRow("one condition fails")
        << QList{is("A", "a"), is("C", "2")} << -1 << QStringList();
    QTest::newRow("max rows") << QList<Condition>() << 1 << first;
    QTest::newRow("max rows counts matches") << QList{is("A", "abcdefg", true)} << 1 << second;
    QTest::newRow("zero rows") << QList<Condition>() << 0 << QStringList();
}

void TestJetSamples::selectWithConditions()
{
    QFETCH(QList<Condition>, where);
    QFETCH(int, maxRows);
    QTEST(columnValues(m_access->select(goodFile(), selectA(where, maxRows))), "values");
}

void TestJetSamples::unknownNamesFail_data()
{
    QTest::addColumn<Query>("query");
    QTest::newRow("table") << query("Items");
    QTest::newRow("column") << query("Table1", {"A", "Z"});
    QTest::newRow("condition column") << query("Table1", {}, {{"Z", "1", false}});
    // Known names in any case are the control: stored names, in the order asked for.
    QTest::newRow("known names") << query("table1", {"i", "B", "a"});
}

void TestJetSamples::unknownNamesFail()
{
    QFETCH(Query, query);
    QVERIFY(m_access->tables(goodFile()));
    const qint64 engine = m_access->engineProcessId();
    const std::optional<Table> table = m_access->select(goodFile(), query);
    QCOMPARE(table.has_value(), query.table == QLatin1String("table1"));
    if (table) {
        QCOMPARE(table->columns, QStringList({"I", "B", "A"}));
        QCOMPARE(table->columnIndex(QStringLiteral("b")), 1);
        QCOMPARE(table->rows.at(1), QList<Cell>({"0", "b", "a"}));
    }
    // A plain failure, not a crash: the same engine answers the next request.
    QVERIFY(m_access->lastRequestAnswered());
    QCOMPARE(m_access->engineProcessId(), engine);
}

void TestJetSamples::badFilesFail_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("listable");
    // Files libmdb never gets to parse must not cost the engine.
    QTest::addColumn<bool>("sameEngine");

    const QByteArray good = sampleBytes("V2000_test.mdb");
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

void TestJetSamples::badFilesFail()
{
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

void TestJetSamples::changedFileIsReadAgain()
{
    const QString path = m_dir.filePath(QStringLiteral("pack.mdb"));
    const QString next = m_dir.filePath(QStringLiteral("pack.new"));
    const QStringList stored{"abcdefg", "a"};
    fwb::test::writeFile(path, sampleBytes("V2000_test.mdb"));
    QCOMPARE(columnValues(m_access->select(path, selectA())), stored);
    // Replaced by a file whose rows are stored the other way round, then written over in place.
    fwb::test::writeFile(next, sampleBytes("V1997_test.mdb"));
    QVERIFY(QFile::remove(path) && QFile::rename(next, path));
    QCOMPARE(columnValues(m_access->select(path, selectA())), QStringList({"a", "abcdefg"}));
    fwb::test::writeFile(path, sampleBytes("V2003_test.mdb"));
    QCOMPARE(columnValues(m_access->select(path, selectA())), stored);
    QVERIFY(QFile::remove(path));
    QVERIFY(!m_access->select(path, selectA()));
}

void TestJetSamples::corruptedCopiesNeverHurtTheCaller()
{
    const QByteArray jet3 = sampleBytes("V1997_test.mdb");
    const QByteArray jet4 = sampleBytes("V2000_test.mdb");
    QRandomGenerator random(20240601);
    // Short, so the copies that make the parser loop cost little; a slow start only fails a
    // request, which is counted like any other failure.
    m_access->setTimeLimit(200ms);
    int answered = 0;
    const Query withCondition = query("Table1", {QStringLiteral("B")},
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
        // A new name each time: a rewrite within the same second could look unchanged.
        const QString path = m_dir.filePath(QStringLiteral("corrupt-%1.mdb").arg(i));
        fwb::test::writeFile(path, file);
        // As the program does, a file that hung the engine is not asked about again.
        answered += m_access->tables(path).has_value();
        for (const Query &asked : {query("Table1"), withCondition}) {
            if (m_access->lastRequestAnswered())
                answered += m_access->select(path, asked).has_value();
        }
    }
    qInfo("%d of 600 requests answered", answered);
    m_access->setTimeLimit(5s);
    verifyEngineWorks();
}

QTEST_GUILESS_MAIN(TestJetSamples)
#include "tst_jetsamples.moc"
