#include "store/DateTimeText.h"

#include <QLocale>
#include <QRegularExpression>

namespace fwb {

QString GeneralDateTimeText(const QDateTime &when)
{
    const QLocale locale = QLocale::system();
    // Many short formats write the year with two digits ("12/5/26"); a log kept for years needs
    // all four.
    static const QRegularExpression yearDigits(QStringLiteral("y+"));
    QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    dateFormat.replace(yearDigits, QStringLiteral("yyyy"));
    // Log entries can come seconds apart, so the time always shows its seconds.
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (!timeFormat.contains(u's'))
        timeFormat.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
    return locale.toString(when.date(), dateFormat) + u' ' +
           locale.toString(when.time(), timeFormat);
}

} // namespace fwb
