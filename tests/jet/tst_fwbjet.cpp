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
    const bool finished = process.waitForFinished(120000);
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    return {finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), QString::fromUtf8(process.readAllStandardError())};
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
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void packRoundTrips_data();
    void packRoundTrips();
    void malformedSourcesNameTheLine_data();
    void malformedSourcesNameTheLine();
    void failuresAreReported_data();
    void failuresAreReported();

private:
    QString writeSource(const QByteArray &bytes);

    QTemporaryDir m_dir;
    int m_sources = 0;
};

QString FwbJetToolTest::writeSource(const QByteArray &bytes)
{
    const QString path = m_dir.filePath(QStringLiteral("source%1.txt").arg(++m_sources));
    test::writeFile(path, bytes);
    return path;
}

void FwbJetToolTest::packRoundTrips_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("dumped");
    QTest::newRow("mixed") << canonicalSource() << canonicalSource();
    const QByteArray header = "Form\tName\tText\tType\tIndex\n";
    const auto global = [&](const QByteArray &name, const QByteArray &text) {
        const QByteArray source = header + "GLOBAL\t" + name + "\t" + text + "\t0\t\\N\n";
        QTest::newRow(name.left(24).constData()) << source << source;
    };
    // Beyond U+FFFF: stored as surrogate pairs, which libmdb's own conversion turns into "?".
    global("Smile 😀", "a😀b 𝄞");
    global(QByteArray("nul\0end", 7), QByteArray("\0a\0\0b\0", 6));
    global("longest one-byte text", QByteArray("\xc3\xa5").repeated(65535));
    global("longest two-byte text", QByteArray("\xe6\x97\xa5").repeated(65535));
    global("Ärlig", "Ärlig 日本 x\xc4\x80y");
    QTest::newRow("loose source") << QByteArray("\xef\xbb\xbf"
                                                "Form\tName\tText\tType\tIndex\r\n"
                                                "GLOBAL\tA\tb\t007\t-0\r\n"
                                                "GLOBAL\tC\tD\t1\t2")
                                  << header + "GLOBAL\tA\tb\t7\t0\nGLOBAL\tC\tD\t1\t2\n";
}

void FwbJetToolTest::packRoundTrips()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, dumped);
    const QString pack = m_dir.filePath(QStringLiteral("round trip.mdb"));
    ToolRun run = runTool({QStringLiteral("pack-build"), writeSource(source), pack});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    // export prints any table in the same text form, so a pack's Items come out as its source.
    for (const QStringList &args : {QStringList{QStringLiteral("pack-dump"), pack},
                                    {QStringLiteral("export"), pack, "Items"}}) {
        run = runTool(args);
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(run.out, dumped);
    }
}

void FwbJetToolTest::malformedSourcesNameTheLine_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("problem");
    const QByteArray header = "Form\tName\tText\tType\tIndex\n";
    const QByteArray good = "GLOBAL\ta\tb\t0\t\\N\n";
    QTest::newRow("other header") << QByteArray("Form\tName\tText\tKind\tIndex\n")
                                  << "line 1: the header";
    QTest::newRow("four fields") << header + good + "GLOBAL\ta\tb\t0\n"
                                 << "line 3: 4 fields";
    QTest::newRow("unknown escape") << header + "GLOBAL\ta\\x\tb\t0\t0\n"
                                    << "line 2: Name: unknown escape \\x";
    QTest::newRow("backslash at the end") << header + "GLOBAL\ta\tb\\\t0\t0\n"
                                          << "line 2: Text: a backslash ends";
    QTest::newRow("NULL inside a text") << header + "GLOBAL\ta\\N\tb\t0\t0\n"
                                        << "line 2: Name: \\N";
    QTest::newRow("word as type") << header + good + good + "GLOBAL\ta\tb\tzero\t0\n"
                                  << "line 4: Type: \"zero\"";
    QTest::newRow("index too large") << header + "GLOBAL\ta\tb\t0\t40000\n"
                                     << "line 2: Index: \"40000\"";
    QTest::newRow("invalid UTF-8") << header + good + "GLOBAL\t\xff\xfe\tb\t0\t0\n"
                                   << "line 3: not valid UTF-8";
    QTest::newRow("text longer than the engine reads")
        << header + good + "GLOBAL\ta\t" + QByteArray(65536, 'x') + "\t0\t0\n"
        << "line 3: Text has 65536 characters, a text holds at most 65535";
    QTest::newRow("texts more than an answer holds")
        << header + ("GLOBAL\ta\t" + QByteArray(60000, 'x') + "\t0\t0\n").repeated(400)
        << "64 MiB that can be read back at once";
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

void FwbJetToolTest::failuresAreReported_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("problem");
    const QString missing = m_dir.filePath(QStringLiteral("missing file.mdb"));
    const QString fifo = m_dir.filePath(QStringLiteral("x.mdb"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const QString other = m_dir.filePath(QStringLiteral("other.mdb"));
    QVERIFY(jet::writeDatabase(
        other, {{QStringLiteral("Other"), {{QStringLiteral("A"), jet::ColumnType::Text}}, {}}}));
    const auto row = [](const char *name, const QStringList &args, int exitCode,
                        const QString &problem) {
        QTest::newRow(name) << args << exitCode << problem;
    };
    const QString usage = QStringLiteral("fwb-jet: ");
    row("no arguments", {}, 2, usage);
    row("unknown command", {"pack-make", "a"}, 2, usage);
    row("export without table", {"export", "f"}, 2, usage);
    row("tables with two files", {"tables", "a", "b"}, 2, usage);
    row("missing pack", {"pack-dump", missing}, 1, QStringLiteral("no such file"));
    row("missing source", {"pack-build", missing, other + "2"}, 1, QStringLiteral("no such file"));
    row("folder", {"tables", m_dir.path()}, 1, QStringLiteral("is a folder"));
    row("fifo", {"export", fifo, "Items"}, 1, QStringLiteral("not a regular file"));
    row("text file as pack", {"pack-dump", writeSource("just some text\n")}, 1,
        QStringLiteral("cannot be read as a Jet database"));
    row("pack without Items", {"pack-dump", other}, 1, QStringLiteral("has no table \"Items\""));
    const QString unwritable = m_dir.filePath(QStringLiteral("no folder/pack.mdb"));
    row("unwritable pack",
        {"pack-build", writeSource("Form\tName\tText\tType\tIndex\n"), unwritable}, 1, unwritable);
}

void FwbJetToolTest::failuresAreReported()
{
    QFETCH(QStringList, args);
    QFETCH(QString, problem);
    const ToolRun run = runTool(args);
    QTEST(run.exitCode, "exitCode");
    QVERIFY2(run.err.contains(problem), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

QTEST_GUILESS_MAIN(FwbJetToolTest)
#include "tst_fwbjet.moc"
