#include "TestSupport.h"
#include "jet/CellCompare.h"
#include "jet/DataAccess.h"
#include "jet/EngineProtocol.h"
#include "jet/writer/JetWriter.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <csignal>
#include <thread>

using namespace fwb::jet;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(CompareAs)

namespace {

const QString kEngine = QStringLiteral(FWB_JET_ENGINE);
constexpr int kPageSize = 4096;

Query whole(const QString &table)
{
    return Query{table, {}, {}, -1};
}

TableData textTable(const QString &name, const QList<QList<Cell>> &rows)
{
    return {name, {{QStringLiteral("A"), ColumnType::Memo}}, rows};
}

// Waits until the process has exited, without handling events: the request after it must
// notice the death by itself.
bool waitForExit(qint64 pid)
{
    const QDeadlineTimer deadline(5s);
    for (;;) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z "))
            return true;
        if (deadline.hasExpired())
            return false;
        std::this_thread::yield();
    }
}

} // namespace

// The engine behind DataAccess on files the writer makes; the Access-made samples are read in
// tst_jetsamples.
class TestDataAccess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void conditionHolds_data();
    void conditionHolds();
    void garbledMessagesAreRefused_data();
    void garbledMessagesAreRefused();
    void engineKilled_data();
    void engineKilled();
    void hangPastTimeLimit();
    void brokenEngines_data();
    void brokenEngines();
    void oversizedAnswerFails();
    void damagedMemoChainFails_data();
    void damagedMemoChainFails();

private:
    // A request on an intact file works: what every failure must leave behind.
    void verifyEngineWorks();

    QTemporaryDir m_dir;
    QString m_good;
    std::unique_ptr<DataAccess> m_access;
};

void TestDataAccess::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Lets the engines started by this test honour stall requests.
    qputenv("FWB_JET_ENGINE_TEST", "1");
    m_good = m_dir.filePath(QStringLiteral("good.mdb"));
    QVERIFY(writeDatabase(m_good, {textTable(QStringLiteral("T"), {{"abcdefg"}, {"a"}}),
                                   textTable(QStringLiteral("Long"), {{QString(300, u'x')}})}));
}

void TestDataAccess::init()
{
    DataAccess::setEnginePath(kEngine);
    m_access = std::make_unique<DataAccess>();
    m_access->setTimeLimit(2s);
}

void TestDataAccess::verifyEngineWorks()
{
    const std::optional<Table> table = m_access->select(m_good, whole(QStringLiteral("T")));
    QVERIFY(table);
    QCOMPARE(table->rows, QList<QList<Cell>>({{"abcdefg"}, {"a"}}));
}

void TestDataAccess::conditionHolds_data()
{
    QTest::addColumn<Cell>("cell");
    QTest::addColumn<QString>("value");
    QTest::addColumn<CompareAs>("as");
    QTest::addColumn<bool>("holds");
    QTest::addColumn<bool>("negationHolds");

    // Whether the condition holds, its negation does, or neither (NULL, a value that is no
    // number or truth).
    enum Outcome { equal, differ, neither };
    const auto row = [](const char *name, Cell cell, const QString &value, CompareAs as,
                        Outcome outcome) {
        QTest::newRow(name) << cell << value << as << (outcome == equal) << (outcome == differ);
    };
    using enum CompareAs;
    row("text accented case", QStringLiteral("ÉTÉ à Zürich"), QStringLiteral("été À ZÜRICH"), Text,
        equal);
    row("text trailing blank counts", "Cancel", "Cancel ", Text, differ);
    row("text number-like is text", "1.0", "1", Text, differ);
    row("empty text is a value", "", "x", Text, differ);
    row("NULL text", Cell(), "", Text, neither);
    row("NULL number", Cell(), "0", Number, neither);
    row("number trailing zeros", "3.5000", "3.5", Number, equal);
    row("number exponent", "222", "2.22e2", Number, equal);
    row("number negative exponent", "0.035", "35E-3", Number, equal);
    row("number leading zeros and plus", "7", " +007.0 ", Number, equal);
    row("number zero signs", "0", "-0.000", Number, equal);
    row("number sign matters", "-1", "1", Number, differ);
    row("number beyond double precision", "922337203685477.5807", "922337203685477.5808", Number,
        differ);
    for (const char *bad : {"zero", "", ".", "1,5", "1e", "0x10", "inf"})
        row(qPrintable(QStringLiteral("number \"%1\"").arg(bad)), "0", bad, Number, neither);
    row("boolean true word", "1", "True", Boolean, equal);
    row("boolean Jet true", "1", "-1", Boolean, equal);
    row("boolean no", "0", "no", Boolean, equal);
    row("boolean mismatch", "0", "on", Boolean, differ);
    row("boolean not a truth", "1", "maybe", Boolean, neither);
}

void TestDataAccess::conditionHolds()
{
    QFETCH(Cell, cell);
    QFETCH(QString, value);
    QFETCH(CompareAs, as);
    QTEST(fwb::jet::conditionHolds(cell, value, false, as), "holds");
    QTEST(fwb::jet::conditionHolds(cell, value, true, as), "negationHolds");
}

void TestDataAccess::garbledMessagesAreRefused_data()
{
    using namespace protocol;
    QTest::addColumn<bool>("isRequest");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("valid");

    Request request{77, RequestKind::Select, QStringLiteral("/media/a \"b\".fwb"), {}, 0};
    request.query = {QStringLiteral("Items"),
                     {QStringLiteral("Text")},
                     {{QStringLiteral("Name"), QStringLiteral("Zürich\r\n§§"), true}},
                     3};
    Answer answer{9, true, {}, {}};
    answer.table = {{QStringLiteral("Name"), QStringLiteral("Text")},
                    {{Cell(QStringLiteral("OK")), Cell()}, {Cell(QString()), Cell("Été")}}};
    const QByteArray requestBytes = encodeRequest(request);
    const QByteArray answerBytes = encodeAnswer(answer, RequestKind::Select);

    QTest::newRow("whole request") << true << requestBytes << true;
    QTest::newRow("whole answer") << false << answerBytes << true;
    for (qsizetype size = 0; size < requestBytes.size(); ++size)
        QTest::addRow("request cut to %d", int(size)) << true << requestBytes.left(size) << false;
    for (qsizetype size = 0; size < answerBytes.size(); ++size)
        QTest::addRow("answer cut to %d", int(size)) << false << answerBytes.left(size) << false;
    QTest::newRow("trailing byte") << false << answerBytes + 'x' << false;
    QTest::newRow("request tag") << false << QByteArray("Q").append(answerBytes.mid(1)) << false;
    QTest::newRow("done flag 2") << false << QByteArray(answerBytes).replace(5, 1, "\x02") << false;
    // Tag, serial, done, then a count of 0x7fffffff ahead of the real columns or rows.
    QTest::newRow("huge column count")
        << false << QByteArray::fromHex("4100000009017fffffff").append(answerBytes.mid(10))
        << false;
    QTest::newRow("huge row count")
        << false << QByteArray::fromHex("410000000901000000007fffffff") << false;
    QTest::newRow("text longer than payload")
        << false << QByteArray::fromHex("4100000009010000000100ffffff41") << false;
}

void TestDataAccess::garbledMessagesAreRefused()
{
    QFETCH(bool, isRequest);
    QFETCH(QByteArray, payload);
    QFETCH(bool, valid);
    if (isRequest) {
        const std::optional<protocol::Request> request = protocol::decodeRequest(payload);
        QCOMPARE(request.has_value(), valid);
        if (valid)
            QCOMPARE(request->query.where.at(0).value, QStringLiteral("Zürich\r\n§§"));
    } else {
        const auto answer = protocol::decodeAnswer(payload, protocol::RequestKind::Select);
        QCOMPARE(answer.has_value(), valid);
        if (valid)
            QCOMPARE(answer->table.rows.at(1), QList<Cell>({Cell(QString()), Cell("Été")}));
    }
}

void TestDataAccess::engineKilled_data()
{
    QTest::addColumn<bool>("midRequest");
    QTest::addColumn<bool>("eventsRun");
    QTest::newRow("mid-request") << true << false;
    QTest::newRow("while idle") << false << false;
    // The program's event loop runs between requests, so the process object learns of the
    // death before the next request does.
    QTest::newRow("while idle, events run") << false << true;
}

void TestDataAccess::engineKilled()
{
    QFETCH(bool, midRequest);
    QFETCH(bool, eventsRun);
    QVERIFY(m_access->tables(m_good));
    const qint64 engine = m_access->engineProcessId();
    QVERIFY(engine > 0);
    if (midRequest) {
        m_access->setTimeLimit(60s);
        // The delay only lets the stall request reach the engine before it dies.
        std::thread killer([engine] {
            std::this_thread::sleep_for(200ms);
            ::kill(pid_t(engine), SIGKILL);
        });
        const bool answered = m_access->stall(60000);
        killer.join();
        // The death ended the wait: the time limit would have failed the test's time-out.
        QVERIFY(!answered);
        QCOMPARE(m_access->engineProcessId(), 0);
    } else {
        QCOMPARE(::kill(pid_t(engine), SIGKILL), 0);
        QVERIFY(waitForExit(engine));
        if (eventsRun)
            QTest::qWait(100);
    }
    // Not even the first request after the death is lost.
    verifyEngineWorks();
    QVERIFY(m_access->engineProcessId() != engine);
}

void TestDataAccess::hangPastTimeLimit()
{
    QVERIFY(m_access->stall(10));
    m_access->setTimeLimit(300ms);
    QVERIFY(!m_access->stall(60000));
    // So the caller need not ask again about a file that hangs the engine.
    QVERIFY(!m_access->lastRequestAnswered());
    QCOMPARE(m_access->engineProcessId(), 0);

    m_access->setTimeLimit(2s);
    verifyEngineWorks();
    QVERIFY(m_access->lastRequestAnswered());
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
    QFETCH(QString, program);
    DataAccess::setEnginePath(program);
    QVERIFY(!m_access->tables(m_good));
    QCOMPARE(m_access->engineProcessId(), 0);

    DataAccess::setEnginePath(kEngine);
    verifyEngineWorks();
}

void TestDataAccess::oversizedAnswerFails()
{
    m_access->setAnswerLimit(200);
    QVERIFY(!m_access->select(m_good, whole(QStringLiteral("Long"))));
    m_access->setAnswerLimit(400);
    QCOMPARE(m_access->select(m_good, whole(QStringLiteral("Long")))->rows.size(), 1);
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
    // Two bytes a character: three pieces, each on a long-value page of its own.
    const TableData table = textTable(QStringLiteral("1"), {{QString(5000, QChar(0x65e5))}});
    const QString file = m_dir.filePath(QStringLiteral("chain.mdb"));
    QVERIFY(writeDatabase(file, {table}));
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
    const QString damaged = m_dir.filePath(QStringLiteral("damaged chain.mdb"));
    fwb::test::writeFile(damaged, bytes);

    QVERIFY(!m_access->select(damaged, whole(table.name)));
    QCOMPARE(m_access->select(file, whole(table.name))->rows, table.rows);
}

QTEST_GUILESS_MAIN(TestDataAccess)
#include "tst_dataaccess.moc"
