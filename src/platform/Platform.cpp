#include "platform/Platform.h"

namespace fwb {

Platform &platform()
{
    static Platform services;
    return services;
}

} // namespace fwb
