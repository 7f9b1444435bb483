#pragma once

#include <QString>
#include <memory>

namespace fwb {

// Owns the Linux implementations of the platform services and installs them for as long as
// it lives.
class LinuxPlatform
{
public:
    LinuxPlatform();
    ~LinuxPlatform();
    LinuxPlatform(const LinuxPlatform &) = delete;
    LinuxPlatform &operator=(const LinuxPlatform &) = delete;

    // The folder of the running program file, named as the file system names it: Qt's own
    // answer is empty for a folder whose name is not valid UTF-8.
    static QString programFolder();

private:
    struct Services;
    std::unique_ptr<Services> m_services;
};

} // namespace fwb
