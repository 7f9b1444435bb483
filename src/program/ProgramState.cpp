#include "program/ProgramState.h"

#include "backup/AgentWindow.h"
#include "jet/DataAccess.h"
#include "language/LanguagePack.h"
#include "system/Clock.h"

namespace fwb {
namespace {

AgentWindow &noWindow()
{
    static AgentWindow none;
    return none;
}

Clock &realClock()
{
    static Clock clock;
    return clock;
}

} // namespace

ProgramState::ProgramState() : window(&noWindow()), clock(&realClock()) {}

ProgramState::~ProgramState() = default;

ProgramState &programState()
{
    static ProgramState state;
    return state;
}

void ResetProgramState()
{
    ProgramState &state = programState();
    state.paths = {};
    state.settings = {};
    state.decision = {};
    state.log.entries.clear();
    state.languagePack.clear();
    state.dataAccess.reset();
}

Platform &platform()
{
    return programState().platform;
}

AgentWindow &agentWindow()
{
    return *programState().window;
}

void InstallAgentWindow(AgentWindow *window)
{
    programState().window = window ? window : &noWindow();
}

Clock &Clock::instance()
{
    return *programState().clock;
}

void Clock::setInstance(Clock *clock)
{
    programState().clock = clock ? clock : &realClock();
}

AppPaths &appPaths()
{
    return programState().paths;
}

AgentSettings &settings()
{
    return programState().settings;
}

DecisionState &decision()
{
    return programState().decision;
}

MonitorLogState &monitorLogState()
{
    return programState().log;
}

QString &LanguagePack()
{
    return programState().languagePack;
}

jet::DataAccess &jet::DataAccess::instance()
{
    std::unique_ptr<DataAccess> &access = programState().dataAccess;
    if (!access)
        access = std::make_unique<DataAccess>();
    return *access;
}

} // namespace fwb
