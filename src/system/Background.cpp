#include "system/Background.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <thread>

namespace fwb {

void RunWhileEventsRun(const std::function<void()> &work)
{
    if (!QCoreApplication::instance()) {
        work();
        return;
    }
    QEventLoop loop;
    std::thread worker([&] {
        work();
        // Posted: the loop may not have started yet, and it belongs to the waiting thread.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // Ends early only when the application quits; the work is then waited for without events.
    loop.exec();
    worker.join();
}

} // namespace fwb
