#include "TestSupport.h"
#include "countdown/DecisionState.h"
#include "notify/Notify.h"
#include "shell/TrayIcon.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

using namespace fwb;

// The main window: start-up in a program folder, the monitoring states it shows, and what
// minimizing, the tray and the buttons do.
class tst_MainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;
    std::unique_ptr<frmMAIN> m_window;

    template <typename T> T *child(const char *name) const
    {
        return m_window->findChild<T *>(QLatin1String(name));
    }
    bool intray(const char *name) const { return child<TrayIcon>(name)->intray(); }
    QString status() const { return child<QLabel>("LB_Status")->text(); }
    void minimize() { m_window->setWindowState(Qt::WindowMinimized); }
    QString app(const QString &name = {}) const { return m_dir->path() + u'/' + name; }
    // A window that skips start-up, for the tests of what it does once running.
    void open()
    {
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        m_window->show();
    }
    // A window started the way the program starts it.
    bool start()
    {
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        return m_window->Form_Load();
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_platform = std::make_unique<test::ScopedPlatform>();
        test::resetProgramState(m_dir->path());
        TrayIcon::overrideAvailability(true);
    }
    void cleanup()
    {
        m_window.reset();
        DeregisterDriveNotify();
        m_platform.reset();
        TrayIcon::overrideAvailability(std::nullopt);
    }

    void firstStartInFreshFolder()
    {
        QVERIFY(start());

        QVERIFY(QFileInfo(app(QStringLiteral("Backup sets"))).isDir());
        QCOMPARE(test::readFile(app(QStringLiteral("settings.ini"))),
                 QByteArray("[Settings]\r\nFirstRunOfGeneration5=0\r\n"));
        QVERIFY(!m_platform->componentHost.commands.isEmpty()); // components were registered
        QVERIFY(m_platform->boxes.shown.isEmpty());

        const QString log = m_window->LogText();
        static const QRegularExpression oneEntry(
            QStringLiteral("^[^\r\n]+: Program start-up\\. Monitoring the system for new drives "
                           "matching triggers from backup sets in (.*)\r\n\r\n$"));
        const auto match = oneEntry.match(log);
        QVERIFY2(match.hasMatch(), qPrintable(log));
        QCOMPARE(match.captured(1), app(QStringLiteral("Backup sets")));
    }
    void secondInstanceLeavesNoTrace()
    {
        m_platform->instanceGuard.answer = InstanceClaim::OtherInstanceRuns;
        QVERIFY(!start());

        QVERIFY(QDir(m_dir->path()).isEmpty());
        QCOMPARE(m_platform->boxes.shown.size(), 1);
        const auto &box = m_platform->boxes.shown.first();
        QCOMPARE(box.title, QStringLiteral("FW Backup Agent - Multiple Instances"));
        QCOMPARE(box.text, QStringLiteral("The Ferrow Backup Agent is already running.\r\n"
                                          "More than one instance of the program is not "
                                          "allowed.\r\n\r\n"
                                          "This instance of FW Backup Agent will shut down."));
        QCOMPARE(box.icon, BoxIcon::Information);
        QVERIFY(!m_window->isVisible());
    }
    // No lock could be made anywhere: the Agent runs, and says so in its log.
    void startsWithoutLock()
    {
        m_platform->instanceGuard.answer = InstanceClaim::Unguarded;
        QVERIFY(start());
        QVERIFY(m_platform->boxes.shown.isEmpty());
        QVERIFY(m_window->isVisible());
        const QString log = m_window->LogText();
        static const QRegularExpression lockEntryFirst(QStringLiteral(
            "^[^\r\n]+: Could not create the lock file that keeps a second copy of FW Backup "
            "Agent from running\\. Starting anyway\\.\r\n\r\n[^\r\n]+: Program start-up"));
        QVERIFY2(lockEntryFirst.match(log).hasMatch(), qPrintable(log));
    }
    void helpFile_data()
    {
        const QString major = QString::number(FWB_VERSION_MAJOR);
        const QString minor = QString::number(FWB_VERSION_MINOR);
        const QString english = QStringLiteral("fwb") + major + minor + QStringLiteral(".chm");
        const QString swedish = QStringLiteral("fwb") + major + minor + QStringLiteral("swe.chm");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("swedish pack, both files")
            << QStringLiteral("Svenska-SWEDISH.lng") << QStringList{english, swedish} << swedish;
        QTest::newRow("swedish pack, english file only")
            << QStringLiteral("Swedish.lng") << QStringList{english} << english;
        QTest::newRow("none") << QString() << QStringList{QStringLiteral("readme.txt")}
                              << QString();
        QTest::newRow("only a plain, visible file")
            << QString()
            << QStringList{QStringLiteral(".hidden.chm"), QStringLiteral("a-folder.chm/inside"),
                           QStringLiteral("b.chm")}
            << QStringLiteral("b.chm");
    }
    void helpFile()
    {
        QFETCH(QString, language);
        QFETCH(QStringList, files);
        QFETCH(QString, chosen);
        for (const QString &file : files)
            test::writeFile(app(file), "help");
        test::writeFile(app(QStringLiteral("settings.ini")),
                        "[Options]\r\nGLO_CurrentLanguage=" + language.toUtf8() + "\r\n");
        QVERIFY(start());
        QCOMPARE(appPaths().HelpFilePath, chosen.isEmpty() ? QString() : app(chosen));
    }
    void startupModes_data()
    {
        QTest::addColumn<QByteArray>("agentIni");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("minimized");
        QTest::newRow("normal") << QByteArray("GLO_AgentStartupMode=0") << true << false;
        QTest::newRow("minimized, tray mode")
            << QByteArray("GLO_AgentStartupMode=1\r\nGLO_MinimizeMode=1") << true << true;
        QTest::newRow("hidden, tray mode")
            << QByteArray("GLO_AgentStartupMode=2\r\nGLO_MinimizeMode=1") << false << true;
        QTest::newRow("unknown mode shows normally")
            << QByteArray("GLO_AgentStartupMode=7") << true << false;
    }
    void startupModes()
    {
        QFETCH(QByteArray, agentIni);
        test::writeFile(app(QStringLiteral("fwbagent.ini")), "[Options]\r\n" + agentIni + "\r\n");
        QVERIFY(start());

        QTEST(m_window->isVisible(), "visible");
        QTEST(m_window->isMinimized(), "minimized");
        // Starting minimized or hidden never puts an icon in the tray.
        QVERIFY(!intray("ST_Active"));
        QVERIFY(!intray("ST_Deactive"));
        // The temporary minimize mode of start-up is not kept.
        QCOMPARE(int(settings().MinimizeMode), 1);
    }
    // The store keeps the log, also before a window shows it; the window shows the same text.
    void logEntriesNewestFirst()
    {
        AddLogEntry(QStringLiteral("before the window"));
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        QVERIFY(m_window->LogText().endsWith(QStringLiteral(": before the window\r\n\r\n")));
        QVERIFY(m_window->Form_Load());
        const QString startup = m_window->LogText();
        m_window->AddLogEntry(QStringLiteral("first"));
        m_window->AddLogEntry(QStringLiteral("second\r\nline two"));
        static const QRegularExpression twoEntries(
            QStringLiteral("^[^\r\n]+: second\r\nline two\r\n\r\n[^\r\n]+: first\r\n\r\n"));
        const QString log = m_window->LogText();
        QVERIFY2(twoEntries.match(log).hasMatch(), qPrintable(log));
        QVERIFY(log.endsWith(startup));
        QCOMPARE(MonitorLogText(), log);
    }
    // Standard error gets one line per entry with control characters escaped, so a label cannot
    // drive the terminal; the log the window shows keeps the text as it is. Qt's own messages
    // are marked.
    void standardErrorLines_data()
    {
        QTest::addColumn<QString>("entry"); // empty: a message of Qt's instead
        QTest::addColumn<QString>("line");
        QTest::newRow("escape and carriage return")
            << QStringLiteral("New drive found:\r\nLabel: A\x1b[2J\rB\u009B")
            << QStringLiteral(": New drive found: Label: A\\x1b[2J\\x0dB\\x9b\n");
        QTest::newRow("qt's own message") << QString() << QStringLiteral("qt: from qt\n");
    }
    void standardErrorLines()
    {
        QFETCH(QString, entry);
        QFETCH(QString, line);
        open();
        const QtMessageHandler testHandler = qInstallMessageHandler(nullptr);
        KeepQtMessagesApart();
        QByteArray written;
        {
            const test::CapturedStandardError captured;
            if (entry.isEmpty())
                qWarning("from qt");
            else
                m_window->AddLogEntry(entry);
            written = captured.text();
        }
        qInstallMessageHandler(testHandler);
        QVERIFY2(written.endsWith(line.toUtf8()), written.constData());
        QCOMPARE(written.count('\n'), 1);
        // Stamped with a four-digit year and the seconds (the test runs in en_US).
        if (!entry.isEmpty()) {
            static const QRegularExpression stamp(
                QStringLiteral("^\\d{1,2}/\\d{1,2}/\\d{4} \\d{1,2}:\\d{2}:\\d{2}.?[AP]M: "));
            QVERIFY2(stamp.match(QString::fromUtf8(written)).hasMatch(), written.constData());
            QVERIFY(MonitorLogText().contains(entry));
        }
    }
    void stateTable_data()
    {
        QTest::addColumn<bool>("sourceStarts");
        QTest::addColumn<bool>("thenDeactivate");
        QTest::addColumn<QString>("statusText");
        QTest::addColumn<QString>("toggleText");
        QTest::addColumn<QString>("menuText");
        QTest::addColumn<QString>("trayIcon");
        QTest::newRow("active") << true << false
                                << QStringLiteral("FW Backup Agent is active and monitoring the "
                                                  "system for new drives...")
                                << QStringLiteral("&Deactivate agent")
                                << QStringLiteral("Deactivate agent")
                                << QStringLiteral("ST_Active");
        QTest::newRow("failed") << false << false
                                << QStringLiteral("FW Backup Agent is unable to monitor the system "
                                                  "for new drives...")
                                << QStringLiteral("&Activate agent")
                                << QStringLiteral("Activate agent")
                                << QStringLiteral("ST_Deactive");
        QTest::newRow("deactivated")
            << true << true
            << QStringLiteral("FW Backup Agent is deactive and not "
                              "monitoring the system for new drives...")
            << QStringLiteral("&Activate agent") << QStringLiteral("Activate agent")
            << QStringLiteral("ST_Deactive");
    }
    void stateTable()
    {
        open();
        QFETCH(bool, sourceStarts);
        QFETCH(bool, thenDeactivate);
        QFETCH(QString, trayIcon);
        settings().MinimizeMode = 1;
        m_platform->driveArrivals.startSucceeds = sourceStarts;
        m_window->ActivateMonitoring();
        if (thenDeactivate)
            m_window->CB_ToggleOnOff_Click();
        QTEST(status(), "statusText");
        QTEST(child<QPushButton>("CB_ToggleOnOff")->text(), "toggleText");
        QTEST(child<QAction>("CM_SysTray_ToggleActive")->text(), "menuText");
        minimize();
        QVERIFY(!m_window->isVisible());
        QVERIFY(intray(qPrintable(trayIcon)));
        QCOMPARE(intray("ST_Active") && intray("ST_Deactive"), false);
    }
    void minimizeModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("trayAvailable");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("anyTrayIcon");
        QTest::newRow("task bar") << 0 << true << true << false;
        QTest::newRow("tray") << 1 << true << false << true;
        QTest::newRow("tray, but the desktop has none") << 1 << false << true << false;
        QTest::newRow("hide") << 2 << true << false << false;
        QTest::newRow("unknown value") << 9 << true << true << false;
    }
    void minimizeModes()
    {
        open();
        QFETCH(int, mode);
        QFETCH(bool, trayAvailable);
        TrayIcon::overrideAvailability(trayAvailable);
        settings().MinimizeMode = std::uint8_t(mode);
        m_window->ActivateMonitoring();
        minimize();
        QTEST(m_window->isVisible(), "visible");
        QTEST(intray("ST_Active") || intray("ST_Deactive"), "anyTrayIcon");
    }
    void quitRefusedWhileDialogOpen()
    {
        open();
        m_window->ActivateMonitoring();
        decision().BalloonOpen = true;
        child<QAction>("CM_SysTray_Quit")->trigger();
        QCOMPARE(m_platform->boxes.shown.size(), 1);
        const auto &box = m_platform->boxes.shown.first();
        QCOMPARE(box.title, QStringLiteral("FW Backup Agent - Can Not Quit"));
        QCOMPARE(box.text, QStringLiteral("Please confirm or cancel backup launch before quitting "
                                          "FW Backup Agent."));
        QCOMPARE(box.icon, BoxIcon::Information);
        QVERIFY(m_window->isVisible());
        QCOMPARE(m_window->MonitoringActive(), 1);
    }
    void runFerrowBackup()
    {
        open();
        m_window->CB_LaunchFWB_Click();
        QVERIFY(m_platform->programStarter.started.isEmpty());
        QVERIFY(m_window->LogText().contains(
            QStringLiteral(": Main FW Backup program file not found. Program start-up "
                           "cancelled.\r\n\r\n")));
        test::writeFile(appPaths().FwbExePath, "#!/bin/sh\n");
        child<QAction>("CM_SysTray_RunFWB")->trigger();
        QCOMPARE(m_platform->programStarter.started.size(), 1);
        QCOMPARE(m_platform->programStarter.started.first().program, appPaths().FwbExePath);
        QCOMPARE(m_platform->programStarter.started.first().arguments, QStringList());
    }
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
