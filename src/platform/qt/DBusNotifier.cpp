#include "platform/qt/DBusNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace fwb {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

QDBusMessage call(const QString &method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

} // namespace

Notifier::Handle DBusNotifier::notify(const Notification &notification, ActionHandler onAction)
{
    const Handle handle = ++m_lastHandle;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return handle;
    if (!m_listening) {
        // From whichever process owns the name now: a service started on demand, or replaced,
        // has another unique name than the one that was asked before.
        bus.connect(QString(), kPath, kService, QStringLiteral("ActionInvoked"), this,
                    SLOT(onActionInvoked(uint, QString)));
        bus.connect(QString(), kPath, kService, QStringLiteral("NotificationClosed"), this,
                    SLOT(onNotificationClosed(uint, uint)));
        m_listening = true;
    }
    m_shown[handle].onAction = std::move(onAction);
    if (notification.actions.isEmpty()) {
        send(handle, notification, false);
        return handle;
    }
    // A service without buttons would show the captions as text, or nothing at all.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call("GetCapabilities")), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, handle, notification](QDBusPendingCallWatcher *answer) {
                answer->deleteLater();
                const QDBusPendingReply<QStringList> capabilities = *answer;
                send(handle, notification,
                     capabilities.isValid() &&
                         capabilities.value().contains(QStringLiteral("actions")));
            });
    return handle;
}

void DBusNotifier::send(Handle handle, const Notification &notification, bool withActions)
{
    const auto shown = m_shown.find(handle);
    if (shown == m_shown.end())
        return;
    if (shown->second.withdrawn) {
        m_shown.erase(shown);
        return;
    }
    QStringList actions;
    if (withActions) {
        for (const auto &[key, caption] : notification.actions)
            actions << key << caption;
    }
    // The body may be read as markup: file names and labels must show as they are.
    QString body = notification.body.toHtmlEscaped();
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QString::fromLatin1(kDesktopEntry)}};
    QDBusMessage message = call(QStringLiteral("Notify"));
    // Application, id to replace, icon, summary, body, actions, hints, expiry.
    message << QStringLiteral("FWB Agent") << 0u << QString::fromLatin1(kDesktopEntry)
            << notification.summary << body << actions << hints << notification.expireMs;
    auto *watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, handle](QDBusPendingCallWatcher *answer) {
                answer->deleteLater();
                const QDBusPendingReply<uint> id = *answer;
                const auto shown = m_shown.find(handle);
                if (shown == m_shown.end())
                    return;
                // Kept only while something may still come of it.
                if (!id.isValid() || shown->second.withdrawn || !shown->second.onAction) {
                    if (id.isValid() && shown->second.withdrawn)
                        close(id.value());
                    m_shown.erase(shown);
                    return;
                }
                shown->second.id = id.value();
            });
}

void DBusNotifier::withdraw(Handle handle)
{
    const auto shown = m_shown.find(handle);
    if (shown == m_shown.end())
        return;
    if (shown->second.id == 0) {
        // Not answered yet: closed as soon as it is.
        shown->second.withdrawn = true;
        return;
    }
    close(shown->second.id);
    m_shown.erase(shown);
}

void DBusNotifier::close(uint id)
{
    QDBusMessage message = call(QStringLiteral("CloseNotification"));
    message << id;
    QDBusConnection::sessionBus().send(message);
}

DBusNotifier::Shown *DBusNotifier::byId(uint id, Handle *handle)
{
    for (auto &[key, shown] : m_shown) {
        if (shown.id == id && id != 0) {
            if (handle)
                *handle = key;
            return &shown;
        }
    }
    return nullptr;
}

void DBusNotifier::onActionInvoked(uint id, const QString &key)
{
    Shown *shown = byId(id);
    if (!shown || !shown->onAction)
        return;
    // The handler may withdraw this very notification.
    const ActionHandler onAction = shown->onAction;
    onAction(key);
}

void DBusNotifier::onNotificationClosed(uint id, uint)
{
    Handle handle = 0;
    if (byId(id, &handle))
        m_shown.erase(handle);
}

} // namespace fwb
