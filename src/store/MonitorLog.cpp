#include "store/MonitorLog.h"

#include "store/DateTimeText.h"
#include "system/Clock.h"

#include <QStringList>
#include <cstdio>

namespace fwb {
namespace {

const QString kCrLf = QStringLiteral("\r\n");

struct MonitorLog
{
    QStringList entries; // oldest first, so adding one costs the same however long the log is
    std::function<void(const QString &)> sink;
};

MonitorLog &monitorLog()
{
    static MonitorLog log;
    return log;
}

// A terminal or the journal sees every entry too, one line each.
void echoToStandardError(const QString &stamp, const QString &text)
{
    QString line = stamp + QStringLiteral(": ") + text;
    line.replace(kCrLf, QStringLiteral(" ")).replace(u'\n', u' ');
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

void append(const QString &text)
{
    const QString stamp = GeneralDateTimeText(Clock::instance().currentDateTime());
    monitorLog().entries.append(stamp + QStringLiteral(": ") + text + kCrLf + kCrLf);
    echoToStandardError(stamp, text);
}

} // namespace

void AddLogEntry(const QString &text)
{
    append(text);
    if (monitorLog().sink)
        monitorLog().sink(text);
}

void RestartMonitorLog(const QString &text)
{
    ClearMonitorLog();
    append(text);
}

void ClearMonitorLog()
{
    monitorLog().entries.clear();
}

QString MonitorLogText()
{
    QString text;
    for (auto entry = monitorLog().entries.crbegin(); entry != monitorLog().entries.crend();
         ++entry)
        text += *entry;
    return text;
}

QString NewestLogEntry()
{
    return monitorLog().entries.isEmpty() ? QString() : monitorLog().entries.constLast();
}

void SetMonitorLogSink(std::function<void(const QString &)> receiver)
{
    monitorLog().sink = std::move(receiver);
}

} // namespace fwb
