#pragma once

#include <QString>

namespace fwb {

// What registering the program's shared components needs of the operating system. On a
// system without such components every operation is a harmless no-op.
class ComponentHost
{
public:
    enum class WindowStyle { Hidden = 0, MinimizedWithFocus = 2 };

    virtual ~ComponentHost() = default;
    // A special folder of the system by its number, or the empty text.
    virtual QString specialFolderPath(int folder) const = 0;
    virtual bool copyFile(const QString &from, const QString &to) = 0;
    // Asks a library, found by its plain file name, to register itself. 0 on success; any
    // other value when it failed, is missing or has no registration entry.
    virtual long registerServer(const QString &library) = 0;
    // Starts a command line without waiting for it.
    virtual void startCommand(const QString &commandLine, WindowStyle style) = 0;
};

} // namespace fwb
