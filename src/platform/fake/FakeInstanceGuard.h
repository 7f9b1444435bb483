#pragma once

#include "platform/InstanceGuard.h"

namespace fwb {

class FakeInstanceGuard final : public InstanceGuard
{
public:
    InstanceClaim claim() override
    {
        ++claims;
        return answer;
    }

    InstanceClaim answer = InstanceClaim::Claimed;
    int claims = 0;
};

} // namespace fwb
