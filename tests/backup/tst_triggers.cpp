#include "TestSupport.h"
#include "backup/Triggers.h"
#include "jet/DataAccess.h"
#include "jet/writer/JetWriter.h"
#include "store/Settings.h"

#include <QFile>
#include <QTest>
#include <sys/stat.h>

using namespace fwb;

namespace {

const QChar kField(2);
const QChar kTrigger(1);

QString triggerList(const QList<QStringList> &triggers)
{
    QStringList pieces;
    for (const QStringList &fields : triggers)
        pieces.append(fields.join(kField));
    return pieces.join(kTrigger);
}

QByteArray iniSet(const QByteArray &general, const QByteArray &settingsSection)
{
    return "[General]\r\n" + general + "\r\n[Settings]\r\n" + settingsSection + "\r\n";
}

// A database set: table "1" whose first row holds the trigger list in column "16".
bool writeDatabaseSet(const QString &path, const QList<jet::Cell> &firstColumn16,
                      const QString &table = QStringLiteral("1"),
                      const QString &column = QStringLiteral("16"))
{
    jet::TableData data{
        table,
        {{QStringLiteral("15"), jet::ColumnType::Text}, {column, jet::ColumnType::Memo}},
        {}};
    for (const jet::Cell &cell : firstColumn16)
        data.rows.append({QStringLiteral("x"), cell});
    return jet::writeDatabase(path, {data});
}

QStringList describe(const QList<TriggerEntry> &entries, const QString &folder)
{
    QStringList out;
    for (const TriggerEntry &e : entries)
        out.append(QString(e.SetFile).remove(folder) + u'|' + e.Extra + u'|' + e.Kind + u'|' +
                   e.Value);
    return out;
}

} // namespace

class tst_Triggers : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;
    QString m_folder;

    QString set(const QString &name) const { return m_folder + name; }
    QStringList scan() const { return describe(FindTriggerEntries(), m_folder); }

private Q_SLOTS:
    void initTestCase() { jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE)); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<test::ScopedPlatform>();
        m_folder = m_dir->path() + QStringLiteral("/Backup sets/");
        QDir().mkpath(m_folder);
        settings() = {};
        settings().BackupSetFolder = m_folder;
    }
    void cleanup() { m_platform.reset(); }

    void generations_data()
    {
        QTest::addColumn<QByteArray>("general");
        QTest::addColumn<QByteArray>("settingsSection");
        QTest::addColumn<bool>("contributes");
        const QByteArray triggers = "OPT_AutoRunTriggerDrives=a\x02"
                                    "1\x02MYDISK";
        QTest::newRow("ini set, version 27") << QByteArray("GEN_Version=27") << triggers << true;
        QTest::newRow("pre-trigger, version 24")
            << QByteArray("GEN_Version=24") << "BackupFromDiR=\r\n" + triggers << false;
        QTest::newRow("BackupFromDiR with version 25 is an ini set")
            << QByteArray("GEN_Version=25") << "BackupFromDiR=C:\\x\r\n" + triggers << true;
        QTest::newRow("BackupFromDiR without version counts as 0")
            << QByteArray() << "BackupFromDiR=C:\\x\r\n" + triggers << false;
        QTest::newRow("version 30 is a database")
            << QByteArray("GEN_Version=30") << triggers << false;
        QTest::newRow("non-numeric version is a database")
            << QByteArray("GEN_Version=new") << triggers << false;
        QTest::newRow("version out of 16 bits")
            << QByteArray("GEN_Version=70000") << triggers << false;
    }
    void generations()
    {
        QFETCH(QByteArray, general);
        QFETCH(QByteArray, settingsSection);
        QFETCH(bool, contributes);
        test::writeFile(set(QStringLiteral("job.fwb")), iniSet(general, settingsSection));
        QCOMPARE(scan(),
                 contributes ? QStringList{QStringLiteral("job.fwb|a|1|MYDISK")} : QStringList());
    }

    void triggerListLayout_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("two triggers")
            << triggerList({{"x", "0", "1A2B-3C4D"}, {"y", "1", "MYDISK"}})
            << QStringList{QStringLiteral("s.fwb|x|0|1A2B-3C4D"),
                           QStringLiteral("s.fwb|y|1|MYDISK")};
        QTest::newRow("piece without field separator skipped")
            << QStringLiteral("a\x02"
                              "1\x02MYDISK\x01junk")
            << QStringList{QStringLiteral("s.fwb|a|1|MYDISK")};
        QTest::newRow("fields after the third ignored")
            << triggerList({{"a", "1", "D", "extra"}})
            << QStringList{QStringLiteral("s.fwb|a|1|D")};
        QTest::newRow("fewer than three fields contributes nothing") << QStringLiteral("a\x02"
                                                                                       "1")
                                                                     << QStringList();
        QTest::newRow("empty fields kept")
            << QStringLiteral("\x02\x02") << QStringList{QStringLiteral("s.fwb|||")};
    }
    void triggerListLayout()
    {
        QFETCH(QString, list);
        QFETCH(QStringList, expected);
        QCOMPARE(describe(SplitTriggerList(m_folder + QStringLiteral("s.fwb"), list), m_folder),
                 expected);
    }

    void databaseSets_data()
    {
        QTest::addColumn<QList<jet::Cell>>("column16");
        QTest::addColumn<QStringList>("expected");
        const QString list = triggerList({{"e", "0", "0A12-F3C4"}, {"f", "1", "Säker §"}});
        QTest::newRow("first row read") << QList<jet::Cell>{list, QStringLiteral("g\x02"
                                                                                 "1\x02IGNORED")}
                                        << QStringList{QStringLiteral("db.fwb|e|0|0A12-F3C4"),
                                                       QStringLiteral("db.fwb|f|1|Säker §")};
        QTest::newRow("null value") << QList<jet::Cell>{std::nullopt} << QStringList();
        QTest::newRow("long list in a memo")
            << QList<jet::Cell>{QString(5000, u'z') + QStringLiteral("\x01k\x02"
                                                                     "1\x02LONG")}
            << QStringList{QStringLiteral("db.fwb|k|1|LONG")};
    }
    void databaseSets()
    {
        QFETCH(QList<jet::Cell>, column16);
        QFETCH(QStringList, expected);
        QVERIFY(writeDatabaseSet(set(QStringLiteral("db.fwb")), column16));
        QCOMPARE(scan(), expected);
    }

    // Every kind of bad file contributes nothing; the good ones around it still count.
    void badFilesContributeNothing()
    {
        const QByteArray good = iniSet("GEN_Version=27", "OPT_AutoRunTriggerDrives=a\x02"
                                                         "1\x02GOOD");
        test::writeFile(set(QStringLiteral("a good.fwb")), good);
        test::writeFile(set(QStringLiteral("z good.FWB")), good);
        QVERIFY(::mkfifo(QFile::encodeName(set(QStringLiteral("fifo.fwb"))).constData(), 0600) ==
                0);
        QVERIFY(QDir().mkpath(set(QStringLiteral("folder.fwb"))));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), set(QStringLiteral("zero.fwb"))));
        QVERIFY(QFile::link(set(QStringLiteral("missing")), set(QStringLiteral("dangling.fwb"))));
        test::writeFile(set(QStringLiteral(".hidden.fwb")), good);
        test::writeFile(set(QStringLiteral("garbage.fwb")), QByteArray(70000, '\xA5'));
        test::writeFile(set(QStringLiteral("empty.fwb")), QByteArray());
        QFile huge(set(QStringLiteral("huge.fwb")));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(64) << 20));
        huge.close();
        QVERIFY(writeDatabaseSet(set(QStringLiteral("no table.fwb")),
                                 {QStringLiteral("a\x02"
                                                 "1\x02X")},
                                 QStringLiteral("2")));
        QVERIFY(writeDatabaseSet(set(QStringLiteral("no column.fwb")),
                                 {QStringLiteral("a\x02"
                                                 "1\x02X")},
                                 QStringLiteral("1"), QStringLiteral("17")));
        QVERIFY(writeDatabaseSet(set(QStringLiteral("truncated.fwb")), {QStringLiteral("a\x02"
                                                                                       "1\x02X")}));
        QFile truncated(set(QStringLiteral("truncated.fwb")));
        QVERIFY(truncated.resize(5000));
        test::writeFile(set(QStringLiteral("not a set.txt")), good);

        QCOMPARE(scan(), (QStringList{QStringLiteral("a good.fwb|a|1|GOOD"),
                                      QStringLiteral("z good.FWB|a|1|GOOD")}));
    }

    void matching_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<bool>("matches");
        const auto row = [](const char *name, const char *kind, const char *value,
                            const char *label, const char *serial, bool matches) {
            QTest::newRow(name) << QString::fromUtf8(kind) << QString::fromUtf8(value)
                                << QString::fromUtf8(label) << QString::fromUtf8(serial) << matches;
        };
        row("serial", "0", "1A2B-3C4D", "DISK", "1A2B-3C4D", true);
        row("serial under label kind", "1", "1A2B-3C4D", "DISK", "1A2B-3C4D", false);
        row("label", "1", "MYDISK", "MYDISK", "", true);
        row("label is whole", "1", "MY", "MYDISK", "", false);
        row("label is case-sensitive", "1", "mydisk", "MYDISK", "", false);
        row("no label text", "1", "[No label]", "[No label]", "", true);
        row("any drive", "7", "\\trigger\\on\\any\\drive", "", "", true);
        row("non-numeric kind", "x", "MYDISK", "MYDISK", "MYDISK", false);
        row("empty value matches an unreadable serial", "0", "", "A", "", true);
    }
    void matching()
    {
        QFETCH(QString, kind);
        QFETCH(QString, value);
        QFETCH(QString, label);
        QFETCH(QString, serial);
        const TriggerEntry entry{QStringLiteral("s.fwb"), {}, kind, value};
        QTEST(TriggerMatches(entry, label, serial), "matches");
    }
};

QTEST_MAIN(tst_Triggers)
#include "tst_triggers.moc"
