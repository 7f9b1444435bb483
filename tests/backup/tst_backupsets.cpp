#include "TestSupport.h"
#include "backup/Launching.h"
#include "backup/Triggers.h"
#include "jet/DataAccess.h"
#include "jet/writer/JetWriter.h"
#include "monitor/NewDriveFound.h"
#include "platform/linux/DesktopProgramStarter.h"
#include "store/AppPaths.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"

#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <sys/stat.h>

using namespace fwb;
using OpenResult = ProgramStarter::OpenResult;

namespace {

const QByteArray kTrigger = test::triggerList("a,1,MYDISK");

// A database set: table `table` whose rows hold `cells` in column "16".
bool writeDatabaseSet(const QString &path, const QList<jet::Cell> &cells,
                      const QString &table = QStringLiteral("1"))
{
    jet::TableData data{table, {{"15", jet::ColumnType::Text}, {"16", jet::ColumnType::Memo}}, {}};
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

    // Which files of the folder count, by generation and kind, beside files that hold no set.
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
        ini("layout.fwb", "GEN_Version=27", "", test::triggerList("a,1,D,more;junk;b,1;,,"));
        ini("not a set.txt", "GEN_Version=27");
        const QString dbList = QString::fromUtf8(test::triggerList("e,0,Säker"));
        QVERIFY(writeDatabaseSet(app(QStringLiteral("db.fwb")), {dbList, kTrigger}));
        QVERIFY(writeDatabaseSet(app(QStringLiteral("db null.fwb")), {std::nullopt}));
        QVERIFY(writeDatabaseSet(app(QStringLiteral("no table.fwb")), {kTrigger}, "2"));
        QVERIFY(writeDatabaseSet(app(QStringLiteral("truncated.fwb")), {kTrigger}));
        QVERIFY(QFile(app(QStringLiteral("truncated.fwb"))).resize(5000));
        QVERIFY(::mkfifo(QFile::encodeName(app(QStringLiteral("fifo.fwb"))).constData(), 0600) ==
                0);
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), app(QStringLiteral("zero.fwb"))));
        test::writeFile(app(QStringLiteral("huge.fwb")), QByteArray());
        QVERIFY(QFile(app(QStringLiteral("huge.fwb"))).resize(qint64(64) << 20));

        QStringList found;
        for (const TriggerEntry &e : FindTriggerEntries())
            found.append(QString(e.SetFile).remove(app({})) + u'|' + e.Extra + u'|' + e.Kind +
                         u'|' + e.Value);
        QCOMPARE(found, (QStringList{"24.fwb|a|1|MYDISK", "25.FWB|a|1|MYDISK", "db.fwb|e|0|Säker",
                                     "layout.fwb|a|1|D", "layout.fwb|||"}));
        // Each database set that cannot be read says so, in file order; one without rows or
        // with a NULL list merely holds no triggers.
        QStringList unreadable;
        for (const char *name : {"30.fwb", "huge.fwb", "new.fwb", "no table.fwb", "truncated.fwb"})
            unreadable.append("The backup set could not be read: " + app(QLatin1String(name)));
        QCOMPARE(m_log, unreadable);
    }

    // A drive that arrives while the sets are read for another is handled meanwhile, its entries
    // above the first one's: the engines here answer only once that has happened.
    void setsAreReadWhileEventsRun()
    {
        QVERIFY(writeDatabaseSet(app("any.fwb"), {QString::fromUtf8(test::triggerList(
                                                     "x,1,\\trigger\\on\\any\\drive"))}));
        test::writeFile(app(QStringLiteral("damaged.fwb")), "Standard Jet DB, cut short");
        installFwb();
        settings().BackupStartupMode = BackupStartup::Automatic;
        const test::GatedEngine engine(m_dir->path(), QStringLiteral(FWB_JET_ENGINE),
                                       [] { NewDriveFound(QStringLiteral("/media/b/")); });
        NewDriveFound(QStringLiteral("/media/a/"));
        const auto drive = [](const char *root) {
            return "New drive found:\r\nDrive: " + QLatin1String(root) +
                   "\r\nLabel: \r\nSerial number: ";
        };
        const QString damaged = "The backup set could not be read: " + app("damaged.fwb");
        const QString launch = "Launching backup set: " + app("any.fwb");
        QCOMPARE(m_log, (QStringList{drive("/media/a/"), drive("/media/b/"), damaged, launch,
                                     damaged, launch}));
    }

    // What a drive's arrival leaves out: a prefix, an unknown kind, any-drive under any kind.
    void matching()
    {
        // kind, value, label, serial, whether it matches
        for (const char *row : {"1|MY|MYDISK||0", "7|\\trigger\\on\\any\\drive|||1",
                                "x|MYDISK|MYDISK|MYDISK|0", "0||A||1"}) {
            const QStringList f = QString::fromUtf8(row).split(u'|');
            QVERIFY2(TriggerMatches({{}, {}, f[0], f[1]}, f[2], f[3]) == (f[4] == u"1"), row);
        }
    }

    // Without the program a set goes to the desktop's opener; with it, to the program. Each
    // path gets its entry, in order, and a pause of one to two seconds after it.
    void entryForEveryPath()
    {
        const QString set = app(QStringLiteral("Daily set.fwb"));
        const QString gone = app(QStringLiteral("deleted since.fwb"));
        test::writeFile(set, "x");
        m_platform->programStarter.openResult = OpenResult::NoAssociation;
        LaunchBackupSets({set, gone});
        m_platform->programStarter.openResult = OpenResult::Opened;
        LaunchBackupSets({set});
        installFwb();
        const qint64 start = Clock::instance().currentMSecsSinceEpoch();
        LaunchBackupSets({gone, set, QString()});
        const qint64 elapsed = Clock::instance().currentMSecsSinceEpoch() - start;

        const QString launching = QStringLiteral("Launching backup set: ") + set;
        const auto missing = [](const QString &path) {
            return "The backup set to be launched could not be found: " + path +
                   ". Backup cancelled.";
        };
        QCOMPARE(m_log, (QStringList{"Main FW Backup program file not found. Backup cancelled.",
                                     "Neither backup set nor FW Backup program file could be "
                                     "found. Backup cancelled.",
                                     launching, missing(gone), launching, missing({})}));
        QCOMPARE(m_platform->programStarter.opened, QStringList(2, set));
        QCOMPARE(m_platform->programStarter.started.size(), 1);
        QVERIFY2(elapsed >= 3000 && elapsed < 6300, qPrintable(QString::number(elapsed)));
        // A pause that starts on a whole second lasts until the end of the second after it.
        PauseSeconds(0);
        const qint64 onTheSecond = Clock::instance().currentMSecsSinceEpoch();
        PauseSeconds(1);
        QVERIFY(Clock::instance().currentMSecsSinceEpoch() - onTheSecond > 1500);
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
    void openerAsksForTheSetType()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("mimetype")).isEmpty() ||
            QProcess::execute(QStringLiteral("update-mime-database"), {QStringLiteral("-v")}) != 0)
            QSKIP("no shared-mime-info or mimetype tool: the desktop's opener cannot be asked");
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
        const QString data = app(QStringLiteral("xdg/data"));
        setAll({QFile::encodeName(data), QFile::encodeName(app(QStringLiteral("xdg/config"))),
                QByteArray(), QByteArray(), ":0"});
        const auto restore = qScopeGuard([&] { setAll(saved); });
        installFwb();
        test::writeFile(data + QStringLiteral("/applications/fwb-opener.desktop"),
                        "[Desktop Entry]\nType=Application\nName=Opener\nExec=" +
                            QFile::encodeName(appPaths().FwbExePath) + " %f\n");
        const QString set = app(QStringLiteral("Daily set.fwb"));
        test::writeFile(set, "[General]\r\n");
        const auto associate = [this](const QByteArray &type) {
            test::writeFile(app(QStringLiteral("xdg/config/mimeapps.list")),
                            "[Default Applications]\n" + type + "=fwb-opener.desktop\n");
        };
        // Where the set type is not installed, the content makes the set text.
        associate("text/plain");
        QCOMPARE(DesktopProgramStarter().openBackupSet(set), OpenResult::NoAssociation);

        test::writeFile(
            data + QStringLiteral("/mime/packages/fwb-backup-set.xml"),
            test::readFile(QStringLiteral(FWB_SOURCE_DIR "/app/mime/fwb-backup-set.xml")));
        QCOMPARE(QProcess::execute(QStringLiteral("update-mime-database"),
                                   {data + QStringLiteral("/mime")}),
                 0);
        associate("application/x-fwb-backup-set");
        QCOMPARE(DesktopProgramStarter().openBackupSet(set), OpenResult::Opened);
        QTRY_VERIFY(test::readFile(app(QStringLiteral("fwb.log")))
                        .contains("started with backup set: " + QFile::encodeName(set)));
    }
};

FWB_TEST_MAIN(QApplication, tst_BackupSets, fwb::test::runsEverywhere)
#include "tst_backupsets.moc"
