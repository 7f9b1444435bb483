#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace fwb {

// What the core and the dialogs may ask of the main window. The main window fills these in
// while it exists, so neither side needs the other's header; an empty entry asks nothing.
struct AgentRequests
{
    std::function<void()> ShowAgent;
    std::function<void()> DeactivateMonitoring;
    std::function<void(const QString &reason)> StartMainProgram;
    // Puts triggered sets to the user (the count-down dialog) instead of starting them at once.
    std::function<void(const QStringList &setPaths)> ConfirmTriggeredBackups;
};

AgentRequests &agentRequests();

} // namespace fwb
