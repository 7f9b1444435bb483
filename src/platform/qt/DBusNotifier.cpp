#include "platform/qt/DBusNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace fwb {

void DBusNotifier::notify(const QString &title, const QString &text)
{
    const QString service = QStringLiteral("org.freedesktop.Notifications");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/Notifications"),
                                       service, QStringLiteral("Notify"));
    // Application, id to replace, icon, summary, body, actions, hints, timeout (-1: the
    // server's default). The summary is plain text; the body may be read as markup.
    QString body = text.toHtmlEscaped();
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    call << QStringLiteral("FWB Agent") << 0u << QStringLiteral("fwbagent") << title << body
         << QStringList() << QVariantMap() << -1;
    // Never waits: where no service runs (and none can be started) the bus's error answer is
    // dropped, and the answer of a running one (the notification's id) is of no use.
    bus.send(call);
}

} // namespace fwb
