#include "Desktop.h"

#include <QRegularExpression>
#include <QTest>

namespace fwb::test {

void Desktop::stop()
{
    while (!m_programs.empty()) {
        QProcess &program = *m_programs.back();
        // udevd tidies up after the devices before it goes, when udevadm asks it to.
        if (program.program().endsWith(QStringLiteral("/systemd-udevd")))
            run({"udevadm", "control", "--exit"});
        else
            program.terminate();
        if (!program.waitForFinished(WaitMs))
            program.kill();
        m_programs.pop_back();
    }
}

QProcess &Desktop::start(const QString &program, const QStringList &arguments, bool mergeErrors)
{
    QProcess &process = *m_programs.emplace_back(std::make_unique<QProcess>());
    process.setProcessEnvironment(environment);
    if (mergeErrors)
        process.setProcessChannelMode(QProcess::MergedChannels);
    else
        process.setStandardErrorFile(QProcess::nullDevice());
    startAsChild(process);
    process.start(program, arguments);
    process.waitForStarted(WaitMs);
    return process;
}

std::optional<QByteArray> Desktop::run(const QStringList &command, std::optional<uint> uid) const
{
    QProcess process;
    process.setProcessEnvironment(environment);
    startAsChild(process, uid);
    process.start(command.first(), command.mid(1));
    if (process.waitForFinished(WaitMs) && process.exitCode() == 0)
        return process.readAllStandardOutput();
    return std::nullopt;
}

QString Desktop::startXServer()
{
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("XAUTHORITY"));
    // The server writes the number of the display it picked to standard output.
    QProcess &server = start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0",
                                                      "1280x1024x24", "-nolisten", "tcp"});
    if (!QTest::qWaitFor([&] { return server.canReadLine() || !server.state(); }, WaitMs) ||
        !server.canReadLine())
        return QStringLiteral("the X server does not start");
    environment.insert(QStringLiteral("DISPLAY"),
                       u':' + QString::fromLatin1(server.readLine().trimmed()));
    return {};
}

QString Desktop::startWindowManager()
{
    const auto managed = [this] {
        return x({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).contains(u"window id");
    };
    if (managed()) // a developer's own desktop
        return {};
    // openbox now and then gives up at once on a server that has just started, even after
    // taking the screen; a second start finds it ready.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QProcess &openbox = start(QStringLiteral("openbox"), {});
        const auto gone = [&] {
            return openbox.state() == QProcess::NotRunning;
        };
        if (QTest::qWaitFor([&] { return gone() || managed(); }, WaitMs) && !gone() &&
            !QTest::qWaitFor(gone, 1'000))
            return {};
    }
    return QStringLiteral("openbox does not come up");
}

QString Desktop::startSessionBus()
{
    QProcess &bus =
        start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address"});
    if (!QTest::qWaitFor([&] { return bus.canReadLine(); }, WaitMs))
        return QStringLiteral("the session bus does not start");
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QString::fromLocal8Bit(bus.readLine().trimmed()));
    return {};
}

bool Desktop::awaitName(const QString &name, const QString &bus) const
{
    const QStringList ask{"gdbus",
                          "call",
                          bus,
                          "-d",
                          "org.freedesktop.DBus",
                          "-o",
                          "/org/freedesktop/DBus",
                          "-m",
                          "org.freedesktop.DBus.NameHasOwner",
                          name};
    return QTest::qWaitFor([&] { return x(ask).contains(u"true"); }, WaitMs);
}

QStringList Desktop::windowsNamed(const QString &title) const
{
    return x({"xdotool", "search", "--name", "^(" + title + ")$"}).split(u'\n', Qt::SkipEmptyParts);
}

QString Desktop::awaitWindow(const QString &title) const
{
    QStringList windows;
    return QTest::qWaitFor([&] { return !(windows = windowsNamed(title)).isEmpty(); }, WaitMs)
               ? windows.last()
               : QString();
}

bool Desktop::isViewable(const QString &window) const
{
    return !window.isEmpty() && x({"xwininfo", "-id", window}).contains(u"IsViewable");
}

QList<int> Desktop::numbers(const QString &window, const QString &property) const
{
    const QStringList which = window.isEmpty() ? QStringList{"-root"} : QStringList{"-id", window};
    const QString text = x(QStringList{"xprop"} + which + QStringList{property});
    QList<int> values;
    static const QRegularExpression start(QStringLiteral("[=#]"));
    for (const QString &value : text.section(start, 1).split(u',', Qt::SkipEmptyParts))
        values.append(value.trimmed().toInt(nullptr, 0));
    return values;
}

} // namespace fwb::test
