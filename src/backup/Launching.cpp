#include "backup/Launching.h"

#include "language/Translate.h"
#include "platform/Notifier.h"
#include "platform/Platform.h"
#include "platform/ProgramStarter.h"
#include "store/AppPaths.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"
#include "system/Clock.h"
#include "system/Paths.h"
#include "system/PendingEvents.h"

namespace fwb {
namespace {

// Logs an outcome; a launch nobody was asked about also reaches the desktop, for the user who
// is not looking at the Agent's window.
void report(const QString &text)
{
    AddLogEntry(text);
    if (settings().BackupStartupMode == BackupStartup::Automatic)
        Notify(TranslateText(QStringLiteral("FW Backup Agent")), text);
}

QString launchingEntry(const QString &path)
{
    return TranslateText(QStringLiteral("Launching backup set")) + QStringLiteral(": ") + path;
}

void launchOne(const QString &path)
{
    const QString program = appPaths().FwbExePath;
    const bool programExists = FileExists(program);
    const bool setExists = FileExists(path);

    if (programExists && setExists) {
        report(launchingEntry(path));
        LetPendingEventsRun();
        // One argument, the path exactly as it stands: no shell ever sees it.
        if (!platform().programStarter->startDetached(program, {path})) {
            // The file is there but could not be run (not executable, a folder, a program
            // for another machine): the entry above must not be the last word.
            report(
                TranslateText(QStringLiteral("The main FW Backup program could not be started")) +
                QStringLiteral(": ") + program + QStringLiteral(". ") +
                TranslateText(QStringLiteral("Backup cancelled")) + u'.');
            LetPendingEventsRun();
        }
    } else if (setExists) {
        report(OpenWithShell(path)
                   ? launchingEntry(path)
                   : TranslateText(QStringLiteral(
                         "Main FW Backup program file not found. Backup cancelled.")));
        LetPendingEventsRun();
    } else if (programExists) {
        report(TranslateText(QStringLiteral("The backup set to be launched could not be found")) +
               QStringLiteral(": ") + path + QStringLiteral(". ") +
               TranslateText(QStringLiteral("Backup cancelled")) + u'.');
        LetPendingEventsRun();
    } else {
        report(TranslateText(QStringLiteral("Neither backup set nor FW Backup program file "
                                            "could be found. Backup cancelled.")));
        LetPendingEventsRun();
    }
}

} // namespace

void LaunchBackupSets(const QStringList &setPaths)
{
    for (const QString &path : setPaths) {
        launchOne(path);
        PauseSeconds(1);
    }
}

bool OpenWithShell(const QString &path)
{
    return platform().programStarter->openBackupSet(path) == ProgramStarter::OpenResult::Opened;
}

void PauseSeconds(int seconds)
{
    Clock &clock = Clock::instance();
    const qint64 start = clock.currentMSecsSinceEpoch() / 1000;
    clock.runEventsUntil((start + seconds + 1) * 1000);
}

} // namespace fwb
