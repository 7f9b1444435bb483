#include "TestSupport.h"
#include "notify/Notify.h"
#include "shell/TrayIcon.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

using namespace fwb;

// The main window: start-up in a program folder, the log, the monitoring states it shows, and
// what minimizing and the buttons do.
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
    QString app(const QString &name) const { return m_dir->filePath(name); }
    bool start()
    {
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        return m_window->Form_Load();
    }
    // The tray icons shown, of the active and the inactive one.
    QString trayIcons() const
    {
        return QStringLiteral("%1%2")
            .arg(child<TrayIcon>("ST_Active")->intray())
            .arg(child<TrayIcon>("ST_Deactive")->intray());
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
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
        QVERIFY(m_platform->boxes.shown.isEmpty());
        QCOMPARE(m_window->LogText().section(QStringLiteral(": "), 1),
                 QStringLiteral("Program start-up. Monitoring the system for new drives matching "
                                "triggers from backup sets in %1\r\n\r\n")
                     .arg(app(QStringLiteral("Backup sets"))));
    }
    void secondInstanceLeavesNoTrace()
    {
        m_platform->instanceGuard.answer = InstanceClaim::OtherInstanceRuns;
        QVERIFY(!start());
        QVERIFY(QDir(m_dir->path()).isEmpty());
        QCOMPARE(m_platform->boxes.shown.size(), 1);
        QCOMPARE(m_platform->boxes.shown[0].title,
                 QStringLiteral("FW Backup Agent - Multiple Instances"));
        QCOMPARE(m_platform->boxes.shown[0].text,
                 QStringLiteral("The Ferrow Backup Agent is already running.\r\nMore than one "
                                "instance of the program is not allowed.\r\n\r\nThis instance of "
                                "FW Backup Agent will shut down."));
        QCOMPARE(m_platform->boxes.shown[0].icon, BoxIcon::Information);
        QVERIFY(!m_window->isVisible());
    }
    void helpFile_data()
    {
        const QString english =
            QStringLiteral("fwb%1%2.chm").arg(FWB_VERSION_MAJOR).arg(FWB_VERSION_MINOR);
        const QString swedish =
            QStringLiteral("fwb%1%2swe.chm").arg(FWB_VERSION_MAJOR).arg(FWB_VERSION_MINOR);
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("swedish") << "Svenska-SWEDISH.lng" << QStringList{english, swedish}
                                 << swedish;
        QTest::newRow("swedish missing") << "Swedish.lng" << QStringList{english} << english;
        QTest::newRow("a plain, visible file")
            << "" << QStringList{".hidden.chm", "a-folder.chm/inside", "b.chm"} << "b.chm";
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
        QCOMPARE(appPaths().HelpFilePath, app(chosen));
    }

    // The store keeps the log, also before a window shows it; newest entries come first.
    void logEntriesNewestFirst()
    {
        AddLogEntry(QStringLiteral("before the window"));
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        m_window->AddLogEntry(QStringLiteral("second\r\nline two"));
        static const QRegularExpression entries(QStringLiteral(
            "^[^\r\n]+: second\r\nline two\r\n\r\n[^\r\n]+: before the window\r\n\r\n$"));
        QVERIFY2(entries.match(m_window->LogText()).hasMatch(), qPrintable(m_window->LogText()));
        QCOMPARE(MonitorLogText(), m_window->LogText());
    }
    // Standard error gets one line per entry, stamped with a four-digit year and the seconds
    // (the test runs in en_US), control characters escaped so that a label cannot drive the
    // terminal; Qt's own messages are marked.
    void standardErrorLines_data()
    {
        QTest::addColumn<QString>("entry"); // empty: a message of Qt's instead
        QTest::addColumn<QString>("line");
        QTest::newRow("escape and carriage return")
            << QStringLiteral("New drive found:\r\nLabel: A\x1b[2J\rB\u009B")
            << "^\\d{1,2}/\\d{1,2}/\\d{4} \\d{1,2}:\\d{2}:\\d{2}.?[AP]M: New drive found: Label: "
               "A\\\\x1b\\[2J\\\\x0dB\\\\x9b\n$";
        QTest::newRow("qt's own message") << ""
                                          << "^qt: from qt\n$";
    }
    void standardErrorLines()
    {
        QFETCH(QString, entry);
        QFETCH(QString, line);
        m_window = std::make_unique<frmMAIN>(m_dir->path());
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
        QVERIFY2(QRegularExpression(line).match(QString::fromUtf8(written)).hasMatch(),
                 written.constData());
        QVERIFY(MonitorLogText().contains(entry)); // as it is
    }

    void stateTable_data()
    {
        QTest::addColumn<bool>("sourceStarts");
        QTest::addColumn<bool>("thenDeactivate");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("toggle");
        QTest::addColumn<QString>("trayIcons");
        QTest::newRow("active") << true << false << "is active and monitoring the system"
                                << "&Deactivate agent"
                                << "10";
        QTest::newRow("failed") << false << false << "is unable to monitor the system"
                                << "&Activate agent"
                                << "01";
        QTest::newRow("deactivated") << true << true << "is deactive and not monitoring the system"
                                     << "&Activate agent"
                                     << "01";
    }
    void stateTable()
    {
        QFETCH(bool, sourceStarts);
        QFETCH(bool, thenDeactivate);
        QFETCH(QString, status);
        QFETCH(QString, toggle);
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        m_window->show();
        settings().MinimizeMode = 1;
        m_platform->driveArrivals.startSucceeds = sourceStarts;
        m_window->ActivateMonitoring();
        if (thenDeactivate)
            child<QPushButton>("CB_ToggleOnOff")->click();
        QCOMPARE(child<QLabel>("LB_Status")->text(),
                 "FW Backup Agent " + status + " for new drives...");
        QCOMPARE(child<QPushButton>("CB_ToggleOnOff")->text(), toggle);
        QCOMPARE(child<QAction>("CM_SysTray_ToggleActive")->text(), toggle.mid(1));
        QCOMPARE(trayIcons(), "00");
        m_window->setWindowState(Qt::WindowMinimized);
        QVERIFY(!m_window->isVisible());
        QTEST(trayIcons(), "trayIcons");
    }
    void minimizeModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("trayAvailable");
        QTest::addColumn<bool>("visible");
        QTest::newRow("task bar") << 0 << true << true;
        QTest::newRow("tray, but the desktop has none") << 1 << false << true;
        QTest::newRow("hide") << 2 << true << false;
        QTest::newRow("unknown value") << 9 << true << true;
    }
    void minimizeModes()
    {
        QFETCH(int, mode);
        QFETCH(bool, trayAvailable);
        TrayIcon::overrideAvailability(trayAvailable);
        settings().MinimizeMode = std::uint8_t(mode);
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        m_window->show();
        m_window->ActivateMonitoring();
        m_window->setWindowState(Qt::WindowMinimized);
        QTEST(m_window->isVisible(), "visible");
        QCOMPARE(trayIcons(), "00");
    }
    void runFerrowBackup()
    {
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        child<QPushButton>("CB_LaunchFWB")->click();
        QVERIFY(m_platform->programStarter.started.isEmpty());
        QVERIFY(m_window->LogText().contains(QStringLiteral(
            ": Main FW Backup program file not found. Program start-up cancelled.\r\n\r\n")));
        test::writeFile(appPaths().FwbExePath, "#!/bin/sh\n");
        child<QAction>("CM_SysTray_RunFWB")->trigger();
        QCOMPARE(m_platform->programStarter.started.size(), 1);
        QCOMPARE(m_platform->programStarter.started[0].program, appPaths().FwbExePath);
        QCOMPARE(m_platform->programStarter.started[0].arguments, QStringList());
    }
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
