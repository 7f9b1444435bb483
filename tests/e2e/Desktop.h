#pragma once

#include <QList>
#include <QProcess>
#include <QStringList>
#include <csignal>
#include <grp.h>
#include <memory>
#include <optional>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

namespace fwb::test {

// A program the test starts ends with the test, also when the test is killed, and runs as the
// user `uid` (with no other groups) when the test is root.
inline void startAsChild(QProcess &process, std::optional<uint> uid = {})
{
    const bool switchUser = uid && *uid != ::geteuid();
    process.setChildProcessModifier([switchUser, uid] {
        if (switchUser && (::setgroups(0, nullptr) != 0 || ::setresgid(*uid, *uid, *uid) != 0 ||
                           ::setresuid(*uid, *uid, *uid) != 0))
            ::_exit(127);
        // After the change of user, which clears it.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
}

// A desktop of the test's own: the programs it starts (an X server, a window manager, a session
// bus, the desktop's daemons), all in `environment`, stopped last started first when it goes,
// and the X tools that read the windows back.
class Desktop
{
public:
    static constexpr int WaitMs = 60'000;

    ~Desktop() { stop(); }
    void stop();

    // With `mergeErrors`, what it writes to standard error can be read with its output.
    QProcess &start(const QString &program, const QStringList &arguments, bool mergeErrors = false);
    // Runs a tool on the desktop: its standard output, nothing when it failed.
    std::optional<QByteArray> run(const QStringList &command, std::optional<uint> uid = {}) const;
    QString x(const QStringList &command) const
    {
        return QString::fromLocal8Bit(run(command).value_or(QByteArray()));
    }

    // Each answers why it cannot start, or the empty text.
    // Xvfb on a display it picks itself, with a 1280x1024 screen.
    QString startXServer();
    // openbox, once it manages the screen and stays.
    QString startWindowManager();
    // A session bus for the test's programs, whose address `environment` then holds.
    QString startSessionBus();

    // Whether `name` has an owner on the bus (gdbus's --session or --system) before long.
    bool awaitName(const QString &name, const QString &bus = QStringLiteral("--session")) const;

    // The windows titled `title` (a pattern, matched whole, any case), oldest first.
    QStringList windowsNamed(const QString &title) const;
    // The latest window titled `title` once there is one, or the empty text.
    QString awaitWindow(const QString &title) const;
    bool isViewable(const QString &window) const;
    // An X property of the window, or of the root window when `window` is empty, as numbers.
    QList<int> numbers(const QString &window, const QString &property) const;

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

private:
    std::vector<std::unique_ptr<QProcess>> m_programs;
};

} // namespace fwb::test
