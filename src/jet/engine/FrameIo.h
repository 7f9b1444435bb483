#pragma once

#include <QByteArray>
#include <optional>

namespace fwb::jet::engine {

// The next request frame's payload from `fd`; nothing at the end of input or when the frame
// is broken or too large, after which the stream cannot be trusted any more.
std::optional<QByteArray> readFrame(int fd);
// False when the answer could not be written whole.
bool writeFrame(int fd, const QByteArray &payload);

} // namespace fwb::jet::engine
