#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace fwb::test {

// The real Agent, started from a program folder. Every monitor-log entry also reaches its
// standard error as one line, "<date and time>: <entry>", which is what a test can watch.
class AgentProcess
{
public:
    AgentProcess();
    ~AgentProcess();
    AgentProcess(const AgentProcess &) = delete;
    AgentProcess &operator=(const AgentProcess &) = delete;

    // Starts `program` and waits for its start-up entry, which starts with `startupEntry`
    // (the English one unless a language pack is in use). False, with the reason in error(),
    // when it does not start or writes no such entry in time.
    bool start(const QString &program, int timeoutMs,
               const QString &startupEntry = QStringLiteral("Program start-up. "));
    // Where the Agent shows its windows: by default the offscreen platform.
    void setDesktop(const QProcessEnvironment &environment) { m_desktop = environment; }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    // Ends the Agent: asked first, killed when it does not go.
    void stop();

    // Stops the whole Agent (SIGSTOP), every thread of it, and waits until the kernel has
    // stopped it; resume() lets it go on. False when it cannot be stopped.
    bool suspend();
    void resume();

    // The log entries written so far, without their date and time, oldest first.
    QStringList entries() const;
    // Everything the Agent wrote on standard error, for a failure report.
    QString standardError() const { return QString::fromLocal8Bit(m_standardError); }
    QString error() const { return m_error; }

private:
    void readStandardError();

    // A runtime folder of its own, so the one-instance lock never meets another Agent.
    QTemporaryDir m_runtimeFolder;
    QProcess m_process;
    QProcessEnvironment m_desktop;
    QByteArray m_standardError;
    QString m_error;
};

} // namespace fwb::test
