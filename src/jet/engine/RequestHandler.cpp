#include "jet/engine/RequestHandler.h"

#include "jet/EngineProtocol.h"
#include "jet/engine/TableReader.h"
#include "system/FileNames.h"

#include <chrono>
#include <new>
#include <sys/stat.h>
#include <sys/time.h>
#include <thread>

namespace fwb::jet::engine {

namespace {

using protocol::Answer;
using protocol::Request;
using protocol::RequestKind;

// The processor time one request may have: far more than reading a file takes (every row of a
// language pack of 30,000 texts, 7 MiB, takes about 100 ms), far less than the client's patience.
// libmdb trusts what it reads, and damage it was not checked against can hold it in a loop;
// the engine then ends with SIGPROF, and the request fails without costing anyone else.
constexpr qint64 kBaseProcessorMs = 250;
constexpr qint64 kProcessorMsPerMiB = 50;

qint64 processorBudgetMs(const Request &request)
{
    struct stat info
    {
    };
    const bool sized = !request.file.isEmpty() &&
                       ::stat(EncodeFileName(request.file).constData(), &info) == 0 &&
                       S_ISREG(info.st_mode);
    return kBaseProcessorMs + (sized ? qint64(info.st_size) * kProcessorMsPerMiB / (1 << 20) : 0);
}

// Arms the engine's processor-time alarm for the life of one request.
class ProcessorLimit
{
public:
    explicit ProcessorLimit(qint64 milliseconds)
    {
        itimerval alarm{};
        alarm.it_value.tv_sec = time_t(milliseconds / 1000);
        alarm.it_value.tv_usec = suseconds_t(milliseconds % 1000 * 1000);
        ::setitimer(ITIMER_PROF, &alarm, nullptr);
    }
    ~ProcessorLimit()
    {
        const itimerval off{};
        ::setitimer(ITIMER_PROF, &off, nullptr);
    }
    ProcessorLimit(const ProcessorLimit &) = delete;
    ProcessorLimit &operator=(const ProcessorLimit &) = delete;
};

void keepBusy(std::chrono::milliseconds duration)
{
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
    }
}

void carryOut(const Request &request, OpenDatabases &databases, bool testHooks, Answer &answer)
{
    switch (request.kind) {
    case RequestKind::Tables:
        if (Database *database = databases.get(request.file)) {
            answer.tables = database->userTables();
            answer.done = true;
        }
        break;
    case RequestKind::Select:
        if (Database *database = databases.get(request.file)) {
            if (std::optional<Table> table = selectRows(*database, request.query)) {
                answer.table = std::move(*table);
                answer.done = true;
            }
        }
        break;
    case RequestKind::Stall:
    case RequestKind::Busy:
        if (testHooks) {
            const std::chrono::milliseconds duration(request.stallMilliseconds);
            if (request.kind == RequestKind::Busy)
                keepBusy(duration);
            else
                std::this_thread::sleep_for(duration);
            answer.done = true;
        }
        break;
    }
}

} // namespace

QByteArray answerRequest(const QByteArray &payload, OpenDatabases &databases, bool testHooks)
{
    const std::optional<Request> request = protocol::decodeRequest(payload);
    if (!request) {
        // Serial 0 is never asked for, so the client drops this engine as out of step.
        return protocol::encodeAnswer(Answer{}, RequestKind::Tables);
    }
    Answer answer;
    answer.serial = request->serial;
    try {
        const ProcessorLimit limit(processorBudgetMs(*request));
        carryOut(*request, databases, testHooks, answer);
        QByteArray encoded = protocol::encodeAnswer(answer, request->kind);
        if (encoded.size() <= protocol::kMaxAnswerBytes)
            return encoded;
    } catch (const std::bad_alloc &) {
    }
    Answer failed;
    failed.serial = request->serial;
    return protocol::encodeAnswer(failed, request->kind);
}

} // namespace fwb::jet::engine
