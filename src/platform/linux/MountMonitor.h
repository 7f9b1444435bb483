#pragma once

#include <memory>

struct libmnt_monitor;

namespace fwb {

// libmount's watch on this process's mount table, /proc/self/mountinfo. Its descriptor turns
// readable when the table has changed; draining the changes makes it quiet again. The kernel
// wakes it once per change and never while the table stays as it is.
class MountMonitor
{
public:
    // Nothing when libmount cannot set the watch up.
    static std::unique_ptr<MountMonitor> open();
    ~MountMonitor();
    MountMonitor(const MountMonitor &) = delete;
    MountMonitor &operator=(const MountMonitor &) = delete;

    int fd() const { return m_fd; }
    // Takes every change reported so far. True when there was at least one.
    bool drainChanges();
    // Whether a change has been reported and not drained yet. Does not wait.
    bool hasPendingChange() const;

private:
    struct Unref
    {
        void operator()(libmnt_monitor *monitor) const;
    };

    MountMonitor(std::unique_ptr<libmnt_monitor, Unref> monitor, int fd);

    std::unique_ptr<libmnt_monitor, Unref> m_monitor;
    int m_fd = -1;
};

} // namespace fwb
