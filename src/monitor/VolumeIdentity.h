#pragma once

#include <QString>
#include <QStringList>

namespace fwb {

// Both identity texts of a volume, from one query of it.
struct VolumeIdentityTexts
{
    QString serialText;
    QString labelText;
};
VolumeIdentityTexts GetVolumeIdentity(const QString &rootPath);

inline bool IsArrayDimensioned(const QStringList &list)
{
    return !list.isEmpty();
}

} // namespace fwb
