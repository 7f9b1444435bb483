#include "jet/DataAccess.h"

#include "jet/EngineProcess.h"
#include "jet/EngineProtocol.h"
#include "system/FileNames.h"

namespace fwb::jet {

namespace {

QString &configuredEnginePath()
{
    static QString path;
    return path;
}

} // namespace

DataAccess::DataAccess()
    : m_engine(std::make_unique<EngineProcess>()), m_answerLimit(protocol::kMaxAnswerBytes)
{}

DataAccess::~DataAccess() = default;

void DataAccess::setEnginePath(const QString &path)
{
    configuredEnginePath() = path;
}

QString DataAccess::enginePath()
{
    if (!configuredEnginePath().isEmpty())
        return configuredEnginePath();
    return RunningProgramFolder() + QStringLiteral("/fwb-jet-engine");
}

void DataAccess::setTimeLimit(std::chrono::milliseconds limit)
{
    m_timeLimit = limit;
}

void DataAccess::setAnswerLimit(qint64 bytes)
{
    m_answerLimit = bytes;
}

void DataAccess::shutdown()
{
    m_engine->stop();
}

qint64 DataAccess::engineProcessId() const
{
    return m_engine->processId();
}

bool DataAccess::stall(int milliseconds)
{
    protocol::Request request;
    request.kind = protocol::RequestKind::Stall;
    request.stallMilliseconds = quint32(qMax(0, milliseconds));
    return ask(request).has_value();
}

std::optional<QStringList> DataAccess::tables(const QString &file)
{
    protocol::Request request;
    request.kind = protocol::RequestKind::Tables;
    request.file = file;
    const std::optional<protocol::Answer> answer = ask(request);
    if (!answer)
        return std::nullopt;
    return answer->tables;
}

std::optional<Table> DataAccess::select(const QString &file, const Query &query)
{
    protocol::Request request;
    request.kind = protocol::RequestKind::Select;
    request.file = file;
    request.query = query;
    const std::optional<protocol::Answer> answer = ask(request);
    if (!answer)
        return std::nullopt;
    return answer->table;
}

// A successful answer to `request`, or nothing. An answer that does not decode, or belongs to
// another request, means the engine can no longer be trusted, so it is ended.
std::optional<protocol::Answer> DataAccess::ask(protocol::Request request)
{
    // Serial 0 marks the engine's answer to a request it could not read.
    if (++m_serial == 0)
        ++m_serial;
    request.serial = m_serial;
    m_answered = false;
    const std::optional<QByteArray> payload = m_engine->exchange(
        enginePath(), protocol::encodeRequest(request), m_timeLimit, m_answerLimit);
    if (!payload)
        return std::nullopt;
    std::optional<protocol::Answer> answer = protocol::decodeAnswer(*payload, request.kind);
    if (!answer || answer->serial != request.serial) {
        m_engine->stop();
        return std::nullopt;
    }
    m_answered = true;
    if (!answer->done)
        return std::nullopt;
    return answer;
}

} // namespace fwb::jet
