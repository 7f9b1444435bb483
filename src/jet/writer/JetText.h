#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace fwb::jet::writer {

// The stored form of a text or memo value: UTF-16LE. Readers take a value that starts with the
// bytes FF FE for "compressed unicode", so a text that begins with U+FEFF is written in that
// form instead, switched at once to its uncompressed mode. That mode cannot hold a character
// whose low byte is zero; such a text has no stored form and gives nothing.
std::optional<QByteArray> encodeText(const QString &text);

// A name in a table definition: UTF-16LE.
QByteArray encodeName(const QString &name);

} // namespace fwb::jet::writer
