#pragma once

#include <memory>

namespace fwb {

class FileSystem;
class MessageBoxes;
class InstanceGuard;
class DriveArrivalSource;
class VolumeQuery;
class ProgramStarter;
class AutoStartStore;
class ComponentHost;
class Notifier;

// The operating-system services the program logic reaches, one instance each. The product
// installs the Linux implementations before the main window loads; tests install fakes.
struct Platform
{
    FileSystem *fileSystem = nullptr;
    MessageBoxes *messageBoxes = nullptr;
    InstanceGuard *instanceGuard = nullptr;
    DriveArrivalSource *driveArrivals = nullptr;
    VolumeQuery *volumeQuery = nullptr;
    ProgramStarter *programStarter = nullptr;
    AutoStartStore *autoStart = nullptr;
    ComponentHost *componentHost = nullptr;
    Notifier *notifier = nullptr; // optional: no notifications without one
};

Platform &platform(); // kept in the program state (program/ProgramState.h)

// Owns one system's implementations of the services and installs them in platform() for as
// long as it lives.
class InstalledPlatform
{
public:
    InstalledPlatform() = default;
    InstalledPlatform(const InstalledPlatform &) = delete;
    InstalledPlatform &operator=(const InstalledPlatform &) = delete;
    virtual ~InstalledPlatform() = default;
};

// The services of the system the program was built for. Each system's folder under platform/
// defines it, and the build compiles one of them.
std::unique_ptr<InstalledPlatform> makePlatform();

} // namespace fwb
