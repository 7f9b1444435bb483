// How long one look through the backup-set folder takes, for folders of ini sets and of
// database sets: the first look and the median of five after it. Every new drive costs one.
// For ini sets, the same run times a plain C loop that reads every set file, as the floor.
//
//   bench_find_triggers
#include "BenchSets.h"
#include "backup/Triggers.h"
#include "jet/DataAccess.h"
#include "jet/writer/JetWriter.h"
#include "platform/linux/LinuxPlatform.h"
#include "store/Settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

using namespace fwb;
using fwb::bench::iniSet;
using fwb::bench::triggerList;

namespace {

constexpr int kRepeats = 5;

// A database set: its settings in table "1", forty columns with the trigger list in "16",
// and a second table listing the files it backs up.
bool writeDatabaseSet(const QString &path, int n)
{
    jet::TableData settingsTable{QStringLiteral("1"), {}, {{}}};
    for (int column = 1; column <= 40; ++column) {
        const bool triggers = column == 16;
        settingsTable.columns.append(
            {QString::number(column), triggers ? jet::ColumnType::Memo : jet::ColumnType::Text});
        settingsTable.rows.first().append(
            triggers ? triggerList(n) : QStringLiteral("value %1 of set %2").arg(column).arg(n));
    }
    jet::TableData filesTable{QStringLiteral("2"),
                              {{QStringLiteral("Path"), jet::ColumnType::Text},
                               {QStringLiteral("Size"), jet::ColumnType::LongInteger}},
                              {}};
    for (int file = 0; file < 200; ++file)
        filesTable.rows.append(
            {QStringLiteral("C:\\Documents\\Set %1\\file %2.doc").arg(n).arg(file),
             QString::number(file * 1024)});
    return jet::writeDatabase(path, {settingsTable, filesTable});
}

bool makeSets(const QString &folder, int count, bool database)
{
    if (!database)
        return bench::writeIniSets(folder, count);
    for (int n = 0; n < count; ++n) {
        const QString path = folder + QStringLiteral("Backup set %1.fwb").arg(n);
        if (!writeDatabaseSet(path, n))
            return false;
    }
    return true;
}

double milliseconds(qint64 nanoseconds)
{
    return double(nanoseconds) / 1e6;
}

// The processor time this thread has used, user and system: unlike the wall clock, it does
// not grow when other programs take turns on the processor.
qint64 threadCpuNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

struct Times
{
    qint64 wall = 0;
    qint64 cpu = 0;
};

Times timeOf(const std::function<void()> &work)
{
    const qint64 cpuBefore = threadCpuNs();
    QElapsedTimer clock;
    clock.start();
    work();
    return {clock.nsecsElapsed(), threadCpuNs() - cpuBefore};
}

Times medianOf(const std::function<void()> &work)
{
    QList<qint64> walls;
    QList<qint64> cpus;
    for (int i = 0; i < kRepeats; ++i) {
        const Times times = timeOf(work);
        walls.append(times.wall);
        cpus.append(times.cpu);
    }
    std::sort(walls.begin(), walls.end());
    std::sort(cpus.begin(), cpus.end());
    return {walls.at(kRepeats / 2), cpus.at(kRepeats / 2)};
}

bool measure(const char *what, int count, bool database)
{
    QTemporaryDir dir;
    if (!dir.isValid() || !makeSets(dir.path() + u'/', count, database)) {
        std::printf("%-22s could not write the sets\n", what);
        return false;
    }
    settings().BackupSetFolder = dir.path() + u'/';

    qsizetype found = 0;
    const auto look = [&found] {
        found = FindTriggerEntries().size();
    };
    const Times first = timeOf(look);
    const Times median = medianOf(look);
    std::printf("%-22s %6d sets %6lld triggers   first %9.2f ms   median %9.2f ms (processor "
                "%9.2f ms)   %7.1f us/set\n",
                what, count, static_cast<long long>(found), milliseconds(first.wall),
                milliseconds(median.wall), milliseconds(median.cpu),
                double(median.wall) / 1000.0 / count);
    if (!database) {
        // The floor: a plain C loop that lists the folder and reads every set file whole.
        const QString folder = dir.path();
        const Times floor = medianOf([&folder] { bench::cReadLoopNs(folder); });
        std::printf("%-22s %6d sets   C read loop median %9.2f ms (processor %9.2f ms)   "
                    "FindTriggerEntries / loop %5.2fx (processor %5.2fx)\n",
                    "", count, milliseconds(floor.wall), milliseconds(floor.cpu),
                    double(median.wall) / double(floor.wall),
                    double(median.cpu) / double(floor.cpu));
    }
    return found == qsizetype(count) * 3;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    LinuxPlatform platform;
    jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE));

    std::printf("FindTriggerEntries: one look through the backup-set folder (median of %d)\n",
                kRepeats);
    bool complete = measure("ini sets", 1000, false);
    complete = measure("ini sets", 10000, false) && complete;
    // The first look at database sets includes starting the engine.
    complete = measure("database sets", 100, true) && complete;
    if (!complete)
        std::printf("some triggers were not found: the figures are not comparable\n");
    return complete ? 0 : 1;
}
