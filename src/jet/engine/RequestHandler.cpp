#include "jet/engine/RequestHandler.h"

#include "jet/EngineProtocol.h"
#include "jet/engine/TableReader.h"

#include <chrono>
#include <new>
#include <thread>

namespace fwb::jet::engine {

namespace {

using protocol::Answer;
using protocol::Request;
using protocol::RequestKind;

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
        if (testHooks) {
            std::this_thread::sleep_for(std::chrono::milliseconds(request.stallMilliseconds));
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
