// What launching five backup sets costs the Agent: the pause after each start takes seconds of
// wall time, which the Agent must spend waiting, not spinning.
//
//   bench_launch_cpu
#include "backup/Launching.h"
#include "platform/linux/LinuxPlatform.h"
#include "store/AppPaths.h"
#include "store/MonitorLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <sys/resource.h>

using namespace fwb;

namespace {

constexpr int kSets = 5;

// The processor time this process has used so far, user and system, in microseconds.
qint64 cpuMicroseconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto micro = [](const timeval &t) {
        return qint64(t.tv_sec) * 1'000'000 + t.tv_usec;
    };
    return micro(usage.ru_utime) + micro(usage.ru_stime);
}

int linesIn(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    LinuxPlatform platform;
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("FW Backup Agent"));
    ComputeAppPaths(folder);
    QStringList sets;
    for (int n = 1; n <= kSets; ++n)
        sets.append(folder + QStringLiteral("/Backup sets/Set %1.fwb").arg(n));
    bool ready = dir.isValid() && QDir().mkpath(folder + QStringLiteral("/Backup sets")) &&
                 QFile::copy(QStringLiteral(FWB_EXAMPLE_BACKUP_PROGRAM), appPaths().FwbExePath);
    for (const QString &set : std::as_const(sets)) {
        QFile file(set);
        ready = ready && file.open(QIODevice::WriteOnly) && file.write("[General]\r\n") > 0;
    }
    if (!ready) {
        std::printf("bench_launch_cpu: cannot prepare the program folder\n");
        return 1;
    }
    int entries = 0;
    SetMonitorLogSink([&entries](const QString &) { ++entries; });

    QElapsedTimer clock;
    const qint64 cpuBefore = cpuMicroseconds();
    clock.start();
    LaunchBackupSets(sets);
    const qint64 wallUs = clock.nsecsElapsed() / 1000;
    const qint64 cpuUs = cpuMicroseconds() - cpuBefore;

    // The backup program runs on its own; give the last start a moment to write its line.
    const QString log = folder + QStringLiteral("/fwb.log");
    for (int waited = 0; waited < 5000 && linesIn(log) < kSets; waited += 50)
        QThread::msleep(50);
    SetMonitorLogSink({});

    std::printf("LaunchBackupSets of %d sets with the example backup program\n", kSets);
    std::printf("  wall time   %8.3f s\n", double(wallUs) / 1e6);
    std::printf("  CPU time    %8.3f ms (user + system, this process)\n", double(cpuUs) / 1e3);
    std::printf("  CPU         %8.3f %% of one core while launching\n",
                100.0 * double(cpuUs) / double(wallUs));
    std::printf("  log entries %d, backup program started %d times\n", entries, linesIn(log));
    return entries == kSets && linesIn(log) == kSets ? 0 : 1;
}
