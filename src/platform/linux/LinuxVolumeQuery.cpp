#include "platform/linux/LinuxVolumeQuery.h"

#include "platform/linux/BlkidProbe.h"
#include "platform/linux/ProcMountInfo.h"
#include "platform/linux/UdevVolumeInfo.h"
#include "system/FileNames.h"

#include <QFile>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace fwb {

namespace {

QString mountPointOf(const QString &rootPath)
{
    QString path = rootPath;
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

bool isNodeOf(const QString &path, DeviceNumber device)
{
    struct stat info
    {
    };
    return ::stat(EncodeFileName(path).constData(), &info) == 0 && S_ISBLK(info.st_mode) &&
           major(info.st_rdev) == device.major && minor(info.st_rdev) == device.minor;
}

// The device node, named by the kernel in sysfs; failing that, the mount's source when it is
// that device's node.
QString deviceNodeOf(const MountEntry &mount)
{
    const QString uevent = QStringLiteral("/sys/dev/block/%1:%2/uevent")
                               .arg(mount.device.major)
                               .arg(mount.device.minor);
    QFile file(uevent);
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith("DEVNAME="))
                return QStringLiteral("/dev/") + DecodeFileName(line.mid(8));
        }
    }
    return isNodeOf(mount.source, mount.device) ? mount.source : QString();
}

} // namespace

std::optional<VolumeInfo> LinuxVolumeQuery::query(const QString &rootPath) const
{
    const auto table = readProcessMountTable();
    if (!table)
        return std::nullopt;
    const MountEntry *mount = table->visibleAt(mountPointOf(rootPath));
    if (!mount || !mount->device.isBlockDevice())
        return std::nullopt;
    if (udevIsRunning()) {
        if (auto info = udevVolumeInfo(mount->device)) {
            addFatSerialFromBootSector(*info, deviceNodeOf(*mount));
            return info;
        }
    }
    const QString node = deviceNodeOf(*mount);
    if (node.isEmpty())
        return std::nullopt;
    return probeVolume(node, mount->fsType);
}

} // namespace fwb
