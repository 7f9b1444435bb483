#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <utility>

namespace fwb {

// A desktop notification: a short message outside the Agent's own windows, for events the
// user should see while the main window is hidden.
struct Notification
{
    QString summary;
    QString body; // plain text, lines separated by "\n"
    // (key, caption) of the buttons it offers. A desktop that shows no buttons gets none: what
    // they do must also be reachable otherwise. The key "default" is a click on the message.
    QList<std::pair<QString, QString>> actions;
    // How long it stays, in milliseconds; -1 leaves it to the desktop.
    int expireMs = -1;
};

class Notifier
{
public:
    using ActionHandler = std::function<void(const QString &key)>;
    // What notify() returns: the notification, for withdraw().
    using Handle = quint64;

    virtual ~Notifier() = default;
    // Never waits and never fails visibly; where the desktop shows none, nothing happens.
    // `onAction` gets the key of a button the user pressed, on the GUI thread.
    virtual Handle notify(const Notification &notification, ActionHandler onAction) = 0;
    // Takes the notification off the screen, if it is still there: once what it offered has
    // been decided, it must not go on offering it.
    virtual void withdraw(Handle handle) = 0;
};

// Raises a notification through the installed notifier, if any; 0 when there is none.
Notifier::Handle Notify(const Notification &notification,
                        Notifier::ActionHandler onAction = nullptr);
void Notify(const QString &summary, const QString &body);
void WithdrawNotification(Notifier::Handle handle);

} // namespace fwb
