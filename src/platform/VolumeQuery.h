#pragma once

#include <QString>
#include <optional>

namespace fwb {

// What the operating system knows of a volume's identity. Every field may be empty: a
// filesystem without a label, one without an id, one no probe recognises.
struct VolumeInfo
{
    // As stored, not cut to any length. The Linux probes drop trailing blanks, which FAT pads
    // its labels with.
    QString label;
    QString fsType; // the filesystem on the device ("vfat", "exfat", "ntfs", "ext4", ...)
    QString uuid;   // the filesystem id as the probes write it ("1A2B-3C4D", ...)

    friend bool operator==(const VolumeInfo &, const VolumeInfo &) = default;
};

// Answers the identity of the volume mounted at a root path.
class VolumeQuery
{
public:
    virtual ~VolumeQuery() = default;
    // `rootPath` is a mount point with or without its trailing "/". Nothing when no volume is
    // mounted there or its device cannot be read.
    virtual std::optional<VolumeInfo> query(const QString &rootPath) const = 0;
};

} // namespace fwb
