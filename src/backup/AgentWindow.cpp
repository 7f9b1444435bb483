#include "backup/AgentWindow.h"

namespace fwb {
namespace {

AgentWindow &noWindow()
{
    static AgentWindow none;
    return none;
}

AgentWindow *&installed()
{
    static AgentWindow *window = &noWindow();
    return window;
}

} // namespace

AgentWindow &agentWindow()
{
    return *installed();
}

void InstallAgentWindow(AgentWindow *window)
{
    installed() = window ? window : &noWindow();
}

} // namespace fwb
