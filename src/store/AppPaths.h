#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace fwb {

// Where the program's files are, computed once when the main window loads.
//
// The program folder holds what the programs only read: the executables, "Language Packs",
// "Icons" and help files. What they write goes beside them as long as the user may write
// there (a build, a portable copy); in a folder the user cannot write (an installed copy)
// it goes to the user's own folders instead:
//   fwbagent.ini, settings.ini   $XDG_CONFIG_HOME/fwb/       (default ~/.config/fwb/)
//   "Backup sets"                $XDG_DATA_HOME/fwb/Backup sets (default ~/.local/share/fwb/)
//   anything else written        $XDG_DATA_HOME/fwb/
// The main program follows the same rule; `fwbagent --print-paths` prints the result.
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
    QString DataFolder; // with a trailing separator: where other written files go
};

AppPaths &appPaths(); // kept in the program state (program/ProgramState.h)

// Fills every path but HelpFilePath from the folder the program was started from.
void ComputeAppPaths(const QString &programFolder);

// The computed paths, one "Name=value" line each, for programs that share the rule; with a
// name, that path alone and no line break, so that any folder name comes through exactly
// (nothing for a name it does not know). Bytes, because a path need not be UTF-8.
std::optional<QByteArray> AppPathsText(const QString &name = {});

} // namespace fwb
