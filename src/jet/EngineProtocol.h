#pragma once

#include "jet/DataAccess.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// What the client and the data-access engine say to each other over the engine's stdin and
// stdout. Each message is one frame: a 4-byte big-endian payload length, then the payload.
// Payloads are flat records of bytes, 32-bit big-endian integers and length-prefixed UTF-8
// texts; every decoder checks each length against the bytes left, so a garbled message is
// refused instead of read out of bounds.
namespace fwb::jet::protocol {

// Frames larger than these are refused by their reader.
constexpr qint64 kMaxRequestBytes = 1 << 20;
constexpr qint64 kMaxAnswerBytes = 64 << 20;
constexpr int kFrameHeaderBytes = 4;

// The most a cell can take in an answer: its NULL flag, its length and its UTF-8, three bytes at
// most for each UTF-16 unit. The engine counts a table's cells this way and refuses one over
// kMaxAnswerBytes before encoding it; whoever writes a table to be read whole can check first.
inline qint64 answerCellBytes(const Cell &cell)
{
    return 5 + (cell ? qint64(cell->size()) * 3 : 0);
}

enum class RequestKind : quint8 {
    Tables = 1,
    Select = 2,
    // Sits idle for a while before answering; only an engine started with FWB_JET_ENGINE_TEST
    // in its environment honours it, so tests can provoke a hang.
    Stall = 3,
    // Computes for a while before answering, as an engine caught in a loop does; honoured by
    // the same engines only, so tests can provoke the processor-time limit.
    Busy = 4,
};

struct Request
{
    quint32 serial = 0;
    RequestKind kind = RequestKind::Tables;
    QString file;
    Query query;
    quint32 stallMilliseconds = 0;
};

// The answer to a request: its serial, whether it succeeded and, for a successful Tables or
// Select request, the names or the table.
struct Answer
{
    quint32 serial = 0;
    bool done = false;
    QStringList tables;
    Table table;
};

QByteArray frame(const QByteArray &payload);
// The payload length in a frame header, or nothing when fewer than 4 bytes are given.
std::optional<quint32> frameLength(const QByteArray &header);

QByteArray encodeRequest(const Request &request);
std::optional<Request> decodeRequest(const QByteArray &payload);

// `kind` tells the decoder which body a successful answer carries.
QByteArray encodeAnswer(const Answer &answer, RequestKind kind);
std::optional<Answer> decodeAnswer(const QByteArray &payload, RequestKind kind);

} // namespace fwb::jet::protocol
