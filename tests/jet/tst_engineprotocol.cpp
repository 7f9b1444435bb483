#include "jet/EngineProtocol.h"

#include <QTest>

using namespace fwb::jet;
using namespace fwb::jet::protocol;

namespace {

Request sampleSelect()
{
    Request request;
    request.serial = 77;
    request.kind = RequestKind::Select;
    request.file = QStringLiteral("/media/usb stick/Backup sets/\"odd\" name.fwb");
    request.query.table = QStringLiteral("Items");
    request.query.columns = {QStringLiteral("Text"), QStringLiteral("Name")};
    request.query.where = {{QStringLiteral("Type"), QStringLiteral("0"), false},
                           {QStringLiteral("Name"), QStringLiteral("Zürich\r\n§§"), true}};
    request.query.maxRows = 3;
    return request;
}

Answer sampleTableAnswer()
{
    Answer answer;
    answer.serial = 9;
    answer.done = true;
    answer.table.columns = {QStringLiteral("Name"), QStringLiteral("Text")};
    answer.table.rows = {{Cell(QStringLiteral("OK")), Cell()},
                         {Cell(QString()), Cell(QStringLiteral("Été"))}};
    return answer;
}

} // namespace

class TestEngineProtocol : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void requestRoundTrip();
    void answerRoundTrip();
    void failedAnswerCarriesNoBody();
    void everyTruncationIsRefused();
    void garbageIsRefused_data();
    void garbageIsRefused();
    void frameHeader();
};

void TestEngineProtocol::requestRoundTrip()
{
    const Request sent = sampleSelect();
    const std::optional<Request> got = decodeRequest(encodeRequest(sent));
    QVERIFY(got);
    QCOMPARE(got->serial, sent.serial);
    QCOMPARE(got->kind, RequestKind::Select);
    QCOMPARE(got->file, sent.file);
    QCOMPARE(got->query.table, sent.query.table);
    QCOMPARE(got->query.columns, sent.query.columns);
    QCOMPARE(got->query.where.size(), 2);
    QCOMPARE(got->query.where.at(1).value, sent.query.where.at(1).value);
    QCOMPARE(got->query.where.at(1).negated, true);
    QCOMPARE(got->query.maxRows, 3);

    Request all = sent;
    all.query.maxRows = -1;
    QCOMPARE(decodeRequest(encodeRequest(all))->query.maxRows, -1);
}

void TestEngineProtocol::answerRoundTrip()
{
    const Answer sent = sampleTableAnswer();
    const std::optional<Answer> got =
        decodeAnswer(encodeAnswer(sent, RequestKind::Select), RequestKind::Select);
    QVERIFY(got);
    QCOMPARE(got->serial, 9u);
    QVERIFY(got->done);
    QCOMPARE(got->table.columns, sent.table.columns);
    QCOMPARE(got->table.rows, sent.table.rows);
    // NULL and the empty text stay apart.
    QVERIFY(!got->table.rows.at(0).at(1).has_value());
    QVERIFY(got->table.rows.at(1).at(0).has_value());

    Answer tables;
    tables.serial = 4;
    tables.done = true;
    tables.tables = {QStringLiteral("1"), QStringLiteral("Items")};
    QCOMPARE(decodeAnswer(encodeAnswer(tables, RequestKind::Tables), RequestKind::Tables)->tables,
             tables.tables);
}

void TestEngineProtocol::failedAnswerCarriesNoBody()
{
    Answer failed = sampleTableAnswer();
    failed.done = false;
    const QByteArray bytes = encodeAnswer(failed, RequestKind::Select);
    QCOMPARE(bytes.size(), 6);
    const std::optional<Answer> got = decodeAnswer(bytes, RequestKind::Select);
    QVERIFY(got);
    QVERIFY(!got->done);
    QVERIFY(got->table.rows.isEmpty());
}

void TestEngineProtocol::everyTruncationIsRefused()
{
    const QByteArray request = encodeRequest(sampleSelect());
    for (qsizetype size = 0; size < request.size(); ++size)
        QVERIFY2(!decodeRequest(request.left(size)), qPrintable(QString::number(size)));
    const QByteArray answer = encodeAnswer(sampleTableAnswer(), RequestKind::Select);
    for (qsizetype size = 0; size < answer.size(); ++size)
        QVERIFY2(!decodeAnswer(answer.left(size), RequestKind::Select),
                 qPrintable(QString::number(size)));
}

void TestEngineProtocol::garbageIsRefused_data()
{
    QTest::addColumn<QByteArray>("payload");

    const QByteArray answer = encodeAnswer(sampleTableAnswer(), RequestKind::Select);
    QTest::newRow("trailing byte") << answer + 'x';
    QTest::newRow("request tag") << QByteArray("Q").append(answer.mid(1));
    QTest::newRow("done flag out of range") << QByteArray(answer).replace(5, 1, "\x02");
    // Tag, serial, done, then a column count of 0x7fffffff ahead of the real columns.
    QTest::newRow("huge column count")
        << QByteArray::fromHex("4100000009017fffffff").append(answer.mid(10));
    QTest::newRow("huge row count") << QByteArray::fromHex("410000000901000000007fffffff");
    QTest::newRow("text longer than payload")
        << QByteArray::fromHex("4100000009010000000100ffffff41");
    QTest::newRow("empty") << QByteArray();
}

void TestEngineProtocol::garbageIsRefused()
{
    QFETCH(QByteArray, payload);
    QVERIFY(!decodeAnswer(payload, RequestKind::Select));
}

void TestEngineProtocol::frameHeader()
{
    const QByteArray framed = frame("abc");
    QCOMPARE(framed, QByteArray::fromHex("00000003") + "abc");
    QCOMPARE(frameLength(framed), std::optional<quint32>(3));
    QCOMPARE(frameLength(QByteArray::fromHex("ffffff")), std::nullopt);
    QCOMPARE(frameLength(QByteArray::fromHex("01020304")), std::optional<quint32>(0x01020304));
}

QTEST_GUILESS_MAIN(TestEngineProtocol)
#include "tst_engineprotocol.moc"
