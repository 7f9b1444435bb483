#pragma once

#include "platform/InstanceGuard.h"

#include <QByteArray>
#include <memory>

class QSocketNotifier;

namespace fwb {

// One Agent per user, whatever environment each copy was started in: the claim is a listening
// Unix socket in the abstract namespace, named after the user's id alone ("fwbagent-1000").
// No variable, folder or program copy changes that name, no folder has to exist or be writable
// for it, and the kernel drops the name the moment its process ends, however it ends, so an
// Agent that crashed never keeps the next one from starting.
//
// Every user may bind any abstract name, so a name already taken proves nothing by itself:
// the taker is connected to and asked who it is (SO_PEERCRED, which the kernel fills in and
// nobody can forge). Only a process of the same user counts as another instance. A name that
// another user took leaves this Agent without a claim: it starts anyway and says so, and the
// squatter gains nothing but that.
class UserInstanceGuard final : public InstanceGuard
{
public:
    // Tests that start Agents side by side, as the same user, keep their claims apart with
    // FWBAGENT_TEST_INSTANCE, which is added to the name; nothing else reads it. It is read when
    // the claim is made.
    UserInstanceGuard();
    ~UserInstanceGuard() override;
    InstanceClaim claim() override;

    // The name in the abstract namespace, without its leading NUL, once claim() has run.
    QByteArray name() const { return m_name; }

private:
    enum class Attempt { Claimed, OtherInstanceRuns, TryAgain, NoClaim };
    Attempt tryClaim();

    QByteArray m_name;
    int m_socket = -1;
    std::unique_ptr<QSocketNotifier> m_callers;
};

} // namespace fwb
