#include "platform/linux/UdevVolumeInfo.h"

#include "platform/linux/VolumeLabelText.h"

#include <QFileInfo>
#include <libudev.h>
#include <memory>
#include <sys/sysmacros.h>

namespace fwb {

namespace {

struct UdevUnref
{
    void operator()(udev *context) const { udev_unref(context); }
    void operator()(udev_device *device) const { udev_device_unref(device); }
};

QByteArrayView property(udev_device *device, const char *name)
{
    return QByteArrayView(udev_device_get_property_value(device, name));
}

QString labelOf(udev_device *device, const QString &fsType)
{
    // ID_FS_LABEL has spaces and other characters replaced; the encoded form keeps them.
    const QByteArrayView encoded = property(device, "ID_FS_LABEL_ENC");
    if (!encoded.isNull())
        return decodeUdevEncoded(encoded, fsType);
    return labelFromBytes(property(device, "ID_FS_LABEL"), fsType);
}

} // namespace

bool udevIsRunning()
{
    return QFileInfo::exists(QStringLiteral("/run/udev/control"));
}

std::optional<VolumeInfo> udevVolumeInfo(DeviceNumber device)
{
    std::unique_ptr<udev, UdevUnref> context(udev_new());
    if (!context)
        return std::nullopt;
    std::unique_ptr<udev_device, UdevUnref> blockDevice(
        udev_device_new_from_devnum(context.get(), 'b', makedev(device.major, device.minor)));
    if (!blockDevice || !udev_device_get_is_initialized(blockDevice.get()))
        return std::nullopt;
    const QString type = QString::fromLatin1(property(blockDevice.get(), "ID_FS_TYPE"));
    if (type.isEmpty())
        return std::nullopt;
    return VolumeInfo{labelOf(blockDevice.get(), type), type,
                      QString::fromLatin1(property(blockDevice.get(), "ID_FS_UUID"))};
}

} // namespace fwb
