#include "program/SaveSetting.h"

#include "language/Translate.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"

namespace fwb {

void SaveSetting(const Setting &setting, const QString &value)
{
    if (!WriteSetting(setting, value))
        ReportUnsavedSetting(setting, value);
}

void ReportUnsavedSetting(const Setting &setting, const QString &value)
{
    AddLogEntry(TranslateText(QStringLiteral("Could not save the setting")) + QStringLiteral(": ") +
                QLatin1String(setting.key) + u'=' + value + QStringLiteral(" (") +
                SettingFilePath(setting) + u')');
}

} // namespace fwb
