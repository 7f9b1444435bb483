// How fast a mount reaches the program as a drive arrival, and how often the arrival source
// wakes up while nothing happens. Needs root: it works in a private mount namespace with
// loop devices.
//
//   bench_mount_arrival [idle seconds, default 20]

#include "MountLab.h"
#include "platform/linux/LinuxDriveArrivalSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>

using namespace fwb;
using fwb::test::MountLab;

namespace {

constexpr int Mounts = 50;
constexpr int ArrivalTimeoutMs = 5000;

// Runs the event loop until `done` holds or the time is up. False on time-out.
template <typename Done> bool runUntil(Done done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

int skip(const QString &why)
{
    std::printf("bench_mount_arrival: skipped, %s\n", qPrintable(why));
    return 0;
}

double microseconds(qint64 nanoseconds)
{
    return double(nanoseconds) / 1000.0;
}

} // namespace

int main(int argc, char *argv[])
{
    const QString isolationProblem = fwb::test::enterPrivateMountNamespace();
    QCoreApplication app(argc, argv);
    if (!isolationProblem.isEmpty())
        return skip(isolationProblem);
    const int idleSeconds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 20;

    MountLab lab;
    const QString image = lab.makeImage(QStringLiteral("bench.img"), 8);
    if (image.isEmpty() || !lab.run(fwb::test::findTool(QStringLiteral("mkfs.ext4")),
                                    {QStringLiteral("-q"), QStringLiteral("-F"), image}))
        return skip(lab.error());
    const QString device = lab.attach(image);
    const QString folder = lab.makeFolder(QStringLiteral("volume"));
    if (device.isEmpty() || folder.isEmpty())
        return skip(lab.error());

    LinuxDriveArrivalSource source;
    QElapsedTimer clock;
    qint64 arrivedAt = -1;
    QObject::connect(&source, &DriveArrivalSource::driveArrived,
                     [&](const QString &) { arrivedAt = clock.nsecsElapsed(); });
    if (!source.start())
        return skip(QStringLiteral("the mount monitor does not start"));

    QList<qint64> latencies;
    for (int i = 0; i < Mounts; ++i) {
        arrivedAt = -1;
        if (!lab.mount(device, folder, QStringLiteral("ext4")))
            return skip(lab.error());
        clock.start();
        if (!runUntil([&] { return arrivedAt >= 0; }, ArrivalTimeoutMs)) {
            std::printf("mount %d: no arrival within %d ms\n", i + 1, ArrivalTimeoutMs);
            return 1;
        }
        latencies.append(arrivedAt);
        // Let the source see the unmount by itself, so every mount is a wake-up of its own.
        const quint64 wakeUps = source.wakeUps();
        if (!lab.unmount(folder))
            return skip(lab.error());
        runUntil([&] { return source.wakeUps() > wakeUps; }, ArrivalTimeoutMs);
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("mount returning -> arrival signal, %d mounts: median %.0f us, worst %.0f us\n",
                Mounts, microseconds(latencies.at(Mounts / 2)), microseconds(latencies.last()));

    // Nothing else mounts in this namespace, so every wake-up now would be one for nothing.
    const quint64 wakeUpsBefore = source.wakeUps();
    QElapsedTimer idle;
    idle.start();
    QTimer::singleShot(idleSeconds * 1000, Qt::PreciseTimer, &app, &QCoreApplication::quit);
    app.exec();
    const double idleMinutes = double(idle.elapsed()) / 60'000.0;
    const quint64 idleWakeUps = source.wakeUps() - wakeUpsBefore;
    std::printf("idle for %.1f s: %llu wake-ups, %.1f per minute (target 0)\n", idleMinutes * 60.0,
                static_cast<unsigned long long>(idleWakeUps), double(idleWakeUps) / idleMinutes);
    return 0;
}
