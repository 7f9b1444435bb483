#pragma once

namespace fwb {

enum class InstanceClaim {
    Claimed,           // no other instance runs; the claim is held until the process ends
    OtherInstanceRuns, // another live process holds the claim
    Unguarded,         // no claim could be made anywhere, so a second copy would go unnoticed
};

// Tells whether another instance of the Agent runs for this user.
class InstanceGuard
{
public:
    virtual ~InstanceGuard() = default;
    virtual InstanceClaim claim() = 0;
};

} // namespace fwb
