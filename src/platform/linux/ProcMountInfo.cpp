#include "platform/linux/ProcMountInfo.h"

#include <QFile>

namespace fwb {

std::optional<MountTable> readProcessMountTable()
{
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return std::nullopt;
    MountTable table = MountTable::parse(file.readAll());
    if (table.isEmpty())
        return std::nullopt;
    return table;
}

} // namespace fwb
