#include "backup/DecisionState.h"

namespace fwb {

DecisionState &decision()
{
    static DecisionState state;
    return state;
}

} // namespace fwb
