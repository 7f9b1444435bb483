#include "platform/linux/XdgAutoStartStore.h"

#include "platform/linux/DesktopEntryExec.h"
#include "system/FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace fwb {
namespace {

// An autostart entry is a few lines; anything much larger is not one of ours.
constexpr qint64 kLargestEntry = 64 * 1024;

const QString kMainGroup = QStringLiteral("[Desktop Entry]");

struct MainGroup
{
    bool found = false;
    QString exec;
    QString hidden;
};

// The keys of the main group that decide whether the entry runs the Agent. A key given twice
// counts with its last value, as the session's own readers take it.
MainGroup readMainGroup(const QString &text)
{
    MainGroup group;
    bool inMain = false;
    const QStringList lines = text.split(u'\n');
    for (QString line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#'))
            continue;
        if (trimmed.startsWith(u'[')) {
            inMain = trimmed == kMainGroup;
            group.found = group.found || inMain;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inMain || equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Exec"))
            group.exec = value;
        else if (key == QLatin1String("Hidden"))
            group.hidden = value;
    }
    return group;
}

} // namespace

XdgAutoStartStore::XdgAutoStartStore(QString fileName, QString entryName)
    : m_fileName(std::move(fileName)), m_entryName(std::move(entryName))
{}

QString XdgAutoStartStore::autostartFolder()
{
    // A relative XDG_CONFIG_HOME is invalid and must be ignored.
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QString base = !configHome.isEmpty() && QDir::isAbsolutePath(configHome)
                             ? configHome
                             : QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base + QStringLiteral("/autostart"));
}

QString XdgAutoStartStore::filePath() const
{
    return autostartFolder() + u'/' + m_fileName;
}

AutoStartStore::Entry XdgAutoStartStore::read() const
{
    const QFileInfo info(filePath());
    if (!info.exists())
        return {};
    Entry other{Entry::Kind::Other, {}};
    // Never open a FIFO or a device that happens to carry the name: it could block or never end.
    if (!info.isFile() || info.size() > kLargestEntry)
        return other;
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return other;
    // Exec names the program by its file name's bytes, whether or not they are UTF-8.
    const MainGroup group = readMainGroup(DecodeFileName(file.read(kLargestEntry)));
    if (!group.found || group.hidden == QLatin1String("true"))
        return other;
    const auto program = ProgramOfExecValue(group.exec);
    if (!program)
        return other;
    return {Entry::Kind::Program, *program};
}

bool XdgAutoStartStore::write(const QString &program)
{
    if (!QDir().mkpath(autostartFolder()))
        return false;
    // The menu entry's name and icon, so the session's list of start-up programs shows the
    // Agent as the menu does; TryExec lets the session pass over an entry whose program is gone.
    const QString text = kMainGroup + QStringLiteral("\nType=Application\nName=") + m_entryName +
                         QStringLiteral("\nIcon=fwbagent\nTryExec=") + StringValue(program) +
                         QStringLiteral("\nExec=") + ExecValueForProgram(program) + u'\n';
    // Written beside the entry and renamed over it, so the session never reads half a file.
    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(EncodeFileName(text));
    return file.commit();
}

bool XdgAutoStartStore::remove()
{
    const QString path = filePath();
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    return QFile::remove(path);
}

} // namespace fwb
