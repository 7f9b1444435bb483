#include "system/Clock.h"

#include <QEventLoop>
#include <QTimer>

namespace fwb {

QDateTime Clock::currentDateTime() const
{
    return QDateTime::currentDateTime();
}

qint64 Clock::currentMSecsSinceEpoch() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

void Clock::runEventsUntil(qint64 endMs)
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    // A timer can fire a little early, so wait again until the end is really reached.
    for (qint64 left = endMs - currentMSecsSinceEpoch(); left > 0;
         left = endMs - currentMSecsSinceEpoch()) {
        timer.start(int(left));
        loop.exec();
    }
}

} // namespace fwb
