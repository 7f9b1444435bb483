// How long one look through the backup-set folder takes, for folders of ini sets and of
// database sets: the first look and the median of five after it. Every new drive costs one.
//
//   bench_find_triggers
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

namespace {

constexpr int kRepeats = 5;

// Three triggers as the backup program stores them: on a serial number, on a label, and on
// any drive for every hundredth set.
QString triggerList(int n)
{
    const QChar field(2);
    const QChar next(1);
    const QString any = n % 100 == 0 ? kAnyDriveTrigger : QStringLiteral("OFFSITE %1").arg(n);
    return QStringList{QStringLiteral("E:\\"), QStringLiteral("0"),
                       QStringLiteral("%1-C3D4").arg(n % 0x10000, 4, 16, QChar(u'0')).toUpper()}
               .join(field) +
           next +
           QStringList{QStringLiteral("F:\\"), QStringLiteral("1"),
                       QStringLiteral("BACKUP %1").arg(n)}
               .join(field) +
           next + QStringList{QStringLiteral("G:\\"), QStringLiteral("1"), any}.join(field);
}

// About forty keys, the trigger list among the last of its section, as saved sets have them.
QByteArray iniSet(int n)
{
    const QByteArray number = QByteArray::number(n);
    QByteArray text = "[General]\r\n"
                      "GEN_Version=27\r\n"
                      "GEN_Name=Backup set " +
                      number +
                      "\r\n"
                      "GEN_Description=Documents, mail and photos of user " +
                      number +
                      "\r\n"
                      "GEN_Created=2008-03-14 21:07:55\r\n"
                      "GEN_Modified=2009-01-22 08:41:10\r\n"
                      "GEN_LastRun=2009-02-01 22:00:04\r\n"
                      "GEN_LastResult=0\r\n"
                      "\r\n"
                      "[Settings]\r\n"
                      "BackupFromDiR=C:\\Documents and Settings\\User " +
                      number + "\\My Documents\\\r\n";
    const char *options[] = {
        "OPT_Compression=6",       "OPT_CompressionMethod=2", "OPT_Encrypt=0",
        "OPT_EncryptionMethod=1",  "OPT_SplitArchive=0",      "OPT_SplitSize=650",
        "OPT_IncludeSubfolders=1", "OPT_IncludeHidden=0",     "OPT_IncludeSystem=0",
        "OPT_ArchiveBit=1",        "OPT_Incremental=1",       "OPT_FullEvery=7",
        "OPT_KeepVersions=5",      "OPT_VerifyAfter=1",       "OPT_ShutdownAfter=0",
        "OPT_CloseWhenDone=1",     "OPT_LogLevel=2",          "OPT_Filter=*.tmp;*.bak;~*.*",
        "OPT_ScheduleEnabled=1",   "OPT_ScheduleDays=127",    "OPT_ScheduleTime=22:00",
        "OPT_RunMissed=1",         "OPT_EmailReport=0",       "OPT_EmailTo=user@example.com",
        "OPT_Priority=1",          "OPT_OpenFiles=1",         "OPT_PreCommand=",
        "OPT_PostCommand="};
    for (const char *option : options)
        text += QByteArray(option) + "\r\n";
    text += "OPT_AutoRunTriggerDrives=" + triggerList(n).toUtf8() + "\r\n";
    text += "OPT_AutoRunDelay=10\r\n"
            "\r\n"
            "[Destination]\r\n"
            "DST_Type=0\r\n"
            "DST_Path=E:\\Backup\\Set " +
            number +
            "\\\r\n"
            "DST_FileName=Backup set " +
            number + ".zip\r\n";
    return text;
}

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
    for (int n = 0; n < count; ++n) {
        const QString path = folder + QStringLiteral("Backup set %1.fwb").arg(n);
        if (database) {
            if (!writeDatabaseSet(path, n))
                return false;
            continue;
        }
        QFile file(path);
        const QByteArray text = iniSet(n);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
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
