#pragma once

#include "platform/DriveArrivalSource.h"

namespace fwb {

// Arrivals on demand. Like the real source it delivers nothing while not running.
class FakeDriveArrivalSource final : public DriveArrivalSource
{
    Q_OBJECT

public:
    using DriveArrivalSource::DriveArrivalSource;

    bool start() override;
    void stop() override;
    bool isRunning() const override { return m_running; }

    // Emits driveArrived(rootPath) when running. True when it was emitted.
    bool announce(const QString &rootPath);

    bool startSucceeds = true;
    int starts = 0;
    int stops = 0;

private:
    bool m_running = false;
};

} // namespace fwb
