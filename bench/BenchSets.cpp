#include "BenchSets.h"

#include "backup/Triggers.h"

#include <QFile>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace fwb::bench {

QString triggerList(int n, bool anyDrive)
{
    const QChar field(2);
    const QChar next(1);
    const QString any =
        anyDrive && n % 100 == 0 ? kAnyDriveTrigger : QStringLiteral("OFFSITE %1").arg(n);
    return QStringList{QStringLiteral("E:\\"), QStringLiteral("0"),
                       QStringLiteral("%1-C3D4").arg(n % 0x10000, 4, 16, QChar(u'0')).toUpper()}
               .join(field) +
           next +
           QStringList{QStringLiteral("F:\\"), QStringLiteral("1"),
                       QStringLiteral("BACKUP %1").arg(n)}
               .join(field) +
           next + QStringList{QStringLiteral("G:\\"), QStringLiteral("1"), any}.join(field);
}

QByteArray iniSet(int n, bool anyDrive)
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
    text += "OPT_AutoRunTriggerDrives=" + triggerList(n, anyDrive).toUtf8() + "\r\n";
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

bool writeIniSets(const QString &folder, int count, bool anyDrive)
{
    for (int n = 0; n < count; ++n) {
        QFile file(folder + QStringLiteral("Backup set %1.fwb").arg(n));
        const QByteArray text = iniSet(n, anyDrive);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return false;
    }
    return true;
}

long long cReadLoopNs(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    timespec start{};
    timespec end{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    DIR *dir = ::opendir(path.constData());
    if (!dir)
        return -1;
    static char buffer[64 * 1024];
    while (const dirent *entry = ::readdir(dir)) {
        const size_t length = std::strlen(entry->d_name);
        if (length < 4 || std::strcmp(entry->d_name + length - 4, ".fwb") != 0)
            continue;
        const int fd = ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
        ::close(fd);
    }
    ::closedir(dir);
    ::clock_gettime(CLOCK_MONOTONIC, &end);
    return (end.tv_sec - start.tv_sec) * 1'000'000'000LL + (end.tv_nsec - start.tv_nsec);
}

} // namespace fwb::bench
