#include "platform/linux/DesktopProgramStarter.h"

#include "system/FileNames.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fwb {
namespace {

// Waits for `process` to end, at most `ms`, letting the window's events run meanwhile: the
// desktop's helpers are shell scripts that can take longer than a window may stand still.
bool finishesWithin(QProcess &process, int ms)
{
    if (!QCoreApplication::instance())
        return process.waitForFinished(ms);
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    return process.state() == QProcess::NotRunning;
}

// The first line a short-lived helper prints, or nothing when it cannot run or fails.
std::optional<QString> firstLineOf(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProgram(program);
    process.setArguments(arguments);
    KeepRawNamesWhenStarting(process);
    process.start();
    if (!finishesWithin(process, 5000)) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(process.readAllStandardOutput()).section(u'\n', 0, 0).trimmed();
}

// Starts a program that outlives the Agent, with its name and arguments passed byte for byte
// (QProcess::startDetached would pass them through UTF-8). A middle child starts it and ends at
// once, so nothing is left for the Agent to wait for; a pipe closed by the exec tells whether
// the program could be run.
bool spawnDetached(const QString &program, const QStringList &arguments)
{
    const QByteArray path =
        EncodeFileName(program.contains(u'/') ? program : QStandardPaths::findExecutable(program));
    if (path.isEmpty())
        return false;
    QByteArrayList bytes{EncodeFileName(program)};
    for (const QString &argument : arguments)
        bytes.append(EncodeFileName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;
    const pid_t middle = ::fork();
    if (middle == 0) {
        // Only what is safe after a fork in a program with threads: no allocation, no locks.
        ::setsid();
        const pid_t child = ::fork();
        if (child == 0) {
            ::execv(path.constData(), argv.data());
            const int error = errno;
            [[maybe_unused]] const ssize_t ignored = ::write(report[1], &error, sizeof error);
            ::_exit(127);
        }
        ::_exit(child > 0 ? 0 : 1);
    }
    ::close(report[1]);
    int status = 0;
    while (middle > 0 && ::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got = 0;
    while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    return middle > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 && got == 0;
}

ProgramStarter::OpenResult openIfTypeHasApplication(const QString &path, const QString &type)
{
    const auto application = firstLineOf(
        QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!application || application->isEmpty())
        return ProgramStarter::OpenResult::NoAssociation;
    return spawnDetached(QStringLiteral("xdg-open"), {path}) ? ProgramStarter::OpenResult::Opened
                                                             : ProgramStarter::OpenResult::Failed;
}

} // namespace

bool DesktopProgramStarter::startDetached(const QString &program, const QStringList &arguments)
{
    return spawnDetached(program, arguments);
}

ProgramStarter::OpenResult DesktopProgramStarter::openWithDesktop(const QString &path)
{
    const auto type = firstLineOf(QStringLiteral("xdg-mime"),
                                  {QStringLiteral("query"), QStringLiteral("filetype"), path});
    if (!type)
        return OpenResult::Failed;
    return openIfTypeHasApplication(path, *type);
}

ProgramStarter::OpenResult DesktopProgramStarter::openBackupSet(const QString &path)
{
    // Never the type the file's bytes suggest: an ini text or an Access file must not go to
    // a text editor or a database program as if it were the backup program.
    return openIfTypeHasApplication(path, QString::fromLatin1(kBackupSetType));
}

} // namespace fwb
