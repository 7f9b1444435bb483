#pragma once

#include "platform/Notifier.h"

namespace fwb {

// The freedesktop notification service (org.freedesktop.Notifications) on the session bus.
class DBusNotifier final : public Notifier
{
public:
    void notify(const QString &title, const QString &text) override;
};

} // namespace fwb
