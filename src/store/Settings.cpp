#include "store/Settings.h"

#include "store/AppPaths.h"
#include "store/IniFile.h"
#include "system/FileNames.h"
#include "system/Numbers.h"
#include "system/Paths.h"

#include <QDir>
#include <QLocale>
#include <cerrno>
#include <cmath>
#include <optional>
#include <sys/stat.h>

namespace fwb {
namespace {

// The user's number format first, then the plain "1.5" of a file carried over from another
// machine; "nan" and "inf" are not numbers here.
std::optional<double> toFiniteNumber(const QString &text)
{
    bool ok = false;
    double value = QLocale::system().toDouble(text.trimmed(), &ok);
    if (!ok)
        value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString readSetting(const ini::ProfileFile &file, const Setting &setting)
{
    return TrimAtNull(file.read(QLatin1String(setting.section), QLatin1String(setting.key),
                                QLatin1String(setting.defaultValue), setting.bufferSize));
}

// A mode keeps a whole number in its setting's range; a fraction rounds as the backup
// program's own conversion does. Anything else is not a value we can use.
template <typename Mode> Mode readMode(const ini::ProfileFile &file, const Setting &setting)
{
    const int fallback = QByteArrayView(setting.defaultValue).toInt();
    const std::optional<double> value = toFiniteNumber(readSetting(file, setting));
    const std::optional<qint64> whole =
        value ? RoundedWhole(*value, setting.minimum, setting.maximum) : std::nullopt;
    return static_cast<Mode>(whole.value_or(fallback));
}

// A value too large for a single-precision number is no number either.
float toSingle(const QString &text, float fallback)
{
    const std::optional<double> value = toFiniteNumber(text);
    if (!value || !std::isfinite(float(*value)))
        return fallback;
    return float(*value);
}

// A lone separator, "\\" from Windows or "/", names no folder of its own; neither does any
// other spelling of the root folder ("//", "/.", "/a/..").
bool namesNoFolder(const QString &path)
{
    if (path.isEmpty() || path == QLatin1String("\\"))
        return true;
    if (!path.startsWith(u'/'))
        return false;
    const QString clean = QDir::cleanPath(path);
    for (const QStringView part : QStringView(clean).tokenize(u'/', Qt::SkipEmptyParts))
        if (part != u"..")
            return false;
    return true;
}

// The backup program may have stored the folder in another letter case than the disk holds
// (it comes from Windows), so existence is tested on the name as stored on disk.
QString deriveBackupSetFolder(const QString &lastOpenedDir)
{
    if (!namesNoFolder(lastOpenedDir)) {
        const QString stored = GetRealPathCase(lastOpenedDir);
        if (FolderExists(stored))
            return AddTrailingSlash(stored);
    }
    return AddTrailingSlash(GetRealPathCase(appPaths().DefaultBackupSetsFolder));
}

// Creates the folder and the missing ones above it, without letting events run as CreateFolder
// does: a setting is saved from inside event handlers.
bool makeFolders(const QString &folder)
{
    for (qsizetype slash = folder.indexOf(u'/', 1);; slash = folder.indexOf(u'/', slash + 1)) {
        const QByteArray level = EncodeFileName(slash < 0 ? folder : folder.left(slash));
        if (!level.isEmpty() && ::mkdir(level.constData(), 0777) != 0 && errno != EEXIST)
            return false;
        if (slash < 0)
            break;
    }
    struct stat info;
    return folder.isEmpty() ||
           (::stat(EncodeFileName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode));
}

} // namespace

QString SettingFilePath(const Setting &setting)
{
    return setting.file == SettingsFile::Agent ? appPaths().AgentIniPath
                                               : appPaths().SettingsIniPath;
}

bool WriteSetting(const Setting &setting, const QString &value)
{
    return WriteIniText(SettingFilePath(setting), QLatin1String(setting.section),
                        QLatin1String(setting.key), value);
}

QString ReadIniText(const QString &file, const QString &section, const QString &key,
                    const QString &defaultValue)
{
    return ReadIniText(ini::ProfileFile::load(file), section, key, defaultValue);
}

QString ReadIniText(const ini::ProfileFile &file, const QString &section, const QString &key,
                    const QString &defaultValue)
{
    return TrimAtNull(file.read(section, key, defaultValue, Setting{}.bufferSize));
}

bool WriteIniText(const QString &file, const QString &section, const QString &key,
                  const QString &value)
{
    // The per-user settings folder does not exist before the first setting is saved.
    return makeFolders(ParentFolder(file)) && ini::writeProfileString(file, section, key, value);
}

void RemoveStaleSettingsTemporaries()
{
    ini::removeStaleTemporaries(appPaths().AgentIniPath);
    ini::removeStaleTemporaries(appPaths().SettingsIniPath);
}

void LoadSettings()
{
    AgentSettings &s = settings();
    // Each file is read once for all of its keys.
    const ini::ProfileFile shared = ini::ProfileFile::load(appPaths().SettingsIniPath);
    const ini::ProfileFile agent = ini::ProfileFile::load(appPaths().AgentIniPath);

    s.IncreaseTextWidth = toSingle(readSetting(shared, setting::IncreaseTextWidth), 0);
    s.BackupSetFolder = deriveBackupSetFolder(readSetting(shared, setting::LastOpenedDir));
    s.FirstRunPending = readSetting(shared, setting::FirstRunOfGeneration5) == QLatin1String("1");
    s.AgentStartupMode = readMode<AgentStartup>(agent, setting::AgentStartupMode);
    s.BackupStartupMode = readMode<BackupStartup>(agent, setting::BackupStartupMode);
    s.MinimizeMode = readMode<MinimizeTo>(agent, setting::MinimizeMode);
    s.CurrentLanguage = readSetting(shared, setting::CurrentLanguage);
}

} // namespace fwb
