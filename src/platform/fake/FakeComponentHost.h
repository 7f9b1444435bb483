#pragma once

#include "platform/ComponentHost.h"

#include <QHash>
#include <QList>
#include <QStringList>

namespace fwb {

// Plays a Windows system: answers the common files folder, records copies and commands, and
// lets chosen libraries fail their registration.
class FakeComponentHost final : public ComponentHost
{
public:
    struct Command
    {
        QString commandLine;
        WindowStyle style;
    };

    QString specialFolderPath(int folder) const override
    {
        return folder == 0x2B ? commonFilesFolder : QString();
    }
    bool copyFile(const QString &from, const QString &to) override
    {
        copies.append(from + QStringLiteral(" -> ") + to);
        return copySucceeds;
    }
    long registerServer(const QString &library) override
    {
        registered.append(library);
        return failingLibraries.value(library, 0);
    }
    void startCommand(const QString &commandLine, WindowStyle style) override
    {
        commands.append({commandLine, style});
    }

    QString commonFilesFolder;
    bool copySucceeds = true;
    QHash<QString, long> failingLibraries;
    QStringList copies;
    QStringList registered;
    QList<Command> commands;
};

} // namespace fwb
