#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace fwb::test {

// A program folder made the way an installation lays it out: the Agent, its database engine
// and the example backup program side by side. Its path holds a space, as installed paths do.
class ProgramFolder
{
public:
    ProgramFolder();

    // Copies the programs in. False, with the reason in error(), when one cannot be staged.
    bool stage();

    // The folder, without a trailing separator and without symbolic links.
    QString path() const { return m_path; }
    QString filePath(const QString &relative) const { return m_path + u'/' + relative; }
    QString agentPath() const { return filePath(QStringLiteral("fwbagent")); }
    // Where the Agent looks for backup sets when settings.ini names no other folder.
    QString defaultBackupSetsFolder() const { return filePath(QStringLiteral("Backup sets")); }
    // What the example backup program writes each time it is started.
    QString backupProgramLog() const { return filePath(QStringLiteral("fwb.log")); }

    // A scratch folder beside the program folder, for files the test needs elsewhere.
    QString scratchPath(const QString &relative) const;

    QString error() const { return m_error; }

private:
    bool copyProgram(const QString &from, const QString &name);

    QTemporaryDir m_root;
    QString m_path;
    QString m_error;
};

// Writes `bytes` to `path`, making its folders. False when that fails.
bool writeBytes(const QString &path, const QByteArray &bytes);

} // namespace fwb::test
