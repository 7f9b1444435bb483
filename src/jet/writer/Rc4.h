#pragma once

#include <QByteArray>

namespace fwb::jet::writer {

// RC4 applied in place; Jet scrambles part of the database definition page with it.
void rc4(const QByteArray &key, char *data, int length);

} // namespace fwb::jet::writer
