#include "AgentProcess.h"

#include <QFileInfo>
#include <QTest>

namespace fwb::test {
namespace {

const QString kStartupEntry = QStringLiteral("Program start-up. ");
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

bool AgentProcess::start(const QString &program, int timeoutMs)
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
    const auto started = [this] {
        for (const QString &entry : entries())
            if (entry.startsWith(kStartupEntry))
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
