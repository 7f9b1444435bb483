#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

namespace fwb {

// A device number as the mount table writes it ("major:minor").
struct DeviceNumber
{
    quint32 major = 0;
    quint32 minor = 0;

    // Major 0 is the kernel's anonymous devices: tmpfs, proc, overlay, plain FUSE and the like.
    // Everything else, fuseblk mounts included, sits on a real block device.
    bool isBlockDevice() const { return major != 0; }

    friend bool operator==(const DeviceNumber &, const DeviceNumber &) = default;
};

// One mount: a line of /proc/<pid>/mountinfo with the kernel's octal escapes decoded, or the
// same facts as the kernel's statmount() gives them.
struct MountEntry
{
    // The kernel's 64-bit id of the mount, never given to another one; 0 where it is not
    // known (mountinfo does not show it, kernels before 6.8 do not have it).
    quint64 uniqueId = 0;
    int mountId = 0; // reused: a freed id goes to the next mount at once
    int parentId = 0;
    DeviceNumber device;
    QString root;       // the folder of the filesystem mounted here ("/" unless a bind)
    QString mountPoint; // relative to the process's root, without a trailing "/"
    QString options;    // per-mount options
    QString fsType;     // "ext4", "fuseblk", "fuse.sshfs", ...
    QString source;     // "/dev/sdb1", "tmpfs", "none", ...
    QString superOptions;
};

// The kernel's mount table of a process, in the kernel's order (parents before children,
// later mounts after earlier ones).
class MountTable
{
public:
    MountTable() = default;
    explicit MountTable(QList<MountEntry> entries) : m_entries(std::move(entries)) {}

    // Parses mountinfo text. Lines that do not have the mountinfo shape are skipped, so a
    // table is always had, even from text cut off in the middle of a line.
    static MountTable parse(QByteArrayView text);

    const QList<MountEntry> &entries() const { return m_entries; }
    bool isEmpty() const { return m_entries.isEmpty(); }

    // The mount that is visible at `mountPoint` (the last one of a stack), or none.
    const MountEntry *visibleAt(const QString &mountPoint) const;

private:
    QList<MountEntry> m_entries;
};

// Undoes the kernel's escaping of mountinfo fields: "\ooo" (three octal digits) stands for
// one byte, so "\040" is a space and "\134" a backslash. The bytes are decoded as file names.
QString decodeMountInfoField(QByteArrayView field);

} // namespace fwb
