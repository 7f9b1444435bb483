#include "platform/linux/DesktopProgramStarter.h"

#include <QProcess>
#include <optional>

namespace fwb {
namespace {

// The first line a short-lived helper prints, or nothing when it cannot run or fails.
std::optional<QString> firstLineOf(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(process.readAllStandardOutput()).section(u'\n', 0, 0).trimmed();
}

ProgramStarter::OpenResult openIfTypeHasApplication(const QString &path, const QString &type)
{
    const auto application = firstLineOf(
        QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!application || application->isEmpty())
        return ProgramStarter::OpenResult::NoAssociation;
    return QProcess::startDetached(QStringLiteral("xdg-open"), {path})
               ? ProgramStarter::OpenResult::Opened
               : ProgramStarter::OpenResult::Failed;
}

} // namespace

bool DesktopProgramStarter::startDetached(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
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
