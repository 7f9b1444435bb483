#include "countdown/ConfirmTriggeredBackups.h"

#include "backup/AgentWindow.h"
#include "backup/DecisionState.h"
#include "backup/Launching.h"
#include "countdown/frmBALLOON.h"
#include "language/Translate.h"
#include "platform/Notifier.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"
#include "system/Paths.h"
#include "system/PendingEvents.h"

#include <QPointer>
#include <utility>

namespace fwb {
namespace {

// A notification service puts its messages at the top right, where the dialog is. The message
// goes after ten seconds, well before the count-down ends, so the user sees the dialog and its
// seconds running for most of the count; and it goes with the dialog, so that it never offers
// a choice that has already been made.
constexpr int kNotificationExpiryMs = 10'000;

// The notifications of the dialog now open.
QList<Notifier::Handle> &dialogNotifications()
{
    static QList<Notifier::Handle> handles;
    return handles;
}

// For the user who is not looking at the Agent: which drive triggered which sets and, while
// counting down, how long they have to decide. Its buttons are the dialog's.
void notifyAbout(frmBALLOON &dialog, const QStringList &setPaths, const QString &driveLabel)
{
    if (agentWindow().InSight())
        return;
    QStringList names;
    for (const QString &path : setPaths)
        names.append(LogValue(GetFileName(path)));
    names.removeDuplicates();
    QString body = TranslateText(QStringLiteral("New drive found")) + QStringLiteral(": ") +
                   LogValue(driveLabel) + u'\n' + TranslateText(QStringLiteral("Backup sets")) +
                   QStringLiteral(": ") + names.join(QStringLiteral(", "));
    if (settings().BackupStartupMode == BackupStartup::CountDown)
        body += u'\n' + TranslateText(QStringLiteral("Seconds until the checked backups start")) +
                QStringLiteral(": ") + QString::number(dialog.SecondsLeft());
    const Notification notification{
        dialog.windowTitle(),
        body,
        {{QStringLiteral("default"), TranslateText(QStringLiteral("Show"))},
         {QStringLiteral("start"), TranslateText(QStringLiteral("Start now"))},
         {QStringLiteral("cancel"), TranslateText(QStringLiteral("Cancel"))}},
        kNotificationExpiryMs};
    // A button pressed after the dialog has gone, or in a later dialog's time, does nothing.
    const QPointer<frmBALLOON> shown(&dialog);
    dialogNotifications().append(Notify(notification, [shown](const QString &key) {
        if (!shown || frmBALLOON::openDialog() != shown)
            return;
        if (key == QStringLiteral("start"))
            shown->CB_Start_Click();
        else if (key == QStringLiteral("cancel"))
            shown->CB_Cancel_Click();
        else
            frmBALLOON::activateOpenDialog();
    }));
}

void withdrawDialogNotifications()
{
    const QList<Notifier::Handle> handles = std::exchange(dialogNotifications(), {});
    for (const Notifier::Handle handle : handles)
        WithdrawNotification(handle);
}

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

void ConfirmTriggeredBackups(const QStringList &setPaths, const QString &driveLabel)
{
    // A drive that arrives while the dialog is open adds its sets to that dialog, which then
    // decides for all of them.
    if (frmBALLOON *open = frmBALLOON::openDialog()) {
        for (const QString &path : setPaths)
            open->AddSet(path);
        notifyAbout(*open, setPaths, driveLabel);
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
    notifyAbout(dialog, setPaths, driveLabel);
    dialog.ShowModal();
    withdrawDialogNotifications();
    // Only a program that is quitting ends the modal display without unloading the dialog.
    if (frmBALLOON::openDialog() == &dialog)
        dialog.done(QDialog::Rejected);
    actOnResult();
}

} // namespace fwb
