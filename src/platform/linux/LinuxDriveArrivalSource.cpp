#include "platform/linux/LinuxDriveArrivalSource.h"

#include "monitor/DriveArrivals.h"
#include "platform/linux/MountMonitor.h"
#include "platform/linux/ProcMountInfo.h"

#include <QPointer>
#include <QSocketNotifier>

namespace fwb {

namespace {

// A table read while the kernel reports further changes may mix the states before and after
// them; such a reading is taken again, up to this many times. Past that the change still
// pending wakes the source once more.
constexpr int MaxReadings = 8;

} // namespace

LinuxDriveArrivalSource::LinuxDriveArrivalSource(QObject *parent) : DriveArrivalSource(parent) {}

LinuxDriveArrivalSource::~LinuxDriveArrivalSource()
{
    // The notifier watches the monitor's descriptor, so it goes first.
    delete m_notifier;
}

bool LinuxDriveArrivalSource::start()
{
    if (isRunning())
        return true;
    auto monitor = MountMonitor::open();
    if (!monitor)
        return false;
    m_monitor = std::move(monitor);
    auto baseline = readSettledTable();
    if (!baseline) {
        m_monitor.reset();
        return false;
    }
    m_table = std::move(*baseline);
    ++m_run;
    m_notifier = new QSocketNotifier(m_monitor->fd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this,
            &LinuxDriveArrivalSource::onMountTableChanged);
    return true;
}

void LinuxDriveArrivalSource::stop()
{
    ++m_run;
    if (m_notifier) {
        // stop() may run inside the notifier's own signal, so it goes once that is over.
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    m_monitor.reset();
    m_table = {};
}

bool LinuxDriveArrivalSource::isRunning() const
{
    return m_monitor != nullptr;
}

std::optional<MountTable> LinuxDriveArrivalSource::readSettledTable()
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

void LinuxDriveArrivalSource::onMountTableChanged()
{
    ++m_wakeUps;
    auto current = readSettledTable();
    if (!current)
        return;
    const QList<DriveArrival> arrivals = diffArrivals(m_table, *current);
    m_table = std::move(*current);

    // A receiver may stop, restart or delete the source; the rest of the batch then belongs
    // to a run that has ended.
    const QPointer<LinuxDriveArrivalSource> alive(this);
    const quint64 run = m_run;
    for (const DriveArrival &arrival : arrivals) {
        if (!alive || m_run != run)
            return;
        Q_EMIT driveArrived(arrival.rootPath);
    }
}

} // namespace fwb
