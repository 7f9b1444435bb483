#include "backup/AgentRequests.h"

namespace fwb {

AgentRequests &agentRequests()
{
    static AgentRequests requests;
    return requests;
}

} // namespace fwb
