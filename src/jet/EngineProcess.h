#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <chrono>
#include <optional>
#include <sys/types.h>

namespace fwb::jet {

// The data-access engine as a child process, spoken to in frames over one socket that is its
// stdin and stdout. Started on the first exchange and kept; any failure of an exchange ends it,
// so the next exchange starts a fresh one and no half-read answer can be taken for the next.
//
// Plain system calls rather than QProcess: an engine is handed from thread to thread (whichever
// asks next), and a QProcess belongs to the thread that made it.
class EngineProcess
{
public:
    EngineProcess() = default;
    ~EngineProcess();
    EngineProcess(const EngineProcess &) = delete;
    EngineProcess &operator=(const EngineProcess &) = delete;

    // Sends one request payload and returns the answer payload. Nothing when the engine cannot
    // be started, dies, has not answered within `timeLimit`, or answers with a frame larger
    // than `answerLimit` or followed by stray bytes.
    std::optional<QByteArray> exchange(const QString &program, const QByteArray &payload,
                                       std::chrono::milliseconds timeLimit, qint64 answerLimit);
    // Why the last exchange failed.
    enum class Failure {
        None,
        NotStarted, // no engine could be started at all
        NoAnswer,   // the engine died or had not answered in time
        Refused,    // its answer was too large or not one frame
    };
    Failure lastFailure() const { return m_failure; }
    void stop();
    qint64 processId() const { return m_pid; }

private:
    bool start(const QString &program);
    bool hasExited();
    bool send(const QByteArray &bytes, const QDeadlineTimer &deadline);
    std::optional<QByteArray> readAnswer(const QDeadlineTimer &deadline, qint64 answerLimit);

    pid_t m_pid = 0;
    int m_socket = -1;
    Failure m_failure = Failure::None;
};

} // namespace fwb::jet
