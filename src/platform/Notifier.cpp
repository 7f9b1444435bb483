#include "platform/Notifier.h"

#include "platform/Platform.h"

namespace fwb {

Notifier::Handle Notify(const Notification &notification, Notifier::ActionHandler onAction)
{
    if (!platform().notifier)
        return 0;
    return platform().notifier->notify(notification, std::move(onAction));
}

void Notify(const QString &summary, const QString &body)
{
    Notify(Notification{summary, body, {}, -1});
}

void WithdrawNotification(Notifier::Handle handle)
{
    if (platform().notifier && handle)
        platform().notifier->withdraw(handle);
}

} // namespace fwb
