#include "TestSupport.h"
#include "backup/Launching.h"
#include "platform/linux/DesktopProgramStarter.h"
#include "store/AppPaths.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <optional>

using namespace fwb;

class tst_Launching : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;
    QStringList m_log;

    QString app(const QString &name) const { return m_dir->path() + u'/' + name; }
    void installFwb()
    {
        QVERIFY(QFile::copy(QStringLiteral(FWB_SOURCE_DIR "/app/fwb"), appPaths().FwbExePath));
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<test::ScopedPlatform>();
        ComputeAppPaths(m_dir->path());
        m_log.clear();
        SetMonitorLogSink([this](const QString &text) { m_log.append(text); });
    }
    void cleanup()
    {
        settings() = {};
        SetMonitorLogSink({});
        m_platform.reset();
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

        QCOMPARE(m_log, (QStringList{
                            QStringLiteral("Launching backup set: ") + a,
                            QStringLiteral("The backup set to be launched could not be found: ") +
                                gone + QStringLiteral(". Backup cancelled."),
                            QStringLiteral("Launching backup set: ") + b,
                            QStringLiteral("Launching backup set: ") + a,
                            QStringLiteral("The backup set to be launched could not be found: . "
                                           "Backup cancelled."),
                        }));
        const auto &started = m_platform->programStarter.started;
        QCOMPARE(started.size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(started[i].program, appPaths().FwbExePath);
        QCOMPARE(started[0].arguments, QStringList{a});
        QCOMPARE(started[1].arguments, QStringList{b});
        QCOMPARE(started[2].arguments, QStringList{a});
        // One to two seconds after each of the five paths.
        QVERIFY2(elapsed >= 5000 && elapsed < 10500, qPrintable(QString::number(elapsed)));
    }

    void withoutTheProgram_data()
    {
        QTest::addColumn<int>("openResult");
        QTest::addColumn<bool>("setExists");
        QTest::addColumn<QString>("entry");
        QTest::newRow("opened by the desktop") << int(ProgramStarter::OpenResult::Opened) << true
                                               << QStringLiteral("Launching backup set: {set}");
        QTest::newRow("no application for sets")
            << int(ProgramStarter::OpenResult::NoAssociation) << true
            << QStringLiteral("Main FW Backup program file not found. Backup cancelled.");
        QTest::newRow("opener failed")
            << int(ProgramStarter::OpenResult::Failed) << true
            << QStringLiteral("Main FW Backup program file not found. Backup "
                              "cancelled.");
        QTest::newRow("neither file")
            << int(ProgramStarter::OpenResult::Opened) << false
            << QStringLiteral("Neither backup set nor FW Backup program file could "
                              "be found. Backup cancelled.");
    }
    void withoutTheProgram()
    {
        QFETCH(int, openResult);
        QFETCH(bool, setExists);
        QFETCH(QString, entry);
        const QString set = app(QStringLiteral("s.fwb"));
        if (setExists)
            test::writeFile(set, "x");
        m_platform->programStarter.openResult = ProgramStarter::OpenResult(openResult);
        settings().BackupStartupMode = 0; // started without asking: the desktop hears of it too
        LaunchBackupSets({set});
        QCOMPARE(m_log, QStringList{entry.replace(QStringLiteral("{set}"), set)});
        QCOMPARE(m_platform->notifier.shown,
                 (QList<std::pair<QString, QString>>{{QStringLiteral("FW Backup Agent"), entry}}));
        QVERIFY(m_platform->programStarter.started.isEmpty());
        QCOMPARE(m_platform->programStarter.opened, setExists ? QStringList{set} : QStringList());
    }

    // The program file is there, but the system cannot run it: nothing started, and the log
    // says so after the launching entry.
    void programThatCannotRun_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::newRow("not executable") << false;
        QTest::newRow("a folder") << true;
    }
    void programThatCannotRun()
    {
        QFETCH(bool, folder);
        if (folder)
            QVERIFY(QDir().mkdir(appPaths().FwbExePath));
        else
            test::writeFile(appPaths().FwbExePath, "#!/bin/sh\ntouch \"$0.ran\"\n");
        DesktopProgramStarter realStarter;
        platform().programStarter = &realStarter;
        const QString set = app(QStringLiteral("s.fwb"));
        test::writeFile(set, "x");
        LaunchBackupSets({set});
        QCOMPARE(m_log,
                 (QStringList{QStringLiteral("Launching backup set: ") + set,
                              QStringLiteral("The main FW Backup program could not be "
                                             "started: ") +
                                  appPaths().FwbExePath + QStringLiteral(". Backup cancelled.")}));
        QVERIFY(!QFile::exists(appPaths().FwbExePath + QStringLiteral(".ran")));
    }

    // The real example program, started the real way: each hostile name arrives whole, as one
    // argument, and nothing in it is run.
    void hostileNamesReachTheProgramWhole()
    {
        installFwb();
        DesktopProgramStarter realStarter;
        platform().programStarter = &realStarter;
        const QStringList names{QStringLiteral("-rf spaced 'quoted' \"double\".fwb"),
                                QStringLiteral("$(touch pwned); `touch pwned2` & x.fwb"),
                                QStringLiteral("line\nbreak; echo hi.fwb")};
        QStringList paths;
        for (const QString &name : names) {
            paths.append(app(name));
            test::writeFile(paths.last(), "x");
        }
        LaunchBackupSets(paths);
        QTRY_COMPARE(test::readFile(app(QStringLiteral("fwb.log"))).count("started with"), 3);
        const QByteArray log = test::readFile(app(QStringLiteral("fwb.log")));
        for (const QString &path : paths)
            QVERIFY2(log.contains("started with backup set: " + QFile::encodeName(path) + '\n'),
                     log.constData());
        QVERIFY(!QFile::exists(app(QStringLiteral("pwned"))));
        QVERIFY(!QFile::exists(QStringLiteral("pwned")));
        QVERIFY(!QFile::exists(QStringLiteral("pwned2")));
    }

    // The real opener with a private type database and private associations: only an
    // application associated with the backup-set type gets the set, never one associated
    // with what the file's content looks like (here, text).
    void openerAsksForTheSetType_data()
    {
        QTest::addColumn<QString>("associatedType");
        QTest::addColumn<int>("result");
        QTest::newRow("set type") << QStringLiteral("application/x-fwb-backup-set")
                                  << int(ProgramStarter::OpenResult::Opened);
        // Where the set type is not installed, the content makes the set text.
        QTest::newRow("text only, set type not installed")
            << QStringLiteral("text/plain") << int(ProgramStarter::OpenResult::NoAssociation);
    }
    void openerAsksForTheSetType()
    {
        QFETCH(QString, associatedType);
        QFETCH(int, result);
        if (QStandardPaths::findExecutable(QStringLiteral("mimetype")).isEmpty() ||
            QProcess::execute(QStringLiteral("update-mime-database"), {QStringLiteral("-v")}) != 0)
            QSKIP("no shared-mime-info or mimetype tool: the desktop's opener cannot be asked");
        const QString data = app(QStringLiteral("xdg/data"));
        if (associatedType != QLatin1String("text/plain")) {
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
        const QString config = app(QStringLiteral("xdg/config"));
        test::writeFile(config + QStringLiteral("/mimeapps.list"), "[Default Applications]\n" +
                                                                       associatedType.toUtf8() +
                                                                       "=fwb-opener.desktop\n");
        const QByteArrayList names{"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CURRENT_DESKTOP",
                                   "DESKTOP_SESSION", "DISPLAY"};
        QList<std::optional<QByteArray>> saved;
        for (const QByteArray &name : names)
            saved.append(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name))
                                                         : std::nullopt);
        const auto restore = qScopeGuard([&] {
            for (qsizetype i = 0; i < names.size(); ++i)
                saved[i] ? qputenv(names[i], *saved[i]) : qunsetenv(names[i]);
        });
        qputenv("XDG_DATA_HOME", QFile::encodeName(data));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
        qunsetenv("XDG_CURRENT_DESKTOP");
        qunsetenv("DESKTOP_SESSION");
        qputenv("DISPLAY", ":0"); // the desktop's opener asks associations only on a desktop

        const QString set = app(QStringLiteral("Daily set.fwb"));
        test::writeFile(set, "[General]\r\n");
        QCOMPARE(int(DesktopProgramStarter().openBackupSet(set)), result);
        if (result == int(ProgramStarter::OpenResult::Opened))
            QTRY_VERIFY(test::readFile(app(QStringLiteral("fwb.log")))
                            .contains("started with backup set: " + QFile::encodeName(set)));
    }

    // The pause ends with the clock's next second but one, and events run meanwhile.
    void pauseKeepsTheProgramResponsive()
    {
        bool ran = false;
        QTimer::singleShot(0, this, [&] { ran = true; });
        const qint64 start = Clock::instance().currentMSecsSinceEpoch();
        PauseSeconds(1);
        const qint64 elapsed = Clock::instance().currentMSecsSinceEpoch() - start;
        QVERIFY2(elapsed >= 1000 && elapsed <= 2100, qPrintable(QString::number(elapsed)));
        QVERIFY(ran);
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

QTEST_MAIN(tst_Launching)
#include "tst_launching.moc"
