#pragma once

#include <QString>

namespace fwb {

// Starting the Agent with the user's session. The program keeps one value for it, named like
// a value of the Windows registry's per-user Run list; the platform's autostart store holds it.

enum class RegistryRoot { CurrentUser };

// "Software\Microsoft\Windows\CurrentVersion\Run"
QString RunKeyPath();
// "Ferrow Backup Agent"
QString AutoStartValueName();

// The registry helpers report nothing: success is judged by reading back. The Agent's Run
// value is the only one this program keeps, so any other root, key or name reads as absent
// and cannot be written.
QString GetRegString(RegistryRoot root, const QString &keyPath, const QString &valueName,
                     const QString &defaultValue);
void SetRegString(RegistryRoot root, const QString &keyPath, const QString &valueName,
                  const QString &value);
void DeleteRegValue(RegistryRoot root, const QString &keyPath, const QString &valueName);

// True exactly when the entry starts this program's own path (AgentExePath), compared
// case-sensitively.
bool IsAutoStartRegistered();
void RegisterAutoStart();
void UnregisterAutoStart();

} // namespace fwb
