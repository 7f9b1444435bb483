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
#include <optional>

using namespace fwb::test;
using namespace Qt::StringLiterals;

namespace {

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
                             "xmessage", "dbus-daemon", "gdbus", "dunst"})
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

// QCOMPARE once `actual` equals `expected`, or once the deadline has passed (QTRY_COMPARE would
// wait twice as long again to say how long would have done).
#define WAIT_COMPARE(actual, expected)                                                             \
    do {                                                                                           \
        if (!QTest::qWaitFor([&] { return (actual) == (expected); }, Desktop::WaitMs))             \
            QCOMPARE(actual, expected);                                                            \
    } while (false)

class TestDesktop : public QObject, private Desktop
{
    Q_OBJECT

private Q_SLOTS:
    // The Agent and the other clients first, the X server last.
    void cleanup()
    {
        m_run.reset();
        stop();
        environment = QProcessEnvironment::systemEnvironment();
    }
    void init()
    {
        QString problem = startXServer();
        if (problem.isEmpty())
            problem = startWindowManager();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        start(QStringLiteral("trayer"), {"--edge", "top", "--align", "right", "--widthtype",
                                         "pixel", "--width", "200", "--height", "24"});
        QVERIFY2(!awaitWindow(QStringLiteral("panel")).isEmpty(), "trayer does not come up");
        m_run.emplace();
        QVERIFY2(m_run->folder.stage(), qPrintable(m_run->folder.error()));
        m_run->agent.setDesktop(environment);
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
    bool startProgram(const QString &program, const QStringList &arguments)
    {
        return start(program, arguments).waitForStarted();
    }
    // A session bus of the test's own, for the Agent and the desktop's services.
    bool startSessionBus()
    {
        const QString problem = Desktop::startSessionBus();
        m_run->agent.setDesktop(environment);
        return problem.isEmpty();
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
        for (const QDeadlineTimer deadline(WaitMs); !deadline.hasExpired();) {
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
        m_run->start(ini, startupEntry);
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

    std::optional<AgentRun> m_run;
};

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
    if (!QTest::qWaitFor([&] { return agentWindows().contains(window); }, WaitMs))
        return {};
    x({"xdotool", "windowminimize", window});
    // And once openbox has let go of the hidden window: a menu opened before then closes at
    // once, as openbox moves the focus when it does.
    return QTest::qWaitFor([&] { return (icons = trayIcons()).size() == 1; }, WaitMs) &&
                   QTest::qWaitFor([&] { return wmState(window).isEmpty(); }, WaitMs)
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
// but leaves the keyboard where it was; the tray keeps working beside it, refuses to
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
// notification goes before the count-down ends, leaving the dialog in sight, and its Start now
// does what the dialog's does. What it says is the notification client's test's.
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
    QVERIFY(awaitName(QStringLiteral("org.freedesktop.Notifications")));
    QVERIFY(!startAgent(agentIni(2, 0, 1)).isEmpty());
    const auto notifications = [&] {
        return x({"xdotool", "search", "--onlyvisible", "--classname", "^Dunst$"})
            .split(u'\n', Qt::SkipEmptyParts);
    };
    const auto launched = [this] {
        return m_run->agent.entries().filter(QStringLiteral("Launching backup set")).size();
    };

    QVERIFY(mount(disks[0]));
    WAIT_COMPARE(notifications().size(), 1);
    const QStringList dialog = windowsNamed(kCountDown);
    QCOMPARE(dialog.size(), 1);
    // It goes, well before the count-down ends, and the dialog is in sight.
    WAIT_COMPARE(notifications().size(), 0);
    QCOMPARE(agentWindows().contains(dialog.first()), true);
    QCOMPARE(launched(), 0);

    // A second drive while the dialog is open: its own notification, whose Start now starts the
    // checked sets of the dialog, the first drive's too.
    QVERIFY(mount(disks[1]));
    WAIT_COMPARE(notifications().size(), 1);
    click(notifications().first(), {20, 20}, 2);
    WAIT_COMPARE(launched(), 2);
    WAIT_COMPARE(windowsNamed(kCountDown).isEmpty(), true);
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
    QTest::newRow("Swedish") << QStringLiteral(FWB_SWEDISH_PACK)
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
    QVERIFY(pack.isEmpty() || m_run->folder.useLanguagePack(pack));
    QVERIFY(startSessionBus());
    QVERIFY(startProgram(kAtSpiBus, {"--launch-immediately"}));
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    m_run->agent.setDesktop(environment);
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
            WaitMs);
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

    // The mouse's click on the pause button takes the focus there (the pause itself is the
    // dialog's own test's); Tab goes on to Cancel, which Enter presses.
    const double pixelsPerTwip = agentWindows().value(dialog).width() / 3555.0;
    click(dialog, QPoint(3247, 1807) * pixelsPerTwip);
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
