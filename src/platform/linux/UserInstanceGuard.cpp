#include "platform/linux/UserInstanceGuard.h"

#include <QSocketNotifier>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace fwb {
namespace {

// How often a name found taken is looked at again: its holder may be between bind() and
// listen(), or just ending.
constexpr int kAttempts = 10;
constexpr unsigned long kAttemptPauseMs = 5;

socklen_t abstractAddress(const QByteArray &name, sockaddr_un &address)
{
    address = {};
    address.sun_family = AF_UNIX;
    const size_t length = std::min(size_t(name.size()), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, name.constData(), length);
    return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + length);
}

int newSocket()
{
    return ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

enum class Holder { Gone, SameUser, OtherUser, Unknown };

// Who listens on the name: the kernel's record of the listener's user, taken when it listened.
Holder holderOf(const sockaddr_un &address, socklen_t length)
{
    const int fd = newSocket();
    if (fd < 0)
        return Holder::Unknown;
    Holder holder = Holder::Unknown;
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), length) == 0) {
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0)
            holder = credentials.uid == ::geteuid() ? Holder::SameUser : Holder::OtherUser;
    } else if (errno == ECONNREFUSED) {
        holder = Holder::Gone; // bound but not listening (yet, or any more)
    }
    ::close(fd);
    return holder;
}

} // namespace

UserInstanceGuard::UserInstanceGuard() = default;

UserInstanceGuard::~UserInstanceGuard()
{
    m_callers.reset();
    if (m_socket >= 0)
        ::close(m_socket);
}

InstanceClaim UserInstanceGuard::claim()
{
    if (m_socket >= 0)
        return InstanceClaim::Claimed;
    m_name = "fwbagent-" + QByteArray::number(::geteuid());
    if (const QByteArray test = qgetenv("FWBAGENT_TEST_INSTANCE"); !test.isEmpty())
        m_name += "-test-" + test;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        switch (tryClaim()) {
        case Attempt::Claimed:
            return InstanceClaim::Claimed;
        case Attempt::OtherInstanceRuns:
            return InstanceClaim::OtherInstanceRuns;
        case Attempt::NoClaim:
            return InstanceClaim::Unguarded;
        case Attempt::TryAgain:
            QThread::msleep(kAttemptPauseMs);
            break;
        }
    }
    return InstanceClaim::Unguarded;
}

UserInstanceGuard::Attempt UserInstanceGuard::tryClaim()
{
    sockaddr_un address;
    const socklen_t length = abstractAddress(m_name, address);
    const int fd = newSocket();
    if (fd < 0)
        return Attempt::NoClaim;
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), length) == 0 &&
        ::listen(fd, 16) == 0) {
        m_socket = fd;
        // Callers only ask who holds the name; each is let in and sent away at once, so that
        // none waits in the queue.
        m_callers = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(m_callers.get(), &QSocketNotifier::activated, m_callers.get(), [fd] {
            for (int caller; (caller = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;)
                ::close(caller);
        });
        return Attempt::Claimed;
    }
    const bool taken = errno == EADDRINUSE;
    ::close(fd);
    switch (taken ? holderOf(address, length) : Holder::Unknown) {
    case Holder::SameUser:
        return Attempt::OtherInstanceRuns;
    case Holder::Gone:
        return Attempt::TryAgain;
    default:
        // Another user's name, or a failure another look will not mend.
        return Attempt::NoClaim;
    }
}

} // namespace fwb
