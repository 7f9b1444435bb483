#include "countdown/ConfirmTriggeredBackups.h"

#include "backup/AgentWindow.h"
#include "backup/DecisionState.h"
#include "backup/Launching.h"
#include "countdown/frmBALLOON.h"
#include "language/Translate.h"
#include "platform/Notifier.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"
#include "system/PendingEvents.h"

namespace fwb {
namespace {

void actOnResult()
{
    switch (decision().BalloonResult) {
    case BalloonOutcome::CancelAndShowAgent:
        agentWindow().ShowAgent();
        break;
    case BalloonOutcome::Launch: {
        // Launching lets other events run, and a later decision may refill the shared list
        // meanwhile: launch what this decision chose.
        const QStringList sets = decision().SetsToLaunch;
        LaunchBackupSets(sets);
        break;
    }
    case BalloonOutcome::Cancel:
        AddLogEntry(TranslateText(QStringLiteral("User cancelled triggered backups.")));
        LetPendingEventsRun();
        break;
    }
}

} // namespace

void ConfirmTriggeredBackups(const QStringList &setPaths)
{
    // A drive that arrives while the dialog is open adds its sets to that dialog, which then
    // decides for all of them.
    if (frmBALLOON *open = frmBALLOON::openDialog()) {
        for (const QString &path : setPaths)
            open->AddSet(path);
        return;
    }

    frmBALLOON dialog;
    dialog.Form_Load();
    for (const QString &path : setPaths)
        dialog.AddSet(path);
    if (settings().BackupStartupMode == BackupStartup::CountDown) {
        dialog.setWindowTitle(BoxTitle(QStringLiteral("Count Down")));
        dialog.StartCountDown();
        dialog.SetListHeight(1050);
    } else {
        dialog.setWindowTitle(BoxTitle(QStringLiteral("Confirm Start-up")));
        dialog.SetListHeight(1410);
    }
    // The dialog does not take the focus; with the window hidden or in the tray the user may
    // not notice it before the count-down ends.
    if (!agentWindow().InSight())
        Notify(dialog.windowTitle(), setPaths.join(u'\n'));
    dialog.ShowModal();
    // Only a program that is quitting ends the modal display without unloading the dialog.
    if (frmBALLOON::openDialog() == &dialog)
        dialog.done(QDialog::Rejected);
    actOnResult();
}

} // namespace fwb
