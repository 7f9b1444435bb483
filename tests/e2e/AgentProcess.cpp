#include "AgentProcess.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QThread>
#include <csignal>

namespace fwb::test {
namespace {

const QString kStampEnd = QStringLiteral(": ");

} // namespace

AgentProcess::AgentProcess()
{
    QObject::connect(&m_process, &QProcess::readyReadStandardError, &m_process,
                     [this] { readStandardError(); });
}

AgentProcess::~AgentProcess()
{
    stop();
}

bool AgentProcess::start(const QString &program, int timeoutMs, const QString &startupEntry)
{
    if (!m_runtimeFolder.isValid()) {
        m_error = QStringLiteral("cannot make a runtime folder");
        return false;
    }
    QProcessEnvironment environment = m_desktop;
    if (environment.isEmpty()) {
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeFolder.path());
    m_process.setProcessEnvironment(environment);
    m_process.setWorkingDirectory(QFileInfo(program).absolutePath());
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.start(program, {});
    if (!m_process.waitForStarted(timeoutMs)) {
        m_error = QStringLiteral("the Agent does not start: ") + m_process.errorString();
        return false;
    }
    const auto started = [&] {
        for (const QString &entry : entries())
            if (entry.startsWith(startupEntry))
                return true;
        return false;
    };
    if (!QTest::qWaitFor(started, timeoutMs)) {
        m_error = QStringLiteral("no start-up entry from the Agent; it wrote: ") + standardError();
        return false;
    }
    return true;
}

void AgentProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    readStandardError();
}

bool AgentProcess::suspend()
{
    const qint64 pid = m_process.processId();
    if (pid <= 0 || ::kill(pid_t(pid), SIGSTOP) != 0)
        return false;
    // The signal is only sent by now; the state in /proc turns to "T" once it has taken hold.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    for (;;) {
        if (!stat.open(QIODevice::ReadOnly))
            return false;
        const QByteArray fields = stat.readAll();
        stat.close();
        const qsizetype state = fields.lastIndexOf(')') + 2;
        if (state <= 1 || state >= fields.size())
            return false;
        if (fields.at(state) == 'T')
            return true;
        QThread::yieldCurrentThread();
    }
}

void AgentProcess::resume()
{
    if (const qint64 pid = m_process.processId(); pid > 0)
        ::kill(pid_t(pid), SIGCONT);
}

QStringList AgentProcess::entries() const
{
    QStringList entries;
    const QList<QByteArray> lines = m_standardError.split('\n');
    // The last piece is a line still being written, or nothing.
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QString line = QString::fromLocal8Bit(lines.at(i));
        // Qt's own messages may show up among the entries; no test looks for them.
        const qsizetype stampEnd = line.indexOf(kStampEnd);
        if (stampEnd > 0)
            entries.append(line.mid(stampEnd + kStampEnd.size()));
    }
    return entries;
}

void AgentProcess::readStandardError()
{
    m_standardError += m_process.readAllStandardError();
}

} // namespace fwb::test
