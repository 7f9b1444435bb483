// Feeds arbitrary bytes to the decoders of the messages between DataAccess and its engine:
// the engine decodes requests from a client it trusts less than itself, and the client decodes
// answers from an engine that may be parsing a hostile file.
//
// The first byte picks the decoder; the rest is the payload. Whatever decodes must encode again
// to a payload that decodes to the same encoding, so nothing read is lost or invented.
//
// The engine's decoder of stored text gets the same bytes as a stored value, and as a text
// (UTF-16) that the writer stores and the decoder must give back unchanged.
#include "jet/EngineProtocol.h"
#include "jet/engine/StoredText.h"
#include "jet/writer/JetText.h"

#include <cstdint>
#include <cstdlib>

using namespace fwb::jet::protocol;

namespace {

void checkRequest(const QByteArray &payload)
{
    const std::optional<Request> request = decodeRequest(payload);
    if (!request)
        return;
    const QByteArray encoded = encodeRequest(*request);
    const std::optional<Request> again = decodeRequest(encoded);
    if (!again || encodeRequest(*again) != encoded)
        std::abort();
}

void checkAnswer(const QByteArray &payload, RequestKind kind)
{
    const std::optional<Answer> answer = decodeAnswer(payload, kind);
    if (!answer)
        return;
    const QByteArray encoded = encodeAnswer(*answer, kind);
    const std::optional<Answer> again = decodeAnswer(encoded, kind);
    if (!again || encodeAnswer(*again, kind) != encoded)
        std::abort();
}

void checkStoredText(const QByteArray &payload)
{
    fwb::jet::engine::jet4Text(payload);
    fwb::jet::engine::jet3Text(payload);
    const QString text(reinterpret_cast<const QChar *>(payload.constData()), payload.size() / 2);
    const std::optional<QByteArray> stored = fwb::jet::writer::encodeText(text);
    if (stored && fwb::jet::engine::jet4Text(*stored) != text)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray payload(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    switch (data[0] % 5) {
    case 0:
        checkRequest(payload);
        break;
    case 1:
        checkAnswer(payload, RequestKind::Tables);
        break;
    case 2:
        checkAnswer(payload, RequestKind::Select);
        break;
    case 3:
        checkAnswer(payload, RequestKind::Stall);
        break;
    default:
        checkStoredText(payload);
        break;
    }
    return 0;
}
