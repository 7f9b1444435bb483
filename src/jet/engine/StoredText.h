#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

// Text and memo values decoded from their stored bytes. libmdb converts Jet 4 text as UCS-2
// (a character beyond U+FFFF becomes "?") and cuts it at U+0000, so the engine does not use its
// conversion for text.
namespace fwb::jet::engine {

// Jet 4: UTF-16LE, or after the marker bytes FF FE the "compressed" form, which starts with one
// byte per character and switches between that and two bytes per character at each zero byte.
// Nothing when the bytes end inside a character: the value is damaged.
std::optional<QString> jet4Text(QByteArrayView stored);

// Jet 3: Windows-1252, one byte per character.
QString jet3Text(QByteArrayView stored);

} // namespace fwb::jet::engine
