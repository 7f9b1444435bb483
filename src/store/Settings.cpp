#include "store/Settings.h"

#include "store/AppPaths.h"
#include "store/IniFile.h"
#include "system/FileNames.h"
#include "system/Paths.h"

#include <QDir>
#include <QLocale>
#include <cerrno>
#include <cmath>
#include <optional>
#include <sys/stat.h>

namespace fwb {
namespace {

const QString kOptions = QStringLiteral("Options");
const QString kSettings = QStringLiteral("Settings");
const QString kFirstRunKey = QStringLiteral("FirstRunOfGeneration5");

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

// A mode key holds a number from 0 to 255; a fraction rounds half to even, as the backup
// program's own conversion does. Anything else is not a value we can use.
std::optional<std::uint8_t> toByte(const QString &text)
{
    const std::optional<double> value = toFiniteNumber(text);
    if (!value)
        return std::nullopt;
    const double whole = std::nearbyint(*value);
    if (whole < 0 || whole > 255)
        return std::nullopt;
    return static_cast<std::uint8_t>(whole);
}

std::uint8_t readMode(const QString &key, std::uint8_t fallback)
{
    const QString text =
        ReadIniText(appPaths().AgentIniPath, kOptions, key, QString::number(fallback));
    return toByte(text).value_or(fallback);
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

AgentSettings &settings()
{
    static AgentSettings values;
    return values;
}

QString ReadIniText(const QString &file, const QString &section, const QString &key,
                    const QString &defaultValue)
{
    return ReadIniText(ini::ProfileFile::load(file), section, key, defaultValue);
}

QString ReadIniText(const ini::ProfileFile &file, const QString &section, const QString &key,
                    const QString &defaultValue)
{
    // The first-run flag has always been read with one character less room than the rest.
    const int bufferSize = key == kFirstRunKey ? 256 : 257;
    return TrimAtNull(file.read(section, key, defaultValue, bufferSize));
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
    const AppPaths &paths = appPaths();
    AgentSettings &s = settings();

    const QString lastOpenedDir =
        ReadIniText(paths.SettingsIniPath, kOptions, QStringLiteral("LastOpenedDir"), {});
    s.IncreaseTextWidth =
        toSingle(ReadIniText(paths.SettingsIniPath, kOptions,
                             QStringLiteral("GLO_IncreaseTextWidth"), QStringLiteral("0")),
                 0);
    s.BackupSetFolder = deriveBackupSetFolder(lastOpenedDir);
    s.FirstRunPending = ReadIniText(paths.SettingsIniPath, kSettings, kFirstRunKey,
                                    QStringLiteral("1")) == QLatin1String("1");
    s.AgentStartupMode = readMode(QStringLiteral("GLO_AgentStartupMode"), 0);
    s.BackupStartupMode = readMode(QStringLiteral("GLO_BackupStartupMode"), 2);
    s.MinimizeMode = readMode(QStringLiteral("GLO_MinimizeMode"), 1);
    s.CurrentLanguage =
        ReadIniText(paths.SettingsIniPath, kOptions, QStringLiteral("GLO_CurrentLanguage"), {});
}

} // namespace fwb
