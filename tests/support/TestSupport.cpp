#include "TestSupport.h"

#include "platform/linux/LinuxFileSystem.h"
#include "program/ProgramState.h"
#include "store/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace fwb::test {
namespace {

// A test that leaves monitoring registered leaves the arrival source running for the next
// one, which then cannot register: every test program must end with the registration clear.
// Made after the program state, so that it is checked before that goes.
struct RegistrationCheckedOnExit
{
    RegistrationCheckedOnExit() { programState(); }
    ~RegistrationCheckedOnExit()
    {
        if (programState().driveNotify.NotifyId == 0)
            return;
        std::fputs("FAIL: the test program ended with the drive-notify registration left "
                   "behind\n",
                   stderr);
        std::_Exit(1);
    }
} g_registrationCheck;

} // namespace

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        QFAIL(qPrintable(QStringLiteral("cannot write ") + path));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

CapturedStandardError::CapturedStandardError() : m_saved(::dup(STDERR_FILENO))
{
    std::fflush(stderr);
    const int fd = ::open(QFile::encodeName(m_dir.filePath(QStringLiteral("stderr"))).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
}

CapturedStandardError::~CapturedStandardError()
{
    std::fflush(stderr);
    ::dup2(m_saved, STDERR_FILENO);
    ::close(m_saved);
}

QByteArray CapturedStandardError::text() const
{
    std::fflush(stderr);
    return readFile(m_dir.filePath(QStringLiteral("stderr")));
}

void resetProgramState(const QString &programFolder)
{
    ResetProgramState();
    ComputeAppPaths(programFolder);
}

ScopedPlatform::ScopedPlatform()
    : m_saved(platform()), m_fileSystem(std::make_unique<LinuxFileSystem>())
{
    platform().fileSystem = m_fileSystem.get();
    platform().messageBoxes = &boxes;
    platform().instanceGuard = &instanceGuard;
    platform().programStarter = &programStarter;
    platform().volumeQuery = &volumeQuery;
    platform().driveArrivals = &driveArrivals;
    platform().componentHost = &componentHost;
    platform().autoStart = &autoStart;
    platform().notifier = &notifier;
    Clock::setInstance(&clock);
}

ScopedPlatform::~ScopedPlatform()
{
    Clock::setInstance(nullptr);
    platform() = m_saved;
}

} // namespace fwb::test
