// The real Agent on a desktop of the test's own (Xvfb, openbox, trayer along the top edge),
// driven by real input (xdotool) and read back from the X server (xdotool, xwininfo, xprop).
// Waits go by the clock, not by a count of looks (each an X tool run, slow on a loaded machine).

#include "AgentProcess.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <memory>
#include <optional>
#include <vector>

using namespace fwb::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int TimeoutMs = 60'000;
// How long a wrong outcome is given to show; the window manager answers far sooner.
constexpr int SettleMs = 1'500;
// Where trayer puts its panel (200x24) on the 1280x1024 screen: along the top edge, at the right.
const QRect kPanel(1280 - 200, 0, 200, 24);
// The search ignores case: Qt's 1x1 "fwbagent" window must not match.
const QString kMainWindow = QStringLiteral("FW(B| Backup) Agent");
const QString kConfirmDialog = QStringLiteral("FW Backup Agent - Confirm Start-up");
const QString kCanNotQuit = QStringLiteral("FW Backup Agent - Can Not Quit");
const QString kTypingWindow = QStringLiteral("typing here");
// Debian's python3-pyatspi is for Debian's own interpreter, whatever else PATH offers.
const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kAtSpiBus = QStringLiteral("/usr/libexec/at-spi-bus-launcher");
const QString kSettings = QStringLiteral("FWB Agent - Settings");
const QString kCountDown = QStringLiteral("FW Backup Agent - Count Down");

QByteArray agentIni(int startupMode, int minimizeMode, int backupStartupMode = 2)
{
    return optionsIni({QStringLiteral("GLO_AgentStartupMode=%1").arg(startupMode),
                       QStringLiteral("GLO_MinimizeMode=%1").arg(minimizeMode),
                       QStringLiteral("GLO_BackupStartupMode=%1").arg(backupStartupMode)});
}

QString cannotRun(const QByteArray &function)
{
    for (const char *tool : {"Xvfb", "openbox", "trayer", "xdotool", "xwininfo", "xprop",
                             "xmessage", "dbus-daemon", "dbus-monitor", "dunst"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QString::fromLatin1(tool) + QStringLiteral(" is not installed");
    if (!QFileInfo(kAtSpiBus).isExecutable() ||
        QProcess::execute(kPython, {"-c", "import pyatspi"}) != 0)
        return QStringLiteral("at-spi2-core or python3-pyatspi is not installed");
    return function.isEmpty() || function == "startsWithoutTrayIcon" ||
                   function == "restoresFromTray"
               ? QString()
               : mountNamespaceProblem();
}

// An ext4 volume and the folder it is mounted at.
struct Volume
{
    QString device, folder;
    bool made() const { return !device.isEmpty() && !folder.isEmpty(); }
};

} // namespace

// QCOMPARE once `actual` equals `expected`, or once the deadline has passed.
#define WAIT_COMPARE(actual, expected)                                                             \
    do {                                                                                           \
        if (!QTest::qWaitFor([&] { return (actual) == (expected); }, TimeoutMs))                   \
            QCOMPARE(actual, expected);                                                            \
    } while (false)

class TestDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The Agent and the other clients first, the X server last.
    void cleanup()
    {
        m_run.reset();
        while (!m_programs.empty()) {
            m_programs.back()->terminate();
            m_programs.back()->waitForFinished(TimeoutMs);
            m_programs.pop_back(); // killed, if it did not go
        }
    }
    void init()
    {
        const QString problem = startDesktop();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        m_run.emplace();
        QVERIFY2(m_run->folder.stage(), qPrintable(m_run->folder.error()));
        m_run->agent.setDesktop(m_environment);
    }

    void startsWithoutTrayIcon_data();
    void startsWithoutTrayIcon();
    void restoresFromTray_data();
    void restoresFromTray();
    void dialogLeavesTheFocusAndTheTrayAlone();
    void notificationBesideTheDialog();
    void accessibleNames_data();
    void accessibleNames();
    void settingsWaitForTheCountDown();

private:
    // Why no desktop could be started, or the empty text.
    QString startDesktop();
    bool startProgram(const QString &program, const QStringList &arguments)
    {
        auto &process = *m_programs.emplace_back(std::make_unique<QProcess>());
        process.setProcessEnvironment(m_environment);
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(program, arguments);
        return process.waitForStarted(TimeoutMs);
    }
    // A session bus of the test's own, for the Agent and the desktop's services.
    bool startSessionBus()
    {
        if (!startProgram(QStringLiteral("dbus-daemon"),
                          {"--session", "--nofork", "--print-address"}))
            return false;
        QProcess &bus = *m_programs.back();
        if (!QTest::qWaitFor([&] { return bus.canReadLine(); }, TimeoutMs))
            return false;
        m_environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                             QString::fromLocal8Bit(bus.readLine().trimmed()));
        m_run->agent.setDesktop(m_environment);
        return true;
    }
    // Runs a tool on the desktop: what it printed, empty when it failed.
    QByteArray run(const QStringList &command) const
    {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.start(command.first(), command.mid(1));
        if (!process.waitForFinished(TimeoutMs) || process.exitCode() != 0)
            return {};
        return process.readAllStandardOutput();
    }
    QString x(const QStringList &command) const { return QString::fromLocal8Bit(run(command)); }
    // The windows titled `title` (a pattern, matched whole).
    QStringList windowsNamed(const QString &title) const
    {
        return x({"xdotool", "search", "--name", "^(" + title + ")$"})
            .split(u'\n', Qt::SkipEmptyParts);
    }
    // The latest window titled `title` once there is one, or the empty text.
    QString awaitWindow(const QString &title) const
    {
        QStringList windows;
        return QTest::qWaitFor([&] { return !(windows = windowsNamed(title)).isEmpty(); },
                               TimeoutMs)
                   ? windows.last()
                   : QString();
    }
    // The ICCCM state the window manager gave the window: "Normal", "Iconic" or empty.
    QString wmState(const QString &window) const
    {
        return QRegularExpression(QStringLiteral("window state: (\\w+)"))
            .match(x({"xprop", "-id", window, "WM_STATE"}))
            .captured(1);
    }
    QString focusedWindowName() const
    {
        return x({"xdotool", "getwindowfocus", "getwindowname"}).trimmed();
    }
    // The Agent's viewable windows; with `popups`, those the window manager does not frame.
    QMap<QString, QRect> agentWindows(bool popups = false) const;
    // Its windows in the panel, large enough for a click at (8, 8): a docked icon first sits
    // outside it until trayer places and sizes it.
    QStringList trayIcons() const
    {
        QMap<QString, QRect> windows = agentWindows();
        windows.removeIf([](QMap<QString, QRect>::iterator it) {
            return !kPanel.contains(*it) || it->width() <= 8 || it->height() <= 8;
        });
        return windows.keys();
    }
    // Opens the tray menu (a pop-up taller than a tooltip) and picks item `index` of its four by
    // mouse, which needs no keyboard grab in place. Under load the menu may lose the focus as it
    // opens and close at once: then, as a user would, this clicks the icon again.
    bool pickFromTrayMenu(const QString &icon, int index) const
    {
        QMap<QString, QRect> menus;
        const auto open = [&] {
            menus = agentWindows(true);
            menus.removeIf([](QMap<QString, QRect>::iterator it) { return it->height() <= 40; });
            return !menus.isEmpty();
        };
        for (const QDeadlineTimer deadline(TimeoutMs); !deadline.hasExpired();) {
            click(icon, {8, 8}, 3);
            if (QTest::qWaitFor(open, 5'000) && !QTest::qWaitFor([&] { return !open(); }, 500)) {
                const QRect menu = menus.first();
                click(menus.firstKey(), {menu.width() / 2, menu.height() * (2 * index + 1) / 8});
                return true;
            }
        }
        return false;
    }
    // Real input (XTEST), which no program can tell from the user's, at a point of `window`
    // wherever it is then.
    void click(const QString &window, const QPoint &at = {8, 8}, int button = 1,
               int repeat = 1) const
    {
        x({"xdotool", "mousemove", "--window", window, QString::number(at.x()),
           QString::number(at.y()), "click", "--repeat", QString::number(repeat),
           QString::number(button)});
    }
    void keys(const QStringList &keys) const { x(QStringList{"xdotool", "key"} + keys); }

    QString startAgent(const QByteArray &ini,
                       const QString &startupEntry = QStringLiteral("Program start-up. "))
    {
        if (!writeBytes(m_run->folder.filePath(QStringLiteral("fwbagent.ini")), ini) ||
            !m_run->agent.start(m_run->folder.agentPath(), TimeoutMs, startupEntry))
            qWarning("%s", qPrintable(m_run->agent.error()));
        return awaitWindow(kMainWindow);
    }
    QString minimizeToTray(const QString &window);
    // A set named `name` that starts on drives labelled `label` (on any drive when it is empty),
    // and an ext4 volume so labelled; false when the set cannot be written. The volume stays
    // unmade when the machine cannot make one.
    bool addSetAndVolume(const QString &name, const QString &label, Volume &volume)
    {
        volume = {m_run->lab.ext4Volume(name, label), m_run->lab.makeFolder(name)};
        return writeBytes(m_run->folder.defaultBackupSetsFolder() + u'/' + name + ".fwb",
                          iniBackupSet(label.isEmpty()
                                           ? u"x\u00020\u0002\\trigger\\on\\any\\drive"_s
                                           : triggersOnLabel(label)));
    }
    bool mount(const Volume &volume)
    {
        return m_run->lab.mount(volume.device, volume.folder, QStringLiteral("ext4"));
    }

    std::vector<std::unique_ptr<QProcess>> m_programs;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    std::optional<AgentRun> m_run;
};

QString TestDesktop::startDesktop()
{
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    m_environment.remove(QStringLiteral("XAUTHORITY"));
    // The server picks a free display itself and writes its number to standard output.
    if (!startProgram(QStringLiteral("Xvfb"),
                      {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}))
        return QStringLiteral("Xvfb does not start");
    QProcess &server = *m_programs.back();
    if (!QTest::qWaitFor([&] { return server.canReadLine() || !server.state(); }, TimeoutMs) ||
        !server.canReadLine())
        return QStringLiteral("the X server does not start");
    m_environment.insert(QStringLiteral("DISPLAY"),
                         u':' + QString::fromLatin1(server.readLine().trimmed()));
    // openbox now and then gives up at once on a server that has just started; a second
    // start finds it ready.
    const auto managed = [this] {
        return x({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).contains(u"window id");
    };
    bool up = false;
    for (int attempt = 0; attempt < 3 && !up && startProgram(QStringLiteral("openbox"), {});
         ++attempt) {
        QProcess &openbox = *m_programs.back();
        up = QTest::qWaitFor([&] { return managed() || !openbox.state(); }, TimeoutMs) && managed();
    }
    if (!up ||
        !startProgram(QStringLiteral("trayer"), {"--edge", "top", "--align", "right", "--widthtype",
                                                 "pixel", "--width", "200", "--height", "24"}) ||
        awaitWindow(QStringLiteral("panel")).isEmpty())
        return QStringLiteral("openbox or trayer does not come up");
    return {};
}

QMap<QString, QRect> TestDesktop::agentWindows(bool popups) const
{
    // Without a frame, a window is a child of the root.
    const QStringList depth = popups ? QStringList{"--maxdepth", "1"} : QStringList();
    const QString found = x(QStringList{"xdotool", "search", "--onlyvisible"} + depth +
                            QStringList{"--classname", "^fwbagent$", "getwindowgeometry", "%@"});
    static const QRegularExpression entry(QStringLiteral(
        "Window (\\d+)\\s+Position: (-?\\d+),(-?\\d+).*\\s+Geometry: (\\d+)x(\\d+)"));
    QMap<QString, QRect> windows;
    for (auto it = entry.globalMatch(found); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        windows.insert(m.captured(1), QRect(m.captured(2).toInt(), m.captured(3).toInt(),
                                            m.captured(4).toInt(), m.captured(5).toInt()));
    }
    return windows;
}

QString TestDesktop::minimizeToTray(const QString &window)
{
    QStringList icons;
    if (!QTest::qWaitFor([&] { return agentWindows().contains(window); }, TimeoutMs))
        return {};
    x({"xdotool", "windowminimize", window});
    // And once openbox has let go of the hidden window: a menu opened before then closes at
    // once, as openbox moves the focus when it does.
    return QTest::qWaitFor([&] { return (icons = trayIcons()).size() == 1; }, TimeoutMs) &&
                   QTest::qWaitFor([&] { return wmState(window).isEmpty(); }, TimeoutMs)
               ? icons.first()
               : QString();
}

void TestDesktop::startsWithoutTrayIcon_data()
{
    QTest::addColumn<int>("startupMode");
    QTest::addColumn<int>("minimizeMode");
    QTest::addColumn<QString>("state");
    for (int minimize = 0; minimize <= 2; ++minimize)
        QTest::addRow("hidden, minimize mode %d", minimize) << 2 << minimize << QString();
    QTest::newRow("minimized, minimize mode 1") << 1 << 1 << QStringLiteral("Iconic");
}

// Started hidden, the window is nowhere; started minimized, it waits on the task bar. Neither
// puts an icon in the tray, whatever minimizing does later.
void TestDesktop::startsWithoutTrayIcon()
{
    QFETCH(int, startupMode);
    QFETCH(int, minimizeMode);
    QFETCH(QString, state);
    const QString window = startAgent(agentIni(startupMode, minimizeMode));
    QVERIFY(!window.isEmpty());
    WAIT_COMPARE(wmState(window), state);
    QVERIFY(!QTest::qWaitFor([&] { return !agentWindows().isEmpty() || wmState(window) != state; },
                             SettleMs));
}

void TestDesktop::restoresFromTray_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("clicks");
    QTest::newRow("left click") << 1 << 1;
    QTest::newRow("double click") << 1 << 2;
    QTest::newRow("Open in the menu") << 3 << 1;
}

void TestDesktop::restoresFromTray()
{
    QFETCH(int, button);
    QFETCH(int, clicks);
    const QString window = startAgent(agentIni(0, 1));
    const QString icon = minimizeToTray(window);
    QVERIFY(!icon.isEmpty());
    if (button == 3)
        QVERIFY(pickFromTrayMenu(icon, 0)); // Open
    else
        click(icon, {8, 8}, button, clicks);
    WAIT_COMPARE(agentWindows().contains(window), true);
    WAIT_COMPARE(wmState(window), QStringLiteral("Normal"));
    WAIT_COMPARE(trayIcons(), QStringList());
}

// A drive arrives while the user types in another program: the confirmation dialog comes up
// on top but leaves the keyboard where it was; the tray keeps working beside it, refuses to
// quit, and a click on the tray icon or on the dialog gives the dialog the focus.
void TestDesktop::dialogLeavesTheFocusAndTheTrayAlone()
{
    Volume disk;
    QVERIFY(addSetAndVolume(QStringLiteral("Nightly"), QStringLiteral("DESKTOPDISK"), disk));
    LAB_STEP(m_run->lab, disk.made());
    const QString icon = minimizeToTray(startAgent(agentIni(0, 1)));
    QVERIFY(!icon.isEmpty());
    QVERIFY(startProgram(QStringLiteral("xmessage"), {"-name", kTypingWindow, kTypingWindow}));
    WAIT_COMPARE(focusedWindowName(), kTypingWindow);
    const QString typing = windowsNamed(kTypingWindow).value(0);

    QVERIFY(mount(disk));
    const QString dialog = awaitWindow(kConfirmDialog);
    WAIT_COMPARE(agentWindows().contains(dialog), true);
    QVERIFY(!QTest::qWaitFor([&] { return focusedWindowName() != kTypingWindow; }, SettleMs));
    // On top, 50 twips (3 pixels at 96 dpi) from the right edge of the screen, frame and all.
    // xwininfo's second corner is the top right one, as its distance from the screen's edges.
    const QString rightGap = QRegularExpression(QStringLiteral("Corners:\\s+\\S+\\s+-(\\d+)"))
                                 .match(x({"xwininfo", "-id", dialog}))
                                 .captured(1);
    const QStringList frame =
        x({"xprop", "-id", dialog, "_NET_FRAME_EXTENTS"}).section(u'=', 1).split(u',');
    QCOMPARE(rightGap.toInt() - frame.value(1).trimmed().toInt(), 3);

    // Quit from the tray menu is refused, and the dialog then has the keyboard.
    QVERIFY(pickFromTrayMenu(icon, 3)); // Quit
    WAIT_COMPARE(focusedWindowName(), kCanNotQuit);
    keys({"Return"});
    WAIT_COMPARE(focusedWindowName(), kConfirmDialog);

    // Back to the other program; a left click on the tray icon, then one on the dialog's
    // heading (which does nothing), each bring the dialog the focus.
    for (const auto &[window, at] : {std::pair(icon, QPoint(8, 8)), {dialog, QPoint(20, 10)}}) {
        click(typing);
        WAIT_COMPARE(focusedWindowName(), kTypingWindow);
        click(window, at);
        WAIT_COMPARE(focusedWindowName(), kConfirmDialog);
    }
    // Esc, the user's, cancels the backup: the Agent goes on without starting it.
    keys({"Escape"});
    WAIT_COMPARE(
        m_run->agent.entries().contains(QStringLiteral("User cancelled triggered backups.")), true);
    QVERIFY(!QFile::exists(m_run->folder.backupProgramLog()));
    QVERIFY(m_run->agent.isRunning());
}

// A notification service (dunst) at the top right, where the count-down dialog is: the
// notification names the drive and the set and offers the dialog's buttons; it goes before the
// count-down ends, leaving the dialog in sight, and its Start now does what the dialog's does.
void TestDesktop::notificationBesideTheDialog()
{
    Volume disks[2];
    QVERIFY(addSetAndVolume(QStringLiteral("Nightly"), QStringLiteral("NIGHTLYDISK"), disks[0]));
    QVERIFY(addSetAndVolume(QStringLiteral("Weekly"), QStringLiteral("WEEKLYDISK"), disks[1]));
    LAB_STEP(m_run->lab, disks[0].made() && disks[1].made());
    QVERIFY(startSessionBus());
    const QString config = m_run->folder.filePath(QStringLiteral("dunstrc"));
    // A middle click presses the button a user chose for the program; idle time must not hold
    // the notification on the screen.
    QVERIFY(writeBytes(config, "[global]\n    idle_threshold = 0\n"
                               "    mouse_middle_click = do_action, close_current\n"
                               "[fwbagent]\n    appname = \"FWB Agent\"\n"
                               "    action_name = \"start\"\n"));
    QVERIFY(startProgram(QStringLiteral("dunst"), {"-config", config}));
    QVERIFY(startProgram(QStringLiteral("dbus-monitor"),
                         {"interface='org.freedesktop.Notifications'"}));
    QProcess &monitor = *m_programs.back();
    QString seen;
    const auto monitored = [&](const QString &text) {
        return QTest::qWaitFor([&] { return (seen += monitor.readAll()).contains(text); },
                               TimeoutMs);
    };
    QVERIFY(monitored(QStringLiteral("member=NameAcquired")));
    QVERIFY(!startAgent(agentIni(2, 0, 1)).isEmpty());
    const auto notifications = [&] {
        return x({"xdotool", "search", "--onlyvisible", "--classname", "^Dunst$"})
            .split(u'\n', Qt::SkipEmptyParts);
    };

    QVERIFY(mount(disks[0]));
    WAIT_COMPARE(notifications().size(), 1);
    const QStringList dialog = windowsNamed(kCountDown);
    QCOMPARE(dialog.size(), 1);
    QVERIFY(monitored(QStringLiteral("Seconds until the checked backups start: 60\"")));
    for (const QString &part :
         {u"string \"FWB Agent\"\n   uint32 0\n   string \"fwbagent\"\n"
          u"   string \"FW Backup Agent - Count Down\"\n"
          u"   string \"New drive found: NIGHTLYDISK\nBackup sets: Nightly.fwb\n"_s,
          u"      string \"start\"\n      string \"Start now\"\n"_s,
          u"string \"desktop-entry\"\n         variant             string \"fwbagent\""_s,
          u"   int32 10000\n"_s})
        QVERIFY2(seen.contains(part), qPrintable(part));
    // It goes, well before the count-down ends, and the dialog is in sight.
    WAIT_COMPARE(notifications().size(), 0);
    QCOMPARE(agentWindows().contains(dialog.first()), true);
    QCOMPARE(m_run->agent.entries().filter(QStringLiteral("Launching backup set")), QStringList());

    // A second drive while the dialog is open: its own notification, whose Start now starts the
    // checked sets of the dialog, the first drive's too.
    QVERIFY(mount(disks[1]));
    WAIT_COMPARE(notifications().size(), 1);
    QVERIFY(monitored(QStringLiteral("New drive found: WEEKLYDISK\nBackup sets: Weekly.fwb\n")));
    click(notifications().first(), {20, 20}, 2);
    const QRegularExpression started(
        u"member=ActionInvoked\n   uint32 \\d+\n   string \"start\""_s);
    QVERIFY(QTest::qWaitFor([&] { return started.match(seen += monitor.readAll()).hasMatch(); },
                            TimeoutMs));
    WAIT_COMPARE(m_run->agent.entries().filter(QStringLiteral("Launching backup set")).size(), 2);
    WAIT_COMPARE(windowsNamed(kCountDown).isEmpty(), true);
    qInfo("dbus-monitor saw:\n%s", qPrintable(seen));
}

void TestDesktop::accessibleNames_data()
{
    QTest::addColumn<QString>("pack");
    QTest::addColumn<QString>("startupEntry");
    QTest::addColumn<QStringList>("names"); // role and name of the controls a sign would name
    QTest::newRow("English") << QString() << QStringLiteral("Program start-up. ")
                             << QStringList{"frame\tFWB Agent", "text\tMonitor log",
                                            "list\tTriggered backup sets",
                                            "push button\tPause the count-down",
                                            "radio button\tStart backup automatically\tHow "
                                            "backups should be started"};
    QTest::newRow("Swedish") << QStringLiteral("Swedish.lng")
                             << QStringLiteral("Programmet har startat. ")
                             << QStringList{"frame\tFW Backup Agent", "text\tLogg",
                                            "list\tUtlösta säkerhetskopieringsjobb",
                                            "push button\tPausa nedräkningen",
                                            "radio button\tStarta säkerhetskopieringen "
                                            "automatiskt\tHur säkerhetskopieringar ska startas"};
}

// What a screen reader finds in the main window, the settings and the count-down dialog: each
// control named (in the user's language) and described, no sign read out as a name, and the
// main window a frame like any program's.
void TestDesktop::accessibleNames()
{
    QFETCH(QString, pack);
    QFETCH(QString, startupEntry);
    QFETCH(QStringList, names);
    Volume disk;
    QVERIFY(addSetAndVolume(QStringLiteral("Nightly"), QStringLiteral("SPEAKINGDISK"), disk));
    LAB_STEP(m_run->lab, disk.made());
    if (!pack.isEmpty()) {
        const QString packs = m_run->folder.filePath(QStringLiteral("Language Packs/"));
        QVERIFY(QDir().mkpath(packs) && QFile::copy(FWB_SWEDISH_PACK, packs + pack));
        QVERIFY(writeBytes(m_run->folder.filePath(QStringLiteral("settings.ini")),
                           optionsIni({QStringLiteral("GLO_CurrentLanguage=") + pack})));
    }
    QVERIFY(startSessionBus());
    QVERIFY(startProgram(kAtSpiBus, {"--launch-immediately"}));
    m_environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    m_run->agent.setDesktop(m_environment);
    const QString window = startAgent(agentIni(0, 0, 1), startupEntry);
    QVERIFY(!window.isEmpty());

    // The Agent's accessibles as AT-SPI lists them ("depth, role, name, description" lines).
    QStringList tree;
    const auto listed = [&](const QString &roleAndName) {
        return QTest::qWaitFor(
            [&] {
                tree = x({kPython, QFINDTESTDATA("accessible-tree.py"), "fwbagent"})
                           .split(u'\n', Qt::SkipEmptyParts);
                return !tree.filter(roleAndName).isEmpty();
            },
            TimeoutMs);
    };
    x({"xdotool", "windowactivate", "--sync", window, "key", "alt+s"}); // Settings
    QVERIFY2(listed(names.last()), qPrintable(tree.join(u'\n')));
    QStringList seen = tree;
    keys({"Escape"});
    QVERIFY(mount(disk));
    QVERIFY2(listed(QStringLiteral("\tlist\t")), qPrintable(tree.join(u'\n')));
    seen += tree;
    qInfo("AT-SPI lists:\n%s", qPrintable(seen.join(u'\n')));

    for (const QString &roleAndName : names)
        QVERIFY2(!seen.filter(roleAndName).isEmpty(), qPrintable(roleAndName));
    // The parts Qt builds into a tab strip or a scroll bar speak for themselves.
    static const QStringList controls{"frame", "dialog",    "push button", "text",
                                      "list",  "check box", "radio button"};
    static const QStringList builtIn{"page tab list", "scroll bar"};
    QStringList ancestors;
    for (const QString &line : seen) {
        const QStringList fields = line.split(u'\t');
        QVERIFY2(fields.value(0) != u'0' || fields.value(1) != QStringLiteral("filler"),
                 qPrintable(line));
        ancestors.resize(fields.value(0).toInt());
        const bool inBuiltIn =
            std::any_of(ancestors.cbegin(), ancestors.cend(),
                        [](const QString &role) { return builtIn.contains(role); });
        ancestors.append(fields.value(1));
        if (!inBuiltIn && controls.contains(fields.value(1)))
            QVERIFY2(fields.value(2).size() > 1 && !fields.value(3).isEmpty(), qPrintable(line));
    }
}

// An ordinary user's settings are open, with a change not yet stored, when a drive starts a
// count-down: the count-down dialog takes the keyboard and the mouse while the settings wait,
// Esc and the close box included. Once it is cancelled the settings have the keyboard again, and
// OK stores the change; Enter on a focused Cancel stores nothing.
void TestDesktop::settingsWaitForTheCountDown()
{
    // The Agent may not read the device's label: the set starts on any drive.
    Volume disk;
    QVERIFY(addSetAndVolume(QStringLiteral("Nightly"), QString(), disk));
    LAB_STEP(m_run->lab, disk.made());
    const QString ini = m_run->folder.filePath(QStringLiteral("fwbagent.ini"));
    QVERIFY(writeBytes(ini, agentIni(0, 1, 1)) && m_run->folder.handTo(65534));
    m_run->agent.setUser(65534);
    const QString main = startAgent(agentIni(0, 1, 1));
    QVERIFY(!main.isEmpty());
    QString settings;
    const QRegularExpression mainTitle(QRegularExpression::anchoredPattern(kMainWindow));
    // Opens the settings and picks the first option of a page by its tab's access key.
    const auto openSettings = [&](const QString &page) {
        // Clicked until the window manager, which may still be placing it, gives it the focus.
        WAIT_COMPARE((click(main), focusedWindowName().contains(mainTitle)), true);
        keys({"alt+s"});
        settings = awaitWindow(kSettings);
        WAIT_COMPARE(focusedWindowName(), kSettings);
        keys({"alt+" + page, "Tab", "space"});
    };
    openSettings(QStringLiteral("w")); // minimizing to the task bar

    QVERIFY(mount(disk));
    const QString dialog = awaitWindow(kCountDown);
    WAIT_COMPARE(focusedWindowName(), kCountDown);
    // Neither Esc nor the close box ends the settings meanwhile.
    x({"xdotool", "windowactivate", "--sync", settings});
    keys({"Escape", "alt+F4"});
    WAIT_COMPARE(focusedWindowName(), kCountDown);
    QVERIFY(!windowsNamed(kSettings).isEmpty());

    // A click on the pause button stops the count: the dialog's picture changes once a second
    // before; after it, two pictures more than a second apart are the same.
    const auto picture = [&] {
        return run({"xwd", "-silent", "-id", dialog});
    };
    const double pixelsPerTwip = agentWindows().value(dialog).width() / 3555.0;
    const QByteArray before = picture();
    WAIT_COMPARE(picture() == before, false);
    click(dialog, QPoint(3247, 1807) * pixelsPerTwip);
    const auto standsStill = [&] {
        const QByteArray first = picture();
        QTest::qWait(1'200);
        return !first.isEmpty() && picture() == first;
    };
    WAIT_COMPARE(standsStill(), true);
    // Tab to Cancel, which Enter presses.
    keys({"Tab", "Return"});
    WAIT_COMPARE(
        m_run->agent.entries().contains(QStringLiteral("User cancelled triggered backups.")), true);
    WAIT_COMPARE(focusedWindowName(), kSettings);
    keys({"alt+o"});
    WAIT_COMPARE(windowsNamed(kSettings).isEmpty(), true);
    QCOMPARE(readFile(ini), agentIni(0, 0, 1));

    // Starting backups at once, then Tab (which leaves the options at once) to Cancel, and
    // Enter.
    openSettings(QStringLiteral("b"));
    keys({"Tab", "Return"});
    WAIT_COMPARE(windowsNamed(kSettings).isEmpty(), true);
    QCOMPARE(readFile(ini), agentIni(0, 0, 1));
}

FWB_TEST_MAIN(QCoreApplication, TestDesktop, cannotRun, enterPrivateMountNamespace)
#include "tst_desktop.moc"
