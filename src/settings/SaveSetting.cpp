#include "settings/SaveSetting.h"

#include "language/Translate.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"

namespace fwb {

void SaveSetting(const QString &file, const QString &section, const QString &key,
                 const QString &value)
{
    if (!WriteIniText(file, section, key, value))
        AddLogEntry(TranslateText(QStringLiteral("Could not save the setting")) +
                    QStringLiteral(": ") + key + u'=' + value + QStringLiteral(" (") + file + u')');
}

} // namespace fwb
