#include "TestSupport.h"
#include "countdown/DecisionState.h"
#include "notify/Notify.h"
#include "shell/TrayIcon.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"
#include "store/Settings.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>

using namespace fwb;

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

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<test::ScopedPlatform>();
        test::resetProgramState(m_dir->path());
        TrayIcon::overrideAvailability(true);
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        m_window->show();
    }
    void cleanup()
    {
        m_window.reset();
        DeregisterDriveNotify();
        m_platform.reset();
        TrayIcon::overrideAvailability(std::nullopt);
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

    void windowIconFollowsState()
    {
        QDir().mkpath(appPaths().IconsFolder);
        QFile::copy(QStringLiteral(FWB_SOURCE_DIR "/app/Icons/active.ico"),
                    appPaths().IconsFolder + QStringLiteral("active.ico"));
        m_window->ActivateMonitoring();
        const qint64 activeIcon = m_window->windowIcon().cacheKey();
        QVERIFY(!m_window->windowIcon().isNull());
        // deactive.ico is missing: the window keeps the icon it has.
        m_window->DeactivateMonitoring();
        QCOMPARE(m_window->windowIcon().cacheKey(), activeIcon);
    }

    void deactivatingFromTrayMenuSwapsTheIcon()
    {
        settings().MinimizeMode = 1;
        m_window->ActivateMonitoring();
        minimize();
        QVERIFY(intray("ST_Active"));
        child<QAction>("CM_SysTray_ToggleActive")->trigger();
        QVERIFY(!intray("ST_Active"));
        QVERIFY(intray("ST_Deactive"));
        child<QAction>("CM_SysTray_ShowMe")->trigger();
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_window->isMinimized());
        QVERIFY(!intray("ST_Active"));
        QVERIFY(!intray("ST_Deactive"));
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
        QFETCH(int, mode);
        QFETCH(bool, trayAvailable);
        TrayIcon::overrideAvailability(trayAvailable);
        settings().MinimizeMode = std::uint8_t(mode);
        m_window->ActivateMonitoring();
        minimize();
        QTEST(m_window->isVisible(), "visible");
        QTEST(intray("ST_Active") || intray("ST_Deactive"), "anyTrayIcon");
    }

    void trayClicks()
    {
        settings().MinimizeMode = 1;
        m_window->ActivateMonitoring();
        minimize();
        auto *icon = child<TrayIcon>("ST_Active");
        Q_EMIT icon->clicked(1);
        QVERIFY(m_window->isVisible());
        minimize();
        Q_EMIT icon->doubleClicked();
        QVERIFY(m_window->isVisible());
    }

    void trayMenuEntries()
    {
        m_window->ActivateMonitoring();
        auto *menu = child<QMenu>("CM_SysTray");
        QStringList texts;
        for (QAction *action : menu->actions())
            texts.append(action->text());
        QCOMPARE(texts,
                 (QStringList{QStringLiteral("Open"), QStringLiteral("Deactivate agent"),
                              QStringLiteral("Start Ferrow Backup"), QStringLiteral("Quit")}));
    }

    void quitRefusedWhileDialogOpen()
    {
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

    void quitEndsMonitoring()
    {
        m_window->ActivateMonitoring();
        m_window->CB_Quit_Click();
        QVERIFY(!m_window->isVisible());
        QCOMPARE(m_window->MonitoringActive(), 0);
        QVERIFY(!m_platform->driveArrivals.isRunning());
    }

    void helpKeyOpensTheHelpFile()
    {
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTest::keyClick(m_window.get(), Qt::Key_F1);
        QVERIFY(m_platform->programStarter.opened.isEmpty());
        appPaths().HelpFilePath = m_dir->path() + QStringLiteral("/fwb50.chm");
        QTest::keyClick(m_window.get(), Qt::Key_F1);
        QCOMPARE(m_platform->programStarter.opened, QStringList{appPaths().HelpFilePath});
    }

    void runFerrowBackup()
    {
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
