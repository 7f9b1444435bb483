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

// The volume's serial as "XXXX-XXXX", or the empty text when it has none or cannot be read.
QString GetVolumeSerialText(const QString &rootPath);
// The volume's label, "[No label]" (translated) for a blank one, or the empty text when the
// volume cannot be read.
QString GetVolumeLabelText(const QString &rootPath);

inline bool IsArrayDimensioned(const QStringList &list)
{
    return !list.isEmpty();
}

} // namespace fwb
