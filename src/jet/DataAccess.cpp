#include "jet/DataAccess.h"

#include "jet/EngineProcess.h"
#include "jet/EngineProtocol.h"
#include "system/FileNames.h"

#include <sys/stat.h>

namespace fwb::jet {

namespace {

// Engines kept idle for later requests: one per request a scan runs side by side, and one for
// the language pack. More are started when more requests run at once, and ended afterwards.
constexpr std::size_t kMaxIdleEngines = 4;

std::mutex &pathMutex()
{
    static std::mutex mutex;
    return mutex;
}

QString &configuredEnginePath()
{
    static QString path;
    return path;
}

thread_local bool t_answered = false;

} // namespace

DataAccess::DataAccess() : m_answerLimit(protocol::kMaxAnswerBytes) {}

DataAccess::~DataAccess() = default;

void DataAccess::setEnginePath(const QString &path)
{
    const std::lock_guard lock(pathMutex());
    configuredEnginePath() = path;
}

QString DataAccess::enginePath()
{
    const std::lock_guard lock(pathMutex());
    if (!configuredEnginePath().isEmpty())
        return configuredEnginePath();
    return RunningProgramFolder() + QStringLiteral("/fwb-jet-engine");
}

void DataAccess::setTimeLimit(std::chrono::milliseconds limit)
{
    const std::lock_guard lock(m_mutex);
    m_timeLimit = limit;
}

void DataAccess::setAnswerLimit(qint64 bytes)
{
    const std::lock_guard lock(m_mutex);
    m_answerLimit = bytes;
}

void DataAccess::shutdown()
{
    std::vector<std::unique_ptr<EngineProcess>> ending;
    {
        const std::lock_guard lock(m_mutex);
        ending.swap(m_idle);
    }
    for (const auto &engine : ending)
        engine->stop();
}

qint64 DataAccess::engineProcessId() const
{
    const std::lock_guard lock(m_mutex);
    return m_idle.empty() ? 0 : m_idle.back()->processId();
}

bool DataAccess::lastRequestAnswered() const
{
    return t_answered;
}

bool DataAccess::stall(int milliseconds, bool busy)
{
    protocol::Request request;
    request.kind = busy ? protocol::RequestKind::Busy : protocol::RequestKind::Stall;
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

std::optional<DataAccess::FileStamp> DataAccess::fileStamp(const QString &file,
                                                           const QString &engine)
{
    struct stat info
    {
    };
    if (file.isEmpty() || ::stat(EncodeFileName(file).constData(), &info) != 0)
        return std::nullopt;
    return FileStamp{qint64(info.st_size),
                     qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec, engine};
}

std::unique_ptr<EngineProcess> DataAccess::takeEngine()
{
    const std::lock_guard lock(m_mutex);
    if (m_idle.empty())
        return std::make_unique<EngineProcess>();
    std::unique_ptr<EngineProcess> engine = std::move(m_idle.back());
    m_idle.pop_back();
    return engine;
}

void DataAccess::giveBack(std::unique_ptr<EngineProcess> engine)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_idle.size() < kMaxIdleEngines) {
            m_idle.push_back(std::move(engine));
            return;
        }
    }
    engine.reset();
}

// A successful answer to `request`, or nothing. An answer that does not decode, or belongs to
// another request, means the engine can no longer be trusted, so it is ended.
std::optional<protocol::Answer> DataAccess::ask(protocol::Request request)
{
    t_answered = false;
    const QString engineProgram = enginePath();
    // Taken before the engine reads the file, so that a file changed meanwhile is asked about
    // again next time.
    const std::optional<FileStamp> stamp = fileStamp(request.file, engineProgram);
    const QByteArray question = protocol::encodeRequest(request);
    std::chrono::milliseconds timeLimit;
    qint64 answerLimit;
    {
        const std::lock_guard lock(m_mutex);
        const auto failed = m_failed.find(question);
        if (stamp && failed != m_failed.end() && failed->second.stamp == *stamp) {
            t_answered = failed->second.answered;
            return std::nullopt;
        }
        // Serial 0 marks the engine's answer to a request it could not read.
        if (++m_serial == 0)
            ++m_serial;
        request.serial = m_serial;
        timeLimit = m_timeLimit;
        answerLimit = m_answerLimit;
    }
    std::unique_ptr<EngineProcess> engine = takeEngine();
    const std::optional<QByteArray> payload =
        engine->exchange(engineProgram, protocol::encodeRequest(request), timeLimit, answerLimit);
    std::optional<protocol::Answer> answer;
    if (payload) {
        answer = protocol::decodeAnswer(*payload, request.kind);
        if (!answer || answer->serial != request.serial) {
            engine->stop();
            answer.reset();
        }
    }
    // What the file made of the request, not a limit of this side or an engine that would not
    // start, is worth remembering.
    const bool hung = !answer && engine->lastFailure() == EngineProcess::Failure::NoAnswer;
    const bool refused = answer && !answer->done;
    giveBack(std::move(engine));
    {
        const std::lock_guard lock(m_mutex);
        if (stamp && (hung || refused))
            m_failed[question] = {*stamp, refused};
        else
            m_failed.erase(question);
    }
    t_answered = answer.has_value();
    if (!answer || !answer->done)
        return std::nullopt;
    return answer;
}

} // namespace fwb::jet
