#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>

class QProcess;

namespace fwb::jet {

// The data-access engine as a child process, spoken to in frames over its stdin and stdout.
// Started on the first exchange and kept; any failure of an exchange ends it, so the next
// exchange starts a fresh one and no half-read answer can be taken for the next.
class EngineProcess
{
public:
    EngineProcess();
    ~EngineProcess();
    EngineProcess(const EngineProcess &) = delete;
    EngineProcess &operator=(const EngineProcess &) = delete;

    // Sends one request payload and returns the answer payload. Nothing when the engine cannot
    // be started, dies, has not answered within `timeLimit`, or answers with a frame larger
    // than `answerLimit` or followed by stray bytes.
    std::optional<QByteArray> exchange(const QString &program, const QByteArray &payload,
                                       std::chrono::milliseconds timeLimit, qint64 answerLimit);
    void stop();
    qint64 processId() const;

private:
    bool start(const QString &program, const QDeadlineTimer &deadline);
    std::optional<QByteArray> readAnswer(const QDeadlineTimer &deadline, qint64 answerLimit);

    std::unique_ptr<QProcess> m_process;
};

} // namespace fwb::jet
