#pragma once

#include <QEvent>
#include <QString>

class QWidget;

namespace fwb {

// The arrival of a drive, posted to the main window by the arrival source.
class ShellNotifyEvent : public QEvent
{
public:
    static constexpr QEvent::Type WM_SHELLNOTIFY = QEvent::Type(QEvent::User + 1);
    static constexpr quint32 SHCNE_DRIVEADD = 0x100;

    ShellNotifyEvent(quint32 eventCode, QString itemPath, bool hasItem = true)
        : QEvent(WM_SHELLNOTIFY), eventCode(eventCode), itemPath(std::move(itemPath)),
          hasItem(hasItem)
    {}

    const quint32 eventCode;
    const QString itemPath; // the drive's root path
    const bool hasItem;
};

// The last event a window gets while it is being destroyed.
class NcDestroyEvent : public QEvent
{
public:
    static constexpr QEvent::Type WM_NCDESTROY = QEvent::Type(QEvent::User + 2);
    NcDestroyEvent() : QEvent(WM_NCDESTROY) {}
};

// Subclassing installs the window procedure that handles arrival events; registration starts
// the arrival source that posts them. Activation does both, deactivation undoes both.
bool SubclassWindow(QWidget *window);
bool UnsubclassWindow(QWidget *window);
bool RegisterDriveNotify(QWidget *window);
bool DeregisterDriveNotify();

// Handles one arrival event: the new drive, then the window's flash.
void OnShellNotify(const ShellNotifyEvent &event);
// Whether the window's arrival events are handled now.
bool IsSubclassed(const QWidget *window);

} // namespace fwb
