#pragma once

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

Platform &platform();

} // namespace fwb
