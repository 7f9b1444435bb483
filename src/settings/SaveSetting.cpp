#include "settings/SaveSetting.h"

#include "language/Translate.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"

namespace fwb {

void SaveSetting(const QString &file, const QString &section, const QString &key,
                 const QString &value)
{
    if (!WriteIniText(file, section, key, value))
        ReportUnsavedSetting(file, key, value);
}

void ReportUnsavedSetting(const QString &file, const QString &key, const QString &value)
{
    AddLogEntry(TranslateText(QStringLiteral("Could not save the setting")) + QStringLiteral(": ") +
                key + u'=' + value + QStringLiteral(" (") + file + u')');
}

} // namespace fwb
