#include "registration/ComponentRegistration.h"

#include "platform/ComponentHost.h"
#include "platform/Platform.h"
#include "store/AppPaths.h"
#include "system/Paths.h"

namespace fwb {
namespace {

constexpr int CSIDL_PROGRAM_FILES_COMMON = 0x2B;

} // namespace

const QStringList &RegisteredComponents()
{
    static const QStringList components{
        QStringLiteral("ccrpbds6.dll"), QStringLiteral("COMCAT.DLL"),
        QStringLiteral("COMDLG32.OCX"), QStringLiteral("DCSysTray.ocx"),
        QStringLiteral("mscomctl.ocx"), QStringLiteral("msvbvm60.dll"),
        QStringLiteral("OLEAUT32.DLL"), QStringLiteral("OLEPRO32.DLL"),
        QStringLiteral("Schedule.dll"), QStringLiteral("scrrun.dll"),
        QStringLiteral("SAWZipNG.dll")};
    return components;
}

void RegisterComponents()
{
    ComponentHost *host = platform().componentHost;
    if (!host)
        return;
    const QString daoPath = AddTrailingSlash(GetSpecialFolderPath(CSIDL_PROGRAM_FILES_COMMON)) +
                            QStringLiteral("Microsoft Shared\\DAO\\dao360.dll");
    if (!FileExists(daoPath)) {
        CreateFolder(ParentFolder(daoPath));
        host->copyFile(appPaths().AppFolder + QStringLiteral("dao360.dll"), daoPath);
    }
    host->startCommand(QStringLiteral("regsvr32 /s \"") + daoPath + u'"',
                       ComponentHost::WindowStyle::MinimizedWithFocus);

    for (const QString &component : RegisteredComponents())
        if (host->registerServer(component) != 0)
            host->startCommand(QStringLiteral("regsvr32 ") + component,
                               ComponentHost::WindowStyle::Hidden);
}

} // namespace fwb
