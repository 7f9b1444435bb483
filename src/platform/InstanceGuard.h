#pragma once

namespace fwb {

// Tells whether another instance of the Agent runs for this user.
class InstanceGuard
{
public:
    virtual ~InstanceGuard() = default;
    // True when no other instance runs; the claim is then held until the process ends.
    virtual bool claim() = 0;
};

} // namespace fwb
