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

} // namespace

QString GetVolumeSerialText(const QString &rootPath)
{
    const auto volume = queryVolume(rootPath);
    return volume ? serialTextFromFsId(volume->fsType, volume->uuid) : QString();
}

QString GetVolumeLabelText(const QString &rootPath)
{
    const auto volume = queryVolume(rootPath);
    return volume ? labelTextFor(volume->label, TranslateText(QStringLiteral("No label")))
                  : QString();
}

} // namespace fwb
