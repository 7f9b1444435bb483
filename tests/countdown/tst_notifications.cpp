// Desktop notifications through the real notification client, received by a stand-in for the
// desktop's notification service on a private session bus (run under dbus-run-session).
#include "TestSupport.h"
#include "backup/AgentWindow.h"
#include "backup/Launching.h"
#include "countdown/ConfirmTriggeredBackups.h"
#include "countdown/frmBALLOON.h"
#include "platform/qt/DBusNotifier.h"
#include "store/AppPaths.h"
#include "store/Settings.h"

#include <QDBusConnection>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QVariantMap>

using namespace fwb;

// Owns the service name on a connection of its own and records every Notify call.
class FakeNotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList received; // "summary | body"

public Q_SLOTS:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        received.append(summary + QStringLiteral(" | ") + body);
        return uint(received.size());
    }
};

class tst_Notifications : public QObject
{
    Q_OBJECT

    FakeNotificationService m_service;
    QTemporaryDir m_dir;
    test::ScopedPlatform m_platform;
    DBusNotifier m_notifier;

    // Everything sent before it has arrived once this marker has: one connection keeps order.
    QStringList receivedUpToMarker()
    {
        Notify(QStringLiteral("marker"), QString());
        const QString marker = QStringLiteral("marker | ");
        if (!QTest::qWaitFor([&] { return m_service.received.contains(marker); }))
            return {QStringLiteral("marker never arrived")};
        QStringList before = m_service.received;
        before.removeAll(marker);
        m_service.received.clear();
        return before;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QDBusConnection own = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                            QStringLiteral("fake-service"));
        QVERIFY(own.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &m_service,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(own.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }
    void init()
    {
        test::resetProgramState(m_dir.path());
        platform().notifier = &m_notifier;
        test::writeFile(appPaths().FwbExePath, "x");
    }

    // Notified when the user is not asked in sight; the body reaches the service as markup.
    void shownWhenNobodyIsAsked_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("inSight");
        QTest::addColumn<QString>("expected"); // the summary; the body is the set's path
        QTest::newRow("automatic") << 0 << true << "FW Backup Agent | Launching backup set: ";
        QTest::newRow("count-down, hidden") << 1 << false << "FW Backup Agent - Count Down | ";
        QTest::newRow("count-down, in sight") << 1 << true << "";
    }
    void shownWhenNobodyIsAsked()
    {
        QFETCH(int, mode);
        QFETCH(bool, inSight);
        QFETCH(QString, expected);
        const QString set = m_dir.path() + QStringLiteral("/Daily <b>&</b> set.fwb");
        test::writeFile(set, "[General]\r\n");
        settings().BackupStartupMode = BackupStartup(mode);
        struct MainWindow final : AgentWindow
        {
            bool inSight = false;
            bool InSight() const override { return inSight; }
        } mainWindow;
        mainWindow.inSight = inSight;
        InstallAgentWindow(&mainWindow);
        const auto uninstall = qScopeGuard([] { InstallAgentWindow(nullptr); });
        // The dialog is cancelled at once: the notification belongs to its start.
        QTimer::singleShot(0, this, [] {
            if (frmBALLOON *dialog = frmBALLOON::openDialog())
                dialog->CB_Cancel_Click();
        });
        if (mode == 0)
            LaunchBackupSets({set});
        else
            ConfirmTriggeredBackups({set});
        QCOMPARE(receivedUpToMarker(),
                 expected.isEmpty() ? QStringList() : QStringList{expected + set.toHtmlEscaped()});
    }
};

FWB_TEST_MAIN(QApplication, tst_Notifications, [](const QByteArray &) {
    return QDBusConnection::sessionBus().isConnected() ? QString() : "no private session bus";
})
#include "tst_notifications.moc"
