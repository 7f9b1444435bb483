#include "jet/engine/FrameIo.h"

#include "jet/EngineProtocol.h"

#include <cerrno>
#include <unistd.h>

namespace fwb::jet::engine {

namespace {

bool readExactly(int fd, char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t got = ::read(fd, data, size_t(size));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= got;
    }
    return true;
}

bool writeExactly(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size_t(size));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= put;
    }
    return true;
}

} // namespace

std::optional<QByteArray> readFrame(int fd)
{
    QByteArray header(protocol::kFrameHeaderBytes, Qt::Uninitialized);
    if (!readExactly(fd, header.data(), header.size()))
        return std::nullopt;
    const quint32 length = *protocol::frameLength(header);
    if (length > protocol::kMaxRequestBytes)
        return std::nullopt;
    QByteArray payload(qsizetype(length), Qt::Uninitialized);
    if (!readExactly(fd, payload.data(), payload.size()))
        return std::nullopt;
    return payload;
}

bool writeFrame(int fd, const QByteArray &payload)
{
    const QByteArray bytes = protocol::frame(payload);
    return writeExactly(fd, bytes.constData(), bytes.size());
}

} // namespace fwb::jet::engine
