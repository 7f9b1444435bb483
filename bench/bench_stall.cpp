// The longest the window's thread goes without handling its events while the Agent meets damaged
// database files. A probe timer fires every 5 ms on the main thread's event loop; the longest gap
// between two of its ticks is the longest stall.
//
//  - Drive arrivals with 1,000 ini sets and 10 damaged database sets in the backup-set folder:
//    the longest stall, and the time from the "New drive found" entry to the decision (no set
//    matches, so the decision is the "No matching backup set found for new drive" entry), for
//    the first arrival and as the median and the worst of the following ones.
//  - Start-up (the main window's load) with a damaged language pack, against no pack and the
//    Swedish pack.
//
// The damaged files are the Access-made samples cut short where libmdb, left to itself, loops
// for ever; mdb-tables (libmdb's own tool) is run on each to show that it still does.
//
//   bench_stall [arrivals after the first, default 9]

#include "BenchSets.h"
#include "backup/Launching.h"
#include "jet/DataAccess.h"
#include "language/Translate.h"
#include "monitor/NewDriveFound.h"
#include "platform/linux/LinuxPlatform.h"
#include "shell/frmMAIN.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>

using namespace fwb;

namespace {

constexpr int kProbeMs = 5;
constexpr int kDamagedSets = 10;
constexpr int kIniSets = 1000;
constexpr int kLoopCheckMs = 2000;

// Where the samples are cut: pages 704 to 706 of the Access 2000 and 2003 samples hold the
// catalog's properties, and a cut there, on a page boundary or inside a page, leaves libmdb
// reading a page the file does not have.
struct Cut
{
    const char *sample;
    qint64 bytes;
};
constexpr Cut kCuts[kDamagedSets] = {
    {"V2000_test.mdb", 704 * 4096},        {"V2000_test.mdb", 705 * 4096},
    {"V2000_test.mdb", 706 * 4096},        {"V2000_test.mdb", 704 * 4096 + 1234},
    {"V2000_test.mdb", 706 * 4096 + 2210}, {"V2003_test.mdb", 704 * 4096},
    {"V2003_test.mdb", 705 * 4096},        {"V2003_test.mdb", 706 * 4096},
    {"V2003_test.mdb", 704 * 4096 + 2048}, {"V2003_test.mdb", 705 * 4096 + 3001},
};

double milliseconds(qint64 nanoseconds)
{
    return double(nanoseconds) / 1e6;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).trimmed()
                                          : QStringLiteral("unknown");
}

// Notes the longest time between two ticks of a timer on the main thread's event loop.
class Probe
{
public:
    Probe()
    {
        m_clock.start();
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
        m_timer.start(kProbeMs);
    }
    void reset()
    {
        m_last = m_clock.nsecsElapsed();
        m_longest = 0;
    }
    qint64 longest() const { return std::max(m_longest, m_clock.nsecsElapsed() - m_last); }
    qint64 now() const { return m_clock.nsecsElapsed(); }

private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// Runs `work` from the event loop, as a drive notification or the program's start runs, and
// handles events until it has returned.
void runFromEventLoop(const std::function<void()> &work)
{
    bool done = false;
    QTimer::singleShot(0, [&] {
        work();
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool writeCut(const QString &path, const Cut &cut)
{
    QFile sample(QStringLiteral(FWB_JET_SAMPLES "/") + QLatin1String(cut.sample));
    QFile out(path);
    return sample.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly) &&
           out.write(sample.read(cut.bytes)) == cut.bytes;
}

// How many of `files` keep mdb-tables busy past the check's time.
int loopingInLibmdb(const QStringList &files)
{
    std::vector<std::unique_ptr<QProcess>> runs;
    for (const QString &file : files) {
        runs.push_back(std::make_unique<QProcess>());
        runs.back()->setStandardOutputFile(QProcess::nullDevice());
        runs.back()->setStandardErrorFile(QProcess::nullDevice());
        runs.back()->start(QStringLiteral("mdb-tables"), {file});
    }
    QElapsedTimer clock;
    clock.start();
    int looping = 0;
    for (const auto &run : runs) {
        if (!run->waitForStarted(kLoopCheckMs))
            return -1;
        if (!run->waitForFinished(int(std::max<qint64>(0, kLoopCheckMs - clock.elapsed()))))
            ++looping;
        run->kill();
        run->waitForFinished();
    }
    return looping;
}

struct Arrival
{
    qint64 stall = 0;
    qint64 decision = -1;
    int damagedEntries = 0;
};

Arrival arrive(Probe &probe)
{
    Arrival arrival;
    qint64 found = -1;
    const QString noMatch =
        TranslateText(QStringLiteral("No matching backup set found for new drive"));
    const QString unreadable = TranslateText(QStringLiteral("The backup set could not be read"));
    SetMonitorLogSink([&](const QString &text) {
        if (text.startsWith(QStringLiteral("New drive found")))
            found = probe.now();
        else if (text.startsWith(unreadable))
            ++arrival.damagedEntries;
        else if (text.startsWith(noMatch) && found >= 0)
            arrival.decision = probe.now() - found;
    });
    probe.reset();
    runFromEventLoop([] { NewDriveFound(QStringLiteral("/")); });
    arrival.stall = probe.longest();
    SetMonitorLogSink({});
    return arrival;
}

qint64 median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

bool measureArrivals(Probe &probe, const QStringList &damaged, int arrivals)
{
    jet::DataAccess::instance().shutdown();
    QTemporaryDir folder;
    const QString sets = folder.path() + u'/';
    if (!bench::writeIniSets(sets, kIniSets, false))
        return false;
    for (int i = 0; i < damaged.size(); ++i) {
        if (!QFile::copy(damaged.at(i), sets + QStringLiteral("Damaged %1.fwb").arg(i)))
            return false;
    }
    settings().BackupSetFolder = sets;
    settings().BackupStartupMode = BackupStartup::Confirm;
    std::printf("\nDrive arrivals, %d ini sets and %d damaged database sets, no set matches\n",
                kIniSets, int(damaged.size()));
    std::printf("  %-34s %12s %30s\n", "", "longest stall", "\"New drive found\" -> decision");
    const auto row = [](const char *what, qint64 stall, qint64 decision) {
        std::printf("  %-34s %9.1f ms %27.1f ms\n", what, milliseconds(stall),
                    milliseconds(decision));
    };
    const Arrival first = arrive(probe);
    row("first arrival (engines started)", first.stall, first.decision);
    QList<qint64> stalls;
    QList<qint64> decisions;
    bool complete = first.decision >= 0 && first.damagedEntries == damaged.size();
    for (int i = 0; i < arrivals; ++i) {
        const Arrival next = arrive(probe);
        stalls.append(next.stall);
        decisions.append(next.decision);
        complete = complete && next.decision >= 0 && next.damagedEntries == damaged.size();
    }
    if (!stalls.isEmpty()) {
        row(qPrintable(QStringLiteral("next %1 arrivals, median").arg(arrivals)), median(stalls),
            median(decisions));
        row(qPrintable(QStringLiteral("next %1 arrivals, worst").arg(arrivals)),
            *std::max_element(stalls.begin(), stalls.end()),
            *std::max_element(decisions.begin(), decisions.end()));
    }
    if (!complete)
        std::printf("  some arrival missed its decision or a damaged set's entry\n");
    return complete;
}

struct Startup
{
    qint64 stall = 0;
    qint64 total = 0;
    QString title;
};

std::optional<Startup> startUp(Probe &probe, const QString &pack)
{
    QTemporaryDir folder;
    const QString packs = folder.filePath(QStringLiteral("Language Packs"));
    if (!QDir().mkpath(packs))
        return std::nullopt;
    if (!pack.isEmpty()) {
        QFile settingsFile(folder.filePath(QStringLiteral("settings.ini")));
        if (!QFile::copy(pack, packs + QStringLiteral("/Pack.lng")) ||
            !settingsFile.open(QIODevice::WriteOnly) ||
            settingsFile.write("[Options]\r\nGLO_CurrentLanguage=Pack.lng\r\n") < 0)
            return std::nullopt;
    }
    // As at the program's start, no engine runs yet.
    jet::DataAccess::instance().shutdown();
    Startup startup;
    probe.reset();
    const qint64 start = probe.now();
    std::unique_ptr<frmMAIN> window;
    runFromEventLoop([&] {
        window = std::make_unique<frmMAIN>(folder.path());
        window->Form_Load();
    });
    startup.total = probe.now() - start;
    startup.stall = probe.longest();
    startup.title = window->windowTitle();
    // As the program does when it ends: a window gone while still watching is reported.
    window->DeactivateMonitoring();
    return startup;
}

bool measureStartups(Probe &probe, const QString &damagedPack)
{
    std::printf("\nStart-up (the main window's load, the engine started with it)\n");
    std::printf("  %-34s %12s %12s   %s\n", "", "longest stall", "start-up", "window title");
    const std::pair<const char *, QString> packs[] = {
        {"no language pack", QString()},
        {"Swedish pack", QStringLiteral(FWB_SWEDISH_PACK)},
        {"damaged pack (sample cut short)", damagedPack},
    };
    for (const auto &[what, pack] : packs) {
        const std::optional<Startup> startup = startUp(probe, pack);
        if (!startup)
            return false;
        std::printf("  %-34s %9.1f ms %9.1f ms   %s\n", what, milliseconds(startup->stall),
                    milliseconds(startup->total), qPrintable(startup->title));
    }
    return true;
}

// A set handed to the desktop's opener, as when the backup program is missing: xdg-mime, a
// shell script, is asked which application takes the set's type.
void measureOpener(Probe &probe, const QString &set)
{
    probe.reset();
    const qint64 start = probe.now();
    runFromEventLoop([&] { OpenWithShell(set); });
    const qint64 took = probe.now() - start;
    std::printf("\nA set handed to the desktop's opener (xdg-mime asked)\n"
                "  longest stall %.1f ms, answer after %.1f ms\n",
                milliseconds(probe.longest()), milliseconds(took));
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A claim of its own, so that a running Agent does not make the start-ups end at once.
    qputenv("FWBAGENT_TEST_INSTANCE", QByteArray::number(qint64(::getpid())) + "-bench-stall");
    QApplication app(argc, argv);
    const int arrivals = argc > 1 ? std::max(0, QByteArray(argv[1]).toInt()) : 9;
    if (!QFile::exists(QStringLiteral(FWB_JET_SAMPLES "/V2000_test.mdb"))) {
        std::printf("bench_stall: skipped, no Access-made samples in %s\n", FWB_JET_SAMPLES);
        return 0;
    }
    LinuxPlatform platform;
    jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE));
    std::printf("load average before: %s (%d processors)\n", qPrintable(loadAverage()),
                int(::sysconf(_SC_NPROCESSORS_ONLN)));

    QTemporaryDir work;
    QStringList damaged;
    for (int i = 0; i < kDamagedSets; ++i) {
        damaged.append(work.filePath(QStringLiteral("cut %1.mdb").arg(i)));
        if (!writeCut(damaged.last(), kCuts[i])) {
            std::printf("cannot write the damaged files\n");
            return 1;
        }
    }
    const int looping = loopingInLibmdb(damaged);
    if (looping < 0)
        std::printf("mdb-tables is not installed: the damaged files were not checked\n");
    else
        std::printf("damaged files on which mdb-tables still runs after %d ms: %d of %d\n",
                    kLoopCheckMs, looping, kDamagedSets);

    // Every entry also goes to standard error; keep the figures readable.
    std::fflush(stdout);
    std::freopen("/dev/null", "w", stderr);
    Probe probe;
    std::printf("(probe every %d ms)\n", kProbeMs);
    const bool started = measureStartups(probe, damaged.first());
    const bool arrived =
        measureArrivals(probe, {}, arrivals) && measureArrivals(probe, damaged, arrivals);
    measureOpener(probe, damaged.first());
    std::printf("load average after: %s\n", qPrintable(loadAverage()));
    return arrived && started ? 0 : 1;
}
