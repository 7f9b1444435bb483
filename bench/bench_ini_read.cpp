// Reads the start-up settings from many settings.ini / fwbagent.ini pairs and prints how
// long one pair takes.
#include "store/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr int kPairs = 10000;

QByteArray settingsIni(int n)
{
    QByteArray text = "; Ferrow Backup settings\r\n"
                      "[Options]\r\n"
                      "GLO_Version=5.0.12\r\n"
                      "LastOpenedDir=C:\\Documents and Settings\\User " +
                      QByteArray::number(n) +
                      "\\My Documents\\Backup sets\r\n"
                      "GLO_WindowLeft=1245\r\n"
                      "GLO_WindowTop=930\r\n"
                      "GLO_WindowWidth=9870\r\n"
                      "GLO_WindowHeight=7215\r\n"
                      "GLO_WindowState=0\r\n"
                      "GLO_ShowSplash=1\r\n"
                      "GLO_CheckForUpdates=1\r\n"
                      "GLO_LastUpdateCheck=2008-11-03\r\n"
                      "GLO_LogLevel=2\r\n"
                      "GLO_LogFolder=C:\\Program Files\\Ferrow Backup\\Logs\\\r\n"
                      "GLO_MaxLogSize=1048576\r\n"
                      "GLO_CompressionLevel=6\r\n"
                      "GLO_DefaultDestination=E:\\Backup\\\r\n"
                      "GLO_ConfirmOnExit=1\r\n"
                      "GLO_ShowTips=0\r\n"
                      "GLO_TipIndex=17\r\n"
                      "GLO_IncreaseTextWidth=1.15\r\n"
                      "GLO_RecentSet1=C:\\Backup sets\\Documents.fwb\r\n"
                      "GLO_RecentSet2=C:\\Backup sets\\Photos.fwb\r\n"
                      "GLO_RecentSet3=C:\\Backup sets\\Mail.fwb\r\n"
                      "GLO_DateFormat=yyyy-mm-dd\r\n"
                      "GLO_SoundOnFinish=1\r\n"
                      "GLO_EmailReport=0\r\n"
                      "GLO_CurrentLanguage=Swedish.lng\r\n"
                      "\r\n"
                      "[Settings]\r\n"
                      "FirstRunOfGeneration5=0\r\n";
    return text;
}

QByteArray agentIni()
{
    return "[Options]\r\n"
           "GLO_AgentStartupMode=1\r\n"
           "GLO_BackupStartupMode=1\r\n"
           "GLO_MinimizeMode=1\r\n";
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The reads the Agent makes at start-up, in its order. Answers how many came back as
// written, so the work cannot be optimised away.
int readPair(const QString &folder)
{
    using fwb::ini::readProfileString;
    const QString settings = folder + QStringLiteral("/settings.ini");
    const QString agent = folder + QStringLiteral("/fwbagent.ini");
    const QString options = QStringLiteral("Options");
    int found = 0;
    found +=
        !readProfileString(settings, options, QStringLiteral("LastOpenedDir"), {}, 257).isEmpty();
    found += readProfileString(settings, options, QStringLiteral("GLO_IncreaseTextWidth"),
                               QStringLiteral("0"), 257) == u"1.15";
    found += readProfileString(settings, QStringLiteral("Settings"),
                               QStringLiteral("FirstRunOfGeneration5"), QStringLiteral("1"),
                               256) == u"0";
    found += readProfileString(agent, options, QStringLiteral("GLO_AgentStartupMode"),
                               QStringLiteral("0"), 257) == u"1";
    found += readProfileString(agent, options, QStringLiteral("GLO_BackupStartupMode"),
                               QStringLiteral("2"), 257) == u"1";
    found += readProfileString(agent, options, QStringLiteral("GLO_MinimizeMode"),
                               QStringLiteral("0"), 257) == u"1";
    found += readProfileString(settings, options, QStringLiteral("GLO_CurrentLanguage"), {}, 257) ==
             u"Swedish.lng";
    return found;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    QStringList folders;
    for (int n = 0; n < kPairs; ++n) {
        const QString folder = dir.filePath(QString::number(n));
        if (!QDir().mkdir(folder) ||
            !writeFile(folder + QStringLiteral("/settings.ini"), settingsIni(n)) ||
            !writeFile(folder + QStringLiteral("/fwbagent.ini"), agentIni()))
            return 1;
        folders.append(folder);
    }

    QElapsedTimer timer;
    timer.start();
    qint64 found = 0;
    for (const QString &folder : std::as_const(folders))
        found += readPair(folder);
    const qint64 ns = timer.nsecsElapsed();

    std::printf("ini read: %d file pairs, 7 keys each, %lld of %d values as written\n", kPairs,
                static_cast<long long>(found), kPairs * 7);
    std::printf("total %.1f ms, %.1f us per pair\n", double(ns) / 1e6, double(ns) / 1e3 / kPairs);
    return found == kPairs * 7 ? 0 : 1;
}
