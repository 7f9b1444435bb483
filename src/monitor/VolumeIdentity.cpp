#include "monitor/VolumeIdentity.h"

#include "language/Translate.h"
#include "monitor/VolumeIdentityText.h"
#include "platform/Platform.h"
#include "platform/VolumeQuery.h"

namespace fwb {
namespace {

std::optional<VolumeInfo> queryVolume(const QString &rootPath)
{
    VolumeQuery *query = platform().volumeQuery;
    return query ? query->query(rootPath) : std::nullopt;
}

QString serialTextOf(const std::optional<VolumeInfo> &volume)
{
    return volume ? serialTextFromFsId(volume->fsType, volume->uuid) : QString();
}

QString labelTextOf(const std::optional<VolumeInfo> &volume)
{
    return volume ? labelTextFor(volume->label, TranslateText(QStringLiteral("No label")))
                  : QString();
}

} // namespace

VolumeIdentityTexts GetVolumeIdentity(const QString &rootPath)
{
    // A probe reads the device, which on a slow stick takes a while: one serves both texts.
    const auto volume = queryVolume(rootPath);
    return {serialTextOf(volume), labelTextOf(volume)};
}

} // namespace fwb
