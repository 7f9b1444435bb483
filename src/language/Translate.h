#pragma once

#include <QString>

namespace fwb {

// The translation of an English text from the open language pack, or the text itself.
QString TranslateText(const QString &english);

// The title of the program's message boxes and of the count-down dialog, "FW Backup Agent - "
// and the kind of box, the two parts translated apart. `program` is for the one box that has
// always spelt the program's name otherwise.
QString BoxTitle(const QString &kind, const QString &program = QStringLiteral("FW Backup Agent"));

} // namespace fwb
