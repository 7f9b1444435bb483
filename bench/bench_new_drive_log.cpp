// How long the Agent takes from a mount to its "No matching backup set found for new drive"
// entry, with 1,000 ini sets in the backup-set folder, against a floor measured in the same
// run: the time `findmnt --poll` takes to report the same mount, plus the time a plain C loop
// takes to read every set file. The Agent runs once with the Swedish language pack and once
// without a pack; the difference is what looking the texts up costs. Needs root: it works in
// a private mount namespace with a loop device.
//
//   bench_new_drive_log [mounts per Agent, default 20] [ini sets, default 1000]

#include "AgentProcess.h"
#include "BenchSets.h"
#include "MountLab.h"
#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <functional>

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

// Handles events until `done` holds; the time it held, in nanoseconds of `clock`, or -1.
qint64 timeUntil(const QElapsedTimer &clock, const std::function<bool()> &done)
{
    while (!done()) {
        if (clock.elapsed() > TimeoutMs)
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

struct Figures
{
    QList<qint64> findmnt;
    QList<qint64> agent;
    QList<qint64> loop;
};

// A program folder with the sets, and the pack when `swedish`.
bool prepare(ProgramFolder &folder, bool swedish)
{
    const QString sets = folder.defaultBackupSetsFolder() + u'/';
    if (!folder.stage() || !QDir().mkpath(sets) || !bench::writeIniSets(sets, SetCount, false))
        return false;
    if (!swedish)
        return true;
    return QDir().mkpath(folder.filePath(QStringLiteral("Language Packs"))) &&
           QFile::copy(QStringLiteral(FWB_SWEDISH_PACK),
                       folder.filePath(QStringLiteral("Language Packs/Swedish.lng"))) &&
           fwb::test::writeBytes(folder.filePath(QStringLiteral("settings.ini")),
                                 "[Options]\r\nGLO_CurrentLanguage=Swedish.lng\r\n");
}

// Mounts `mounts` times and times the findmnt line and the Agent's entry of each mount.
bool measure(MountLab &lab, const QString &device, const QString &volume, bool swedish, int mounts,
             Figures &figures)
{
    ProgramFolder folder;
    AgentProcess agent;
    FindmntWatch findmnt;
    const QString startup =
        swedish ? QStringLiteral("Programmet har startat. ") : QStringLiteral("Program start-up. ");
    if (!prepare(folder, swedish) || !agent.start(folder.agentPath(), TimeoutMs, startup) ||
        !findmnt.start(volume)) {
        std::printf("cannot start the Agent or findmnt: %s\n", qPrintable(agent.error()));
        return false;
    }
    const QString entry = (swedish ? kNoMatchSwedish : kNoMatchEnglish) + volume + u'/';
    const auto entries = [&] {
        return agent.entries().count(entry);
    };
    // The first mount only shows that the Agent watches: its start-up entry comes just
    // before monitoring starts.
    for (int i = 0; i <= mounts; ++i) {
        const int before = entries();
        const int mountsSeen = findmnt.count("mount");
        if (!lab.mount(device, volume, QStringLiteral("ext4")))
            return false;
        QElapsedTimer clock;
        clock.start();
        const qint64 reported =
            timeUntil(clock, [&] { return findmnt.count("mount") > mountsSeen; });
        const qint64 logged = timeUntil(clock, [&] { return entries() > before; });
        if (reported < 0 || logged < 0) {
            if (i == 0 && lab.unmount(volume))
                continue;
            std::printf("mount %d: no report within %d ms\n", i, TimeoutMs);
            return false;
        }
        if (i > 0) {
            figures.findmnt.append(reported);
            figures.agent.append(logged);
            // The floor's reading of the sets is taken under the same conditions as the
            // Agent's: just after a mount, with whatever the kernel does then.
            figures.loop.append(bench::cReadLoopNs(folder.defaultBackupSetsFolder()));
        }
        const int unmountsSeen = findmnt.count("umount");
        if (!lab.unmount(volume))
            return false;
        QElapsedTimer settle;
        settle.start();
        timeUntil(settle, [&] { return findmnt.count("umount") > unmountsSeen; });
    }
    return true;
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

    Figures swedish;
    Figures english;
    if (!measure(lab, device, volume, true, mounts, swedish) ||
        !measure(lab, device, volume, false, mounts, english))
        return 1;

    const qint64 findmnt = median(swedish.findmnt + english.findmnt);
    const qint64 loop = median(swedish.loop + english.loop);
    const qint64 floor = findmnt + loop;
    const qint64 withPack = median(swedish.agent);
    const qint64 withoutPack = median(english.agent);
    std::printf("mount -> \"No matching backup set found for new drive\", %d ini sets, median "
                "of %d mounts\n",
                SetCount, mounts);
    std::printf("  findmnt --poll reports the mount      %8.2f ms\n", milliseconds(findmnt));
    std::printf("  C loop reads every set file           %8.2f ms\n", milliseconds(loop));
    std::printf("  floor                                 %8.2f ms\n", milliseconds(floor));
    std::printf("  Agent, Swedish pack                   %8.2f ms   %5.2fx the floor\n",
                milliseconds(withPack), double(withPack) / double(floor));
    std::printf("  Agent, no pack (English)              %8.2f ms   %5.2fx the floor\n",
                milliseconds(withoutPack), double(withoutPack) / double(floor));
    std::printf("  of which looking up the Swedish texts %8.2f ms\n",
                milliseconds(withPack - withoutPack));
    return 0;
}
