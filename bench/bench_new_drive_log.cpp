// How long the Agent takes from a mount to its "No matching backup set found for new drive"
// entry, with 1,000 ini sets in the backup-set folder, against a floor measured in the same
// run and the same way: the time `findmnt --poll` takes to report the mount, followed at once
// by a plain C loop that reads every set file. The Agent runs once with the Swedish language pack
// and once without a pack; the difference is what looking the texts up costs. Needs root: it works
// in a private mount namespace with a loop device.
//
//   bench_new_drive_log [mounts per Agent, default 20] [ini sets, default 1000]

#include "AgentProcess.h"
#include "BenchSets.h"
#include "MountLab.h"
#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>

using namespace fwb;
using fwb::test::AgentProcess;
using fwb::test::MountLab;
using fwb::test::ProgramFolder;

namespace {

int SetCount = 1000;
constexpr int TimeoutMs = 20'000;

const QString kNoMatchEnglish = QStringLiteral("No matching backup set found for new drive: ");
const QString kNoMatchSwedish =
    QStringLiteral("Inget matchande säkerhetskopieringsjobb hittades för den nya enheten: ");

int skip(const QString &why)
{
    std::printf("bench_new_drive_log: skipped, %s\n", qPrintable(why));
    return 0;
}

double milliseconds(qint64 nanoseconds)
{
    return double(nanoseconds) / 1e6;
}

qint64 median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// Processor time, in nanoseconds, that every thread of process `pid` has had so far; unlike
// the wall clock, it does not grow while other programs have the processor.
qint64 processorNs(qint64 pid)
{
    qint64 total = 0;
    QDirIterator threads(QStringLiteral("/proc/%1/task").arg(pid),
                         QDir::Dirs | QDir::NoDotAndDotDot);
    while (threads.hasNext()) {
        QFile stat(threads.next() + QStringLiteral("/schedstat"));
        if (stat.open(QIODevice::ReadOnly))
            total += stat.readAll().split(' ').value(0).toLongLong();
    }
    return total;
}

qint64 threadProcessorNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

// The Agent this program started: its child named fwbagent.
qint64 agentPid()
{
    const QByteArray parent = QByteArray::number(qint64(::getpid()));
    QDirIterator processes(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (processes.hasNext()) {
        QFile stat(processes.next() + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> after = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (line.contains("(fwbagent)") && after.value(1) == parent)
            return line.left(line.indexOf(' ')).toLongLong();
    }
    return 0;
}

// Handles events until `done` holds; the time it held, in nanoseconds of `clock`, or -1.
qint64 timeUntil(const QElapsedTimer &clock, const std::function<bool()> &done,
                 int timeoutMs = TimeoutMs)
{
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return -1;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return clock.nsecsElapsed();
}

// `findmnt --poll` on one mount point, its lines counted as they come.
class FindmntWatch
{
public:
    bool start(const QString &folder)
    {
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process,
                         [this] { m_output += m_process.readAllStandardOutput(); });
        m_process.start(fwb::test::findTool(QStringLiteral("findmnt")),
                        {QStringLiteral("--poll"), QStringLiteral("--noheadings"),
                         QStringLiteral("--mountpoint"), folder, QStringLiteral("-o"),
                         QStringLiteral("ACTION")});
        return m_process.waitForStarted(TimeoutMs);
    }
    ~FindmntWatch()
    {
        m_process.kill();
        m_process.waitForFinished(TimeoutMs);
    }
    qint64 pid() const { return m_process.processId(); }
    int count(const QByteArray &action) const
    {
        int n = 0;
        for (const QByteArray &line : m_output.split('\n'))
            n += line.trimmed() == action ? 1 : 0;
        return n;
    }

private:
    QProcess m_process;
    QByteArray m_output;
};

enum class Run { Floor, Swedish, English };

// A program folder with the sets, and the pack for the Swedish run.
bool prepare(ProgramFolder &folder, Run run)
{
    const QString sets = folder.defaultBackupSetsFolder() + u'/';
    if (!folder.stage() || !QDir().mkpath(sets) || !bench::writeIniSets(sets, SetCount, false))
        return false;
    if (run != Run::Swedish)
        return true;
    return QDir().mkpath(folder.filePath(QStringLiteral("Language Packs"))) &&
           QFile::copy(QStringLiteral(FWB_SWEDISH_PACK),
                       folder.filePath(QStringLiteral("Language Packs/Swedish.lng"))) &&
           fwb::test::writeBytes(folder.filePath(QStringLiteral("settings.ini")),
                                 "[Options]\r\nGLO_CurrentLanguage=Swedish.lng\r\n");
}

// Mounts `mounts` times; for each mount, the time until findmnt reports it and then either
// the C loop has read the sets (the floor) or the Agent has logged the drive. Every run
// mounts and unmounts the same way, so each meets the same work of the kernel after a mount.
struct Figures
{
    QList<qint64> wall;
    QList<qint64> processor;
};

std::optional<Figures> measure(MountLab &lab, const QString &device, const QString &volume, Run run,
                               int mounts)
{
    ProgramFolder folder;
    FindmntWatch findmnt;
    std::unique_ptr<AgentProcess> agent;
    if (!prepare(folder, run) || !findmnt.start(volume)) {
        std::printf("cannot prepare the program folder or start findmnt\n");
        return std::nullopt;
    }
    if (run != Run::Floor) {
        agent = std::make_unique<AgentProcess>();
        const QString startup = run == Run::Swedish ? QStringLiteral("Programmet har startat. ")
                                                    : QStringLiteral("Program start-up. ");
        if (!agent->start(folder.agentPath(), TimeoutMs, startup)) {
            std::printf("cannot start the Agent: %s\n", qPrintable(agent->error()));
            return std::nullopt;
        }
    }
    const QString entry = (run == Run::Swedish ? kNoMatchSwedish : kNoMatchEnglish) + volume + u'/';
    const auto entries = [&] {
        return agent ? agent->entries().count(entry) : 0;
    };
    const qint64 agentProcess = agent ? agentPid() : 0;
    // The floor's processor time is findmnt's and the C loop's; the Agent's, findmnt's and
    // all of the Agent's threads.
    const auto processorSoFar = [&] {
        return processorNs(findmnt.pid()) +
               (agent ? processorNs(agentProcess) : threadProcessorNs());
    };
    Figures figures;
    // The first mount only shows that findmnt and the Agent watch: both announce themselves
    // a little before they do.
    for (int i = 0; i <= mounts; ++i) {
        const int before = entries();
        const int mountsSeen = findmnt.count("mount");
        if (!lab.mount(device, volume, QStringLiteral("ext4")))
            return std::nullopt;
        const qint64 processorBefore = processorSoFar();
        QElapsedTimer clock;
        clock.start();
        const int timeoutMs = i == 0 ? 2000 : TimeoutMs;
        qint64 done = timeUntil(
            clock, [&] { return findmnt.count("mount") > mountsSeen; }, timeoutMs);
        if (done >= 0 && agent)
            done = timeUntil(clock, [&] { return entries() > before; });
        else if (done >= 0 && bench::cReadLoopNs(folder.defaultBackupSetsFolder()) >= 0)
            done = clock.nsecsElapsed();
        if (done < 0 && i > 0) {
            std::printf("mount %d: no report within %d ms\n", i, TimeoutMs);
            return std::nullopt;
        }
        if (i > 0) {
            figures.wall.append(done);
            figures.processor.append(processorSoFar() - processorBefore);
        }
        const int unmountsSeen = findmnt.count("umount");
        if (!lab.unmount(volume))
            return std::nullopt;
        QElapsedTimer settle;
        settle.start();
        timeUntil(settle, [&] { return findmnt.count("umount") > unmountsSeen; });
    }
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    const QString isolationProblem = fwb::test::enterPrivateMountNamespace();
    QCoreApplication app(argc, argv);
    if (!isolationProblem.isEmpty())
        return skip(isolationProblem);
    const int mounts = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 20;
    if (argc > 2)
        SetCount = std::max(0, QByteArray(argv[2]).toInt());

    MountLab lab;
    const QString image = lab.makeImage(QStringLiteral("bench.img"), 8);
    if (image.isEmpty() || !lab.run(fwb::test::findTool(QStringLiteral("mkfs.ext4")),
                                    {QStringLiteral("-q"), QStringLiteral("-F"),
                                     QStringLiteral("-L"), QStringLiteral("BENCH"), image}))
        return skip(lab.error());
    const QString device = lab.attach(image);
    const QString volume = lab.makeFolder(QStringLiteral("volume"));
    if (device.isEmpty() || volume.isEmpty())
        return skip(lab.error());

    const auto floor = measure(lab, device, volume, Run::Floor, mounts);
    const auto swedish = measure(lab, device, volume, Run::Swedish, mounts);
    const auto english = measure(lab, device, volume, Run::English, mounts);
    if (!floor || !swedish || !english)
        return 1;

    std::printf("mount -> \"No matching backup set found for new drive\", %d ini sets, median "
                "of %d mounts each: wall clock, and processor time of the programs timed\n",
                SetCount, mounts);
    const auto row = [&](const char *what, const Figures &figures) {
        std::printf("  %-42s %7.2f ms (processor %6.2f ms)  %5.2fx the floor (processor %5.2fx)\n",
                    what, milliseconds(median(figures.wall)),
                    milliseconds(median(figures.processor)),
                    double(median(figures.wall)) / double(median(floor->wall)),
                    double(median(figures.processor)) / double(median(floor->processor)));
    };
    row("floor: findmnt --poll, then a C loop", *floor);
    row("Agent, Swedish pack", *swedish);
    row("Agent, no pack (English)", *english);
    std::printf("  of which looking up the Swedish texts      %7.2f ms\n",
                milliseconds(median(swedish->wall) - median(english->wall)));
    return 0;
}
