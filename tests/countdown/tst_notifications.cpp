// Desktop notifications through the real notification client, received by a stand-in for the
// desktop's notification service on a private session bus (run under dbus-run-session).
#include "TestSupport.h"
#include "backup/AgentWindow.h"
#include "backup/DecisionState.h"
#include "backup/Launching.h"
#include "countdown/ConfirmTriggeredBackups.h"
#include "countdown/frmBALLOON.h"
#include "platform/qt/DBusNotifier.h"
#include "store/AppPaths.h"
#include "store/Settings.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QVariantMap>

using namespace fwb;
using namespace Qt::StringLiterals;

// Owns the service name on a connection of its own, records every call, and presses a button
// of each notification as a user would.
class FakeNotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList capabilities;
    QString pressKey; // the button pressed as each notification arrives; none when empty
    // "icon | summary | body | actions | desktop-entry | expiry", one a notification
    QStringList received;
    QList<uint> closed;

public Q_SLOTS:
    QStringList GetCapabilities()
    {
        received.append(u"GetCapabilities"_s);
        return capabilities;
    }
    uint Notify(const QString &, uint, const QString &icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints,
                int expiry)
    {
        received.append(QStringList{icon, summary, body, actions.join(u','),
                                    hints.value(u"desktop-entry"_s).toString(),
                                    QString::number(expiry)}
                            .join(u" | "_s));
        const uint id = uint(received.size());
        if (!pressKey.isEmpty())
            QTimer::singleShot(0, this, [this, id] {
                QDBusMessage signal = QDBusMessage::createSignal(
                    u"/org/freedesktop/Notifications"_s, u"org.freedesktop.Notifications"_s,
                    u"ActionInvoked"_s);
                QDBusConnection(u"fake-service"_s).send(signal << id << pressKey);
            });
        return id;
    }
    void CloseNotification(uint id) { closed.append(id); }
};

class tst_Notifications : public QObject
{
    Q_OBJECT

    FakeNotificationService m_service;
    QTemporaryDir m_dir;
    test::ScopedPlatform m_platform;
    DBusNotifier m_notifier;
    QString m_set;

    // Everything sent before it has arrived once this marker has: one connection keeps order.
    QStringList receivedUpToMarker()
    {
        Notify(u"marker"_s, QString());
        if (!QTest::qWaitFor([&] { return !m_service.received.filter(u"| marker |").isEmpty(); }))
            return {u"marker never arrived"_s};
        QStringList before = std::exchange(m_service.received, {});
        before.removeIf([](const QString &call) { return call.contains(u"| marker |"); });
        return before;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QDBusConnection own =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-service"_s);
        QVERIFY(own.registerObject(u"/org/freedesktop/Notifications"_s, &m_service,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(own.registerService(u"org.freedesktop.Notifications"_s));
    }
    void init()
    {
        test::resetProgramState(m_dir.path());
        platform().notifier = &m_notifier;
        test::writeFile(appPaths().FwbExePath, "x");
        m_set = m_dir.path() + u"/Daily <b>& set.fwb"_s;
        test::writeFile(m_set, "[General]\r\n");
        m_service.received.clear();
        m_service.closed.clear();
    }

    // Notified when the user is not asked in sight: which drive, which sets, how long to
    // decide; the body reaches the service as markup, and buttons only a service that shows
    // them (the confirmation's here). A pressed button does what the dialog's does. How the
    // desktop's own service shows it is the desktop test's.
    void shownWhenNobodyIsAsked_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("inSight");
        QTest::addColumn<QString>("press");
        QTest::addColumn<QString>("expected");
        // A dialog in sight asks the service nothing.
        const QString sets = "GetCapabilities\n"
                             "fwbagent | FW Backup Agent - %1 | New drive found: B&lt;1&gt;\n"
                             "Backup sets: Daily &lt;b&gt;&amp; set.fwb%2 | %3 | fwbagent | 10000";
        QTest::newRow("automatic")
            << 0 << true << QString()
            << "fwbagent | FW Backup Agent | Launching backup set: " + m_dir.path() +
                   "/Daily &lt;b&gt;&amp; set.fwb |  | fwbagent | -1";
        QTest::newRow("count-down, hidden, Cancel pressed")
            << 1 << false << u"cancel"_s
            << sets.arg("Count Down", "\nSeconds until the checked backups start: 60",
                        "default,Show,start,Start now,cancel,Cancel");
        QTest::newRow("confirmation, hidden, no buttons")
            << 2 << false << QString() << sets.arg("Confirm Start-up", "", "");
        QTest::newRow("count-down, in sight") << 1 << true << QString() << QString();
    }
    void shownWhenNobodyIsAsked()
    {
        QFETCH(int, mode);
        QFETCH(bool, inSight);
        QFETCH(QString, press);
        settings().BackupStartupMode = BackupStartup(mode);
        m_service.capabilities = mode == 2 ? QStringList{"body"} : QStringList{"body", "actions"};
        m_service.pressKey = press;
        struct MainWindow final : AgentWindow
        {
            bool inSight = false;
            bool InSight() const override { return inSight; }
        } mainWindow;
        mainWindow.inSight = inSight;
        InstallAgentWindow(&mainWindow);
        const auto uninstall = qScopeGuard([] { InstallAgentWindow(nullptr); });
        // Cancelled once the notification has come, or at once when none comes; where a button
        // is pressed, only should the press not arrive, and then in another way.
        QTimer::singleShot(0, this, [this, inSight, press] {
            static_cast<void>(QTest::qWaitFor([&] {
                return !frmBALLOON::openDialog() ||
                       (press.isEmpty() &&
                        (inSight || !m_service.received.filter(u" | ").isEmpty()));
            }));
            if (frmBALLOON *dialog = frmBALLOON::openDialog())
                press.isEmpty() ? dialog->CB_Cancel_Click()
                                : dialog->CM_More_CancelAndShowAgent_Click();
        });
        if (mode == 0)
            LaunchBackupSets({m_set});
        else
            ConfirmTriggeredBackups({m_set, m_set}, u"B<1>"_s);
        QTEST(receivedUpToMarker().join(u'\n'), "expected");
        // The choice it offered has been made: it is taken off the screen, once the service has
        // told its number, which may come after the dialog has closed.
        QTRY_COMPARE(m_service.closed.size(), mode == 0 || inSight ? 0 : 1);
        if (mode != 0)
            QCOMPARE(int(decision().BalloonResult), int(BalloonOutcome::Cancel));
    }
};

FWB_TEST_MAIN(QApplication, tst_Notifications, [](const QByteArray &) {
    return QDBusConnection::sessionBus().isConnected() ? QString() : "no private session bus";
})
#include "tst_notifications.moc"
