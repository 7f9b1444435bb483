#pragma once

#include <QString>

namespace fwb {

// Where the program's files are, computed once when the main window loads.
struct AppPaths
{
    QString AppFolder; // with a trailing separator
    QString FwbExePath;
    QString AgentExePath;
    QString AgentIniPath;
    QString SettingsIniPath;
    QString LanguagePacksFolder; // with a trailing separator
    QString IconsFolder;         // with a trailing separator
    QString DefaultBackupSetsFolder;
    QString HelpFilePath;
};

AppPaths &appPaths();

// Fills every path but HelpFilePath from the folder the program was started from.
void ComputeAppPaths(const QString &programFolder);

} // namespace fwb
