#include "store/MonitorLog.h"

#include "store/DateTimeText.h"
#include "system/Clock.h"

#include <QStringList>
#include <QtGlobal>
#include <cstdio>

namespace fwb {
namespace {

const QString kCrLf = QStringLiteral("\r\n");

// A label or file name may hold an escape sequence or a carriage return; written raw, it
// could clear the terminal or overwrite earlier lines. A byte of a file name that is not UTF-8
// (see DecodeFileName) is shown the same way.
QString escapedControls(const QString &text, bool keepCrLf = false)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (keepCrLf && u == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            out += kCrLf;
            ++i;
        } else if (u < 0x20 || (u >= 0x7F && u < 0xA0)) {
            out += QStringLiteral("\\x%1").arg(unsigned(u), 2, 16, QLatin1Char('0'));
        } else if (u >= 0xDC80 && u <= 0xDCFF && (i == 0 || !text[i - 1].isHighSurrogate())) {
            out += QStringLiteral("\\x%1").arg(unsigned(u - 0xDC00), 2, 16, QLatin1Char('0'));
        } else {
            out += text[i];
        }
    }
    return out;
}

void writeStandardErrorLine(const QString &line)
{
    std::fprintf(stderr, "%s\n", escapedControls(line).toLocal8Bit().constData());
    std::fflush(stderr);
}

// A terminal or the journal sees every entry too, one line each: the entry's own line breaks
// become spaces.
void echoToStandardError(const QString &stamp, const QString &text)
{
    QString line = stamp + QStringLiteral(": ") + text;
    writeStandardErrorLine(line.replace(kCrLf, QStringLiteral(" ")));
}

// Qt's own messages are about the toolkit, not about drives and backups: marked, so that
// nobody reading standard error as the monitor log takes them for entries.
void qtMessageLine(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    const QLatin1String category(context.category ? context.category : "");
    const bool named = !category.isEmpty() && category != QLatin1String("default");
    writeStandardErrorLine(QStringLiteral("qt: ") +
                           (named ? category + QStringLiteral(": ") : QString()) + message);
}

void append(const QString &text)
{
    const QString stamp = GeneralDateTimeText(Clock::instance().currentDateTime());
    monitorLogState().entries.append(stamp + QStringLiteral(": ") + text + kCrLf + kCrLf);
    echoToStandardError(stamp, text);
}

} // namespace

QString LogDisplayText(const QString &text)
{
    return escapedControls(text, true);
}

QString LogValue(const QString &value)
{
    return escapedControls(value);
}

void AddLogEntry(const QString &text)
{
    append(text);
    if (monitorLogState().sink)
        monitorLogState().sink(text);
}

void KeepQtMessagesApart()
{
    qInstallMessageHandler(qtMessageLine);
}

void RestartMonitorLog(const QString &text)
{
    ClearMonitorLog();
    append(text);
}

void ClearMonitorLog()
{
    monitorLogState().entries.clear();
}

QString MonitorLogText()
{
    QString text;
    for (auto entry = monitorLogState().entries.crbegin();
         entry != monitorLogState().entries.crend(); ++entry)
        text += *entry;
    return text;
}

QString NewestLogEntry()
{
    return monitorLogState().entries.isEmpty() ? QString() : monitorLogState().entries.constLast();
}

void SetMonitorLogSink(std::function<void(const QString &)> receiver)
{
    monitorLogState().sink = std::move(receiver);
}

} // namespace fwb
