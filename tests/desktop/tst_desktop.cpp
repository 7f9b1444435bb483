// The real Agent on a real desktop: an X server with a window manager and a notification
// area, driven by real mouse and keyboard input. Here the window manager's late answers,
// the tray's own windows and the keyboard focus behave as users meet them.

#include "AgentProcess.h"
#include "DesktopSession.h"
#include "MountLab.h"
#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTest>
#include <algorithm>
#include <memory>

using fwb::test::AgentProcess;
using fwb::test::DesktopSession;
using fwb::test::MountLab;
using fwb::test::ProgramFolder;

namespace {

constexpr int StartTimeoutMs = 20'000;
constexpr int ChangeTimeoutMs = 10'000;
// How long a wrong outcome is given to show: the window manager answers within a few event
// loop turns, far less than this.
constexpr int SettleMs = 1'500;

const QString kMainWindow = QStringLiteral("^FW?B? ?(Backup )?Agent$");
const QString kConfirmDialog = QStringLiteral("^FW Backup Agent - Confirm Start-up$");
const QString kCanNotQuit = QStringLiteral("^FW Backup Agent - Can Not Quit$");
const QString kTypingWindow = QStringLiteral("typing here");

QByteArray optionsIni(int agentStartup, int minimize, int backupStartup = 2)
{
    return QStringLiteral("[Options]\r\nGLO_AgentStartupMode=%1\r\nGLO_MinimizeMode=%2\r\n"
                          "GLO_BackupStartupMode=%3\r\n")
        .arg(agentStartup)
        .arg(minimize)
        .arg(backupStartup)
        .toLatin1();
}

// A backup set that a volume labelled `label` triggers.
QByteArray backupSetOnLabel(const QString &label)
{
    const QChar field(2);
    return "[General]\r\nGEN_Version=27\r\n[Settings]\r\nOPT_AutoRunTriggerDrives=" +
           QStringList{QStringLiteral("x"), QStringLiteral("1"), label}.join(field).toUtf8() +
           "\r\n";
}

} // namespace

#define REQUIRE_DESKTOP()                                                                          \
    do {                                                                                           \
        if (!m_desktopProblem.isEmpty())                                                           \
            QSKIP(qPrintable(QStringLiteral("no X desktop here: ") + m_desktopProblem));           \
    } while (false)

class TestDesktop : public QObject
{
    Q_OBJECT

public:
    explicit TestDesktop(QString isolationProblem) : m_isolationProblem(std::move(isolationProblem))
    {}

private Q_SLOTS:
    void init();
    void cleanup();

    void startsWithoutTrayIcon_data();
    void startsWithoutTrayIcon();
    void restoresFromTray_data();
    void restoresFromTray();
    void dialogLeavesTheFocusAndTheTrayAlone();

private:
    // Starts the Agent with the given settings on the desktop and waits for its window.
    void startAgent(const QByteArray &ini);
    QString mainWindow() const;
    QRect onlyTrayIcon() const;
    bool trayMenuOpen() const;
    // Minimizes the main window into the tray and answers the tray icon.
    QRect minimizeToTray();

    QString m_isolationProblem;
    QString m_desktopProblem;
    std::unique_ptr<DesktopSession> m_desktop;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<AgentProcess> m_agent;
};

void TestDesktop::init()
{
    m_desktop = std::make_unique<DesktopSession>();
    m_desktopProblem = m_desktop->start() ? QString() : m_desktop->error();
    m_folder = std::make_unique<ProgramFolder>();
    m_agent = std::make_unique<AgentProcess>();
    QVERIFY2(m_folder->stage(), qPrintable(m_folder->error()));
}

void TestDesktop::cleanup()
{
    m_agent->stop();
    if (QTest::currentTestFailed())
        qInfo("The Agent wrote:\n%s", qPrintable(m_agent->standardError()));
    m_agent.reset();
    m_folder.reset();
    m_desktop.reset();
}

void TestDesktop::startAgent(const QByteArray &ini)
{
    QVERIFY(fwb::test::writeBytes(m_folder->filePath(QStringLiteral("fwbagent.ini")), ini));
    m_agent->setDesktop(m_desktop->environment());
    QVERIFY2(m_agent->start(m_folder->agentPath(), StartTimeoutMs), qPrintable(m_agent->error()));
    // The window exists, mapped or not, once the Agent's toolkit has created it.
    QTRY_VERIFY_WITH_TIMEOUT(!mainWindow().isEmpty(), ChangeTimeoutMs);
}

QString TestDesktop::mainWindow() const
{
    const QStringList windows = m_desktop->windowsNamed(kMainWindow);
    return windows.isEmpty() ? QString() : windows.last();
}

QRect TestDesktop::onlyTrayIcon() const
{
    const QList<QRect> icons = m_desktop->trayIcons();
    return icons.size() == 1 ? icons.first() : QRect();
}

// The menu is a pop-up window of the Agent's own (one the window manager does not frame),
// taller than a tooltip.
bool TestDesktop::trayMenuOpen() const
{
    const QStringList windows =
        m_desktop
            ->tool(QStringLiteral("xdotool"),
                   {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                    QStringLiteral("--classname"), QStringLiteral("^fwbagent$")})
            .split(u'\n', Qt::SkipEmptyParts);
    return std::any_of(windows.cbegin(), windows.cend(), [this](const QString &window) {
        const QString info =
            m_desktop->tool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
        return info.contains(QStringLiteral("Override Redirect State: yes")) &&
               m_desktop->geometry(window).height() > 40;
    });
}

QRect TestDesktop::minimizeToTray()
{
    const QString window = mainWindow();
    m_desktop->minimize(window);
    QRect icon;
    if (!QTest::qWaitFor([&] { return !(icon = onlyTrayIcon()).isNull(); }, ChangeTimeoutMs))
        qWarning("no tray icon after minimizing");
    return icon;
}

void TestDesktop::startsWithoutTrayIcon_data()
{
    QTest::addColumn<int>("startupMode");
    QTest::addColumn<int>("minimizeMode");
    QTest::addColumn<QString>("wmState");

    for (int minimize = 0; minimize <= 2; ++minimize) {
        QTest::addRow("hidden, minimize mode %d", minimize) << 2 << minimize << QString();
        QTest::addRow("minimized, minimize mode %d", minimize)
            << 1 << minimize << QStringLiteral("Iconic");
    }
}

// Started hidden, the window is nowhere; started minimized, it waits on the task bar. Neither
// puts an icon in the tray, whatever minimizing does later.
void TestDesktop::startsWithoutTrayIcon()
{
    QFETCH(int, startupMode);
    QFETCH(int, minimizeMode);
    QFETCH(QString, wmState);
    REQUIRE_DESKTOP();
    startAgent(optionsIni(startupMode, minimizeMode));
    const QString window = mainWindow();
    QTRY_COMPARE_WITH_TIMEOUT(m_desktop->wmState(window), wmState, ChangeTimeoutMs);

    const auto wrong = [&] {
        return !m_desktop->trayIcons().isEmpty() || m_desktop->isMapped(window) ||
               m_desktop->wmState(window) != wmState;
    };
    QVERIFY2(!QTest::qWaitFor(wrong, SettleMs),
             qPrintable(QStringLiteral("tray icons: %1, mapped: %2, state: %3")
                            .arg(m_desktop->trayIcons().size())
                            .arg(m_desktop->isMapped(window))
                            .arg(m_desktop->wmState(window))));
}

void TestDesktop::restoresFromTray_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QStringList>("menuKeys");

    QTest::newRow("left click") << 1 << 1 << QStringList{};
    QTest::newRow("double click") << 1 << 2 << QStringList{};
    QTest::newRow("Open in the menu")
        << 3 << 1 << QStringList{QStringLiteral("Down"), QStringLiteral("Return")};
}

void TestDesktop::restoresFromTray()
{
    QFETCH(int, button);
    QFETCH(int, clicks);
    QFETCH(QStringList, menuKeys);
    REQUIRE_DESKTOP();
    startAgent(optionsIni(0, 1));
    const QString window = mainWindow();
    QTRY_VERIFY_WITH_TIMEOUT(m_desktop->isMapped(window), ChangeTimeoutMs);

    const QRect icon = minimizeToTray();
    QVERIFY(!icon.isNull());
    QVERIFY(!m_desktop->isMapped(window));
    m_desktop->click(icon.center(), button, clicks);
    if (!menuKeys.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(trayMenuOpen(), ChangeTimeoutMs);
        m_desktop->keys(menuKeys);
    }
    QTRY_VERIFY_WITH_TIMEOUT(m_desktop->isMapped(window), ChangeTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_desktop->wmState(window), QStringLiteral("Normal"),
                              ChangeTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(m_desktop->trayIcons().isEmpty(), ChangeTimeoutMs);
}

// A drive arrives while the user types in another program: the confirmation dialog comes up
// on top but leaves the keyboard where it was; the tray keeps working beside it, refuses to
// quit, and a click on the tray icon or on the dialog gives the dialog the focus.
void TestDesktop::dialogLeavesTheFocusAndTheTrayAlone()
{
    REQUIRE_DESKTOP();
    if (!m_isolationProblem.isEmpty())
        QSKIP(qPrintable(m_isolationProblem));
    const QString label = QStringLiteral("DESKTOPDISK");
    QVERIFY(
        fwb::test::writeBytes(m_folder->defaultBackupSetsFolder() + QStringLiteral("/Nightly.fwb"),
                              backupSetOnLabel(label)));
    MountLab lab;
    const QString image = lab.makeImage(QStringLiteral("disk.img"), 8);
    const QString folder = lab.makeFolder(QStringLiteral("disk"));
    if (image.isEmpty() || folder.isEmpty() ||
        !lab.run(QStandardPaths::findExecutable(QStringLiteral("mkfs.ext4")),
                 {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-L"), label, image}))
        QSKIP(qPrintable(QStringLiteral("cannot prepare a volume here: ") + lab.error()));
    const QString device = lab.attach(image);
    if (device.isEmpty())
        QSKIP(qPrintable(QStringLiteral("cannot prepare a volume here: ") + lab.error()));

    startAgent(optionsIni(0, 1));
    const QRect icon = minimizeToTray();
    QVERIFY(!icon.isNull());

    QVERIFY(m_desktop->startClient(QStringLiteral("xmessage"),
                                   {QStringLiteral("-name"), kTypingWindow, kTypingWindow}));
    QTRY_COMPARE_WITH_TIMEOUT(m_desktop->focusedWindowName(), kTypingWindow, ChangeTimeoutMs);

    QVERIFY(lab.mount(device, folder, QStringLiteral("ext4")));
    QTRY_VERIFY_WITH_TIMEOUT(!m_desktop->windowsNamed(kConfirmDialog).isEmpty(), ChangeTimeoutMs);
    const QString dialog = m_desktop->windowsNamed(kConfirmDialog).first();
    QTRY_VERIFY_WITH_TIMEOUT(m_desktop->isMapped(dialog), ChangeTimeoutMs);
    QVERIFY(!QTest::qWaitFor([&] { return m_desktop->focusedWindowName() != kTypingWindow; },
                             SettleMs));
    // On top, 50 twips (3 pixels at 96 dpi) from the right edge of the screen, frame and all.
    QCOMPARE(m_desktop->frameGeometry(dialog).right(), 1280 - 1 - 3);

    // Quit from the tray menu is refused, and the dialog then has the keyboard.
    m_desktop->click(icon.center(), 3);
    QTRY_VERIFY_WITH_TIMEOUT(trayMenuOpen(), ChangeTimeoutMs);
    m_desktop->keys({QStringLiteral("Up"), QStringLiteral("Return")});
    QTRY_VERIFY_WITH_TIMEOUT(!m_desktop->windowsNamed(kCanNotQuit).isEmpty(), ChangeTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_desktop->focusedWindowName(), kCanNotQuit.mid(1).chopped(1),
                              ChangeTimeoutMs);
    m_desktop->keys({QStringLiteral("Return")});
    QTRY_COMPARE_WITH_TIMEOUT(m_desktop->focusedWindowName(), kConfirmDialog.mid(1).chopped(1),
                              ChangeTimeoutMs);
    QVERIFY(m_agent->isRunning());

    // Back to the other program; a left click on the tray icon brings the dialog forward.
    const QStringList typing = m_desktop->windowsNamed(QStringLiteral("^") + kTypingWindow + u'$');
    QVERIFY(!typing.isEmpty());
    m_desktop->click(m_desktop->geometry(typing.first()).center());
    QTRY_COMPARE_WITH_TIMEOUT(m_desktop->focusedWindowName(), kTypingWindow, ChangeTimeoutMs);
    m_desktop->click(icon.center());
    QTRY_COMPARE_WITH_TIMEOUT(m_desktop->focusedWindowName(), kConfirmDialog.mid(1).chopped(1),
                              ChangeTimeoutMs);

    // And a click on the dialog itself (its heading, which does nothing) gives it the focus.
    m_desktop->click(m_desktop->geometry(typing.first()).center());
    QTRY_COMPARE_WITH_TIMEOUT(m_desktop->focusedWindowName(), kTypingWindow, ChangeTimeoutMs);
    m_desktop->click(m_desktop->geometry(dialog).topLeft() + QPoint(20, 10));
    QTRY_COMPARE_WITH_TIMEOUT(m_desktop->focusedWindowName(), kConfirmDialog.mid(1).chopped(1),
                              ChangeTimeoutMs);
    QVERIFY(m_agent->isRunning());
}

int main(int argc, char *argv[])
{
    // Before any thread starts: the Agents started later share this private mount namespace,
    // so the test's volume never reaches the machine.
    const QString isolationProblem = fwb::test::enterPrivateMountNamespace();
    QCoreApplication app(argc, argv);
    TestDesktop test(isolationProblem);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktop.moc"
