#include "store/AppPaths.h"

#include "system/Paths.h"

namespace fwb {

AppPaths &appPaths()
{
    static AppPaths paths;
    return paths;
}

void ComputeAppPaths(const QString &programFolder)
{
    AppPaths &p = appPaths();
    p.AppFolder = AddTrailingSlash(programFolder);
    // Always the fixed names, whatever the file was started as.
    p.FwbExePath = p.AppFolder + QStringLiteral("fwb");
    p.AgentExePath = p.AppFolder + QStringLiteral("fwbagent");
    p.AgentIniPath = p.AppFolder + QStringLiteral("fwbagent.ini");
    p.SettingsIniPath = p.AppFolder + QStringLiteral("settings.ini");
    p.LanguagePacksFolder = AddTrailingSlash(p.AppFolder + QStringLiteral("Language Packs"));
    p.IconsFolder = AddTrailingSlash(p.AppFolder + QStringLiteral("Icons"));
    p.DefaultBackupSetsFolder = p.AppFolder + QStringLiteral("Backup sets");
}

} // namespace fwb
