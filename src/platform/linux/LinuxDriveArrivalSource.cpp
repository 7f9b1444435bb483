#include "platform/linux/LinuxDriveArrivalSource.h"

#include "monitor/DriveArrivals.h"
#include "platform/linux/KernelMountList.h"
#include "platform/linux/MountMonitor.h"
#include "platform/linux/ProcMountInfo.h"

#include <cerrno>
#include <functional>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>

namespace fwb {

namespace {

// A table read while the kernel reports further changes may mix the states before and after
// them; such a reading is taken again, up to this many times. Past that the change still
// pending wakes the watcher once more.
constexpr int MaxReadings = 8;

} // namespace

// The thread that watches the kernel. It owns the monitor and the last table read; it never
// waits for anything but the kernel and its own stop request.
class LinuxDriveArrivalSource::Watcher
{
public:
    using Deliver = std::function<void(const QString &rootPath)>;

    Watcher(std::unique_ptr<MountMonitor> monitor, bool uniqueIds,
            std::shared_ptr<Counters> counters)
        : m_monitor(std::move(monitor)), m_uniqueIds(uniqueIds), m_counters(std::move(counters)),
          m_stopFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    {}

    ~Watcher()
    {
        if (m_thread.joinable()) {
            const std::uint64_t one = 1;
            while (::write(m_stopFd, &one, sizeof one) < 0 && errno == EINTR) {
            }
            m_thread.join();
        }
        if (m_stopFd >= 0)
            ::close(m_stopFd);
    }

    // Reads the table the arrivals are counted from. False when it cannot be read.
    bool takeBaseline()
    {
        auto table = readCurrentTable();
        if (m_stopFd < 0 || !table)
            return false;
        m_table = std::move(*table);
        return true;
    }

    void start(Deliver deliver)
    {
        m_thread = std::thread([this, deliver = std::move(deliver)] { watch(deliver); });
    }

    bool usesUniqueIds() const { return m_uniqueIds; }

private:
    void watch(const Deliver &deliver)
    {
        pollfd watched[2] = {{m_monitor->fd(), POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        for (;;) {
            if (::poll(watched, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (watched[1].revents != 0 || (watched[0].revents & (POLLERR | POLLHUP | POLLNVAL)))
                return;
            if (watched[0].revents & POLLIN)
                readChanges(deliver);
        }
    }

    void readChanges(const Deliver &deliver)
    {
        ++m_counters->wakeUps;
        auto current = readCurrentTable();
        if (!current)
            return;
        const QList<DriveArrival> arrivals = diffArrivals(m_table, *current);
        m_table = std::move(*current);
        for (const DriveArrival &arrival : arrivals)
            deliver(arrival.rootPath);
    }

    // Every reading comes from the same kind of table: one with unique ids compared with one
    // without would make every mounted drive look new.
    std::optional<MountTable> readCurrentTable()
    {
        if (!m_uniqueIds)
            return readSettledMountInfo();
        // Each mount of the kernel's list is read whole in one call, so every reading is one
        // the diff can trust; more changes since wake the watcher again. Each reading is
        // compared, so a mount that lived only between two of them is still seen.
        m_monitor->drainChanges();
        return listKernelMounts();
    }

    // mountinfo is read in pieces, and the kernel may change the table between them.
    std::optional<MountTable> readSettledMountInfo()
    {
        std::optional<MountTable> table;
        for (int reading = 0; reading < MaxReadings; ++reading) {
            m_monitor->drainChanges();
            table = readProcessMountTable();
            if (!m_monitor->hasPendingChange())
                break;
        }
        return table;
    }

    std::unique_ptr<MountMonitor> m_monitor;
    const bool m_uniqueIds;
    std::shared_ptr<Counters> m_counters;
    const int m_stopFd;
    MountTable m_table;
    std::thread m_thread;
};

LinuxDriveArrivalSource::LinuxDriveArrivalSource(QObject *parent, Table table)
    : DriveArrivalSource(parent), m_table(table), m_counters(std::make_shared<Counters>())
{}

LinuxDriveArrivalSource::~LinuxDriveArrivalSource()
{
    // The thread goes before the object its calls are queued for.
    m_watcher.reset();
}

bool LinuxDriveArrivalSource::start()
{
    if (isRunning())
        return true;
    auto monitor = MountMonitor::open();
    if (!monitor)
        return false;
    const bool uniqueIds = m_table == Table::Best && kernelHasUniqueMountIds();
    auto watcher = std::make_unique<Watcher>(std::move(monitor), uniqueIds, m_counters);
    if (!watcher->takeBaseline())
        return false;
    const quint64 run = ++m_run;
    // Queued to this object's thread; calls still queued when the object goes are dropped
    // with it.
    watcher->start([this, run](const QString &rootPath) {
        QMetaObject::invokeMethod(
            this, [this, run, rootPath] { deliver(run, rootPath); }, Qt::QueuedConnection);
    });
    m_watcher = std::move(watcher);
    return true;
}

void LinuxDriveArrivalSource::stop()
{
    ++m_run;
    m_watcher.reset();
}

bool LinuxDriveArrivalSource::isRunning() const
{
    return m_watcher != nullptr;
}

bool LinuxDriveArrivalSource::usesUniqueMountIds() const
{
    return m_watcher && m_watcher->usesUniqueIds();
}

void LinuxDriveArrivalSource::deliver(quint64 run, const QString &rootPath)
{
    // Arrivals read before a stop, or by an earlier run, belong to a run that has ended.
    if (run == m_run && isRunning())
        Q_EMIT driveArrived(rootPath);
}

} // namespace fwb
