#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>

namespace fwb {

// Everything the program asks of its windows, in one place, so that the logic below the
// windows never needs their headers. The main window implements it and installs itself for
// as long as it lives, as the platform services are installed. Until then, and after it is
// gone, the window installed is this base, which shows nothing and asks nothing: callers never
// check for a window.
class AgentWindow
{
public:
    AgentWindow() = default;
    AgentWindow(const AgentWindow &) = delete;
    AgentWindow &operator=(const AgentWindow &) = delete;
    virtual ~AgentWindow() = default;

    // Puts triggered sets to the user instead of starting them at once: the main window shows
    // them in the count-down dialog (countdown/ConfirmTriggeredBackups.cpp).
    virtual void ConfirmTriggeredBackups(const QStringList &setPaths, const QString &driveLabel)
    {
        Q_UNUSED(setPaths)
        Q_UNUSED(driveLabel)
    }
    virtual void ShowAgent() {}
    // Whether the main window is on the screen, neither hidden nor minimized. A dialog that
    // opens while it is not needs a desktop notification to be noticed.
    virtual bool InSight() const { return false; }
    // Draws the eye to the window after a drive arrived.
    virtual void Flash() {}
    virtual void DeactivateMonitoring() {}
    virtual void StartMainProgram(const QString &reason) { Q_UNUSED(reason) }

    // The count-down dialog while it is loaded, or null: a drive that arrives meanwhile adds its
    // sets to that dialog, and the main window brings it forward instead of acting itself.
    QObject *OpenDialog() const { return m_openDialog; }
    void SetOpenDialog(QObject *dialog) { m_openDialog = dialog; }

private:
    QPointer<QObject> m_openDialog;
};

// The window installed now, kept in the program state (program/ProgramState.h).
AgentWindow &agentWindow();
// Installs `window`, or the base that asks nothing when it is null.
void InstallAgentWindow(AgentWindow *window);

} // namespace fwb
