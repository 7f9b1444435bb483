#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

// Skips a test when no volume could be made here.
#define LAB_STEP(lab, step)                                                                        \
    do {                                                                                           \
        if (!(step))                                                                               \
            QSKIP(qPrintable(QStringLiteral("cannot prepare volumes here: ") + (lab).error()));    \
    } while (false)

namespace fwb::test {

// Moves this process, while it has one thread, into a mount namespace of its own whose mounts
// never reach the machine. Answers why that failed, or the empty text; mountNamespaceProblem()
// keeps the answer.
QString enterPrivateMountNamespace();
QString mountNamespaceProblem();
// The path of a program from PATH or the system folders, or the empty text.
QString findTool(const QString &name);

// Images, loop devices and mounts of one test, undone when it goes, also after a failure.
// A step that fails answers false or the empty text, and error() says why.
class MountLab
{
public:
    ~MountLab();

    QString error() const { return m_error; }
    QString makeImage(const QString &name, int mebibytes);
    QString makeFolder(const QString &name);
    // A loop device holding `image`, or a new ext4 volume of 8 MiB.
    QString attach(const QString &image);
    QString ext4Volume(const QString &name, const QString &label = {});

    // Runs a program, found by findTool() unless given as a path; its output on success.
    std::optional<QString> run(const QString &program, const QStringList &arguments);
    // mount(2); with MS_BIND, MS_MOVE or MS_REMOUNT `fsType` is not needed.
    bool mount(const QString &source, const QString &folder, const QString &fsType = {},
               unsigned long flags = 0);
    // Mounts through a FUSE program such as "ntfs-3g", given `options` before the device.
    bool mountWith(const QString &helper, const QString &device, const QString &folder,
                   const QStringList &options = {});
    bool unmount(const QString &folder);

private:
    bool fail(const QString &what);

    QTemporaryDir m_dir;
    QStringList m_loopDevices;
    QStringList m_mounts;
    QString m_error;
};

} // namespace fwb::test
