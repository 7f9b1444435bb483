#include "shell/MonitorLog.h"

namespace fwb {
namespace {

std::function<void(const QString &)> &sink()
{
    static std::function<void(const QString &)> receiver;
    return receiver;
}

} // namespace

void AddLogEntry(const QString &text)
{
    if (sink())
        sink()(text);
}

void SetMonitorLogSink(std::function<void(const QString &)> receiver)
{
    sink() = std::move(receiver);
}

} // namespace fwb
