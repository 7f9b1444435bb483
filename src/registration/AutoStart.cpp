#include "registration/AutoStart.h"

#include "platform/AutoStartStore.h"
#include "platform/Platform.h"
#include "store/AppPaths.h"
#include "system/Paths.h"

namespace fwb {
namespace {

// Registry key paths and value names do not depend on letter case.
AutoStartStore *storeFor(RegistryRoot root, const QString &keyPath, const QString &valueName)
{
    if (root != RegistryRoot::CurrentUser ||
        keyPath.compare(RunKeyPath(), Qt::CaseInsensitive) != 0 ||
        valueName.compare(AutoStartValueName(), Qt::CaseInsensitive) != 0)
        return nullptr;
    return platform().autoStart;
}

// Never equal to a program path.
const QString kNoEntry = QStringLiteral("[noentry]");

} // namespace

QString RunKeyPath()
{
    return QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run");
}

QString AutoStartValueName()
{
    return QStringLiteral("Ferrow Backup Agent");
}

QString GetRegString(RegistryRoot root, const QString &keyPath, const QString &valueName,
                     const QString &defaultValue)
{
    const AutoStartStore *store = storeFor(root, keyPath, valueName);
    if (!store)
        return defaultValue;
    // Only a plain program entry is a string value; a switched-off or damaged entry reads like
    // a value of another type.
    const AutoStartStore::Entry entry = store->read();
    if (entry.kind != AutoStartStore::Entry::Kind::Program)
        return defaultValue;
    return TrimAtNull(entry.program);
}

void SetRegString(RegistryRoot root, const QString &keyPath, const QString &valueName,
                  const QString &value)
{
    if (AutoStartStore *store = storeFor(root, keyPath, valueName))
        store->write(value);
}

void DeleteRegValue(RegistryRoot root, const QString &keyPath, const QString &valueName)
{
    if (AutoStartStore *store = storeFor(root, keyPath, valueName))
        store->remove();
}

bool IsAutoStartRegistered()
{
    return GetRegString(RegistryRoot::CurrentUser, RunKeyPath(), AutoStartValueName(), kNoEntry) ==
           appPaths().AgentExePath;
}

void RegisterAutoStart()
{
    SetRegString(RegistryRoot::CurrentUser, RunKeyPath(), AutoStartValueName(),
                 appPaths().AgentExePath);
}

void UnregisterAutoStart()
{
    DeleteRegValue(RegistryRoot::CurrentUser, RunKeyPath(), AutoStartValueName());
}

} // namespace fwb
