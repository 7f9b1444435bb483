#include "TestSupport.h"
#include "jet/DataAccess.h"
#include "jet/TextLimit.h"
#include "jet/writer/JetWriter.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <csignal>
#include <sys/stat.h>

using namespace fwb::jet;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Rows = QList<QList<Cell>>;

namespace {

constexpr int kPageSize = 4096;

struct Run
{
    int exitCode = -1; // also when the program did not start, crashed or hung
    QByteArray out;
    QString err;
};

Run run(const QString &program, const QStringList &args)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // mdbtools refuses non-ASCII names under the POSIX locale; Access 97 wrote Windows-1252.
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("MDB_JET3_CHARSET"), QStringLiteral("CP1252"));
    process.setProcessEnvironment(environment);
    process.start(program, args);
    const bool finished = process.waitForFinished(300000);
    return {finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), QString::fromUtf8(process.readAllStandardError())};
}

// A table as mdb-export -Q -e -0 '\N' prints it; mdbtools shows empty texts as NULL
// (`emptyIsNull`).
QStringList exported(const QString &name, const QStringList &columns, const Rows &rows,
                     bool emptyIsNull)
{
    QStringList lines{QStringLiteral("== ") + name, columns.join(u'\t')};
    for (const QList<Cell> &row : rows) {
        QStringList fields;
        for (const Cell &cell : row) {
            fields.append(!cell || (emptyIsNull && cell->isEmpty())
                              ? QStringLiteral("\\N")
                              : QString(*cell)
                                    .replace(u'\\', "\\\\"_L1)
                                    .replace(u'\t', "\\t"_L1)
                                    .replace(u'\n', "\\n"_L1)
                                    .replace(u'\r', "\\r"_L1));
        }
        lines.append(fields.join(u'\t'));
    }
    return lines;
}

QStringList readWithMdbtools(const QString &file)
{
    const Run tables = run(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), file});
    if (tables.exitCode != 0)
        return {tables.err};
    QStringList lines;
    for (const QString &table : QString::fromUtf8(tables.out).split(u'\n', Qt::SkipEmptyParts)) {
        const Run out = run("mdb-export", {"-Q", "-e", "-d", "\t", "-0", "\\N", file, table});
        lines << QStringLiteral("== ") + table + out.err
              << QString::fromUtf8(out.out).split(u'\n', Qt::SkipEmptyParts);
    }
    return lines;
}

Query all(const QString &table, const QStringList &columns = {})
{
    return Query{table, columns, {}, -1};
}

QStringList readWithEngine(DataAccess &access, const QString &file, bool emptyIsNull)
{
    QStringList lines;
    for (const QString &table : access.tables(file).value_or(QStringList{"no tables listed"})) {
        const std::optional<Table> read = access.select(file, all(table));
        lines << (read ? exported(table, read->columns, read->rows, emptyIsNull)
                       : QStringList{table + QStringLiteral(" cannot be read")});
    }
    return lines;
}

// What a reader should see of written tables: the rows not stored as deleted.
QStringList expected(const QList<TableData> &tables, bool emptyIsNull)
{
    QStringList lines;
    for (const TableData &table : tables) {
        Table read;
        for (const ColumnDef &column : table.columns)
            read.columns.append(column.name);
        for (qsizetype r = 0; r < table.rows.size(); ++r)
            if (!table.deletedRows.contains(r))
                read.rows.append(table.rows.at(r));
        lines << exported(table.name, read.columns, read.rows, emptyIsNull);
    }
    return lines;
}

// Text that is not one character repeated, so a piece read from the wrong place shows.
QString varied(int length, int seed)
{
    static const QString alphabet = QString::fromUtf8("abcdefghijklmnopqrstuvwxyzåäöÅÄÖ§日本語 ");
    QString result;
    for (int i = 0; i < length; ++i)
        result += alphabet.at((i * 7 + seed + i / 97) % alphabet.size());
    return result;
}

QList<TableData> mixedTables()
{
    // Readers take a value that begins with the bytes FF FE for compressed text.
    const QString mark(QChar(0xfeff));
    TableData mixed{
        "Mixed",
        {{"Label", ColumnType::Text},
         {"Notes", ColumnType::Memo},
         {"Count", ColumnType::LongInteger},
         {"Small", ColumnType::Integer}},
        {{"plain", "Ärlig § paragraf", QString::number(INT32_MIN), QString::number(-32768)},
         {Cell(), Cell(), Cell(), Cell()},
         {"", "", QString::number(INT32_MAX), QString::number(32767)},
         {QString(255, u'ÿ'), "tab\there, line\nbreak\r\n \\ \\N 中文", QString::number(0), Cell()},
         {mark + "in text", mark + varied(3000, 1), Cell(), Cell()},
         {mark, "inside" + mark, Cell(), Cell()}}};
    TableData memos{"Memos", {{"Id", ColumnType::LongInteger}, {"Body", ColumnType::Memo}}, {}};
    for (int length : {0, 1, 127, 128, 129, 2040, 2041, 4000, 9000, int(kMaxTextLength)})
        memos.rows.append({QString::number(length), varied(length, length)});
    memos.rows.append({Cell(), Cell()});
    // A table of deleted rows only, long memos among them.
    const TableData gone{"Gone", memos.columns, {{QString::number(1), varied(5000, 1)}}, {0}};
    return {mixed, memos, gone, {"Texte på svenska", {{"Första", ColumnType::Text}}, {}}};
}

// Rows enough to pass one usage bitmap, some NULL; deleted where Access leaves them: the first,
// the last, one between live rows and a run longer than two pages hold.
TableData manyRows()
{
    TableData table{
        "Many",
        {{"N", ColumnType::LongInteger}, {"Word", ColumnType::Text}, {"Half", ColumnType::Integer}},
        {},
        {0, 5, 4999}};
    for (int i = 0; i < 5000; ++i) {
        table.rows.append({QString::number(i), i % 11 ? Cell(varied(255, i)) : Cell(),
                           i % 5 ? QString::number(i % 30000 - 15000) : Cell()});
        if (i >= 100 && i < 700)
            table.deletedRows.insert(i);
    }
    return table;
}

// Databases to write and read back, each meant to catch a different way a writer goes wrong.
const QList<std::pair<QString, QList<TableData>>> &dataSets()
{
    static const QList<std::pair<QString, QList<TableData>>> sets{
        {"mixed", mixedTables()},
        {"many rows", {manyRows()}},
        // Stored as UTF-16 surrogate pairs, which mdbtools reads as "?".
        {"beyond U+FFFF", {{"Faces", {{"T", ColumnType::Text}}, {{"a😀b 𝄞"}}}}}};
    return sets;
}

QString sample(const char *name)
{
    return QStringLiteral(FWB_JET_SAMPLES "/") + QLatin1String(name);
}

// mdb-reader is installed into the build tree once, by an npm told not to retry: offline it fails
// at once.
QString cannotRun(const QByteArray &function)
{
    if (function.startsWith("sample") && !QFile::exists(sample("V2000_test.mdb")))
        return QStringLiteral("no Access-made samples in " FWB_JET_SAMPLES);
    if (function != "mdbReaderReadsWhatWasWritten" ||
        QFile::exists(FWB_NODE_MODULES_ROOT "/node_modules/mdb-reader/package.json"))
        return {};
    const Run npm =
        run("npm", {"install", "--no-save", "--prefer-offline", "--no-audit", "--fetch-retries=0",
                    "--fetch-timeout=1000", "--prefix", FWB_NODE_MODULES_ROOT, "mdb-reader"});
    const QString errors = npm.err.split(u'\n').filter("npm error").mid(0, 3).join("; ");
    return npm.exitCode == 0 ? QString() : "npm (installed?) cannot install mdb-reader: " + errors;
}

Query selectA(const QList<Condition> &where = {}, int maxRows = -1)
{
    return Query{"Table1", {"A"}, where, maxRows};
}

// The rows of a select, cells separated by commas, or "failed".
QString shown(const std::optional<Table> &table)
{
    QStringList rows;
    for (const QList<Cell> &row : table ? table->rows : Rows()) {
        QStringList cells;
        for (const Cell &cell : row)
            cells.append(cell.value_or(QStringLiteral("NULL")));
        rows.append(cells.join(u','));
    }
    return table ? rows.join(u' ') : QStringLiteral("failed");
}

} // namespace

// The engine, the writer and the fwb-jet tool, checked against files Access made and other readers.
class TestJet : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_good;
    std::unique_ptr<DataAccess> m_access;
    int m_files = 0;

    QString write(const QString &name, const QList<TableData> &tables)
    {
        const QString path = m_dir.filePath(name + QStringLiteral(".mdb"));
        return writeDatabase(path, tables) ? path : QString();
    }

    // A request on an intact file works: what every failure must leave behind.
    void verifyEngineWorks() { QCOMPARE(shown(m_access->select(m_good, selectA())), "abc a"); }

    QString fileWith(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("file %1").arg(++m_files));
        fwb::test::writeFile(path, bytes);
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Lets the engines started by this test honour stall requests.
        qputenv("FWB_JET_ENGINE_TEST", "1");
        m_good = write("good", {{"Table1", {{"A", ColumnType::Memo}}, {{"abc"}, {"a"}}},
                                {"Long", {{"A", ColumnType::Memo}}, {{QString(300, u'x')}}}});
    }

    void init()
    {
        if (const QString why = cannotRun(QTest::currentTestFunction()); !why.isEmpty())
            QSKIP(qPrintable(why));
        DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE));
        m_access = std::make_unique<DataAccess>();
        m_access->setTimeLimit(5s);
    }

    // Killed while idle, with or without events before the next request: that request is not lost.
    void engineKilled()
    {
        for (const bool events : {false, true}) {
            QVERIFY(m_access->tables(m_good));
            const qint64 engine = m_access->engineProcessId();
            QCOMPARE(::kill(pid_t(engine), SIGKILL), 0);
            const QDeadlineTimer deadline(5s);
            const QString stat = QStringLiteral("/proc/%1/stat").arg(engine);
            while (QFile::exists(stat) && !fwb::test::readFile(stat).contains(") Z "))
                QVERIFY(!deadline.hasExpired());
            if (events)
                QCoreApplication::processEvents();
            verifyEngineWorks();
            QVERIFY(m_access->engineProcessId() != engine);
        }
    }

    void limitsFailOnlyTheirRequest()
    {
        m_access->setAnswerLimit(200);
        QVERIFY(!m_access->select(m_good, all("Long")));
        m_access->setAnswerLimit(400);
        QCOMPARE(m_access->select(m_good, all("Long"))->rows.size(), 1);
        m_access->setTimeLimit(300ms);
        QVERIFY(!m_access->stall(60000));
        // So the caller need not ask again about a file that hangs the engine.
        QVERIFY(!m_access->lastRequestAnswered());
        QCOMPARE(m_access->engineProcessId(), 0);
        verifyEngineWorks();
        QVERIFY(m_access->lastRequestAnswered());
        // An engine caught in a loop ends by its own processor limit, long before the time limit.
        m_access->setTimeLimit(60s);
        QVERIFY(!m_access->stall(30000, true));
        QVERIFY(!m_access->lastRequestAnswered());
    }

    // A request that failed is not sent again until its file changes; this engine notes each start.
    void failedRequestIsNotSentAgain()
    {
        const QString engine = m_dir.filePath(QStringLiteral("dying engine"));
        fwb::test::writeFile(engine, "#!/bin/sh\necho >> \"$0.starts\"\n");
        QVERIFY(QFile::setPermissions(engine, QFile::ReadOwner | QFile::ExeOwner));
        DataAccess::setEnginePath(engine);
        const QString file = m_dir.filePath(QStringLiteral("asked.mdb"));
        fwb::test::writeFile(file, "1");
        for (const QString &asked : {file, file, m_good, file, file})
            QVERIFY(!m_access->tables(asked) && !m_access->lastRequestAnswered());
        fwb::test::writeFile(file, "22");
        QVERIFY(!m_access->tables(file));
        QCOMPARE(fwb::test::readFile(engine + ".starts"), "\n\n\n");
        // Nor is one that the engine answered with a failure: no engine starts for it.
        DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE));
        for (int i = 0; i < 2; ++i) {
            m_access->shutdown();
            QVERIFY(!m_access->tables(file) && m_access->lastRequestAnswered());
        }
        QCOMPARE(m_access->engineProcessId(), 0);
        verifyEngineWorks();
    }

    // A broken engine or a file libmdb never gets to parse fails its request, and the next works.
    void brokenEnginesAndFilesFail()
    {
        // An echo that is no answer, an absurd frame, a death mid-request, no program at all.
        for (const char *program : {"/bin/cat", "/usr/bin/yes", "/bin/true", "/nonexistent"}) {
            DataAccess::setEnginePath(QString::fromLatin1(program));
            QVERIFY2(!m_access->tables(m_good), program);
            QCOMPARE(m_access->engineProcessId(), 0);
        }
        DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE));
        const QString folder = m_dir.filePath(QStringLiteral("folder.mdb"));
        const QString fifo = m_dir.filePath(QStringLiteral("fifo.mdb"));
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(m_access->tables(m_good));
        const qint64 engine = m_access->engineProcessId();
        for (const QString &path : {QString(), m_dir.filePath("missing.mdb"), folder, fifo,
                                    fileWith("[GENERAL]\nGEN_Version=30\n"), fileWith({})}) {
            QVERIFY2(!m_access->tables(path) && !m_access->select(path, selectA()),
                     qPrintable(path));
            QCOMPARE(m_access->engineProcessId(), engine); // without costing the engine
        }
    }

    void damagedMemoChainFails()
    {
        // Two bytes a character: three pieces, each on a long-value page of its own.
        const QString path =
            write("chain", {{"T", {{"A", ColumnType::Memo}}, {{QString(5000, u'日')}}}});
        const QByteArray bytes = fwb::test::readFile(path);
        QList<qsizetype> pages;
        for (qsizetype page = 0; page < bytes.size(); page += kPageSize)
            if (bytes.at(page) == 0x01 && bytes.mid(page + 4, 4) == "LVAL")
                pages.append(page);
        QCOMPARE(pages.size(), 3);
        QCOMPARE(shown(m_access->select(path, all("T"))), QString(5000, u'日'));
        // The pieces were placed last to first; the middle one's pointer to the last is cut or
        // turned back to the first, which would fill the length with wrong text.
        const qsizetype middleRow =
            pages[1] + (qFromLittleEndian<quint16>(bytes.constData() + pages[1] + 14) & 0x1fff);
        for (const quint32 pointer : {0u, quint32(pages[2] / kPageSize) << 8}) {
            QByteArray damaged = bytes;
            qToLittleEndian(pointer, damaged.data() + middleRow);
            QCOMPARE(shown(m_access->select(fileWith(damaged), all("T"))), "failed");
        }
    }

    void readersReadWhatWasWritten_data()
    {
        QTest::addColumn<QList<TableData>>("tables");
        for (const auto &[name, tables] : dataSets())
            QTest::newRow(qPrintable(name)) << tables;
    }

    void readersReadWhatWasWritten()
    {
        QFETCH(QList<TableData>, tables);
        const QString path = write(QTest::currentDataTag(), tables);
        if (qstrcmp(QTest::currentDataTag(), "beyond U+FFFF") != 0)
            QCOMPARE(readWithMdbtools(path), expected(tables, true));
        QCOMPARE(readWithEngine(*m_access, path, false), expected(tables, false));
    }

    void mdbReaderReadsWhatWasWritten()
    {
        const QString root = QStringLiteral(FWB_NODE_MODULES_ROOT);
        // Beside node_modules, so the script's import of mdb-reader resolves there.
        const QString script = root + QStringLiteral("/read_with_mdb_reader.mjs");
        QFile::remove(script);
        QVERIFY(QFile::copy(QStringLiteral(FWB_MDB_READER_SCRIPT), script));
        QStringList files{script};
        QStringList want;
        for (const auto &[name, tables] : dataSets()) {
            files.append(write(name, tables));
            want << expected(tables, false);
        }
        const Run node = run("node", files);
        QVERIFY2(node.exitCode == 0, qPrintable(node.err));
        QStringList read;
        for (const QJsonValue &file : QJsonDocument::fromJson(node.out).array()) {
            for (const QString &name : file[u"tables"].toVariant().toStringList()) {
                const QVariantMap table = file[u"contents"][name].toVariant().toMap();
                Rows rows;
                for (const QVariant &row : table[u"rows"_s].toList()) {
                    rows.append(QList<Cell>());
                    for (const QVariant &cell : row.toList())
                        rows.last().append(cell.isNull() ? Cell() : cell.toString());
                }
                read << exported(name, table[u"columns"_s].toStringList(), rows, false);
            }
        }
        QCOMPARE(read, want);
    }

    // Access switches a compressed text to two bytes a character at a zero byte, and back at the
    // next; the writer never needs the way back, so it is patched in.
    void compressedTextSwitchesBack()
    {
        QByteArray bytes = fwb::test::readFile(
            write("switched", {{"T", {{"A", ColumnType::Text}}, {{"abcdef"}}}}));
        const qsizetype text = bytes.indexOf(QByteArray("\xff\xfe", 2) + "abcdef");
        QVERIFY(text > 0);
        const QString path = fileWith(bytes.replace(text + 2, 6, QByteArray("a\0X\0\0b", 6)));
        QCOMPARE(readWithMdbtools(path), QStringList({"== T", "A", "aXb"}));
        QCOMPARE(readWithEngine(*m_access, path, true), readWithMdbtools(path));
    }

    void sampleMatchesMdbExport()
    {
        for (const char *file : {"V1997_test.mdb", "V2000_test.mdb", "V2003_test.mdb"}) {
            QCOMPARE(m_access->tables(sample(file)).value_or(QStringList()).size(), 4);
            QCOMPARE(readWithEngine(*m_access, sample(file), true), readWithMdbtools(sample(file)));
        }
        QCOMPARE(m_access->tables(sample("V2000_empty.mdb")), QStringList());
    }

    void sampleSelect_data()
    {
        QTest::addColumn<Query>("query");
        QTest::addColumn<QString>("values");
        const auto row = [](const char *name, const QList<Condition> &where, const char *values,
                            int maxRows = -1) {
            QTest::newRow(name) << selectA(where, maxRows) << QString::fromUtf8(values);
        };
        row("names and texts ignoring case", {{"b", "HIJKLMNOP"}}, "abcdefg");
        row("number", {{"D", "+2.22e2"}}, "abcdefg");
        row("negated number", {{"D", "-0.000", true}}, "abcdefg");
        row("not a number", {{"D", "1,5", true}}, "");
        row("yes/no Jet true", {{"I", "-1"}}, "abcdefg");
        row("date as shown", {{"G", "12/12/81 00:00:00"}}, "a");
        row("max rows", {}, "abcdefg", 1);
        row("max rows counts matches", {{"A", "abcdefg", true}}, "a", 1);
        row("unknown condition column", {{"Z", "1"}}, "failed");
        QTest::newRow("unknown table") << all("Items") << "failed";
        QTest::newRow("unknown column") << all("Table1", {"A", "Z"}) << "failed";
        QTest::newRow("names in any case")
            << all("table1", {"i", "B", "a"}) << "1,hijklmnop,abcdefg 0,b,a";
    }

    void sampleSelect()
    {
        QFETCH(Query, query);
        QVERIFY(m_access->tables(sample("V2000_test.mdb")));
        const qint64 engine = m_access->engineProcessId();
        const std::optional<Table> table = m_access->select(sample("V2000_test.mdb"), query);
        QTEST(shown(table), "values");
        QVERIFY(!table || table->columns.size() == 1 ||
                (table->columns == QStringList{"I", "B", "A"}));
        QVERIFY(m_access->lastRequestAnswered()); // a plain failure, not a crash
        QCOMPARE(m_access->engineProcessId(), engine);
    }

    void sampleChangedFileIsReadAgain()
    {
        const QString path = m_dir.filePath(QStringLiteral("changed.mdb"));
        fwb::test::writeFile(path, fwb::test::readFile(sample("V2000_test.mdb")));
        QCOMPARE(shown(m_access->select(path, selectA())), "abcdefg a");
        // Replaced by a file whose rows are stored the other way round.
        fwb::test::writeFile(path + ".new", fwb::test::readFile(sample("V1997_test.mdb")));
        QVERIFY(QFile::remove(path) && QFile::rename(path + ".new", path));
        QCOMPARE(shown(m_access->select(path, selectA())), "a abcdefg");
        QVERIFY(QFile::remove(path));
        QCOMPARE(shown(m_access->select(path, selectA())), "failed");
    }

    // Damage in the first pages, or a cut, never loops the engine. Cuts at pages 704 to 706 leave
    // the catalog's properties on a page the file lacks; one inside the last page is no Jet file.
    void sampleCorruptedCopiesNeverHurtTheCaller()
    {
        const QByteArray files[] = {fwb::test::readFile(sample("V1997_test.mdb")),
                                    fwb::test::readFile(sample("V2000_test.mdb")),
                                    fwb::test::readFile(sample("V2003_test.mdb"))};
        QRandomGenerator random(20240601);
        for (int i = 0; i < 240; ++i) {
            QByteArray file = files[i % 3];
            const int span = int(qMin<qsizetype>(file.size(), 64 * kPageSize));
            const bool cut = i % 6 == 5 && i % 3 != 0;
            for (int n = random.bounded(1, 64); n > 0 && i % 6 < 4; --n)
                file[random.bounded(span)] = char(random.bounded(256));
            if (i % 6 == 4)
                file.truncate(random.bounded(qint64(file.size())));
            if (cut)
                file.truncate(i / 6 % 2 ? (704 + i / 12 % 3) * kPageSize
                                        : file.size() - random.bounded(1, kPageSize));
            const QString path = fileWith(file);
            for (const Query &asked : {all("Table1"), selectA({{"A", "a"}})}) {
                QVERIFY2(!m_access->select(path, asked) || !cut, qPrintable(path));
                QVERIFY2(m_access->lastRequestAnswered(), qPrintable(path));
            }
        }
        verifyEngineWorks();
    }

    void toolRoundTripsPacks()
    {
        const QString pack = m_dir.filePath(QStringLiteral("round trip.mdb"));
        // Texts of 65535 characters are the longest.
        const QByteArray canonical =
            "Form\tName\tText\tType\tIndex\n"_ba +
            "GLOBAL\tLine one\\r\\nLine two\tRad ett§§Rad två§§\t0\t\\N\n" +
            "GLOBAL\tQuote \" and \\\\\tCitat \"\t0\t0\n" +
            "AGENT_frmSETTINGS\ttxtPath\t\t2\t32767\n" + "\\N\t\t\\N\t\\N\t-32768\n" +
            "GLOBAL\ttab\\there\t\\\\N is not NULL\t-2147483648\t\\N\n" +
            "GLOBAL\tnul\0end\t\0a\0\0b\0\t2147483647\t\\N\n"_ba + "GLOBAL\tå\t" +
            QByteArray("å").repeated(65535) + "\t0\t\\N\n";
        QCOMPARE(run(FWB_JET_TOOL, {"pack-build", fileWith(canonical), pack}).err, QString());
        // export prints any table in the same text form, so Items come out as the source.
        for (const QStringList &args : {QStringList{"pack-dump", pack}, {"export", pack, "Items"}})
            QCOMPARE(run(FWB_JET_TOOL, args).out, canonical);
    }
};

FWB_TEST_MAIN(QCoreApplication, TestJet, cannotRun)
#include "tst_jet.moc"
