#include "TestSupport.h"
#include "backup/Launching.h"
#include "backup/Triggers.h"
#include "jet/DataAccess.h"
#include "jet/writer/JetWriter.h"
#include "platform/linux/DesktopProgramStarter.h"
#include "store/AppPaths.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"

#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>

using namespace fwb;
using OpenResult = ProgramStarter::OpenResult;
Q_DECLARE_METATYPE(OpenResult)

namespace {

const QByteArray kTrigger = "a\x02"
                            "1\x02MYDISK";

// A database set: table `table` whose rows hold `cells` in column `column`.
bool writeDatabaseSet(const QString &path, const QList<jet::Cell> &cells,
                      const QString &table = QStringLiteral("1"),
                      const QString &column = QStringLiteral("16"))
{
    jet::TableData data{
        table, {{"15", jet::ColumnType::Text}, {column, jet::ColumnType::Memo}}, {}};
    for (const jet::Cell &cell : cells)
        data.rows.append({QStringLiteral("x"), cell});
    return jet::writeDatabase(path, {data});
}

} // namespace

class tst_BackupSets : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;
    QStringList m_log;
    DesktopProgramStarter m_realStarter;

    QString app(const QString &name) const { return m_dir->path() + u'/' + name; }
    void installFwb()
    {
        QVERIFY(QFile::copy(QStringLiteral(FWB_SOURCE_DIR "/app/fwb"), appPaths().FwbExePath));
    }

private Q_SLOTS:
    void initTestCase() { jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE)); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<test::ScopedPlatform>();
        ComputeAppPaths(m_dir->path());
        settings() = {};
        settings().BackupSetFolder = m_dir->path() + u'/';
        m_log.clear();
        SetMonitorLogSink([this](const QString &text) { m_log.append(text); });
    }
    void cleanup()
    {
        SetMonitorLogSink({});
        m_platform.reset();
    }

    // Which files of the folder count, by generation and kind, beside every kind of bad file.
    void findTriggerEntries()
    {
        const auto ini = [this](const char *name, const QByteArray &general,
                                const QByteArray &settings = {},
                                const QByteArray &list = kTrigger) {
            test::writeFile(app(QString::fromUtf8(name)),
                            "[General]\r\n" + general + "\r\n[Settings]\r\n" + settings +
                                "\r\nOPT_AutoRunTriggerDrives=" + list);
        };
        ini("24.fwb", "GEN_Version=24");
        ini("24 old.fwb", "GEN_Version=24", "BackupFromDiR=");
        ini("25.FWB", "GEN_Version=25", "BackupFromDiR=C:\\x");
        ini("no version.fwb", "", "BackupFromDiR=C:\\x");
        ini("30.fwb", "GEN_Version=30");
        ini("new.fwb", "GEN_Version=new");
        // Pieces of fewer than three fields are skipped, fields past the third ignored.
        ini("layout.fwb", "GEN_Version=27", "",
            "a\x02"
            "1\x02"
            "D\x02"
            "more\x01junk\x01"
            "b\x02"
            "1\x01\x02\x02");
        ini(".hidden.fwb", "GEN_Version=27");
        ini("not a set.txt", "GEN_Version=27");
        QVERIFY(writeDatabaseSet(app(QStringLiteral("db.fwb")), {QStringLiteral("e\x02"
                                                                                "0\x02Säker"),
                                                                 kTrigger}));
        QVERIFY(writeDatabaseSet(app(QStringLiteral("db null.fwb")), {std::nullopt}));
        QVERIFY(writeDatabaseSet(app(QStringLiteral("no table.fwb")), {kTrigger}, "2"));
        QVERIFY(writeDatabaseSet(app(QStringLiteral("no column.fwb")), {kTrigger}, "1", "17"));
        QVERIFY(writeDatabaseSet(app(QStringLiteral("truncated.fwb")), {kTrigger}));
        QVERIFY(QFile(app(QStringLiteral("truncated.fwb"))).resize(5000));
        QVERIFY(::mkfifo(QFile::encodeName(app(QStringLiteral("fifo.fwb"))).constData(), 0600) ==
                0);
        QVERIFY(QDir().mkpath(app(QStringLiteral("folder.fwb"))));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), app(QStringLiteral("zero.fwb"))));
        QVERIFY(QFile::link(app(QStringLiteral("missing")), app(QStringLiteral("dangling.fwb"))));
        test::writeFile(app(QStringLiteral("garbage.fwb")), QByteArray(70000, '\xA5'));
        test::writeFile(app(QStringLiteral("huge.fwb")), QByteArray());
        QVERIFY(QFile(app(QStringLiteral("huge.fwb"))).resize(qint64(64) << 20));

        QStringList found;
        for (const TriggerEntry &e : FindTriggerEntries())
            found.append(QString(e.SetFile).remove(app({})) + u'|' + e.Extra + u'|' + e.Kind +
                         u'|' + e.Value);
        QCOMPARE(found, (QStringList{"24.fwb|a|1|MYDISK", "25.FWB|a|1|MYDISK", "db.fwb|e|0|Säker",
                                     "layout.fwb|a|1|D", "layout.fwb|||"}));
    }

    void matching()
    {
        struct Case
        {
            const char *kind, *value, *label, *serial;
            bool matches;
        };
        for (const Case &c :
             {Case{"0", "1A2B-3C4D", "D", "1A2B-3C4D", true},
              Case{"1", "1A2B-3C4D", "D", "1A2B-3C4D", false}, Case{"1", "MY", "MYDISK", "", false},
              Case{"1", "mydisk", "MYDISK", "", false},
              Case{"1", "[No label]", "[No label]", "", true},
              Case{"7", "\\trigger\\on\\any\\drive", "", "", true},
              Case{"x", "MYDISK", "MYDISK", "MYDISK", false}, Case{"0", "", "A", "", true}}) {
            const TriggerEntry entry{{}, {}, QString::fromUtf8(c.kind), QString::fromUtf8(c.value)};
            QVERIFY2(TriggerMatches(entry, QString::fromUtf8(c.label), c.serial) == c.matches,
                     c.value);
        }
    }

    void everyPathInOrderWithItsEntry()
    {
        installFwb();
        const QString a = app(QStringLiteral("Daily set.fwb"));
        const QString b = app(QStringLiteral("weekly.fwb"));
        const QString gone = app(QStringLiteral("deleted since.fwb"));
        test::writeFile(a, "x");
        test::writeFile(b, "x");

        const qint64 start = Clock::instance().currentMSecsSinceEpoch();
        LaunchBackupSets({a, gone, b, a, QString()});
        const qint64 elapsed = Clock::instance().currentMSecsSinceEpoch() - start;

        const auto launching = [](const QString &set) {
            return "Launching backup set: " + set;
        };
        const auto missing = [](const QString &set) {
            return "The backup set to be launched could not be found: " + set +
                   ". Backup cancelled.";
        };
        QCOMPARE(m_log, (QStringList{launching(a), missing(gone), launching(b), launching(a),
                                     missing({})}));
        QStringList started;
        for (const auto &[program, arguments] : m_platform->programStarter.started)
            started.append(program + u'|' + arguments.join(u'|'));
        const QString fwb = appPaths().FwbExePath + u'|';
        QCOMPARE(started, (QStringList{fwb + a, fwb + b, fwb + a}));
        // One to two seconds after each of the five paths.
        QVERIFY2(elapsed >= 5000 && elapsed < 10500, qPrintable(QString::number(elapsed)));
    }

    // Without the program the set goes to the desktop's opener.
    void withoutTheProgram_data()
    {
        QTest::addColumn<OpenResult>("openResult");
        QTest::addColumn<QString>("entry");
        QTest::newRow("opened") << OpenResult::Opened
                                << QStringLiteral("Launching backup set: {set}");
        QTest::newRow("no application for sets")
            << OpenResult::NoAssociation
            << QStringLiteral("Main FW Backup program file not found. Backup cancelled.");
    }
    void withoutTheProgram()
    {
        QFETCH(OpenResult, openResult);
        QFETCH(QString, entry);
        const QString set = app(QStringLiteral("s.fwb"));
        test::writeFile(set, "x");
        m_platform->programStarter.openResult = openResult;
        LaunchBackupSets({set, app(QStringLiteral("gone.fwb"))});
        QCOMPARE(m_log, (QStringList{entry.replace(QStringLiteral("{set}"), set),
                                     "Neither backup set nor FW Backup program file could be "
                                     "found. Backup cancelled."}));
        QCOMPARE(m_platform->programStarter.opened, QStringList{set});
    }

    // The file is there, but the system cannot run it: the log says so after the launching entry.
    void programThatCannotRun()
    {
        test::writeFile(appPaths().FwbExePath, "#!/bin/sh\ntouch \"$0.ran\"\n");
        platform().programStarter = &m_realStarter;
        const QString set = app(QStringLiteral("s.fwb"));
        test::writeFile(set, "x");
        LaunchBackupSets({set});
        QCOMPARE(m_log, (QStringList{"Launching backup set: " + set,
                                     "The main FW Backup program could not be started: " +
                                         appPaths().FwbExePath + ". Backup cancelled."}));
        QVERIFY(!QFile::exists(appPaths().FwbExePath + QStringLiteral(".ran")));
    }

    // The real example program, started the real way: each hostile name arrives whole, as one
    // argument, and nothing in it is run.
    void hostileNamesReachTheProgramWhole()
    {
        installFwb();
        platform().programStarter = &m_realStarter;
        QStringList paths;
        for (const char *name :
             {"-rf spaced 'quoted' \"double\".fwb", "$(touch pwned); `touch pwned2` & x.fwb",
              "line\nbreak; echo.fwb"}) {
            paths.append(app(QString::fromUtf8(name)));
            test::writeFile(paths.last(), "x");
        }
        LaunchBackupSets(paths);
        const QString log = app(QStringLiteral("fwb.log"));
        QTRY_COMPARE(test::readFile(log).count("started with"), 3);
        for (const QString &path : paths)
            QVERIFY(test::readFile(log).contains(
                "started with backup set: " + QFile::encodeName(path) + '\n'));
        for (const QString &file :
             {app(QStringLiteral("pwned")), QStringLiteral("pwned"), QStringLiteral("pwned2")})
            QVERIFY(!QFile::exists(file));
    }

    // The real opener with a private type database and private associations: only an
    // application associated with the backup-set type gets the set, never one associated
    // with what the file's content looks like (here, text).
    void openerAsksForTheSetType_data()
    {
        QTest::addColumn<QString>("associatedType");
        QTest::addColumn<OpenResult>("result");
        QTest::newRow("set type") << QStringLiteral("application/x-fwb-backup-set")
                                  << OpenResult::Opened;
        // Where the set type is not installed, the content makes the set text.
        QTest::newRow("text only, set type not installed")
            << QStringLiteral("text/plain") << OpenResult::NoAssociation;
    }
    void openerAsksForTheSetType()
    {
        QFETCH(QString, associatedType);
        QFETCH(OpenResult, result);
        if (QStandardPaths::findExecutable(QStringLiteral("mimetype")).isEmpty() ||
            QProcess::execute(QStringLiteral("update-mime-database"), {QStringLiteral("-v")}) != 0)
            QSKIP("no shared-mime-info or mimetype tool: the desktop's opener cannot be asked");
        const QString data = app(QStringLiteral("xdg/data"));
        if (result == OpenResult::Opened) {
            test::writeFile(
                data + QStringLiteral("/mime/packages/fwb-backup-set.xml"),
                test::readFile(QStringLiteral(FWB_SOURCE_DIR "/app/mime/fwb-backup-set.xml")));
            QCOMPARE(QProcess::execute(QStringLiteral("update-mime-database"),
                                       {data + QStringLiteral("/mime")}),
                     0);
        }
        installFwb();
        test::writeFile(data + QStringLiteral("/applications/fwb-opener.desktop"),
                        "[Desktop Entry]\nType=Application\nName=Opener\nExec=" +
                            QFile::encodeName(appPaths().FwbExePath) + " %f\n");
        test::writeFile(app(QStringLiteral("xdg/config/mimeapps.list")),
                        "[Default Applications]\n" + associatedType.toUtf8() +
                            "=fwb-opener.desktop\n");
        // The desktop's opener asks for associations only on a desktop it does not know.
        const QByteArrayList names{"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CURRENT_DESKTOP",
                                   "DESKTOP_SESSION", "DISPLAY"};
        const auto setAll = [&names](const QByteArrayList &values) {
            for (qsizetype i = 0; i < names.size(); ++i)
                values[i].isNull() ? qunsetenv(names[i]) : qputenv(names[i], values[i]);
        };
        QByteArrayList saved;
        for (const QByteArray &name : names)
            saved.append(qgetenv(name));
        setAll({QFile::encodeName(data),
                QFile::encodeName(app(QStringLiteral("xdg/config"))),
                {},
                {},
                ":0"});
        const auto restore = qScopeGuard([&] { setAll(saved); });

        const QString set = app(QStringLiteral("Daily set.fwb"));
        test::writeFile(set, "[General]\r\n");
        QCOMPARE(DesktopProgramStarter().openBackupSet(set), result);
        if (result == OpenResult::Opened)
            QTRY_VERIFY(test::readFile(app(QStringLiteral("fwb.log")))
                            .contains("started with backup set: " + QFile::encodeName(set)));
    }

    // The real clock's wait runs the event loop until the end is really reached.
    void realClockWaitsWhileRunningEvents()
    {
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        timer.start(10);
        Clock real;
        const qint64 end = real.currentMSecsSinceEpoch() + 100;
        real.runEventsUntil(end);
        QVERIFY(real.currentMSecsSinceEpoch() >= end);
        QVERIFY(ticks >= 3);
    }
};

QTEST_MAIN(tst_BackupSets)
#include "tst_backupsets.moc"
