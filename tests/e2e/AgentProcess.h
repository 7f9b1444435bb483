#pragma once

#include "Desktop.h"
#include "MountLab.h"
#include "ProgramFolder.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <optional>

namespace fwb::test {

// The real Agent in a process of its own. Each monitor-log entry also reaches its standard
// error as a line "<date and time>: <entry>", which is what a test watches.
class AgentProcess
{
public:
    ~AgentProcess() { stop(); }

    // Starts `program` and waits for the entry that starts with `startupEntry`. False, with the
    // reason in error(), when it does not come in time.
    bool start(const QString &program, int timeoutMs,
               const QString &startupEntry = QStringLiteral("Program start-up. "));
    // Where the Agent shows its windows: by default the offscreen platform.
    void setDesktop(const QProcessEnvironment &environment) { m_desktop = environment; }
    // Started by root, the Agent runs as this user, as any user runs it: with no access to the
    // devices and with their own folders.
    void setUser(uint uid) { m_uid = uid; }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    // Asked first, killed when it does not go.
    void stop();
    // Stops every thread of the Agent and waits until the kernel has; resume() lets it go on.
    bool suspend();
    void resume();

    // The entries written so far, without their date and time, oldest first.
    QStringList entries() const;
    QString standardError() const { return QString::fromLocal8Bit(m_standardError); }
    QString error() const { return m_error; }

private:
    // Of its own, and naming a claim of its own, so that the Agent never meets another one.
    QTemporaryDir m_runtimeFolder;
    QProcess m_process;
    QProcessEnvironment m_desktop;
    QByteArray m_standardError;
    QString m_error;
    std::optional<uint> m_uid;
};

// What a test of the running Agent holds. The Agent goes first, so it never sees its volumes
// leave half-way; after a failure what it wrote is shown.
struct AgentRun
{
    ~AgentRun();

    // Starts the Agent with the settings `ini`; false, with the reason given as a warning, when
    // the entry that starts with `startupEntry` does not come.
    bool start(const QByteArray &ini,
               const QString &startupEntry = QStringLiteral("Program start-up. "));
    // Starts the Agent and mounts a volume of its own until the Agent reports it: the start-up
    // entry comes just before monitoring starts, so a mount made at once could count as present
    // at start. False, with the reason given as a warning, when it does not come to that.
    bool startWatching(const QString &startupEntry = QStringLiteral("Program start-up. "));
    // Mounts at `folder` until the Agent reports the drive there, three times at most.
    bool mountedUntilReported(const std::function<bool()> &mount, const QString &folder);

    ProgramFolder folder;
    MountLab lab;
    AgentProcess agent;
};

} // namespace fwb::test
