#include "notify/Notify.h"

#include "backup/AgentWindow.h"
#include "language/Translate.h"
#include "monitor/NewDriveFound.h"
#include "platform/DriveArrivalSource.h"
#include "platform/Platform.h"
#include "program/ProgramState.h"
#include "system/MessageBox.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

namespace fwb {
namespace {

DriveNotify &registration()
{
    return programState().driveNotify;
}

QString handleText(QWidget *window)
{
    return QStringLiteral(" &H") + QString::number(quintptr(window->winId()), 16).toUpper();
}

// The window procedure: arrival events go to OnShellNotify, then on to the window's own
// handling like every other event.
class WindowProc final : public QObject
{
public:
    explicit WindowProc(QWidget *window) : QObject(window), m_window(window) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_window)
            return false;
        if (event->type() == NcDestroyEvent::WM_NCDESTROY) {
            UnsubclassWindow(m_window);
            ShowMessageBox(TranslateText(QStringLiteral("Unexpected unsubclassed")) +
                               handleText(m_window),
                           BoxTitle(QStringLiteral("WindowProc Error")), BoxIcon::Stop);
            return false;
        }
        if (event->type() == ShellNotifyEvent::WM_SHELLNOTIFY)
            OnShellNotify(*static_cast<ShellNotifyEvent *>(event));
        return false;
    }

private:
    QWidget *m_window;
};

} // namespace

bool IsSubclassed(const QWidget *window)
{
    const QObject *filter = registration().ArrivalFilter;
    return filter && filter->parent() == window;
}

bool SubclassWindow(QWidget *window)
{
    if (!registration().ArrivalFilter) {
        auto *proc = new WindowProc(window);
        window->installEventFilter(proc);
        registration().ArrivalFilter = proc;
        return true;
    }
    ShowMessageBox(TranslateText(QStringLiteral("Unable to successfully subclass")) +
                       handleText(window),
                   BoxTitle(QStringLiteral("Subclass Failed"), QStringLiteral("FW Backup - Agent")),
                   BoxIcon::Stop);
    return false;
}

bool UnsubclassWindow(QWidget *window)
{
    if (!IsSubclassed(window))
        return false;
    QObject *proc = registration().ArrivalFilter;
    registration().ArrivalFilter = nullptr;
    window->removeEventFilter(proc);
    proc->deleteLater();
    return true;
}

bool RegisterDriveNotify(QWidget *window)
{
    DriveNotify &state = registration();
    if (state.NotifyId != 0)
        return false;
    DriveArrivalSource *source = platform().driveArrivals;
    if (!source || !source->start())
        return false;
    // Arrivals are posted, not handled in the signal: the window deals with them in its own
    // turn, as with any other event, and only while it is subclassed.
    QPointer<QWidget> target(window);
    state.ArrivalDelivery = QObject::connect(
        source, &DriveArrivalSource::driveArrived, window, [target](const QString &rootPath) {
            if (target)
                QCoreApplication::postEvent(
                    target, new ShellNotifyEvent(ShellNotifyEvent::SHCNE_DRIVEADD, rootPath));
        });
    static quint32 nextId = 0;
    state.NotifyId = ++nextId;
    return true;
}

bool DeregisterDriveNotify()
{
    DriveNotify &state = registration();
    if (state.NotifyId == 0)
        return false;
    if (DriveArrivalSource *source = platform().driveArrivals)
        source->stop();
    QObject::disconnect(state.ArrivalDelivery);
    state.NotifyId = 0;
    state.ArrivalDelivery = {};
    return true;
}

void OnShellNotify(const ShellNotifyEvent &event)
{
    if (event.eventCode == ShellNotifyEvent::SHCNE_DRIVEADD && event.hasItem &&
        !event.itemPath.isEmpty())
        NewDriveFound(event.itemPath);
    agentWindow().Flash();
}

} // namespace fwb
