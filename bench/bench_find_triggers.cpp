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

// One look through the folder; its time in nanoseconds, and how many triggers it found.
qint64 timeOneLook(qsizetype *found)
{
    QElapsedTimer clock;
    clock.start();
    *found = FindTriggerEntries().size();
    return clock.nsecsElapsed();
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
    const qint64 first = timeOneLook(&found);
    QList<qint64> times;
    for (int i = 0; i < kRepeats; ++i)
        times.append(timeOneLook(&found));
    std::sort(times.begin(), times.end());
    const qint64 median = times.at(kRepeats / 2);
    std::printf("%-22s %6d sets %6lld triggers   first %9.2f ms   median %9.2f ms   %7.1f us/set\n",
                what, count, static_cast<long long>(found), milliseconds(first),
                milliseconds(median), double(median) / 1000.0 / count);
    if (!database) {
        // The floor: a plain C loop that lists the folder and reads every set file whole.
        QList<qint64> floors;
        for (int i = 0; i < kRepeats; ++i)
            floors.append(bench::cReadLoopNs(dir.path()));
        std::sort(floors.begin(), floors.end());
        const qint64 floor = floors.at(kRepeats / 2);
        std::printf("%-22s %6d sets   C read loop median %9.2f ms   FindTriggerEntries / loop "
                    "%5.2fx\n",
                    "", count, milliseconds(floor), double(median) / double(floor));
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
