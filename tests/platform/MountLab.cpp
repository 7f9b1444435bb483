#include "MountLab.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace fwb::test {

namespace {

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString enterPrivateMountNamespace()
{
    if (::geteuid() != 0)
        return QStringLiteral("needs root (mount namespaces, loop devices, mounting)");
    if (::unshare(CLONE_NEWNS) != 0)
        return QStringLiteral("unshare(CLONE_NEWNS) failed: ") + errnoText();
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return QStringLiteral("making the mount namespace private failed: ") + errnoText();
    return {};
}

QString findTool(const QString &name)
{
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty()) {
        path = QStandardPaths::findExecutable(name,
                                              {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                               QStringLiteral("/usr/bin"), QStringLiteral("/bin")});
    }
    return path;
}

MountLab::MountLab() = default;

MountLab::~MountLab()
{
    while (!m_mounts.isEmpty()) {
        const QByteArray folder = native(m_mounts.takeLast());
        if (::umount2(folder.constData(), 0) != 0)
            ::umount2(folder.constData(), MNT_DETACH);
    }
    // A loop device still held (a FUSE daemon that has not quit yet) is detached by the
    // kernel once it is let go.
    for (const QString &device : std::as_const(m_loopDevices))
        run(findTool(QStringLiteral("losetup")), {QStringLiteral("-d"), device});
}

bool MountLab::fail(const QString &what)
{
    m_error = what;
    return false;
}

bool MountLab::failWithErrno(const QString &what)
{
    return fail(what + QStringLiteral(": ") + errnoText());
}

QString MountLab::makeImage(const QString &name, int mebibytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(mebibytes) << 20)) {
        fail(QStringLiteral("cannot make the image ") + path);
        return {};
    }
    return path;
}

QString MountLab::ext4Volume(const QString &name, const QString &label)
{
    const QString image = makeImage(name + QStringLiteral(".img"), 8);
    QStringList arguments{QStringLiteral("-q"), QStringLiteral("-F")};
    if (!label.isEmpty())
        arguments << QStringLiteral("-L") << label;
    arguments << image;
    if (image.isEmpty() || !run(findTool(QStringLiteral("mkfs.ext4")), arguments))
        return {};
    return attach(image);
}

QString MountLab::makeFolder(const QString &name)
{
    const QString path = m_dir.filePath(name);
    if (!QDir().mkpath(path)) {
        fail(QStringLiteral("cannot make the folder ") + path);
        return {};
    }
    // The mount table names the folder without symbolic links.
    return QFileInfo(path).canonicalFilePath();
}

bool MountLab::run(const QString &program, const QStringList &arguments, QString *output)
{
    if (program.isEmpty())
        return fail(QStringLiteral("program not found"));
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(60'000);
    const QString text = QString::fromLocal8Bit(process.readAll()).trimmed();
    if (output)
        *output = text;
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return fail(QFileInfo(program).fileName() + u' ' + arguments.join(u' ') +
                    QStringLiteral(" failed: ") + text);
    }
    return true;
}

QString MountLab::attach(const QString &image)
{
    QString device;
    if (!run(findTool(QStringLiteral("losetup")),
             {QStringLiteral("-f"), QStringLiteral("--show"), image}, &device))
        return {};
    m_loopDevices.append(device);
    return device;
}

bool MountLab::mount(const QString &device, const QString &folder, const QString &fsType)
{
    if (::mount(native(device).constData(), native(folder).constData(), native(fsType).constData(),
                0, nullptr) != 0)
        return failWithErrno(QStringLiteral("mount ") + device + u' ' + folder);
    m_mounts.append(folder);
    return true;
}

bool MountLab::bind(const QString &from, const QString &folder)
{
    if (::mount(native(from).constData(), native(folder).constData(), nullptr, MS_BIND, nullptr) !=
        0)
        return failWithErrno(QStringLiteral("bind mount ") + from + u' ' + folder);
    m_mounts.append(folder);
    return true;
}

bool MountLab::remountReadOnly(const QString &folder)
{
    if (::mount(nullptr, native(folder).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
        return failWithErrno(QStringLiteral("remount ") + folder);
    return true;
}

bool MountLab::move(const QString &from, const QString &folder)
{
    if (::mount(native(from).constData(), native(folder).constData(), nullptr, MS_MOVE, nullptr) !=
        0)
        return failWithErrno(QStringLiteral("move mount ") + from + u' ' + folder);
    m_mounts[m_mounts.lastIndexOf(from)] = folder;
    return true;
}

bool MountLab::mountWith(const QString &helper, const QString &device, const QString &folder)
{
    if (!run(helper, {device, folder}))
        return false;
    m_mounts.append(folder);
    return true;
}

bool MountLab::unmount(const QString &folder)
{
    if (::umount2(native(folder).constData(), 0) != 0)
        return failWithErrno(QStringLiteral("umount ") + folder);
    m_mounts.removeAt(m_mounts.lastIndexOf(folder));
    return true;
}

} // namespace fwb::test
