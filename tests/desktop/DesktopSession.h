#pragma once

#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace fwb::test {

// A desktop of its own for a test: an X server (Xvfb), a window manager (openbox) and a
// notification area (trayer along the top edge), each a real program. The test drives it
// the way a user would, with input events through the X server (xdotool), and reads the
// result back from the X server (xwininfo, xprop).
class DesktopSession
{
public:
    DesktopSession();
    ~DesktopSession();
    DesktopSession(const DesktopSession &) = delete;
    DesktopSession &operator=(const DesktopSession &) = delete;

    // Starts the three programs and waits until each is ready. False, with the reason in
    // error(), when one is missing or does not come up.
    bool start();
    QString error() const { return m_error; }
    // The DISPLAY value of the session, ":N".
    QString display() const { return m_display; }
    // The environment a program on this desktop is started with.
    QProcessEnvironment environment() const;

    // Starts another program on the desktop, kept until the session ends.
    bool startClient(const QString &program, const QStringList &arguments);

    // Runs an X tool on the desktop and answers what it printed; empty when it failed.
    QString tool(const QString &name, const QStringList &arguments) const;

    // Top-level windows whose name matches the regular expression, as X window ids.
    QStringList windowsNamed(const QString &pattern) const;
    bool isMapped(const QString &window) const;
    // The ICCCM state the window manager gave it: "Normal", "Iconic" or empty.
    QString wmState(const QString &window) const;
    // The window's area on the screen, without the window manager's frame.
    QRect geometry(const QString &window) const;
    // The outer edge of the frame the window manager drew around the window.
    QRect frameGeometry(const QString &window) const;
    // The name of the window with the keyboard focus.
    QString focusedWindowName() const;
    // The icons shown in the notification area, as the screen area of each.
    QList<QRect> trayIcons() const;

    // Real input, as from the mouse and keyboard (XTEST): no program can tell it apart.
    void click(const QPoint &at, int button = 1, int repeat = 1) const;
    void keys(const QStringList &keys) const;
    // Asks the window manager to minimize the window, as its title-bar button does.
    void minimize(const QString &window) const;

private:
    bool startProgram(const QString &program, const QStringList &arguments);

    std::vector<std::unique_ptr<QProcess>> m_programs;
    QString m_display;
    QString m_error;
};

} // namespace fwb::test
