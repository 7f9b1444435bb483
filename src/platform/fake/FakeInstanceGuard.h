#pragma once

#include "platform/InstanceGuard.h"

namespace fwb {

class FakeInstanceGuard final : public InstanceGuard
{
public:
    bool claim() override
    {
        ++claims;
        return !otherInstanceRuns;
    }

    bool otherInstanceRuns = false;
    int claims = 0;
};

} // namespace fwb
