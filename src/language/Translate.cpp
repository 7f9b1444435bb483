#include "language/Translate.h"

#include "language/LanguagePack.h"

#include <optional>

namespace fwb {
namespace {

// "§§" in a stored text stands for a line break.
std::optional<QString> withLineBreaks(const std::optional<QString> &stored)
{
    if (!stored)
        return std::nullopt; // a NULL text cannot be read as text
    return QString(*stored).replace(QStringLiteral("\u00a7\u00a7"), QStringLiteral("\r\n"));
}

std::optional<QString> lookUp(const QString &english)
{
    // The key stands between double quotes in the pack's query, so a key holding a double
    // quote makes the query fail.
    if (english.contains(u'"'))
        return std::nullopt;
    const auto rows = GlobalRows(english);
    if (!rows)
        return std::nullopt;
    if (rows->isEmpty())
        return english;
    // The pack matches names without regard to case; a row spelled exactly like the key wins.
    std::optional<QString> exact;
    for (const auto &row : *rows) {
        if (row.at(1) && *row.at(1) == english) {
            exact = withLineBreaks(row.at(0));
            if (!exact)
                return std::nullopt;
        }
    }
    return exact ? exact : withLineBreaks(rows->first().at(0));
}

} // namespace

QString TranslateText(const QString &english)
{
    if (LanguagePack().isEmpty())
        return english;
    return lookUp(english).value_or(english);
}

QString BoxTitle(const QString &kind, const QString &program)
{
    return TranslateText(program) + QStringLiteral(" - ") + TranslateText(kind);
}

} // namespace fwb
