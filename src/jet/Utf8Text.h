#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

namespace fwb::jet {

// UTF-8 to text, keeping a leading U+FEFF: in a stored value it is a character like any other,
// not a byte-order mark.
inline QString utf8Text(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

} // namespace fwb::jet
