#include "platform/linux/MountMonitor.h"

#include <libmount/libmount.h>
#include <poll.h>

namespace fwb {

void MountMonitor::Unref::operator()(libmnt_monitor *monitor) const
{
    mnt_unref_monitor(monitor);
}

MountMonitor::MountMonitor(std::unique_ptr<libmnt_monitor, Unref> monitor, int fd)
    : m_monitor(std::move(monitor)), m_fd(fd)
{}

MountMonitor::~MountMonitor() = default;

std::unique_ptr<MountMonitor> MountMonitor::open()
{
    std::unique_ptr<libmnt_monitor, Unref> monitor(mnt_new_monitor());
    if (!monitor || mnt_monitor_enable_kernel(monitor.get(), 1) < 0)
        return nullptr;
    // Creating the descriptor also takes the event the kernel reports for a fresh watch.
    const int fd = mnt_monitor_get_fd(monitor.get());
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<MountMonitor>(new MountMonitor(std::move(monitor), fd));
}

bool MountMonitor::drainChanges()
{
    bool changed = false;
    while (mnt_monitor_next_change(m_monitor.get(), nullptr, nullptr) == 0)
        changed = true;
    return changed;
}

bool MountMonitor::hasPendingChange() const
{
    pollfd watch{m_fd, POLLIN, 0};
    return ::poll(&watch, 1, 0) > 0 && (watch.revents & POLLIN);
}

} // namespace fwb
