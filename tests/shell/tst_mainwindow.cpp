#include "TestSupport.h"
#include "notify/Notify.h"
#include "shell/TrayIcon.h"
#include "shell/frmMAIN.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

using namespace fwb;

// The main window: what its log writes to standard error, and the monitoring states it shows.
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

    // Standard error gets one line per entry, stamped with a four-digit year and the seconds
    // (the test runs in en_US), control characters escaped so that a label cannot drive the
    // terminal; the log itself keeps the text as it is.
    void standardErrorEscapesControlCharacters()
    {
        const QString entry = QStringLiteral("New drive found:\r\nLabel: A\x1b[2J\rB\u009B");
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        const test::CapturedStandardError captured;
        m_window->AddLogEntry(entry);
        const QByteArray written = captured.text();
        static const QRegularExpression line(QStringLiteral(
            "^\\d{1,2}/\\d{1,2}/\\d{4} \\d{1,2}:\\d{2}:\\d{2}.?[AP]M: New drive found: Label: "
            "A\\\\x1b\\[2J\\\\x0dB\\\\x9b\n$"));
        QVERIFY2(line.match(QString::fromUtf8(written)).hasMatch(), written.constData());
        QVERIFY(MonitorLogText().contains(entry));
        QVERIFY(m_window->LogText().contains(QStringLiteral("Label: A\\x1b[2J\\x0dB\\x9b\r\n")));
    }

    // Start-up clears the temporary files that killed writers of either settings file left
    // (not a writer's at work), and a first-run flag it cannot save shows in the window's log.
    void startupCleansAndReports()
    {
        const QString app = m_dir->path() + u'/';
        QVERIFY(QDir().mkpath(app + QStringLiteral("settings.ini"))); // no file can go there
        for (const char *name : {"fwbagent.ini.fwbtmp-a", "settings.ini.fwbtmp-b", "x.fwbtmp-c"}) {
            QFile stale(app + QLatin1String(name));
            QVERIFY(stale.open(QIODevice::WriteOnly));
            stale.setFileTime(QDateTime::currentDateTime().addSecs(-120),
                              QFileDevice::FileModificationTime);
        }
        test::writeFile(app + QStringLiteral("fwbagent.ini.fwbtmp-d"), "x");
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        QVERIFY(m_window->Form_Load());
        QCOMPARE(QDir(app).entryList({QStringLiteral("*fwbtmp*")}),
                 QStringList({"fwbagent.ini.fwbtmp-d", "x.fwbtmp-c"}));
        QVERIFY(m_window->LogText().contains(
            QStringLiteral("Could not save the setting: FirstRunOfGeneration5=0")));
    }

    // What each monitoring state shows, and which tray icon stands for the window minimized.
    void monitoringStates_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("icons"); // shown of the active and the inactive one
        QTest::newRow("active") << "active"
                                << "is active and monitoring the system"
                                << "10";
        QTest::newRow("failed") << "failed"
                                << "is unable to monitor the system"
                                << "01";
        QTest::newRow("deactivated") << "deactivated"
                                     << "is deactive and not monitoring the system"
                                     << "01";
    }
    void monitoringStates()
    {
        QFETCH(QString, state);
        QFETCH(QString, status);
        settings().MinimizeMode = 1;
        m_platform->driveArrivals.startSucceeds = state != QLatin1String("failed");
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        m_window->show();
        m_window->ActivateMonitoring();
        if (state == QLatin1String("deactivated"))
            child<QPushButton>("CB_ToggleOnOff")->click();
        const QString toggle =
            state == QLatin1String("active") ? "Deactivate agent" : "Activate agent";
        QCOMPARE(child<QLabel>("LB_Status")->text(),
                 "FW Backup Agent " + status + " for new drives...");
        QCOMPARE(child<QPushButton>("CB_ToggleOnOff")->text(), u'&' + toggle);
        QCOMPARE(child<QAction>("CM_SysTray_ToggleActive")->text(), toggle);
        m_window->setWindowState(Qt::WindowMinimized);
        QTEST(QString::asprintf("%d%d", child<TrayIcon>("ST_Active")->intray(),
                                child<TrayIcon>("ST_Deactive")->intray()),
              "icons");
        QVERIFY(!m_window->isVisible());
    }
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
