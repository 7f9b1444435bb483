#include "monitor/VolumeIdentityText.h"

#include <QRegularExpression>
#include <algorithm>

namespace fwb {

namespace {

bool isFatFamily(const QString &fsType)
{
    return fsType == u"vfat" || fsType == u"msdos" || fsType == u"exfat";
}

bool matchesWhole(const QString &text, const QRegularExpression &pattern)
{
    return pattern.match(text).hasMatch();
}

} // namespace

QString serialTextFromFsId(const QString &fsType, const QString &uuid)
{
    static const QRegularExpression fatId(QStringLiteral("\\A[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}\\z"));
    static const QRegularExpression ntfsId(QStringLiteral("\\A[0-9A-Fa-f]{16}\\z"));

    if (isFatFamily(fsType) && matchesWhole(uuid, fatId))
        return uuid.toUpper();
    if (fsType == u"ntfs" && matchesWhole(uuid, ntfsId)) {
        const QString low = uuid.right(8).toUpper();
        return low.left(4) + u'-' + low.right(4);
    }
    return {};
}

QString labelTextFor(const QString &rawLabel, const QString &translatedNoLabel)
{
    const qsizetype nul = rawLabel.indexOf(QChar(u'\0'));
    const QString label = nul < 0 ? rawLabel : rawLabel.left(nul);
    const bool onlySpaces =
        std::all_of(label.cbegin(), label.cend(), [](QChar c) { return c == u' '; });
    if (onlySpaces)
        return u'[' + translatedNoLabel + u']';
    return label;
}

} // namespace fwb
