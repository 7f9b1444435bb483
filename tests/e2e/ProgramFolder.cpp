#include "ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace fwb::test {

ProgramFolder::ProgramFolder()
{
    const QString folder = m_root.filePath(QStringLiteral("FW Backup Agent"));
    if (m_root.isValid() && QDir().mkpath(folder))
        m_path = QFileInfo(folder).canonicalFilePath();
}

bool ProgramFolder::stage()
{
    if (m_path.isEmpty()) {
        m_error = QStringLiteral("cannot make a program folder");
        return false;
    }
    return copyProgram(QStringLiteral(FWB_AGENT), QStringLiteral("fwbagent")) &&
           copyProgram(QStringLiteral(FWB_JET_ENGINE), QStringLiteral("fwb-jet-engine")) &&
           copyProgram(QStringLiteral(FWB_EXAMPLE_BACKUP_PROGRAM), QStringLiteral("fwb"));
}

QString ProgramFolder::scratchPath(const QString &relative) const
{
    return m_root.filePath(relative);
}

bool ProgramFolder::copyProgram(const QString &from, const QString &name)
{
    const QString to = filePath(name);
    if (!QFile::copy(from, to) ||
        !QFile::setPermissions(to, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                       QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                       QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                       QFileDevice::ExeOther)) {
        m_error = QStringLiteral("cannot copy ") + from + QStringLiteral(" to ") + to;
        return false;
    }
    return true;
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

} // namespace fwb::test
