#include "jet/EngineProcess.h"

#include "jet/EngineProtocol.h"
#include "system/FileNames.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <limits>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace fwb::jet {

namespace {

// How long a polite end (its requests closed) may take before the engine is killed.
constexpr int kQuitMilliseconds = 1000;

int remainingMilliseconds(const QDeadlineTimer &deadline)
{
    const qint64 remaining = deadline.remainingTime();
    return int(qBound(qint64(0), remaining, qint64(std::numeric_limits<int>::max())));
}

// Waits until `socket` has `events` or the deadline passes; false on the deadline.
bool waitFor(int socket, short events, const QDeadlineTimer &deadline)
{
    pollfd wanted{socket, events, 0};
    for (;;) {
        const int ready = ::poll(&wanted, 1, remainingMilliseconds(deadline));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR || deadline.hasExpired())
            return false;
    }
}

} // namespace

EngineProcess::~EngineProcess()
{
    if (!m_pid)
        return;
    // An engine whose requests end finishes by itself, with its open files closed properly;
    // its end of the socket closing says that it has.
    ::shutdown(m_socket, SHUT_WR);
    const QDeadlineTimer deadline(kQuitMilliseconds);
    char byte;
    while (waitFor(m_socket, POLLIN, deadline) && ::recv(m_socket, &byte, 1, 0) > 0) {
    }
    stop();
}

std::optional<QByteArray> EngineProcess::exchange(const QString &program, const QByteArray &payload,
                                                  std::chrono::milliseconds timeLimit,
                                                  qint64 answerLimit)
{
    const QDeadlineTimer deadline(timeLimit);
    m_failure = Failure::None;
    // An engine that died between requests (killed, or gone with the memory or the processor
    // time it was given) is replaced before this request is lost to it.
    if (m_pid && hasExited())
        stop();
    if (!m_pid && !start(program)) {
        m_failure = Failure::NotStarted;
        return std::nullopt;
    }
    m_failure = Failure::NoAnswer;
    std::optional<QByteArray> answer;
    if (send(protocol::frame(payload), deadline))
        answer = readAnswer(deadline, answerLimit);
    if (answer)
        m_failure = Failure::None;
    else
        stop();
    return answer;
}

void EngineProcess::stop()
{
    if (m_pid) {
        ::kill(m_pid, SIGKILL);
        while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        m_pid = 0;
    }
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
}

bool EngineProcess::start(const QString &program)
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, ends[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&files, ends[1], STDOUT_FILENO);
    // libmdb reports damaged pages on stderr; that is noise to the user, not a result.
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // The engine ends itself with SIGPROF when a request has had its processor time, and with
    // SIGPIPE when the program it answers has gone: neither may arrive ignored or blocked.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigaddset(&signals, SIGPROF);
    sigaddset(&signals, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    // The program's name travels as the bytes the file system holds.
    QByteArray path = EncodeFileName(program);
    char *arguments[] = {path.data(), nullptr};
    pid_t pid = 0;
    const int failed =
        ::posix_spawn(&pid, path.constData(), &files, &attributes, arguments, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    ::close(ends[1]);
    if (failed) {
        ::close(ends[0]);
        return false;
    }
    m_pid = pid;
    m_socket = ends[0];
    return true;
}

bool EngineProcess::hasExited()
{
    const pid_t reaped = ::waitpid(m_pid, nullptr, WNOHANG);
    if (reaped != m_pid)
        return false;
    m_pid = 0;
    return true;
}

bool EngineProcess::send(const QByteArray &bytes, const QDeadlineTimer &deadline)
{
    for (qsizetype sent = 0; sent < bytes.size();) {
        if (!waitFor(m_socket, POLLOUT, deadline))
            return false;
        // Not a signal that would end the program: an engine gone is a failed request.
        const ssize_t put = ::send(m_socket, bytes.constData() + sent, size_t(bytes.size() - sent),
                                   MSG_NOSIGNAL | MSG_DONTWAIT);
        if (put < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (put <= 0)
            return false;
        sent += put;
    }
    return true;
}

std::optional<QByteArray> EngineProcess::readAnswer(const QDeadlineTimer &deadline,
                                                    qint64 answerLimit)
{
    QByteArray received;
    char buffer[64 * 1024];
    for (;;) {
        if (const std::optional<quint32> length = protocol::frameLength(received)) {
            const qint64 frameSize = qint64(protocol::kFrameHeaderBytes) + *length;
            if (*length > answerLimit || received.size() > frameSize) {
                m_failure = Failure::Refused;
                return std::nullopt;
            }
            if (received.size() == frameSize)
                return received.mid(protocol::kFrameHeaderBytes);
        }
        // A time-out and an engine that has died (its end closed) alike leave no answer.
        if (!waitFor(m_socket, POLLIN, deadline))
            return std::nullopt;
        const ssize_t got = ::recv(m_socket, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return std::nullopt;
        received.append(buffer, got);
    }
}

} // namespace fwb::jet
