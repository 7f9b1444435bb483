#include "ProgramFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

namespace fwb::test {

ProgramFolder::ProgramFolder()
{
    const QString folder = m_root.filePath(QStringLiteral("FW Backup Agent"));
    if (m_root.isValid() && QDir().mkpath(folder))
        m_path = QFileInfo(folder).canonicalFilePath();
}

bool ProgramFolder::stage()
{
    const std::pair<const char *, const char *> programs[] = {{FWB_AGENT, "fwbagent"},
                                                              {FWB_JET_ENGINE, "fwb-jet-engine"},
                                                              {FWB_EXAMPLE_BACKUP_PROGRAM, "fwb"}};
    for (const auto &[from, name] : programs) {
        const QString to = filePath(QString::fromUtf8(name));
        if (m_path.isEmpty() || !QFile::copy(QString::fromUtf8(from), to)) {
            m_error = QStringLiteral("cannot copy %1 to %2").arg(QString::fromUtf8(from), to);
            return false;
        }
    }
    return true;
}

bool ProgramFolder::handTo(uint uid)
{
    QDirIterator it(m_root.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    bool handed = ::chown(QFile::encodeName(m_root.path()).constData(), uid, uid) == 0;
    while (it.hasNext())
        handed = ::lchown(QFile::encodeName(it.next()).constData(), uid, uid) == 0 && handed;
    return handed;
}

bool ProgramFolder::useLanguagePack(const QString &pack)
{
    const QString name = QFileInfo(pack).fileName();
    return QDir().mkpath(filePath(QStringLiteral("Language Packs"))) &&
           QFile::copy(pack, filePath(QStringLiteral("Language Packs/") + name)) &&
           writeBytes(filePath(QStringLiteral("settings.ini")),
                      optionsIni({QStringLiteral("GLO_CurrentLanguage=") + name}));
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) &&
           file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

QByteArray optionsIni(const QStringList &entries)
{
    return "[Options]\r\n" + entries.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
}

QString triggersOnLabel(const QString &label)
{
    return QStringLiteral("x\u00020\u0002DEAD-BEEF\u0001x\u00021\u0002") + label;
}

QByteArray iniBackupSet(const QString &triggers)
{
    return "[General]\r\nGEN_Version=27\r\nGEN_Description=Nightly\r\n[Settings]\r\n"
           "OPT_AutoRunTriggerDrives=" +
           triggers.toUtf8() + "\r\n";
}

} // namespace fwb::test
