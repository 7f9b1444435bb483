#pragma once

#include "store/IniFile.h"

#include <QString>
#include <cstdint>

namespace fwb {

// The settings, read once at start-up; from then on these values are the truth.
struct AgentSettings
{
    std::uint8_t AgentStartupMode = 0;  // 0 normal, 1 minimized, 2 hidden
    std::uint8_t BackupStartupMode = 2; // 0 automatic, 1 count-down, 2 manual confirmation
    std::uint8_t MinimizeMode = 1;      // 0 task bar, 1 tray, 2 hide
    QString CurrentLanguage;
    float IncreaseTextWidth = 0;
    bool FirstRunPending = true;
    QString BackupSetFolder; // always ends in a separator
};

AgentSettings &settings();

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
