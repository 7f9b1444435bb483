#include "jet/EngineProcess.h"

#include "jet/EngineProtocol.h"
#include "system/FileNames.h"

#include <QProcess>
#include <limits>

namespace fwb::jet {

namespace {

// How long a polite end (stdin closed) may take before the engine is killed.
constexpr int kQuitMilliseconds = 1000;

int remainingMilliseconds(const QDeadlineTimer &deadline)
{
    const qint64 remaining = deadline.remainingTime();
    return int(qBound(qint64(0), remaining, qint64(std::numeric_limits<int>::max())));
}

} // namespace

EngineProcess::EngineProcess() = default;

EngineProcess::~EngineProcess()
{
    if (!m_process)
        return;
    // An engine whose stdin closes ends by itself, with its open files closed properly.
    m_process->closeWriteChannel();
    if (!m_process->waitForFinished(kQuitMilliseconds))
        stop();
}

std::optional<QByteArray> EngineProcess::exchange(const QString &program, const QByteArray &payload,
                                                  std::chrono::milliseconds timeLimit,
                                                  qint64 answerLimit)
{
    const QDeadlineTimer deadline(timeLimit);
    // An engine that died between requests (killed, or gone with the memory it was given)
    // is replaced before this request is lost to it. When the event loop has already run,
    // QProcess has noticed the death itself, and waitForFinished() no longer reports it.
    if (m_process && (m_process->state() == QProcess::NotRunning || m_process->waitForFinished(0)))
        stop();
    if (!m_process && !start(program, deadline))
        return std::nullopt;
    const QByteArray request = protocol::frame(payload);
    std::optional<QByteArray> answer;
    if (m_process->write(request) == request.size())
        answer = readAnswer(deadline, answerLimit);
    if (!answer)
        stop();
    return answer;
}

void EngineProcess::stop()
{
    if (!m_process)
        return;
    m_process->kill();
    m_process->waitForFinished(kQuitMilliseconds);
    m_process.reset();
}

qint64 EngineProcess::processId() const
{
    return m_process ? m_process->processId() : 0;
}

bool EngineProcess::start(const QString &program, const QDeadlineTimer &deadline)
{
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(program);
    KeepRawNamesWhenStarting(*m_process);
    // libmdb reports damaged pages on stderr; that is noise to the user, not a result.
    m_process->setStandardErrorFile(QProcess::nullDevice());
    m_process->start(QIODevice::ReadWrite);
    if (m_process->waitForStarted(remainingMilliseconds(deadline)))
        return true;
    stop();
    return false;
}

std::optional<QByteArray> EngineProcess::readAnswer(const QDeadlineTimer &deadline,
                                                    qint64 answerLimit)
{
    QByteArray received;
    for (;;) {
        received += m_process->readAllStandardOutput();
        if (const std::optional<quint32> length = protocol::frameLength(received)) {
            const qint64 frameSize = qint64(protocol::kFrameHeaderBytes) + *length;
            if (*length > answerLimit || received.size() > frameSize)
                return std::nullopt;
            if (received.size() == frameSize)
                return received.mid(protocol::kFrameHeaderBytes);
        }
        // False on a time-out as well as when the engine has died: either way no answer.
        if (deadline.hasExpired() || !m_process->waitForReadyRead(remainingMilliseconds(deadline)))
            return std::nullopt;
    }
}

} // namespace fwb::jet
