#include "platform/fake/FakeDriveArrivalSource.h"

namespace fwb {

bool FakeDriveArrivalSource::start()
{
    ++starts;
    if (!m_running)
        m_running = startSucceeds;
    return m_running;
}

void FakeDriveArrivalSource::stop()
{
    ++stops;
    m_running = false;
}

bool FakeDriveArrivalSource::announce(const QString &rootPath)
{
    if (!m_running)
        return false;
    Q_EMIT driveArrived(rootPath);
    return true;
}

} // namespace fwb
