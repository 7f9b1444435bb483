#pragma once

#include "platform/DriveArrivalSource.h"

#include <atomic>
#include <memory>

namespace fwb {

// Drive arrivals read from the kernel's mount table. A thread of its own waits for the
// kernel to report a change and reads the table at once, so a main window that is busy for
// seconds (a modal box, a slow database request) cannot make it miss an unmount and mount in
// between; it compares each reading with the previous one and hands the arrivals to the
// source's thread as queued calls, in the order it found them. Nothing is polled.
class LinuxDriveArrivalSource final : public DriveArrivalSource
{
    Q_OBJECT

public:
    // Which mount table is read: the kernel's own list with unique mount ids where the
    // running kernel has it, or /proc/self/mountinfo always, as on kernels before 6.8.
    enum class Table { Best, MountInfo };

    explicit LinuxDriveArrivalSource(QObject *parent = nullptr, Table table = Table::Best);
    ~LinuxDriveArrivalSource() override;

    bool start() override;
    void stop() override;
    bool isRunning() const override;

    // Whether the running source tells mounts apart by the kernel's unique ids.
    bool usesUniqueMountIds() const;
    // How often the kernel has woken the source since it was made.
    quint64 wakeUps() const { return m_counters->wakeUps.load(); }

private:
    class Watcher;
    struct Counters
    {
        std::atomic<quint64> wakeUps{0};
    };

    void deliver(quint64 run, const QString &rootPath);

    Table m_table;
    std::unique_ptr<Watcher> m_watcher;
    quint64 m_run = 0;
    std::shared_ptr<Counters> m_counters;
};

} // namespace fwb
