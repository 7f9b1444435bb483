#pragma once

#include "platform/Notifier.h"

#include <QList>

namespace fwb {

// Records the notifications raised; those not withdrawn are still on the screen.
class FakeNotifier final : public Notifier
{
public:
    struct Shown
    {
        Notification notification;
        ActionHandler onAction;
        bool withdrawn = false;
    };

    Handle notify(const Notification &notification, ActionHandler onAction) override
    {
        shown.append({notification, std::move(onAction), false});
        return Handle(shown.size());
    }
    void withdraw(Handle handle) override { shown[qsizetype(handle) - 1].withdrawn = true; }

    QList<Shown> shown;
};

} // namespace fwb
