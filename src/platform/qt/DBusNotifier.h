#pragma once

#include "platform/Notifier.h"

#include <QObject>
#include <map>

namespace fwb {

// The freedesktop notification service (org.freedesktop.Notifications) on the session bus.
// Every call is asynchronous: a service that is slow, absent or started on demand by the bus
// never holds the window.
class DBusNotifier final : public QObject, public Notifier
{
    Q_OBJECT
public:
    // Names the program to the service: the desktop entry and the icon of the installed copy.
    static constexpr const char *kDesktopEntry = "fwbagent";

    Handle notify(const Notification &notification, ActionHandler onAction) override;
    void withdraw(Handle handle) override;

private Q_SLOTS:
    void onActionInvoked(uint id, const QString &key);
    void onNotificationClosed(uint id, uint reason);

private:
    struct Shown
    {
        uint id = 0; // the service's, once it has answered
        bool withdrawn = false;
        ActionHandler onAction;
    };
    void send(Handle handle, const Notification &notification, bool withActions);
    void close(uint id);
    Shown *byId(uint id, Handle *handle = nullptr);

    std::map<Handle, Shown> m_shown;
    Handle m_lastHandle = 0;
    bool m_listening = false;
};

} // namespace fwb
