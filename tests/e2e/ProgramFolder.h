#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace fwb::test {

// A program folder laid out as an installation lays it out, in a path with a space: the Agent,
// its database engine and the example backup program side by side.
class ProgramFolder
{
public:
    ProgramFolder();
    // Copies the programs in; false, with the reason in error(), when one cannot be.
    bool stage();
    // Makes the folder, and all it holds, the user's, as a copy the user unpacked is.
    bool handTo(uint uid);
    // Installs the language pack `pack` and chooses it.
    bool useLanguagePack(const QString &pack);

    QString filePath(const QString &relative) const { return m_path + u'/' + relative; }
    QString agentPath() const { return filePath(QStringLiteral("fwbagent")); }
    QString defaultBackupSetsFolder() const { return filePath(QStringLiteral("Backup sets")); }
    // One line for each start of the example backup program.
    QString backupProgramLog() const { return filePath(QStringLiteral("fwb.log")); }
    QString error() const { return m_error; }

private:
    QTemporaryDir m_root;
    QString m_path;
    QString m_error;
};

bool writeBytes(const QString &path, const QByteArray &bytes);
// The [Options] section of a settings file with `entries`, each "key=value".
QByteArray optionsIni(const QStringList &entries);
// A trigger list naming the volume label `label`, behind a serial number no test volume has:
// triggers end at "\1", their fields at "\2".
QString triggersOnLabel(const QString &label);
QByteArray iniBackupSet(const QString &triggers);

} // namespace fwb::test
