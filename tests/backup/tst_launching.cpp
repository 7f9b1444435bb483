#include "TestSupport.h"
#include "backup/Launching.h"
#include "platform/linux/DesktopProgramStarter.h"
#include "store/AppPaths.h"
#include "store/MonitorLog.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>

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
        LaunchBackupSets({set});
        QCOMPARE(m_log, QStringList{entry.replace(QStringLiteral("{set}"), set)});
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
