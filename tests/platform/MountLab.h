#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Skips a test that cannot run on this machine: the namespace could not be entered (kept by
// the test object in m_isolationProblem), or a tool is not installed.
#define REQUIRE_MOUNT_NAMESPACE()                                                                  \
    do {                                                                                           \
        if (!m_isolationProblem.isEmpty())                                                         \
            QSKIP(qPrintable(m_isolationProblem));                                                 \
    } while (false)
// A step that prepares the machine rather than exercises the code: where it cannot be taken
// (no loop devices, no FUSE), the test cannot run here.
#define LAB_STEP(lab, step)                                                                        \
    do {                                                                                           \
        if (!(step))                                                                               \
            QSKIP(qPrintable(QStringLiteral("cannot prepare volumes here: ") + (lab).error()));    \
    } while (false)
#define REQUIRE_TOOL(variable, name)                                                               \
    const QString variable = fwb::test::findTool(QStringLiteral(name));                            \
    do {                                                                                           \
        if (variable.isEmpty())                                                                    \
            QSKIP(name " is not installed");                                                       \
    } while (false)

namespace fwb::test {

// Moves this process into a mount namespace of its own whose mounts do not propagate back,
// so the mounts of a test never reach the machine. Call it before any thread starts. Answers
// why that was not possible, or the empty text.
QString enterPrivateMountNamespace();

// The path of a program from PATH or the system folders, or the empty text.
QString findTool(const QString &name);

// Filesystem images, loop devices and mounts of one test. Everything it made is undone when
// it goes, also when the test fails half-way: mounts are unmounted, then the loop devices
// detached.
class MountLab
{
public:
    MountLab();
    ~MountLab();
    MountLab(const MountLab &) = delete;
    MountLab &operator=(const MountLab &) = delete;

    // Why the last step failed.
    QString error() const { return m_error; }

    // A sparse file of `mebibytes` in the lab; the empty text on failure.
    QString makeImage(const QString &name, int mebibytes);
    // A freshly formatted ext4 volume of 8 MiB on a loop device; the device node or the empty
    // text.
    QString ext4Volume(const QString &name, const QString &label = {});
    // A new folder in the lab to mount on; the empty text on failure.
    QString makeFolder(const QString &name);

    // Runs a program with an argument vector and waits for it. True when it exits with 0.
    bool run(const QString &program, const QStringList &arguments, QString *output = nullptr);

    // Attaches an image to a free loop device ("losetup -f --show"); the device node or the
    // empty text.
    QString attach(const QString &image);

    bool mount(const QString &device, const QString &folder, const QString &fsType);
    bool bind(const QString &from, const QString &folder);
    bool remountReadOnly(const QString &folder);
    // Moves the mount at `from` to `folder` ("mount --move").
    bool move(const QString &from, const QString &folder);
    // Mounts through a FUSE program ("mount.exfat-fuse", "ntfs-3g") given as a path.
    bool mountWith(const QString &helper, const QString &device, const QString &folder);
    bool unmount(const QString &folder);

private:
    bool fail(const QString &what);
    bool failWithErrno(const QString &what);

    QTemporaryDir m_dir;
    QStringList m_loopDevices;
    QStringList m_mounts;
    QString m_error;
};

} // namespace fwb::test
