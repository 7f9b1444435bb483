#pragma once

#include "monitor/MountTable.h"

#include <QList>
#include <QString>

namespace fwb {

// A volume that has just become reachable through the mount table.
struct DriveArrival
{
    QString rootPath; // the mount point with a trailing "/"
    QString source;
    DeviceNumber device;
    QString fsType;

    friend bool operator==(const DriveArrival &, const DriveArrival &) = default;
};

// The volumes that arrived between two readings of the mount table, in table order.
//
// A mount is known by the kernel's unique id where the tables carry it. Otherwise it is known
// by its mount id, device and mount point together: the kernel hands a freed id to the next
// mount at once, so between two readings an unmount and a mount can share an id, and one of
// the same device at the same place then looks like nothing happened. A new mount is an arrival
// when it sits on a block device none of whose mounts survived from `previous`. So bind mounts and
// further mount points of a mounted device, remounts, moves (known as such only by the unique id),
// and everything already in `previous` are not arrivals, while a device unmounted and mounted again
// elsewhere between the readings is. A device mounted at several places between the readings
// arrives once, at the first of them in table order.
QList<DriveArrival> diffArrivals(const MountTable &previous, const MountTable &current);

} // namespace fwb
