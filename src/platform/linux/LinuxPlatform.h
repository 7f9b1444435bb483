#pragma once

#include "platform/Platform.h"

#include <memory>

namespace fwb {

// Owns the Linux implementations of the platform services and installs them for as long as
// it lives. The program gets it from makePlatform(); benchmarks and tools name it.
class LinuxPlatform final : public InstalledPlatform
{
public:
    LinuxPlatform();
    ~LinuxPlatform() override;

private:
    struct Services;
    std::unique_ptr<Services> m_services;
};

} // namespace fwb
