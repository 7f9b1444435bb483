#pragma once

#include "backup/DecisionState.h"
#include "platform/Platform.h"
#include "store/AppPaths.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"

#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <memory>

namespace fwb {

class AgentWindow;
class Clock;
namespace jet {
class DataAccess;
}

// The main window's registration for drive arrivals: one at a time.
struct DriveNotify
{
    quint32 NotifyId = 0; // 0 while none is registered
    // Delivers the source's arrivals to the window. (On Windows the registration kept the
    // desktop's item list here, DesktopPidl.)
    QMetaObject::Connection ArrivalDelivery;
    // The event filter that handles arrival events for the subclassed window. (On Windows the
    // window kept the procedure it replaced, OldWndProc.)
    QPointer<QObject> ArrivalFilter;
};

// Every program-wide instance, in one place. The accessors the code calls (platform(),
// agentWindow(), Clock::instance(), appPaths(), settings(), decision(), the monitor log,
// LanguagePack(), jet::DataAccess::instance()) all answer from here.
struct ProgramState
{
    ProgramState();
    ~ProgramState();
    ProgramState(const ProgramState &) = delete;
    ProgramState &operator=(const ProgramState &) = delete;

    // Installed by whoever owns them, for as long as that lives; a reset leaves them.
    Platform platform;
    AgentWindow *window;     // never null: a base that asks nothing when no window is installed
    Clock *clock;            // never null: the real clock unless a test installed another
    DriveNotify driveNotify; // made by activating monitoring, undone only by deactivating it

    // What the program learns and decides as it runs.
    AppPaths paths;
    AgentSettings settings;
    DecisionState decision;
    MonitorLogState log;
    QString languagePack;                        // the open pack's path, empty for none
    std::unique_ptr<jet::DataAccess> dataAccess; // made on first use
};

ProgramState &programState();

// Back to the state of a program that has just started: no paths, the default settings, no
// decision, an empty log, no language pack and no data-access engine. What is installed stays.
void ResetProgramState();

} // namespace fwb
