#include "countdown/DecisionState.h"

namespace fwb {

DecisionState &decision()
{
    static DecisionState state;
    return state;
}

} // namespace fwb
