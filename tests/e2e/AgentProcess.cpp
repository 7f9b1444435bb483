#include "AgentProcess.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace fwb::test {

bool AgentProcess::start(const QString &program, int timeoutMs, const QString &startupEntry)
{
    QProcessEnvironment environment = m_desktop;
    if (environment.isEmpty()) {
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeFolder.path());
    if (m_uid && *m_uid != ::geteuid()) {
        environment.insert(QStringLiteral("HOME"), m_runtimeFolder.path());
        if (::chown(QFile::encodeName(m_runtimeFolder.path()).constData(), *m_uid, *m_uid) != 0)
            qWarning("cannot hand the runtime folder over");
    }
    startAsChild(m_process, m_uid);
    environment.insert(QStringLiteral("FWBAGENT_TEST_INSTANCE"),
                       QFileInfo(m_runtimeFolder.path()).fileName());
    m_process.setProcessEnvironment(environment);
    m_process.setWorkingDirectory(QFileInfo(program).absolutePath());
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setStandardOutputFile(QProcess::nullDevice());
    QObject::connect(&m_process, &QProcess::readyReadStandardError, &m_process,
                     [this] { m_standardError += m_process.readAllStandardError(); });
    m_process.start(program, {});
    const auto started = [&] {
        const QStringList written = entries();
        return std::any_of(written.cbegin(), written.cend(),
                           [&](const QString &entry) { return entry.startsWith(startupEntry); });
    };
    if (!m_process.waitForStarted(timeoutMs) || !QTest::qWaitFor(started, timeoutMs)) {
        m_error = QStringLiteral("the Agent does not start: ") + m_process.errorString() +
                  QStringLiteral("; it wrote: ") + standardError();
        return false;
    }
    return true;
}

void AgentProcess::stop()
{
    if (!isRunning())
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    m_standardError += m_process.readAllStandardError();
}

bool AgentProcess::suspend()
{
    const qint64 pid = m_process.processId();
    siginfo_t info{};
    return pid > 0 && ::kill(pid_t(pid), SIGSTOP) == 0 &&
           ::waitid(P_PID, id_t(pid), &info, WSTOPPED) == 0;
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
    // The last piece is a line still being written; lines without a stamp are Qt's messages.
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QString line = QString::fromLocal8Bit(lines.at(i));
        if (const qsizetype stampEnd = line.indexOf(QStringLiteral(": ")); stampEnd > 0)
            entries.append(line.mid(stampEnd + 2));
    }
    return entries;
}

bool AgentRun::start(const QByteArray &ini, const QString &startupEntry)
{
    if (writeBytes(folder.filePath(QStringLiteral("fwbagent.ini")), ini) &&
        agent.start(folder.agentPath(), 60'000, startupEntry))
        return true;
    qWarning("%s", qPrintable(agent.error()));
    return false;
}

bool AgentRun::startWatching(const QString &startupEntry)
{
    const QString device = lab.ext4Volume(QStringLiteral("watching"));
    const QString mountPoint = lab.makeFolder(QStringLiteral("watching"));
    if (device.isEmpty() || mountPoint.isEmpty() ||
        !agent.start(folder.agentPath(), 20'000, startupEntry) ||
        !mountedUntilReported([&] { return lab.mount(device, mountPoint, "ext4"); }, mountPoint)) {
        qWarning("the Agent does not report drives: %s", qPrintable(lab.error() + agent.error()));
        return false;
    }
    return true;
}

bool AgentRun::mountedUntilReported(const std::function<bool()> &mount, const QString &folder)
{
    const QString entry = QStringLiteral("New drive found: Drive: ") + folder + u'/';
    for (int attempt = 0; attempt < 3 && mount(); ++attempt) {
        if (QTest::qWaitFor([&] { return !agent.entries().filter(entry).isEmpty(); }, 7'000))
            return true;
        lab.unmount(folder);
    }
    return false;
}

AgentRun::~AgentRun()
{
    agent.stop();
    if (QTest::currentTestFailed())
        qInfo("The Agent wrote:\n%s", qPrintable(agent.standardError()));
}

} // namespace fwb::test
