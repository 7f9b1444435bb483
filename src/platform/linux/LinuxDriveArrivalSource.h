#pragma once

#include "monitor/MountTable.h"
#include "platform/DriveArrivalSource.h"

#include <memory>

class QSocketNotifier;

namespace fwb {

class MountMonitor;

// Drive arrivals read from the kernel's mount table. The table is re-read whenever the kernel
// reports a change and compared with the previous reading, so nothing is polled, and a burst
// of mounts that wakes the source once still yields every arrival in it.
class LinuxDriveArrivalSource final : public DriveArrivalSource
{
    Q_OBJECT

public:
    explicit LinuxDriveArrivalSource(QObject *parent = nullptr);
    ~LinuxDriveArrivalSource() override;

    bool start() override;
    void stop() override;
    bool isRunning() const override;

    // How often the kernel has woken the source since it was made.
    quint64 wakeUps() const { return m_wakeUps; }

private:
    void onMountTableChanged();
    std::optional<MountTable> readSettledTable();

    std::unique_ptr<MountMonitor> m_monitor;
    QSocketNotifier *m_notifier = nullptr;
    MountTable m_table;
    quint64 m_run = 0;
    quint64 m_wakeUps = 0;
};

} // namespace fwb
