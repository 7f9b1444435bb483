#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace fwb::jet::writer {

// The stored form of a text or memo value: after the marker bytes FF FE ("compressed
// unicode"), one byte per character when every character fits one; else UTF-16LE. Since readers
// take FF FE as that marker, an uncompressible text that begins with U+FEFF is written marked
// and switched at once to the two-byte mode. That mode cannot hold a character whose low byte
// is zero; such a text has no stored form and gives nothing.
std::optional<QByteArray> encodeText(const QString &text);

// A name in a table definition: UTF-16LE.
QByteArray encodeName(const QString &name);

} // namespace fwb::jet::writer
