#include "store/DateTimeText.h"

#include <QLocale>

namespace fwb {

QString GeneralDateTimeText(const QDateTime &when)
{
    const QLocale locale = QLocale::system();
    // Log entries can come seconds apart, so the time always shows its seconds.
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (!timeFormat.contains(u's'))
        timeFormat.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
    return locale.toString(when.date(), QLocale::ShortFormat) + u' ' +
           locale.toString(when.time(), timeFormat);
}

} // namespace fwb
