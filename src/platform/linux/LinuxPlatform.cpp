#include "platform/linux/LinuxPlatform.h"

#include "platform/Platform.h"
#include "platform/linux/DesktopProgramStarter.h"
#include "platform/linux/LinuxComponentHost.h"
#include "platform/linux/LinuxDriveArrivalSource.h"
#include "platform/linux/LinuxFileSystem.h"
#include "platform/linux/LinuxVolumeQuery.h"
#include "platform/linux/UserInstanceGuard.h"
#include "platform/linux/XdgAutoStartStore.h"
#include "platform/qt/DBusNotifier.h"
#include "platform/qt/QtMessageBoxes.h"

namespace fwb {

struct LinuxPlatform::Services
{
    LinuxFileSystem fileSystem;
    QtMessageBoxes messageBoxes;
    UserInstanceGuard instanceGuard;
    // Held through the interface, so that another source of arrivals can take its place.
    std::unique_ptr<DriveArrivalSource> driveArrivals = std::make_unique<LinuxDriveArrivalSource>();
    LinuxVolumeQuery volumeQuery;
    DesktopProgramStarter programStarter;
    XdgAutoStartStore autoStart;
    LinuxComponentHost componentHost;
    DBusNotifier notifier;
};

LinuxPlatform::LinuxPlatform() : m_services(std::make_unique<Services>())
{
    Platform &p = platform();
    p.fileSystem = &m_services->fileSystem;
    p.messageBoxes = &m_services->messageBoxes;
    p.instanceGuard = &m_services->instanceGuard;
    p.driveArrivals = m_services->driveArrivals.get();
    p.volumeQuery = &m_services->volumeQuery;
    p.programStarter = &m_services->programStarter;
    p.autoStart = &m_services->autoStart;
    p.componentHost = &m_services->componentHost;
    p.notifier = &m_services->notifier;
}

LinuxPlatform::~LinuxPlatform()
{
    platform() = Platform{};
}

std::unique_ptr<InstalledPlatform> makePlatform()
{
    return std::make_unique<LinuxPlatform>();
}

} // namespace fwb
