#include "monitor/DriveArrivals.h"

#include <QHash>
#include <QSet>

namespace fwb {

namespace {

// Where the kernel gives a mount's unique id, that alone tells it apart: it stays the same
// when the mount moves and is never given to another mount. Without it, a mount is its
// reusable id, device and place together, which cannot tell a moved mount from a new one.
struct MountIdentity
{
    quint64 uniqueId;
    int mountId;
    quint32 major;
    quint32 minor;
    QString mountPoint;

    friend bool operator==(const MountIdentity &, const MountIdentity &) = default;
    friend size_t qHash(const MountIdentity &key, size_t seed = 0)
    {
        return qHashMulti(seed, key.uniqueId, key.mountId, key.major, key.minor, key.mountPoint);
    }
};

using DeviceKey = std::pair<quint32, quint32>;

MountIdentity identityOf(const MountEntry &entry)
{
    if (entry.uniqueId != 0)
        return {entry.uniqueId, 0, 0, 0, {}};
    return {0, entry.mountId, entry.device.major, entry.device.minor, entry.mountPoint};
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
