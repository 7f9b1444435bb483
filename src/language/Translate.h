#pragma once

#include <QString>

namespace fwb {

// The translation of an English text from the open language pack, or the text itself.
QString TranslateText(const QString &english);

} // namespace fwb
