#include "platform/linux/BlkidProbe.h"

#include "platform/linux/VolumeLabelText.h"

#include <QFile>
#include <blkid/blkid.h>
#include <memory>

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

} // namespace

std::optional<VolumeInfo> probeVolume(const QString &devicePath)
{
    // libblkid's cache file is never read: it can describe a volume that was reformatted
    // since. A fresh low-level probe reads what is on the device now.
    ProbeOwner probe(blkid_new_probe_from_filename(QFile::encodeName(devicePath).constData()));
    if (!probe)
        return std::nullopt;
    blkid_probe_enable_partitions(probe.get(), 0);
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(),
                                      BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE);
    const int result = blkid_do_safeprobe(probe.get());
    if (result < 0)
        return std::nullopt;
    if (result == 1)
        return VolumeInfo{};
    return VolumeInfo{labelFromBytes(lookup(probe.get(), "LABEL")),
                      QString::fromLatin1(lookup(probe.get(), "TYPE")),
                      QString::fromLatin1(lookup(probe.get(), "UUID"))};
}

} // namespace fwb
