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

QString g_namespaceProblem = QStringLiteral("the private mount namespace was not entered");

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString enterPrivateMountNamespace()
{
    if (::geteuid() != 0)
        g_namespaceProblem =
            QStringLiteral("needs root (mount namespaces, loop devices, mounting)");
    else if (::unshare(CLONE_NEWNS) != 0)
        g_namespaceProblem = QStringLiteral("unshare(CLONE_NEWNS) failed: ") + errnoText();
    else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        g_namespaceProblem =
            QStringLiteral("making the mount namespace private failed: ") + errnoText();
    else
        g_namespaceProblem.clear();
    return g_namespaceProblem;
}

QString mountNamespaceProblem()
{
    return g_namespaceProblem;
}

QString findTool(const QString &name)
{
    return QStandardPaths::findExecutable(name, qEnvironmentVariable("PATH").split(u':') +
                                                    QStringList{"/usr/sbin", "/sbin"});
}

MountLab::~MountLab()
{
    while (!m_mounts.isEmpty()) {
        const QByteArray folder = QFile::encodeName(m_mounts.takeLast());
        if (::umount2(folder.constData(), 0) != 0)
            ::umount2(folder.constData(), MNT_DETACH);
    }
    // A loop device still held (by a FUSE daemon not yet gone) is detached once let go.
    for (const QString &device : std::as_const(m_loopDevices))
        run(QStringLiteral("losetup"), {QStringLiteral("-d"), device});
}

bool MountLab::fail(const QString &what)
{
    m_error = what;
    return false;
}

QString MountLab::makeImage(const QString &name, int mebibytes)
{
    QFile file(m_dir.filePath(name));
    if (file.open(QIODevice::WriteOnly) && file.resize(qint64(mebibytes) << 20))
        return file.fileName();
    fail(QStringLiteral("cannot make the image ") + file.fileName());
    return {};
}

QString MountLab::makeFolder(const QString &name)
{
    const QString path = m_dir.filePath(name);
    if (QDir().mkpath(path))
        return QFileInfo(path).canonicalFilePath();
    fail(QStringLiteral("cannot make the folder ") + path);
    return {};
}

QString MountLab::attach(const QString &image)
{
    if (!g_namespaceProblem.isEmpty()) { // the machine's own mounts are never touched
        fail(g_namespaceProblem);
        return {};
    }
    const auto device = run(QStringLiteral("losetup"), {"-f", "--show", image});
    if (device)
        m_loopDevices.append(device->trimmed());
    return device ? m_loopDevices.last() : QString();
}

QString MountLab::ext4Volume(const QString &name, const QString &label)
{
    const QString image = makeImage(name + QStringLiteral(".img"), 8);
    const QStringList labelled = label.isEmpty() ? QStringList{} : QStringList{"-L", label};
    if (image.isEmpty() ||
        !run(QStringLiteral("mkfs.ext4"), QStringList{"-q", "-F"} + labelled + QStringList{image}))
        return {};
    return attach(image);
}

std::optional<QString> MountLab::run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program.contains(u'/') ? program : findTool(program), arguments);
    const bool finished = process.waitForFinished(60'000);
    const QString text = QString::fromLocal8Bit(process.readAllStandardOutput());
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return text;
    fail(program + u' ' + arguments.join(u' ') + QStringLiteral(" failed: ") + text +
         QString::fromLocal8Bit(process.readAllStandardError()) + process.errorString());
    return std::nullopt;
}

bool MountLab::mount(const QString &source, const QString &folder, const QString &fsType,
                     unsigned long flags)
{
    if (::mount(QFile::encodeName(source).constData(), QFile::encodeName(folder).constData(),
                fsType.toLatin1().constData(), flags, nullptr) != 0)
        return fail(QStringLiteral("mount %1 %2: %3").arg(source, folder, errnoText()));
    if (flags & MS_MOVE)
        m_mounts.removeAt(m_mounts.lastIndexOf(source));
    if (!(flags & MS_REMOUNT))
        m_mounts.append(folder);
    return true;
}

bool MountLab::mountWith(const QString &helper, const QString &device, const QString &folder,
                         const QStringList &options)
{
    if (!run(helper, options + QStringList{device, folder}))
        return false;
    m_mounts.append(folder);
    return true;
}

bool MountLab::unmount(const QString &folder)
{
    if (::umount2(QFile::encodeName(folder).constData(), 0) != 0)
        return fail(QStringLiteral("umount %1: %2").arg(folder, errnoText()));
    m_mounts.removeAt(m_mounts.lastIndexOf(folder));
    return true;
}

} // namespace fwb::test
