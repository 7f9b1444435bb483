#include "monitor/NewDriveFound.h"

#include "backup/AgentWindow.h"
#include "backup/Launching.h"
#include "backup/Triggers.h"
#include "language/Translate.h"
#include "monitor/VolumeIdentity.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"
#include "system/PendingEvents.h"

namespace fwb {

void NewDriveFound(const QString &rootPath)
{
    const auto [serialText, labelText] = GetVolumeIdentity(rootPath);
    const QString crlf = QStringLiteral("\r\n");
    // The root path is logged as it is: upper-casing was for drive letters. Whoever labelled
    // the volume cannot add lines to the log; matching still sees the label as it is.
    AddLogEntry(TranslateText(QStringLiteral("New drive found")) + u':' + crlf +
                TranslateText(QStringLiteral("Drive")) + QStringLiteral(": ") + LogValue(rootPath) +
                crlf + TranslateText(QStringLiteral("Label")) + QStringLiteral(": ") +
                LogValue(labelText) + crlf + TranslateText(QStringLiteral("Serial number")) +
                QStringLiteral(": ") + serialText);
    LetPendingEventsRun();

    QStringList MatchedSets;
    const QList<TriggerEntry> entries = FindTriggerEntries();
    for (const TriggerEntry &entry : entries)
        if (TriggerMatches(entry, labelText, serialText))
            MatchedSets.append(entry.SetFile);

    if (IsArrayDimensioned(MatchedSets)) {
        if (settings().BackupStartupMode == BackupStartup::Automatic)
            LaunchBackupSets(MatchedSets);
        // A user who may not read the device and has no udev record of it gets no label:
        // then the mount point is what tells the drives apart.
        else
            agentWindow().ConfirmTriggeredBackups(MatchedSets,
                                                  labelText.isEmpty() ? rootPath : labelText);
        return;
    }
    AddLogEntry(TranslateText(QStringLiteral("No matching backup set found for new drive")) +
                QStringLiteral(": ") + LogValue(rootPath));
    LetPendingEventsRun();
}

} // namespace fwb
