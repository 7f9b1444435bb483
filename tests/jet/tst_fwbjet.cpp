#include "TestSupport.h"
#include "jet/writer/JetWriter.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace fwb;

namespace {

struct ToolRun
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

ToolRun runTool(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral(FWB_JET_TOOL), args);
    ToolRun run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("did not finish");
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QByteArray canonicalSource()
{
    QByteArray source = "Form\tName\tText\tType\tIndex\n"
                        "GLOBAL\tFW Backup Agent\tFW Säkerhetskopiering\t0\t\\N\n"
                        "GLOBAL\tLine one\\r\\nLine two\tRad ett§§Rad två§§\t0\t\\N\n"
                        "GLOBAL\tQuote \" and \\\\ backslash\tCitat \" och \\\\\t0\t0\n"
                        "AGENT_frmMAIN\tcmdClose\t&Stäng\t1\t-1\n"
                        "AGENT_frmSETTINGS\tlblDrive\tドライブ 日本語\t1\t2\n"
                        "AGENT_frmSETTINGS\ttxtPath\t\t2\t32767\n"
                        "\\N\t\t\\N\t\\N\t-32768\n"
                        "GLOBAL\ttab\\there\t\\\\N is not NULL\t-2147483648\t\\N\n"
                        "OTHER\tx\ty\t2147483647\t0\n";
    // A long English sentence as a name, and a text far beyond a page.
    source += "GLOBAL\t" + QByteArray("A long sentence, ").repeated(60) + "\t" +
              QByteArray("Ett långt svar § ").repeated(400) + "\t0\t\\N\n";
    return source;
}

} // namespace

class FwbJetToolTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void helpStatesTheTextRule();
    void wrongArgumentsAreUsageErrors_data();
    void wrongArgumentsAreUsageErrors();
    void packRoundTripsByteForByte_data();
    void packRoundTripsByteForByte();
    void packDumpCanonicalizesLooseSources();
    void malformedSourcesNameTheLine_data();
    void malformedSourcesNameTheLine();
    void unreadableInputsAreReported_data();
    void unreadableInputsAreReported();
    void unwritablePackIsReported();

private:
    QString writeSource(const QByteArray &bytes);

    QTemporaryDir m_dir;
    int m_sources = 0;
};

void FwbJetToolTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

QString FwbJetToolTest::writeSource(const QByteArray &bytes)
{
    const QString path = m_dir.filePath(QStringLiteral("source%1.txt").arg(++m_sources));
    test::writeFile(path, bytes);
    return path;
}

void FwbJetToolTest::helpStatesTheTextRule()
{
    const ToolRun run = runTool({QStringLiteral("--help")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.contains("exactly \\N is NULL"));
    QVERIFY(run.out.contains("pack-build SOURCE PACK"));
}

void FwbJetToolTest::wrongArgumentsAreUsageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("nothing") << QStringList();
    QTest::newRow("unknown command")
        << QStringList{QStringLiteral("pack-make"), QStringLiteral("a")};
    QTest::newRow("export without table")
        << QStringList{QStringLiteral("export"), QStringLiteral("f")};
    QTest::newRow("tables with two files")
        << QStringList{QStringLiteral("tables"), QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("pack-build without pack")
        << QStringList{QStringLiteral("pack-build"), QStringLiteral("source")};
}

void FwbJetToolTest::wrongArgumentsAreUsageErrors()
{
    QFETCH(QStringList, args);
    const ToolRun run = runTool(args);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.startsWith(QStringLiteral("fwb-jet: ")), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void FwbJetToolTest::packRoundTripsByteForByte_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::newRow("mixed") << canonicalSource();
    const QByteArray header = "Form\tName\tText\tType\tIndex\n";
    const auto global = [&](const QByteArray &name, const QByteArray &text) {
        return header + "GLOBAL\t" + name + "\t" + text + "\t0\t\\N\n";
    };
    // Beyond U+FFFF: stored as surrogate pairs, which libmdb's own conversion turns into "?".
    QTest::newRow("emoji") << global("Smile 😀", "a😀b 𝄞");
    QTest::newRow("U+0000") << global(QByteArray("nul\0end", 7), QByteArray("\0a\0\0b\0", 6));
    QTest::newRow("longest one-byte text")
        << global("long", QByteArray("\xc3\xa5").repeated(65535));
    QTest::newRow("longest two-byte text")
        << global("long", QByteArray("\xe6\x97\xa5").repeated(65535));
    QTest::newRow("one- and two-byte characters") << global("Ärlig", "Ärlig 日本 x\xc4\x80y");
}

void FwbJetToolTest::packRoundTripsByteForByte()
{
    QFETCH(QByteArray, source);
    const QString pack = m_dir.filePath(QStringLiteral("round trip.mdb"));
    ToolRun run = runTool({QStringLiteral("pack-build"), writeSource(source), pack});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));

    run = runTool({QStringLiteral("pack-dump"), pack});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(run.out, source);

    run = runTool({QStringLiteral("tables"), pack});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(run.out, QByteArray("Items\n"));
    // export prints any table in the same text form, so a pack's Items come out as its source.
    run = runTool({QStringLiteral("export"), pack, QStringLiteral("Items")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(run.out, source);
}

void FwbJetToolTest::packDumpCanonicalizesLooseSources()
{
    const QByteArray loose = "\xef\xbb\xbf"
                             "Form\tName\tText\tType\tIndex\r\n"
                             "GLOBAL\tA\tb\t007\t-0\r\n"
                             "GLOBAL\tC\tD\t1\t2";
    const QByteArray canonical = "Form\tName\tText\tType\tIndex\n"
                                 "GLOBAL\tA\tb\t7\t0\n"
                                 "GLOBAL\tC\tD\t1\t2\n";
    const QString pack = m_dir.filePath(QStringLiteral("loose.mdb"));
    ToolRun run = runTool({QStringLiteral("pack-build"), writeSource(loose), pack});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    run = runTool({QStringLiteral("pack-dump"), pack});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(run.out, canonical);
}

void FwbJetToolTest::malformedSourcesNameTheLine_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("problem");
    const QByteArray header = "Form\tName\tText\tType\tIndex\n";
    const QByteArray good = "GLOBAL\ta\tb\t0\t\\N\n";
    QTest::newRow("empty file") << QByteArray() << QStringLiteral("line 1: the header");
    QTest::newRow("other header") << QByteArray("Form\tName\tText\tKind\tIndex\n")
                                  << QStringLiteral("line 1: the header");
    QTest::newRow("four fields") << header + good + "GLOBAL\ta\tb\t0\n"
                                 << QStringLiteral("line 3: 4 fields");
    QTest::newRow("blank line") << header + "\n" + good << QStringLiteral("line 2: 1 fields");
    QTest::newRow("unknown escape") << header + "GLOBAL\ta\\x\tb\t0\t0\n"
                                    << QStringLiteral("line 2: Name: unknown escape \\x");
    QTest::newRow("backslash at the end") << header + "GLOBAL\ta\tb\\\t0\t0\n"
                                          << QStringLiteral("line 2: Text: a backslash ends");
    QTest::newRow("NULL inside a text") << header + "GLOBAL\ta\\N\tb\t0\t0\n"
                                        << QStringLiteral("line 2: Name: \\N");
    QTest::newRow("word as type") << header + good + good + "GLOBAL\ta\tb\tzero\t0\n"
                                  << QStringLiteral("line 4: Type: \"zero\"");
    QTest::newRow("index too large") << header + "GLOBAL\ta\tb\t0\t40000\n"
                                     << QStringLiteral("line 2: Index: \"40000\"");
    QTest::newRow("signed type") << header + "GLOBAL\ta\tb\t+1\t0\n"
                                 << QStringLiteral("line 2: Type: \"+1\"");
    QTest::newRow("invalid UTF-8") << header + good + "GLOBAL\t\xff\xfe\tb\t0\t0\n"
                                   << QStringLiteral("line 3: not valid UTF-8");
    QTest::newRow("form too long") << header + QByteArray(256, 'F') + "\ta\tb\t0\t0\n"
                                   << QStringLiteral("line 2: Form has 256 characters");
    QTest::newRow("text longer than the engine reads")
        << header + good + "GLOBAL\ta\t" + QByteArray(65536, 'x') + "\t0\t0\n"
        << QStringLiteral("line 3: Text has 65536 characters, a text holds at most 65535");
    QTest::newRow("texts more than an answer holds")
        << header + ("GLOBAL\ta\t" + QByteArray(60000, 'x') + "\t0\t0\n").repeated(400)
        << QStringLiteral("64 MiB that can be read back at once");
    QTest::newRow("binary file") << QByteArray("\x00\x01\x02\x03PK\x03\x04", 10)
                                 << QStringLiteral("line 1:");
}

void FwbJetToolTest::malformedSourcesNameTheLine()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, problem);
    const QString pack = m_dir.filePath(QStringLiteral("never.mdb"));
    const ToolRun run = runTool({QStringLiteral("pack-build"), writeSource(source), pack});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(problem), qPrintable(run.err));
    QVERIFY(!QFile::exists(pack));
}

void FwbJetToolTest::unreadableInputsAreReported_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("problem");
    const QString missing = m_dir.filePath(QStringLiteral("missing file.mdb"));
    const QString fifo = m_dir.filePath(QStringLiteral("x.mdb"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const QString text = writeSource("just some text\n");
    const QString otherDatabase = m_dir.filePath(QStringLiteral("other.mdb"));
    QVERIFY(jet::writeDatabase(
        otherDatabase,
        {{QStringLiteral("Other"), {{QStringLiteral("A"), jet::ColumnType::Text}}, {}}}));

    QTest::newRow("missing pack") << QStringList{QStringLiteral("pack-dump"), missing}
                                  << QStringLiteral("no such file");
    QTest::newRow("missing source")
        << QStringList{QStringLiteral("pack-build"), missing, m_dir.filePath(QStringLiteral("p"))}
        << QStringLiteral("no such file");
    QTest::newRow("folder") << QStringList{QStringLiteral("tables"), m_dir.path()}
                            << QStringLiteral("is a folder");
    QTest::newRow("fifo") << QStringList{QStringLiteral("export"), fifo, QStringLiteral("Items")}
                          << QStringLiteral("not a regular file");
    QTest::newRow("text file as pack") << QStringList{QStringLiteral("pack-dump"), text}
                                       << QStringLiteral("cannot be read as a Jet database");
    QTest::newRow("pack without Items") << QStringList{QStringLiteral("pack-dump"), otherDatabase}
                                        << QStringLiteral("has no table \"Items\"");
    QTest::newRow("unknown table")
        << QStringList{QStringLiteral("export"), otherDatabase, QStringLiteral("Nope")}
        << QStringLiteral("has no table \"Nope\"");
}

void FwbJetToolTest::unreadableInputsAreReported()
{
    QFETCH(QStringList, args);
    QFETCH(QString, problem);
    const ToolRun run = runTool(args);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(problem), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void FwbJetToolTest::unwritablePackIsReported()
{
    const QString pack = m_dir.filePath(QStringLiteral("no folder/pack.mdb"));
    const ToolRun run = runTool(
        {QStringLiteral("pack-build"), writeSource("Form\tName\tText\tType\tIndex\n"), pack});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(pack), qPrintable(run.err));
}

QTEST_GUILESS_MAIN(FwbJetToolTest)
#include "tst_fwbjet.moc"
