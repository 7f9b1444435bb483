#pragma once

#include <QString>

namespace fwb {

// Desktop notifications: a short message outside the Agent's own windows, for events the user
// should see while the main window is hidden. Where the desktop shows none, nothing happens.
class Notifier
{
public:
    virtual ~Notifier() = default;
    // Never waits and never fails visibly.
    virtual void notify(const QString &title, const QString &text) = 0;
};

// Raises a notification through the installed notifier, if any.
void Notify(const QString &title, const QString &text);

} // namespace fwb
