#include "monitor/DriveArrivals.h"

#include <QHash>
#include <QSet>

namespace fwb {

namespace {

struct MountIdentity
{
    int mountId;
    quint32 major;
    quint32 minor;
    QString mountPoint;

    friend bool operator==(const MountIdentity &, const MountIdentity &) = default;
    friend size_t qHash(const MountIdentity &key, size_t seed = 0)
    {
        return qHashMulti(seed, key.mountId, key.major, key.minor, key.mountPoint);
    }
};

using DeviceKey = std::pair<quint32, quint32>;

MountIdentity identityOf(const MountEntry &entry)
{
    return {entry.mountId, entry.device.major, entry.device.minor, entry.mountPoint};
}

DeviceKey keyOf(const DeviceNumber &device)
{
    return {device.major, device.minor};
}

QString withTrailingSlash(const QString &mountPoint)
{
    return mountPoint.endsWith(u'/') ? mountPoint : mountPoint + u'/';
}

} // namespace

QList<DriveArrival> diffArrivals(const MountTable &previous, const MountTable &current)
{
    QSet<MountIdentity> before;
    for (const MountEntry &entry : previous.entries())
        before.insert(identityOf(entry));

    // Devices that stay reachable through a surviving mount did not arrive, whatever else
    // happened to them.
    QSet<DeviceKey> settled;
    for (const MountEntry &entry : current.entries()) {
        if (before.contains(identityOf(entry)))
            settled.insert(keyOf(entry.device));
    }

    QList<DriveArrival> arrivals;
    for (const MountEntry &entry : current.entries()) {
        if (!entry.device.isBlockDevice() || before.contains(identityOf(entry)))
            continue;
        if (settled.contains(keyOf(entry.device)))
            continue;
        settled.insert(keyOf(entry.device));
        arrivals.append(
            {withTrailingSlash(entry.mountPoint), entry.source, entry.device, entry.fsType});
    }
    return arrivals;
}

} // namespace fwb
