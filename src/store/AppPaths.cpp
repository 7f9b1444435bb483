#include "store/AppPaths.h"

#include "system/FileNames.h"
#include "system/Paths.h"

#include <QDir>
#include <unistd.h>

namespace fwb {
namespace {

// An XDG base folder: the variable when it holds an absolute path, else the default under home.
QString xdgFolder(const char *variable, const QString &defaultUnderHome)
{
    const QString value = qEnvironmentVariable(variable);
    if (QDir::isAbsolutePath(value))
        return value;
    return QDir::homePath() + u'/' + defaultUnderHome;
}

} // namespace

void ComputeAppPaths(const QString &programFolder)
{
    AppPaths &p = appPaths();
    p.AppFolder = AddTrailingSlash(programFolder);
    // Always the fixed names, whatever the file was started as.
    p.FwbExePath = p.AppFolder + QStringLiteral("fwb");
    p.AgentExePath = p.AppFolder + QStringLiteral("fwbagent");
    p.LanguagePacksFolder = AddTrailingSlash(p.AppFolder + QStringLiteral("Language Packs"));
    p.IconsFolder = AddTrailingSlash(p.AppFolder + QStringLiteral("Icons"));

    // Judged for the real user (access(2)): a folder of root's that an ordinary user merely
    // reads must not swallow that user's settings.
    const bool portable = ::access(EncodeFileName(p.AppFolder).constData(), W_OK) == 0;
    const QString configFolder =
        portable
            ? p.AppFolder
            : xdgFolder("XDG_CONFIG_HOME", QStringLiteral(".config")) + QStringLiteral("/fwb/");
    p.DataFolder = portable ? p.AppFolder
                            : xdgFolder("XDG_DATA_HOME", QStringLiteral(".local/share")) +
                                  QStringLiteral("/fwb/");
    p.AgentIniPath = configFolder + QStringLiteral("fwbagent.ini");
    p.SettingsIniPath = configFolder + QStringLiteral("settings.ini");
    p.DefaultBackupSetsFolder = p.DataFolder + QStringLiteral("Backup sets");
}

std::optional<QByteArray> AppPathsText(const QString &name)
{
    const AppPaths &p = appPaths();
    QString text;
    const std::pair<const char *, const QString *> lines[] = {
        {"AppFolder", &p.AppFolder},
        {"FwbExePath", &p.FwbExePath},
        {"AgentIniPath", &p.AgentIniPath},
        {"SettingsIniPath", &p.SettingsIniPath},
        {"LanguagePacksFolder", &p.LanguagePacksFolder},
        {"IconsFolder", &p.IconsFolder},
        {"DefaultBackupSetsFolder", &p.DefaultBackupSetsFolder},
        {"DataFolder", &p.DataFolder},
    };
    for (const auto &[key, value] : lines) {
        if (name == QLatin1String(key))
            return EncodeFileName(*value);
        text += QLatin1String(key) + u'=' + *value + u'\n';
    }
    if (!name.isEmpty())
        return std::nullopt;
    return EncodeFileName(text);
}

} // namespace fwb
