// The real Agent on a desktop of the test's own (Xvfb, openbox, trayer along the top edge),
// driven by real input (xdotool) and read back from the X server (xwininfo, xprop).

#include "AgentProcess.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <memory>
#include <optional>
#include <vector>

using namespace fwb::test;

namespace {

constexpr int TimeoutMs = 10'000;
// How long a wrong outcome is given to show; the window manager answers far sooner.
constexpr int SettleMs = 1'500;
// The search ignores case: Qt's 1x1 "fwbagent" window must not match.
const QString kMainWindow = QStringLiteral("^FW(B| Backup) Agent$");
const QString kConfirmDialog = QStringLiteral("FW Backup Agent - Confirm Start-up");
const QString kCanNotQuit = QStringLiteral("FW Backup Agent - Can Not Quit");
const QString kTypingWindow = QStringLiteral("typing here");

QByteArray agentIni(int startupMode, int minimizeMode)
{
    return optionsIni({QStringLiteral("GLO_AgentStartupMode=%1").arg(startupMode),
                       QStringLiteral("GLO_MinimizeMode=%1").arg(minimizeMode),
                       QStringLiteral("GLO_BackupStartupMode=2")});
}

QString cannotRun(const QByteArray &function)
{
    for (const char *tool :
         {"Xvfb", "openbox", "trayer", "xdotool", "xwininfo", "xprop", "xmessage"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QString::fromLatin1(tool) + QStringLiteral(" is not installed");
    return function == "dialogLeavesTheFocusAndTheTrayAlone" ? mountNamespaceProblem() : QString();
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void startsWithoutTrayIcon_data();
    void startsWithoutTrayIcon();
    void restoresFromTray_data();
    void restoresFromTray();
    void dialogLeavesTheFocusAndTheTrayAlone();

private:
    // Why no desktop could be started, or the empty text.
    QString startDesktop();
    bool startProgram(const QString &program, const QStringList &arguments);
    // Runs an X tool on the desktop: what it printed, empty when it failed.
    QString x(const QStringList &command) const;
    QStringList windowsNamed(const QString &name) const
    {
        return x({"xdotool", "search", "--name", name}).split(u'\n', Qt::SkipEmptyParts);
    }
    bool isMapped(const QString &window) const
    {
        return x({"xwininfo", "-id", window}).contains(QStringLiteral("IsViewable"));
    }
    // The ICCCM state the window manager gave the window: "Normal", "Iconic" or empty.
    QString wmState(const QString &window) const
    {
        return QRegularExpression(QStringLiteral("window state: (\\w+)"))
            .match(x({"xprop", "-id", window, "WM_STATE"}))
            .captured(1);
    }
    // Without the window manager's frame.
    QRect geometry(const QString &window) const;
    QString focusedWindowName() const
    {
        return x({"xdotool", "getwindowfocus", "getwindowname"}).trimmed();
    }
    QList<QRect> trayIcons() const;
    bool trayMenuOpen() const;
    // Real input (XTEST), which no program can tell from the user's.
    void click(const QPoint &at, int button = 1, int repeat = 1) const
    {
        x({"xdotool", "mousemove", QString::number(at.x()), QString::number(at.y()), "click",
           "--repeat", QString::number(repeat), QString::number(button)});
    }
    void keys(const QStringList &keys) const { x(QStringList{"xdotool", "key"} + keys); }

    QString startAgent(const QByteArray &ini);
    QRect minimizeToTray(const QString &window);

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
        !QTest::qWaitFor([this] { return !windowsNamed(QStringLiteral("^panel$")).isEmpty(); },
                         TimeoutMs))
        return QStringLiteral("openbox or trayer does not come up");
    return {};
}

// The Agent and the other clients first, the X server last.
void TestDesktop::cleanup()
{
    m_run.reset();
    while (!m_programs.empty()) {
        m_programs.back()->terminate();
        m_programs.back()->waitForFinished(TimeoutMs);
        m_programs.pop_back(); // killed, if it did not go
    }
}

void TestDesktop::init()
{
    if (const QString why = cannotRun(QTest::currentTestFunction()); !why.isEmpty())
        QSKIP(qPrintable(why));
    const QString problem = startDesktop();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    m_run.emplace();
    QVERIFY2(m_run->folder.stage(), qPrintable(m_run->folder.error()));
    m_run->agent.setDesktop(m_environment);
}

bool TestDesktop::startProgram(const QString &program, const QStringList &arguments)
{
    auto &process = *m_programs.emplace_back(std::make_unique<QProcess>());
    process.setProcessEnvironment(m_environment);
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForStarted(TimeoutMs);
}

QString TestDesktop::x(const QStringList &command) const
{
    QProcess process;
    process.setProcessEnvironment(m_environment);
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(TimeoutMs) || process.exitCode() != 0)
        return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QRect TestDesktop::geometry(const QString &window) const
{
    const QString text = x({"xwininfo", "-id", window});
    const auto number = [&](const char *key) {
        return QRegularExpression(QString::fromLatin1(key) + QStringLiteral(":\\s*(-?\\d+)"))
            .match(text)
            .captured(1)
            .toInt();
    };
    return {number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"),
            number("Height")};
}

QList<QRect> TestDesktop::trayIcons() const
{
    QList<QRect> icons;
    const QStringList panels = windowsNamed(QStringLiteral("^panel$"));
    // Every embedded icon is a named client window inside the panel.
    const QString tree = panels.isEmpty() ? QString() : x({"xwininfo", "-tree", "-id", panels[0]});
    static const QRegularExpression line(
        QStringLiteral("^\\s+(0x[0-9a-f]+) \"[^\"]*\": "
                       "\\(.*\\)\\s+(\\d+)x(\\d+)\\+-?\\d+\\+-?\\d+\\s+\\+(-?\\d+)\\+(-?\\d+)$"),
        QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(tree); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QRect area(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(2).toInt(),
                         m.captured(3).toInt());
        if (area.width() > 1 && area.height() > 1 && isMapped(m.captured(1)))
            icons.append(area);
    }
    return icons;
}

// The menu is a pop-up window of the Agent's own (one the window manager does not frame),
// taller than a tooltip.
bool TestDesktop::trayMenuOpen() const
{
    const QStringList windows =
        x({"xdotool", "search", "--onlyvisible", "--classname", "^fwbagent$"})
            .split(u'\n', Qt::SkipEmptyParts);
    return std::any_of(windows.cbegin(), windows.cend(), [this](const QString &window) {
        return x({"xwininfo", "-id", window}).contains(u"Override Redirect State: yes") &&
               geometry(window).height() > 40;
    });
}

QString TestDesktop::startAgent(const QByteArray &ini)
{
    if (!writeBytes(m_run->folder.filePath(QStringLiteral("fwbagent.ini")), ini) ||
        !m_run->agent.start(m_run->folder.agentPath(), 2 * TimeoutMs))
        qWarning("%s", qPrintable(m_run->agent.error()));
    QStringList windows;
    return QTest::qWaitFor([&] { return !(windows = windowsNamed(kMainWindow)).isEmpty(); },
                           TimeoutMs)
               ? windows.last()
               : QString();
}

QRect TestDesktop::minimizeToTray(const QString &window)
{
    QList<QRect> icons;
    if (!QTest::qWaitFor([&] { return isMapped(window); }, TimeoutMs))
        return {};
    x({"xdotool", "windowminimize", window});
    return QTest::qWaitFor([&] { return (icons = trayIcons()).size() == 1; }, TimeoutMs)
               ? icons.first()
               : QRect();
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
    QTRY_COMPARE_WITH_TIMEOUT(wmState(window), state, TimeoutMs);
    QVERIFY(!QTest::qWaitFor(
        [&] { return !trayIcons().isEmpty() || isMapped(window) || wmState(window) != state; },
        SettleMs));
}

void TestDesktop::restoresFromTray_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QStringList>("menuKeys");
    QTest::newRow("left click") << 1 << 1 << QStringList{};
    QTest::newRow("double click") << 1 << 2 << QStringList{};
    QTest::newRow("Open in the menu") << 3 << 1 << QStringList{"Down", "Return"};
}

void TestDesktop::restoresFromTray()
{
    QFETCH(int, button);
    QFETCH(int, clicks);
    QFETCH(QStringList, menuKeys);
    const QString window = startAgent(agentIni(0, 1));
    const QRect icon = minimizeToTray(window);
    QVERIFY(!icon.isNull());
    QVERIFY(!isMapped(window));
    click(icon.center(), button, clicks);
    if (!menuKeys.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(trayMenuOpen(), TimeoutMs);
        keys(menuKeys);
    }
    QTRY_VERIFY_WITH_TIMEOUT(isMapped(window), TimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(wmState(window), QStringLiteral("Normal"), TimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(trayIcons().isEmpty(), TimeoutMs);
}

// A drive arrives while the user types in another program: the confirmation dialog comes up
// on top but leaves the keyboard where it was; the tray keeps working beside it, refuses to
// quit, and a click on the tray icon or on the dialog gives the dialog the focus.
void TestDesktop::dialogLeavesTheFocusAndTheTrayAlone()
{
    const QString label = QStringLiteral("DESKTOPDISK");
    const QString set = m_run->folder.defaultBackupSetsFolder() + QStringLiteral("/Nightly.fwb");
    QVERIFY(writeBytes(set, iniBackupSet(triggersOnLabel(label))));
    MountLab &lab = m_run->lab;
    const QString device = lab.ext4Volume(QStringLiteral("disk"), label);
    const QString folder = lab.makeFolder(QStringLiteral("disk"));
    LAB_STEP(lab, !device.isEmpty() && !folder.isEmpty());
    const QRect icon = minimizeToTray(startAgent(agentIni(0, 1)));
    QVERIFY(!icon.isNull());
    QVERIFY(startProgram(QStringLiteral("xmessage"), {"-name", kTypingWindow, kTypingWindow}));
    QTRY_COMPARE_WITH_TIMEOUT(focusedWindowName(), kTypingWindow, TimeoutMs);
    const QString typing = windowsNamed(u'^' + kTypingWindow + u'$').value(0);

    QVERIFY(lab.mount(device, folder, QStringLiteral("ext4")));
    QTRY_VERIFY_WITH_TIMEOUT(!windowsNamed(u'^' + kConfirmDialog + u'$').isEmpty(), TimeoutMs);
    const QString dialog = windowsNamed(u'^' + kConfirmDialog + u'$').first();
    QTRY_VERIFY_WITH_TIMEOUT(isMapped(dialog), TimeoutMs);
    QVERIFY(!QTest::qWaitFor([&] { return focusedWindowName() != kTypingWindow; }, SettleMs));
    // On top, 50 twips (3 pixels at 96 dpi) from the right edge of the screen, frame and all.
    const QStringList frame =
        x({"xprop", "-id", dialog, "_NET_FRAME_EXTENTS"}).section(u'=', 1).split(u',');
    QCOMPARE(geometry(dialog).right() + frame.value(1).trimmed().toInt(), 1280 - 1 - 3);

    // Quit from the tray menu is refused, and the dialog then has the keyboard.
    click(icon.center(), 3);
    QTRY_VERIFY_WITH_TIMEOUT(trayMenuOpen(), TimeoutMs);
    keys({"Up", "Return"});
    QTRY_COMPARE_WITH_TIMEOUT(focusedWindowName(), kCanNotQuit, TimeoutMs);
    keys({"Return"});
    QTRY_COMPARE_WITH_TIMEOUT(focusedWindowName(), kConfirmDialog, TimeoutMs);

    // Back to the other program; a left click on the tray icon, then one on the dialog's
    // heading (which does nothing), each bring the dialog the focus.
    for (const QPoint &at : {icon.center(), geometry(dialog).topLeft() + QPoint(20, 10)}) {
        click(geometry(typing).center());
        QTRY_COMPARE_WITH_TIMEOUT(focusedWindowName(), kTypingWindow, TimeoutMs);
        click(at);
        QTRY_COMPARE_WITH_TIMEOUT(focusedWindowName(), kConfirmDialog, TimeoutMs);
    }
    // Esc, the user's, cancels the backup: the Agent goes on without starting it.
    keys({"Escape"});
    QTRY_VERIFY_WITH_TIMEOUT(
        m_run->agent.entries().contains(QStringLiteral("User cancelled triggered backups.")),
        TimeoutMs);
    QVERIFY(!QFile::exists(m_run->folder.backupProgramLog()));
    QVERIFY(m_run->agent.isRunning());
}

FWB_TEST_MAIN(QCoreApplication, TestDesktop, cannotRun, enterPrivateMountNamespace)
#include "tst_desktop.moc"
