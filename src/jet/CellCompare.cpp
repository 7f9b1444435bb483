#include "jet/CellCompare.h"

#include <QByteArray>

namespace fwb::jet {

namespace {

// A decimal number as significant digits times a power of ten, so that numbers compare
// exactly whatever their notation: no leading or trailing zeros in `digits`; zero has none.
struct Decimal
{
    bool negative = false;
    QByteArray digits;
    qint64 exponent = 0;

    bool operator==(const Decimal &) const = default;
};

// Exponents beyond this are refused rather than risk overflow; no column holds such values.
constexpr qint64 kMaxExponentDigits = 9;

std::optional<qint64> parseExponent(QStringView text)
{
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    if (text.isEmpty() || text.size() > kMaxExponentDigits)
        return std::nullopt;
    qint64 value = 0;
    for (QChar c : text) {
        if (c.unicode() < u'0' || c.unicode() > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return negative ? -value : value;
}

std::optional<Decimal> parseDecimal(QStringView text)
{
    text = text.trimmed();
    Decimal number;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        number.negative = text.front() == u'-';
        text = text.mid(1);
    }
    const qsizetype e = text.indexOf(u'e', 0, Qt::CaseInsensitive);
    if (e >= 0) {
        const std::optional<qint64> exponent = parseExponent(text.mid(e + 1));
        if (!exponent)
            return std::nullopt;
        number.exponent = *exponent;
        text = text.left(e);
    }
    bool seenPoint = false;
    bool seenDigit = false;
    for (QChar c : text) {
        if (c == u'.' && !seenPoint) {
            seenPoint = true;
        } else if (c.unicode() >= u'0' && c.unicode() <= u'9') {
            seenDigit = true;
            number.digits.append(char(c.unicode()));
            if (seenPoint)
                --number.exponent;
        } else {
            return std::nullopt;
        }
    }
    if (!seenDigit)
        return std::nullopt;
    while (number.digits.startsWith('0'))
        number.digits.remove(0, 1);
    while (number.digits.endsWith('0')) {
        number.digits.chop(1);
        ++number.exponent;
    }
    if (number.digits.isEmpty())
        return Decimal{};
    return number;
}

std::optional<bool> parseTruth(const QString &text)
{
    const QString word = text.trimmed();
    for (const char *yes : {"true", "yes", "on"}) {
        if (word.compare(QLatin1String(yes), Qt::CaseInsensitive) == 0)
            return true;
    }
    for (const char *no : {"false", "no", "off"}) {
        if (word.compare(QLatin1String(no), Qt::CaseInsensitive) == 0)
            return false;
    }
    const std::optional<Decimal> number = parseDecimal(text);
    if (!number)
        return std::nullopt;
    return !number->digits.isEmpty();
}

} // namespace

std::optional<bool> cellEquals(const QString &cell, const QString &value, CompareAs as)
{
    switch (as) {
    case CompareAs::Text:
        return cell.compare(value, Qt::CaseInsensitive) == 0;
    case CompareAs::Number: {
        const std::optional<Decimal> wanted = parseDecimal(value);
        const std::optional<Decimal> stored = parseDecimal(cell);
        if (!wanted || !stored)
            return std::nullopt;
        return *wanted == *stored;
    }
    case CompareAs::Boolean: {
        const std::optional<bool> wanted = parseTruth(value);
        const std::optional<bool> stored = parseTruth(cell);
        if (!wanted || !stored)
            return std::nullopt;
        return *wanted == *stored;
    }
    }
    return std::nullopt;
}

bool conditionHolds(const Cell &cell, const QString &value, bool negated, CompareAs as)
{
    if (!cell)
        return false;
    const std::optional<bool> equal = cellEquals(*cell, value, as);
    if (!equal)
        return false;
    return negated ? !*equal : *equal;
}

} // namespace fwb::jet
