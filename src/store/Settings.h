#pragma once

#include "store/IniFile.h"

#include <QString>
#include <cstdint>

namespace fwb {

// The modes are stored as these numbers; a file may hold any other number up to 255, which
// is kept and acts as the mode's fallback does where it is used.
enum class AgentStartup : std::uint8_t { Normal = 0, Minimized = 1, Hidden = 2 };
enum class BackupStartup : std::uint8_t { Automatic = 0, CountDown = 1, Confirm = 2 };
enum class MinimizeTo : std::uint8_t { TaskBar = 0, Tray = 1, Hide = 2 };

// The settings, read once at start-up; from then on these values are the truth.
struct AgentSettings
{
    AgentStartup AgentStartupMode = AgentStartup::Normal;
    BackupStartup BackupStartupMode = BackupStartup::Confirm;
    MinimizeTo MinimizeMode = MinimizeTo::Tray;
    QString CurrentLanguage;
    float IncreaseTextWidth = 0;
    bool FirstRunPending = true;
    QString BackupSetFolder; // always ends in a separator
};

AgentSettings &settings(); // kept in the program state (program/ProgramState.h)

enum class SettingsFile { Agent, Shared }; // fwbagent.ini, and settings.ini shared with fwb

// Where a setting is kept and what it is when the file does not hold it. Every setting the
// Agent reads or writes is declared once, below.
struct Setting
{
    SettingsFile file;
    const char *section;
    const char *key;
    const char *defaultValue;
    // A whole-number setting keeps values in this range; any other is read as the default.
    int minimum = 0;
    int maximum = 0;
    // The reader's room for the value, terminator included: a longer value is cut.
    int bufferSize = 257;
};

namespace setting {
inline constexpr Setting AgentStartupMode{
    SettingsFile::Agent, "Options", "GLO_AgentStartupMode", "0", 0, 255};
inline constexpr Setting BackupStartupMode{
    SettingsFile::Agent, "Options", "GLO_BackupStartupMode", "2", 0, 255};
inline constexpr Setting MinimizeMode{
    SettingsFile::Agent, "Options", "GLO_MinimizeMode", "1", 0, 255};
inline constexpr Setting LastOpenedDir{SettingsFile::Shared, "Options", "LastOpenedDir", ""};
inline constexpr Setting CurrentLanguage{SettingsFile::Shared, "Options", "GLO_CurrentLanguage",
                                         ""};
inline constexpr Setting IncreaseTextWidth{SettingsFile::Shared, "Options", "GLO_IncreaseTextWidth",
                                           "0"};
// The first-run flag has always been read with one character less room than the rest.
inline constexpr Setting FirstRunOfGeneration5{
    SettingsFile::Shared, "Settings", "FirstRunOfGeneration5", "1", 0, 0, 256};
} // namespace setting

// The path of the file that holds the setting.
QString SettingFilePath(const Setting &setting);
// Writes one setting, creating the file's folder when it is missing; false when it could not.
bool WriteSetting(const Setting &setting, const QString &value);

// The value of a key, or `defaultValue` when the key or file is absent; cut at the first NUL.
QString ReadIniText(const QString &file, const QString &section, const QString &key,
                    const QString &defaultValue);
// The same from a file already read, for several keys of one file.
QString ReadIniText(const ini::ProfileFile &file, const QString &section, const QString &key,
                    const QString &defaultValue);
// Writes one value, creating the file's folder when it is missing; false when it could not.
bool WriteIniText(const QString &file, const QString &section, const QString &key,
                  const QString &value);

void LoadSettings();

// Removes the temporary files that writers of the two settings files left when they were
// killed mid-way; a write would only clear those of the file it writes.
void RemoveStaleSettingsTemporaries();

} // namespace fwb
