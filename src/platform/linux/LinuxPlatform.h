#pragma once

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

private:
    struct Services;
    std::unique_ptr<Services> m_services;
};

} // namespace fwb
