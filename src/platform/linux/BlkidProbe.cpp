#include "platform/linux/BlkidProbe.h"

#include "platform/linux/VolumeLabelText.h"
#include "system/FileNames.h"

#include <QList>
#include <QtEndian>
#include <blkid/blkid.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace fwb {

namespace {

struct ProbeFree
{
    void operator()(blkid_struct_probe *probe) const { blkid_free_probe(probe); }
};
using ProbeOwner = std::unique_ptr<blkid_struct_probe, ProbeFree>;

// The value as stored, without the NUL that libblkid counts in its length.
QByteArrayView lookup(blkid_probe probe, const char *name)
{
    const char *data = nullptr;
    size_t length = 0;
    if (blkid_probe_lookup_value(probe, name, &data, &length) != 0 || !data)
        return {};
    QByteArrayView value(data, qsizetype(length));
    return value.endsWith('\0') ? value.chopped(1) : value;
}

// The names libblkid gives the filesystems a kernel driver mounts. Most are the same; the
// ext4 driver also mounts ext2 and ext3, ntfs3 mounts what libblkid calls ntfs.
QList<QByteArray> superblockTypesFor(const QString &mountedAs)
{
    if (mountedAs.isEmpty() || mountedAs == u"fuseblk")
        return {};
    if (mountedAs == u"ext4" || mountedAs == u"ext3" || mountedAs == u"ext2")
        return {"ext4", "ext3", "ext2", "jbd"};
    if (mountedAs == u"ntfs3")
        return {"ntfs"};
    if (mountedAs == u"msdos")
        return {"vfat"};
    return {mountedAs.toLatin1()};
}

// Confines the probe to `types`; false when libblkid does not take the filter.
bool onlyTypes(blkid_probe probe, QList<QByteArray> &types)
{
    std::vector<char *> names;
    for (QByteArray &type : types)
        names.push_back(type.data());
    names.push_back(nullptr);
    return blkid_probe_filter_superblocks_type(probe, BLKID_FLTR_ONLYIN, names.data()) == 0;
}

} // namespace

std::optional<VolumeInfo> probeVolume(const QString &devicePath, const QString &mountedAs)
{
    // libblkid's cache file is never read: it can describe a volume that was reformatted
    // since. A fresh low-level probe reads what is on the device now.
    ProbeOwner probe(blkid_new_probe_from_filename(EncodeFileName(devicePath).constData()));
    if (!probe)
        return std::nullopt;
    blkid_probe_enable_partitions(probe.get(), 0);
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(),
                                      BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE);
    QList<QByteArray> types = superblockTypesFor(mountedAs);
    const bool filtered = !types.isEmpty() && onlyTypes(probe.get(), types);
    int result = blkid_do_safeprobe(probe.get());
    if (result == 1 && filtered) {
        blkid_probe_reset_superblocks_filter(probe.get());
        result = blkid_do_safeprobe(probe.get());
    }
    if (result < 0)
        return std::nullopt;
    if (result == 1)
        return VolumeInfo{};
    const QString type = QString::fromLatin1(lookup(probe.get(), "TYPE"));
    VolumeInfo info{labelFromBytes(lookup(probe.get(), "LABEL"), type), type,
                    QString::fromLatin1(lookup(probe.get(), "UUID"))};
    addFatSerialFromBootSector(info, devicePath);
    return info;
}

void addFatSerialFromBootSector(VolumeInfo &info, const QString &devicePath)
{
    if ((info.fsType != u"vfat" && info.fsType != u"msdos") || !info.uuid.isEmpty())
        return;
    const int fd = ::open(EncodeFileName(devicePath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    uchar sector[512];
    const ssize_t got = ::pread(fd, sector, sizeof sector, 0);
    ::close(fd);
    if (got != ssize_t(sizeof sector) || sector[510] != 0x55 || sector[511] != 0xAA)
        return;
    // FAT32 has no 16-bit FAT size, and its extended fields lie further on.
    const bool fat32 = qFromLittleEndian<quint16>(sector + 0x16) == 0;
    const int signature = fat32 ? 0x42 : 0x26;
    // Without an extended boot signature the volume has no serial number at all.
    if (sector[signature] != 0x29 && sector[signature] != 0x28)
        return;
    const quint32 serial = qFromLittleEndian<quint32>(sector + signature + 1);
    info.uuid = QString::asprintf("%04X-%04X", serial >> 16, serial & 0xFFFF);
}

} // namespace fwb
