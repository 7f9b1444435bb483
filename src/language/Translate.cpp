#include "language/Translate.h"

namespace fwb {

QString TranslateText(const QString &english)
{
    return english;
}

} // namespace fwb
