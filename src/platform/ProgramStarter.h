#pragma once

#include <QString>
#include <QStringList>

namespace fwb {

// Starts other programs, never through a shell, and never waits for them.
class ProgramStarter
{
public:
    enum class OpenResult { Opened, NoAssociation, Failed };

    virtual ~ProgramStarter() = default;
    virtual bool startDetached(const QString &program, const QStringList &arguments) = 0;
    // Opens a file with the application the desktop associates with its type.
    virtual OpenResult openWithDesktop(const QString &path) = 0;
    // Opens a backup set with the application associated with backup sets, whatever the
    // file's content looks like.
    virtual OpenResult openBackupSet(const QString &path) = 0;
};

} // namespace fwb
