#include "shell/frmMAIN.h"

#include "backup/DecisionState.h"
#include "controls/FormControls.h"
#include "controls/Twips.h"
#include "countdown/ConfirmTriggeredBackups.h"
#include "countdown/frmBALLOON.h"
#include "language/LanguagePack.h"
#include "language/Translate.h"
#include "notify/Notify.h"
#include "platform/FileSystem.h"
#include "platform/InstanceGuard.h"
#include "platform/Platform.h"
#include "platform/ProgramStarter.h"
#include "program/SaveSetting.h"
#include "registration/ComponentRegistration.h"
#include "settings/frmSETTINGS.h"
#include "shell/TrayIcon.h"
#include "store/AppPaths.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"
#include "system/MessageBox.h"
#include "system/Paths.h"
#include "system/PendingEvents.h"

#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>

namespace fwb {
namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString toDisplay(const QString &text)
{
    return LogDisplayText(text).replace(kCrLf, QStringLiteral("\n"));
}

// One of the icons built into the program, with all its sizes.
QIcon builtInIcon(const QString &name)
{
    QIcon icon;
    QDirIterator sizes(QStringLiteral(":/icons"), {name + QStringLiteral(".png")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (sizes.hasNext())
        icon.addFile(sizes.next());
    return icon;
}

// A plain top-level widget reaches screen readers as a "filler" inside nothing; the main window
// is the program's frame, as a main window of any other program is.
QAccessibleInterface *mainWindowAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String(frmMAIN::staticMetaObject.className()) && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    return nullptr;
}

} // namespace

frmMAIN::frmMAIN(QString programFolder, QWidget *parent)
    : QWidget(parent), m_programFolder(std::move(programFolder))
{
    SetMonitorLogSink([this](const QString &) { showNewestLogEntry(); });
    InstallAgentWindow(this);
    setObjectName(QStringLiteral("frmMAIN"));
    setWindowTitle(QStringLiteral("FWB Agent"));
    static const bool framed = (QAccessible::installFactory(mainWindowAccessible), true);
    Q_UNUSED(framed)
    // Every dialog and message box of the program shows its icon, not the toolkit's.
    QApplication::setWindowIcon(builtInIcon(QStringLiteral("fwbagent")));
    buildControls();
    connectControls();
}

frmMAIN::~frmMAIN()
{
    // A window destroyed while still subclassed gets its last event, as a real one would.
    if (IsSubclassed(this)) {
        NcDestroyEvent lastEvent;
        QCoreApplication::sendEvent(this, &lastEvent);
    }
    SetMonitorLogSink({});
    InstallAgentWindow(nullptr);
}

void frmMAIN::buildControls()
{
    setFixedSize(TwipsToPixels(6990), TwipsToPixels(2805));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    LB_StausHeading = MakeLabel(this, "LB_StausHeading", QStringLiteral("Status:"), true);
    SetGeometryTwips(LB_StausHeading, 180, 180, 615, 195);
    LB_Status = MakeLabel(
        this, "LB_Status",
        QStringLiteral("FWB Agent is activated and is monitoring the system for new drives..."),
        false);
    LB_Status->setWordWrap(true);
    SetGeometryTwips(LB_Status, 180, 450, 4140, 420);
    LB_MonitorHeading = MakeLabel(this, "LB_MonitorHeading", QStringLiteral("Monitor log:"), true);
    SetGeometryTwips(LB_MonitorHeading, 180, 1035, 1020, 195);

    TX_Log = new QPlainTextEdit(this);
    TX_Log->setObjectName(QStringLiteral("TX_Log"));
    TX_Log->setReadOnly(true);
    TX_Log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    followButtonFace();
    // Entries made before the window existed are kept, and shown.
    const QString logged = MonitorLogText();
    TX_Log->setPlainText(toDisplay(
        logged.isEmpty() ? QStringLiteral("No new drives have been detected.") + kCrLf : logged));
    SetGeometryTwips(TX_Log, 180, 1305, 4155, 1275);

    CB_ToggleOnOff = MakeButton(this, "CB_ToggleOnOff", QStringLiteral("&Deactivate agent"));
    SetGeometryTwips(CB_ToggleOnOff, 4545, 225, 2265, 420);
    CB_LaunchFWB = MakeButton(this, "CB_LaunchFWB", QStringLiteral("Run &Ferrow Backup"));
    SetGeometryTwips(CB_LaunchFWB, 4545, 765, 2265, 420);
    CB_Settings = MakeButton(this, "CB_Settings", QStringLiteral("&Settings"));
    SetGeometryTwips(CB_Settings, 4545, 1305, 2265, 420);
    CB_Quit = MakeButton(this, "CB_Quit", QStringLiteral("&Quit"));
    SetGeometryTwips(CB_Quit, 4545, 2160, 2265, 420);
    setTabOrder(CB_ToggleOnOff, CB_LaunchFWB);
    setTabOrder(CB_LaunchFWB, CB_Settings);
    setTabOrder(CB_Settings, CB_Quit);
    setTabOrder(CB_Quit, TX_Log);

    // At rest the flash timer is off with a 1 ms interval, so starting it flashes at once.
    tmrFlashMe = new QTimer(this);
    tmrFlashMe->setObjectName(QStringLiteral("tmrFlashMe"));
    tmrFlashMe->setInterval(1);

    ST_Active = new TrayIcon(QStringLiteral("ST_Active"), this);
    ST_Active->setTrayicon(builtInIcon(QStringLiteral("fwbagent-active")));
    ST_Active->setTraytip(QStringLiteral("FWB Agent"));
    ST_Deactive = new TrayIcon(QStringLiteral("ST_Deactive"), this);
    ST_Deactive->setTrayicon(builtInIcon(QStringLiteral("fwbagent-inactive")));
    ST_Deactive->setTraytip(QStringLiteral("FWB Agent - Deactivated"));

    CM_SysTray = new QMenu(this);
    CM_SysTray->setObjectName(QStringLiteral("CM_SysTray"));
    QMenu *menu = CM_SysTray;
    CM_SysTray_ShowMe = MakeAction(menu, "CM_SysTray_ShowMe", QStringLiteral("Open"));
    CM_SysTray_ToggleActive = MakeAction(menu, "CM_SysTray_ToggleActive", QString());
    CM_SysTray_RunFWB =
        MakeAction(menu, "CM_SysTray_RunFWB", QStringLiteral("Start Ferrow Backup"));
    CM_SysTray_Quit = MakeAction(menu, "CM_SysTray_Quit", QStringLiteral("Quit"));
}

// The log is set on the button face, in the button face's text colour, of whatever palette
// the desktop gives the window now: copied colours would stay light under a dark theme
// that arrives later while the text turned light.
void frmMAIN::followButtonFace()
{
    if (!TX_Log)
        return;
    QPalette log = palette();
    for (const QPalette::ColorGroup group :
         {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        log.setColor(group, QPalette::Base, log.color(group, QPalette::Button));
        log.setColor(group, QPalette::Text, log.color(group, QPalette::ButtonText));
    }
    TX_Log->setPalette(log);
}

void frmMAIN::connectControls()
{
    connect(CB_ToggleOnOff, &QPushButton::clicked, this, &frmMAIN::CB_ToggleOnOff_Click);
    connect(CB_LaunchFWB, &QPushButton::clicked, this, &frmMAIN::CB_LaunchFWB_Click);
    connect(CB_Settings, &QPushButton::clicked, this, &frmMAIN::CB_Settings_Click);
    connect(CB_Quit, &QPushButton::clicked, this, &frmMAIN::CB_Quit_Click);
    connect(CM_SysTray_ShowMe, &QAction::triggered, this, &frmMAIN::CM_SysTray_ShowMe_Click);
    connect(CM_SysTray_ToggleActive, &QAction::triggered, this, &frmMAIN::CB_ToggleOnOff_Click);
    connect(CM_SysTray_RunFWB, &QAction::triggered, this, &frmMAIN::CB_LaunchFWB_Click);
    connect(CM_SysTray_Quit, &QAction::triggered, this, &frmMAIN::CB_Quit_Click);
    connect(tmrFlashMe, &QTimer::timeout, this, &frmMAIN::tmrFlashMe_Timer);
    // F1 opens the help file chosen at start-up, with whatever the desktop reads it with.
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this, [] {
        if (!appPaths().HelpFilePath.isEmpty())
            platform().programStarter->openWithDesktop(appPaths().HelpFilePath);
    });
    for (TrayIcon *icon : {ST_Active, ST_Deactive}) {
        icon->setMenu(CM_SysTray);
        connect(icon, &TrayIcon::clicked, this, &frmMAIN::onTrayClicked);
        connect(icon, &TrayIcon::doubleClicked, this, &frmMAIN::CM_SysTray_ShowMe_Click);
    }
}

bool frmMAIN::Form_Load()
{
    ComputeAppPaths(m_programFolder);
    const AppPaths &paths = appPaths();

    const InstanceClaim claim = platform().instanceGuard->claim();
    if (claim == InstanceClaim::OtherInstanceRuns) {
        ShowMessageBox(
            TranslateText(QStringLiteral("The Ferrow Backup Agent is already running.")) + kCrLf +
                TranslateText(
                    QStringLiteral("More than one instance of the program is not allowed.")) +
                kCrLf + kCrLf +
                TranslateText(QStringLiteral("This instance of FW Backup Agent will shut down.")),
            BoxTitle(QStringLiteral("Multiple Instances")), BoxIcon::Information);
        return false;
    }

    RemoveStaleSettingsTemporaries();
    if (!FolderExists(paths.DefaultBackupSetsFolder))
        CreateFolder(paths.DefaultBackupSetsFolder);
    LoadSettings();
    chooseHelpFile();

    if (OpenLanguagePack()) {
        TranslateForm(this);
        setWindowTitle(TranslateText(QStringLiteral("FW Backup Agent")));
    }
    describeControls();
    fitToTexts();

    const QString firstRunDone = QStringLiteral("0");
    bool firstRunSaved = true;
    if (settings().FirstRunPending) {
        RegisterComponents();
        firstRunSaved = WriteSetting(setting::FirstRunOfGeneration5, firstRunDone);
    }

    replaceLogWithStartupEntry();
    // Reported only now: the start-up entry replaces whatever the log held before it.
    if (!firstRunSaved)
        ReportUnsavedSetting(setting::FirstRunOfGeneration5, firstRunDone);
    // Not being able to tell whether another copy runs is no reason to refuse to start.
    if (claim == InstanceClaim::Unguarded)
        AddLogEntry(TranslateText(QStringLiteral("Could not make sure that no second copy of FW "
                                                 "Backup Agent is running. Starting anyway.")));
    ActivateMonitoring();
    applyStartupMode();
    return true;
}

void frmMAIN::describeControls()
{
    SetAccessibleText(this, QString(),
                      QStringLiteral("Watches for new drives and starts the backup sets they "
                                     "trigger"));
    SetAccessibleText(LB_Status, QString(),
                      QStringLiteral("Whether the Agent is watching for new drives"));
    SetAccessibleText(TX_Log, QStringLiteral("Monitor log"),
                      QStringLiteral("What the Agent has seen and done, the newest first"));
    SetAccessibleText(CB_ToggleOnOff, QString(),
                      QStringLiteral("Stops or resumes watching for new drives"));
    SetAccessibleText(CB_LaunchFWB, QString(), QStringLiteral("Starts the backup program"));
    SetAccessibleText(CB_Settings, QString(), QStringLiteral("Opens the settings of the Agent"));
    SetAccessibleText(CB_Quit, QString(), QStringLiteral("Ends the Agent"));
}

void frmMAIN::chooseHelpFile()
{
    AppPaths &paths = appPaths();
    const bool swedish = settings().CurrentLanguage.toLower().contains(QLatin1String("swedish"));
    const QString named = paths.AppFolder + QStringLiteral("fwb") +
                          QString::number(FWB_VERSION_MAJOR) + QString::number(FWB_VERSION_MINOR) +
                          (swedish ? QStringLiteral("swe.chm") : QStringLiteral(".chm"));
    if (FileExists(named)) {
        paths.HelpFilePath = named;
        return;
    }
    // Only a plain, visible file can be a help file: not a folder named "x.chm", not ".x.chm".
    const QStringList found =
        platform().fileSystem->listPlainFiles(paths.AppFolder, QStringLiteral("*.chm"));
    paths.HelpFilePath = found.isEmpty() ? QString() : paths.AppFolder + found.first();
}

void frmMAIN::replaceLogWithStartupEntry()
{
    const QString text =
        TranslateText(QStringLiteral("Program start-up. Monitoring the system for new drives "
                                     "matching triggers from backup sets in")) +
        u' ' + RemoveTrailingSlash(settings().BackupSetFolder);
    RestartMonitorLog(text);
    TX_Log->setPlainText(toDisplay(MonitorLogText()));
}

void frmMAIN::applyStartupMode()
{
    // Centred in every mode, so a window started minimized or hidden comes back there too.
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    switch (settings().AgentStartupMode) {
    case AgentStartup::Minimized:
        m_startupMinimizeMode = MinimizeTo::TaskBar;
        setWindowState(Qt::WindowMinimized);
        show();
        break;
    case AgentStartup::Hidden:
        // Never mapped, so the window manager has nothing to report: a show and hide would
        // reach it, and its late minimize would find the stored mode in force.
        m_startupMinimizeMode = MinimizeTo::Hide;
        setWindowState(Qt::WindowMinimized);
        break;
    default:
        show();
        break;
    }
}

bool frmMAIN::ActivateMonitoring()
{
    const bool failed = !(SubclassWindow(this) && RegisterDriveNotify(this));
    m_monitoringActive = failed ? 0 : 1;
    showMonitoringState(failed ? MonitoringState::Failed : MonitoringState::Active);
    return failed;
}

void frmMAIN::DeactivateMonitoring()
{
    DeregisterDriveNotify();
    UnsubclassWindow(this);
    m_monitoringActive = 0;
    showMonitoringState(MonitoringState::Deactivated);
}

// The status text, the toggle's captions, the window icon and, while the window sits in the
// tray, the tray icon.
void frmMAIN::showMonitoringState(MonitoringState state)
{
    const bool active = state == MonitoringState::Active;
    QString status;
    switch (state) {
    case MonitoringState::Active:
        status = QStringLiteral("FW Backup Agent is active and monitoring the system for new "
                                "drives");
        break;
    case MonitoringState::Failed:
        status = QStringLiteral("FW Backup Agent is unable to monitor the system for new "
                                "drives");
        break;
    case MonitoringState::Deactivated:
        status = QStringLiteral("FW Backup Agent is deactive and not "
                                "monitoring the system for new drives");
        break;
    }
    LB_Status->setText(TranslateText(status) + QStringLiteral("..."));
    CB_ToggleOnOff->setText(TranslateText(active ? QStringLiteral("&Deactivate agent")
                                                 : QStringLiteral("&Activate agent")));
    fitToTexts();
    CM_SysTray_ToggleActive->setText(TranslateText(active ? QStringLiteral("Deactivate agent")
                                                          : QStringLiteral("Activate agent")));
    setWindowIconFile(active ? QStringLiteral("active.ico") : QStringLiteral("deactive.ico"));
    TrayIcon *shown = active ? ST_Active : ST_Deactive;
    TrayIcon *replaced = active ? ST_Deactive : ST_Active;
    if (replaced->intray()) {
        replaced->setIntray(false);
        shown->setIntray(true);
    }
}

// A missing or unreadable icon file keeps the icon the window has. The file is read through the
// file system, which takes any folder name and never opens a FIFO; each size it holds is kept.
void frmMAIN::setWindowIconFile(const QString &fileName)
{
    constexpr qint64 kLargestIcon = 4 * 1024 * 1024;
    std::optional<QByteArray> bytes =
        platform().fileSystem->readPlainFile(appPaths().IconsFolder + fileName, kLargestIcon);
    if (!bytes)
        return;
    QBuffer buffer(&*bytes);
    QImageReader reader(&buffer);
    QIcon icon;
    for (int i = 0; i < std::max(reader.imageCount(), 1) && (i == 0 || reader.jumpToImage(i));
         ++i) {
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    if (!icon.availableSizes().isEmpty())
        setWindowIcon(icon);
}

void frmMAIN::AddLogEntry(const QString &text)
{
    fwb::AddLogEntry(text);
}

void frmMAIN::showNewestLogEntry()
{
    // Inserting at the top keeps the cost of an entry independent of the log's length.
    QTextCursor cursor(TX_Log->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(toDisplay(NewestLogEntry()));
}

QString frmMAIN::LogText() const
{
    return TX_Log->toPlainText().replace(u'\n', kCrLf);
}

void frmMAIN::StartMainProgram(const QString &reason)
{
    const QString program = appPaths().FwbExePath;
    if (FileExists(program) && platform().programStarter->startDetached(program, {}))
        return;
    AddLogEntry(TranslateText(QStringLiteral("Main FW Backup program file not found. ") + reason));
}

void frmMAIN::ConfirmTriggeredBackups(const QStringList &setPaths, const QString &driveLabel)
{
    fwb::ConfirmTriggeredBackups(setPaths, driveLabel);
}

void frmMAIN::ShowAgent()
{
    show();
}

bool frmMAIN::InSight() const
{
    return isVisible() && !isMinimized();
}

void frmMAIN::Flash()
{
    if (!tmrFlashMe->isActive())
        tmrFlashMe->start();
}

void frmMAIN::CB_ToggleOnOff_Click()
{
    if (m_monitoringActive == 1)
        DeactivateMonitoring();
    else
        ActivateMonitoring();
}

void frmMAIN::CB_LaunchFWB_Click()
{
    StartMainProgram(QStringLiteral("Program start-up cancelled."));
}

void frmMAIN::CB_Settings_Click()
{
    frmSETTINGS dialog(this);
    // It holds up the main window only. A count-down dialog that opens meanwhile must take the
    // user's input, and makes the settings wait itself; the tray keeps working.
    dialog.setWindowModality(Qt::WindowModal);
    dialog.Form_Load();
    dialog.exec();
}

void frmMAIN::CB_Quit_Click()
{
    if (decision().BalloonOpen) {
        ShowMessageBox(TranslateText(QStringLiteral("Please confirm or cancel backup launch "
                                                    "before quitting FW Backup Agent.")),
                       BoxTitle(QStringLiteral("Can Not Quit")), BoxIcon::Information);
        frmBALLOON::activateOpenDialog();
        return;
    }
    close();
}

void frmMAIN::CM_SysTray_ShowMe_Click()
{
    if (decision().BalloonOpen) {
        frmBALLOON::activateOpenDialog();
        return;
    }
    setWindowState(Qt::WindowNoState);
    show();
    ST_Active->setIntray(false);
    ST_Deactive->setIntray(false);
}

void frmMAIN::onTrayClicked(int button)
{
    if (button == 1)
        CM_SysTray_ShowMe_Click();
    else
        CM_SysTray->popup(QCursor::pos());
}

// The designed layout, in the window's own font and texts: each control keeps its designed
// size unless its text needs more; a taller heading or status moves what lies below it down, a
// wider button widens the button column, and the window keeps its designed margins around
// them. The Quit button stays level with the log's bottom, Settings with its top.
void frmMAIN::fitToTexts()
{
    if (!CB_Quit)
        return;
    const auto tw = [](double twips) {
        return TwipsToPixels(twips);
    };
    const auto bottom = [](const QWidget *w) {
        return w->geometry().bottom() + 1;
    };
    const int left = tw(180);

    QSize buttonSize(tw(2265), tw(420));
    for (QPushButton *button : {CB_ToggleOnOff, CB_LaunchFWB, CB_Settings, CB_Quit})
        buttonSize = buttonSize.expandedTo(ButtonTextSize(button));
    const int columnWidth = tw(4155);

    // A heading wider than the log's column wraps inside it.
    const auto fitHeading = [&](QLabel *heading, int top, int width) {
        const int text = heading->fontMetrics().size(0, heading->text()).width();
        heading->setWordWrap(text > columnWidth);
        heading->setGeometry(left, top, std::clamp(text, width, columnWidth), tw(195));
        GrowToText(heading);
    };
    fitHeading(LB_StausHeading, tw(180), tw(615));
    LB_Status->setGeometry(left, bottom(LB_StausHeading) + tw(75), tw(4140), tw(420));
    GrowToText(LB_Status);
    fitHeading(LB_MonitorHeading, bottom(LB_Status) + tw(165), tw(1020));
    const int logTop = bottom(LB_MonitorHeading) + tw(75);

    const int buttonsLeft = std::max(tw(4545), left + columnWidth + tw(210));
    CB_ToggleOnOff->setGeometry(QRect(QPoint(buttonsLeft, tw(225)), buttonSize));
    CB_LaunchFWB->setGeometry(
        QRect(QPoint(buttonsLeft, bottom(CB_ToggleOnOff) + tw(120)), buttonSize));
    CB_Settings->setGeometry(
        QRect(QPoint(buttonsLeft, std::max(logTop, bottom(CB_LaunchFWB) + tw(120))), buttonSize));
    const int logBottom =
        std::max(logTop + tw(1275), bottom(CB_Settings) + tw(435) + buttonSize.height());
    TX_Log->setGeometry(left, logTop, columnWidth, logBottom - logTop);
    CB_Quit->setGeometry(QRect(QPoint(buttonsLeft, logBottom - buttonSize.height()), buttonSize));
    setFixedSize(buttonsLeft + buttonSize.width() + tw(180), logBottom + tw(225));
}

void frmMAIN::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitToTexts();
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        followButtonFace();
    // Some window managers (GNOME's) report a window the Agent hid in the tray as no longer
    // minimized; that is no restore by the user, who cannot reach a hidden window.
    if (event->type() == QEvent::WindowStateChange && !(event->spontaneous() && isHidden()))
        Form_Resize();
}

void frmMAIN::Form_Resize()
{
    // The state change comes before the window manager is done with it: what it still has to
    // say runs first, so that the state read below is the one the window ends in.
    LetPendingEventsRun();
    if (windowState() & Qt::WindowMinimized) {
        switch (m_startupMinimizeMode.value_or(settings().MinimizeMode)) {
        case MinimizeTo::Tray:
            // Without a notification area the window stays on the task bar: hidden with no
            // icon to bring it back, it would be lost.
            if (!TrayIcon::isAvailable())
                break;
            hide();
            ST_Active->setIntray(m_monitoringActive == 1);
            ST_Deactive->setIntray(m_monitoringActive != 1);
            break;
        case MinimizeTo::Hide:
            hide();
            break;
        default:
            break;
        }
        return;
    }
    m_startupMinimizeMode.reset();
    show();
    ST_Active->setIntray(false);
    ST_Deactive->setIntray(false);
}

void frmMAIN::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void frmMAIN::Form_Unload()
{
    DeactivateMonitoring();
    ST_Active->setIntray(false);
    ST_Deactive->setIntray(false);
    QCoreApplication::quit();
}

void frmMAIN::tmrFlashMe_Timer()
{
    if (m_flashCount == 0)
        tmrFlashMe->setInterval(200);
    ++m_flashCount;
    QApplication::alert(this);
    if (m_flashCount == 6) {
        m_flashCount = 0;
        tmrFlashMe->setInterval(1);
        tmrFlashMe->stop();
    }
}

} // namespace fwb
