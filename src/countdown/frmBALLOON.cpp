#include "countdown/frmBALLOON.h"

#include "backup/AgentWindow.h"
#include "backup/DecisionState.h"
#include "controls/FormControls.h"
#include "controls/Twips.h"
#include "language/LanguagePack.h"
#include "program/SaveSetting.h"
#include "store/Settings.h"
#include "system/Paths.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <utility>

namespace fwb {
namespace {

const QString kPauseSign = QStringLiteral("||");
const QString kResumeSign = QStringLiteral(">");

// The whole number a text starts with, after leading blanks; 0 when it starts with none.
// The count is read back from what the label shows, and a language pack may have put
// anything there.
int leadingWholeNumber(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    qint64 value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = std::min<qint64>(value * 10 + (text[i].unicode() - u'0'),
                                 std::numeric_limits<int>::max());
    return static_cast<int>(negative ? -value : value);
}

void SetTopmost(QWidget *window)
{
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

} // namespace

frmBALLOON::frmBALLOON(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmBALLOON"));
    setWindowTitle(QStringLiteral("FWB Agent - Count Down"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    buildControls();
    buildMenu();
    connectControls();
}

frmBALLOON::~frmBALLOON()
{
    if (m_loaded)
        Form_Unload();
}

frmBALLOON *frmBALLOON::openDialog()
{
    return qobject_cast<frmBALLOON *>(agentWindow().OpenDialog());
}

void frmBALLOON::activateOpenDialog()
{
    frmBALLOON *dialog = openDialog();
    if (!dialog)
        return;
    dialog->setWindowState(dialog->windowState() & ~Qt::WindowMinimized);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void frmBALLOON::buildControls()
{
    setFixedSize(TwipsToPixels(3555), TwipsToPixels(2490));

    LB_ConnectionDetected = MakeLabel(this, "LB_ConnectionDetected",
                                      QStringLiteral("The connection of a new drive has "
                                                     "triggered the start of one or more backup "
                                                     "sets:"));
    LB_ConnectionDetected->setWordWrap(true);
    SetGeometryTwips(LB_ConnectionDetected, 90, 45, 3300, 420);

    LV_Sets = new QListWidget(this);
    LV_Sets->setObjectName(QStringLiteral("LV_Sets"));
    LV_Sets->setSelectionMode(QAbstractItemView::SingleSelection);
    // A long name is elided in the middle (its whole path is the tooltip): the start and the
    // extension tell sets apart better than a scroll bar would.
    LV_Sets->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    LV_Sets->setTextElideMode(Qt::ElideMiddle);
    LV_Sets->setUniformItemSizes(true);
    SetGeometryTwips(LV_Sets, 90, 540, 3300, 780);

    LB_CountDown =
        MakeLabel(this, "LB_CountDown", QStringLiteral("Checked backups will start in:"));
    LB_CountDown->setFont(BoldFont());
    SetGeometryTwips(LB_CountDown, 90, 1710, 2580, 195);
    LB_CountDown->hide();
    LB_TimeLeft = MakeLabel(this, "LB_TimeLeft", QStringLiteral("60"));
    LB_TimeLeft->setFont(BoldFont());
    SetGeometryTwips(LB_TimeLeft, 2745, 1710, 225, 195);
    LB_TimeLeft->hide();
    CB_PauseCount = MakeButton(this, "CB_PauseCount", kPauseSign);
    CB_PauseCount->setFont(BoldFont());
    SetGeometryTwips(CB_PauseCount, 3060, 1665, 375, 285);
    CB_PauseCount->hide();

    CB_Cancel = MakeButton(this, "CB_Cancel", QStringLiteral("&Cancel"));
    SetGeometryTwips(CB_Cancel, 90, 2025, 870, 375);
    CB_More = MakeButton(this, "CB_More", QStringLiteral("&More..."));
    SetGeometryTwips(CB_More, 1035, 2025, 960, 375);
    CB_Start = MakeButton(this, "CB_Start", QStringLiteral("&Start checked"));
    SetGeometryTwips(CB_Start, 2070, 2025, 1365, 375);

    setTabOrder(LV_Sets, CB_PauseCount);
    setTabOrder(CB_PauseCount, CB_Cancel);
    setTabOrder(CB_Cancel, CB_More);
    setTabOrder(CB_More, CB_Start);
    LV_Sets->setFocus();

    TR_CountDown = new QTimer(this);
    TR_CountDown->setObjectName(QStringLiteral("TR_CountDown"));
    TR_CountDown->setInterval(1000);
}

void frmBALLOON::buildMenu()
{
    CM_More = new QMenu(this);
    CM_More->setObjectName(QStringLiteral("CM_More"));
    CM_More_StartAllSets =
        MakeAction(CM_More, "CM_More_StartAllSets", QStringLiteral("Start all backups"));
    CM_More_StartAllAndDontAskAgain =
        MakeAction(CM_More, "CM_More_StartAllAndDontAskAgain",
                   QStringLiteral("Start all backups and never ask again"));
    CM_More_StartChecked =
        MakeAction(CM_More, "CM_More_StartChecked", QStringLiteral("Start checked backups"));
    CM_More_Separator1 = CM_More->addSeparator();
    CM_More_Separator1->setObjectName(QStringLiteral("CM_More_Separator1"));
    CM_More_CancelAndStopMonitoring =
        MakeAction(CM_More, "CM_More_CancelAndStopMonitoring",
                   QStringLiteral("Cancel backups and stop monitoring"));
    CM_More_CancelAndShowAgent = MakeAction(CM_More, "CM_More_CancelAndShowAgent",
                                            QStringLiteral("Cancel backups and show WFB Agent"));
    CM_More_CancelAndStartFWB =
        MakeAction(CM_More, "CM_More_CancelAndStartFWB",
                   QStringLiteral("Cancel backups and start Ferrow Backup"));
}

void frmBALLOON::connectControls()
{
    connect(CB_Start, &QPushButton::clicked, this, &frmBALLOON::CB_Start_Click);
    connect(CB_Cancel, &QPushButton::clicked, this, &frmBALLOON::CB_Cancel_Click);
    connect(CB_More, &QPushButton::clicked, this, &frmBALLOON::CB_More_Click);
    connect(CB_PauseCount, &QPushButton::clicked, this, &frmBALLOON::CB_PauseCount_Click);
    connect(CM_More_StartAllSets, &QAction::triggered, this,
            &frmBALLOON::CM_More_StartAllSets_Click);
    connect(CM_More_StartAllAndDontAskAgain, &QAction::triggered, this,
            &frmBALLOON::CM_More_StartAllAndDontAskAgain_Click);
    connect(CM_More_StartChecked, &QAction::triggered, this,
            &frmBALLOON::CM_More_StartChecked_Click);
    connect(CM_More_CancelAndStopMonitoring, &QAction::triggered, this,
            &frmBALLOON::CM_More_CancelAndStopMonitoring_Click);
    connect(CM_More_CancelAndShowAgent, &QAction::triggered, this,
            &frmBALLOON::CM_More_CancelAndShowAgent_Click);
    connect(CM_More_CancelAndStartFWB, &QAction::triggered, this,
            &frmBALLOON::CM_More_CancelAndStartFWB_Click);
    connect(TR_CountDown, &QTimer::timeout, this, &frmBALLOON::TR_CountDown_Timer);
}

void frmBALLOON::Form_Load()
{
    placeTopRight();
    decision().BalloonResult = BalloonOutcome::Cancel;
    decision().BalloonOpen = true;
    m_loaded = true;
    agentWindow().SetOpenDialog(this);
    SetTopmost(this);
    TranslateForm(this);
    describeControls();
    m_buttonWidths = {CB_Cancel->width(), CB_More->width(), CB_Start->width()};
    fitToTexts();
}

void frmBALLOON::describeControls()
{
    SetAccessibleText(this, QString(),
                      QStringLiteral("The backup sets a new drive has triggered, waiting for "
                                     "your choice"));
    SetAccessibleText(LV_Sets, QStringLiteral("Triggered backup sets"),
                      QStringLiteral("The checked sets start when you choose to start them, or "
                                     "when the count-down ends"));
    // Named by its number, which is what changes; the description says what it counts.
    SetAccessibleText(LB_TimeLeft, QString(),
                      QStringLiteral("Seconds until the checked backups start"));
    describePauseButton();
    SetAccessibleText(CB_Cancel, QString(), QStringLiteral("Starts none of the backup sets"));
    SetAccessibleText(CB_More, QString(), QStringLiteral("More ways to start or cancel"));
    SetAccessibleText(CB_Start, QString(), QStringLiteral("Starts the checked backup sets now"));
}

// Its caption is a sign, which a screen reader would spell out.
void frmBALLOON::describePauseButton()
{
    SetAccessibleText(CB_PauseCount,
                      TR_CountDown->isActive() ? QStringLiteral("Pause the count-down")
                                               : QStringLiteral("Resume the count-down"),
                      QStringLiteral("Stops the count-down, or lets it go on"));
}

void frmBALLOON::placeTopRight()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    m_placedFrameWidth = frameGeometry().width();
    move(area.x() + area.width() - m_placedFrameWidth - TwipsToPixels(50),
         area.y() + TwipsToPixels(380));
}

void frmBALLOON::moveEvent(QMoveEvent *event)
{
    QDialog::moveEvent(event);
    if (m_loaded && isVisible() && frameGeometry().width() != m_placedFrameWidth)
        placeTopRight();
}

int frmBALLOON::ShowModal()
{
    // A user at work in one of the Agent's windows, which must now wait, goes on here; one
    // typing in another program keeps the keyboard.
    const QPointer<QWidget> active = QApplication::activeWindow();
    holdOtherWindows();
    setAttribute(Qt::WA_ShowWithoutActivating, !active);
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    show();
    raise();
    // Ended by unloading, or by a program that quits meanwhile.
    loop.exec(QEventLoop::DialogExec);
    releaseOtherWindows();
    if (active && active->isVisible() && active->isEnabled())
        active->activateWindow();
    return result();
}

// The Agent's other windows wait for the decision, but the tray icons and their menu keep
// working, so Quit can be refused and Open can bring this dialog forward, and the main window's
// close box still ends the Agent. An open dialog (the settings, a message box) waits whole,
// keys and close box included, so that it is still there, unchanged, when this one closes.
void frmBALLOON::holdOtherWindows()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window == this || !window->isEnabled())
            continue;
        if (window->isVisible() && qobject_cast<QDialog *>(window)) {
            window->setEnabled(false);
            window->installEventFilter(this);
            m_held.append(window);
            continue;
        }
        for (QWidget *control : window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (!control->isWindow() && control->isEnabled()) {
                control->setEnabled(false);
                m_held.append(control);
            }
        }
    }
}

void frmBALLOON::releaseOtherWindows()
{
    for (const QPointer<QWidget> &widget : std::exchange(m_held, {})) {
        if (widget) {
            widget->removeEventFilter(this);
            widget->setEnabled(true);
        }
    }
}

// Only the user's close is refused: a program that quits closes every window.
bool frmBALLOON::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Close && event->spontaneous()) {
        event->ignore();
        activateOpenDialog();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// The layout was drawn for one short English text in a small type. Each caption gets the room
// its own font asks for: the heading wraps onto more lines, the count-down caption wraps beside
// the seconds, the buttons widen; what lies below moves down and the dialog grows to match,
// keeping its designed margins. It never becomes smaller than designed.
void frmBALLOON::fitToTexts()
{
    const int gap = TwipsToPixels(75);
    const int left = TwipsToPixels(90);

    int x = left;
    int buttonHeight = TwipsToPixels(375);
    const QList<QPushButton *> buttons{CB_Cancel, CB_More, CB_Start};
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        const QSize needed = ButtonTextSize(buttons[i]);
        buttons[i]->resize(std::max(m_buttonWidths.value(i), needed.width()), buttons[i]->height());
        buttonHeight = std::max(buttonHeight, needed.height());
    }
    for (QPushButton *button : buttons) {
        button->resize(button->width(), buttonHeight);
        button->move(x, button->y());
        x += button->width() + gap;
    }
    const int width = std::max(TwipsToPixels(3555), x - gap + TwipsToPixels(120));
    const int contentWidth = width - left - TwipsToPixels(165);

    LB_ConnectionDetected->setGeometry(left, TwipsToPixels(45), contentWidth, TwipsToPixels(420));
    GrowToText(LB_ConnectionDetected);
    LV_Sets->setGeometry(left, LB_ConnectionDetected->geometry().bottom() + 1 + gap, contentWidth,
                         TwipsToPixels(m_listHeight));
    int below = LV_Sets->geometry().bottom() + 1 + gap;

    if (!LB_CountDown->isHidden()) {
        // The pause button keeps the right edge, the seconds stand just left of it, and the
        // caption takes the rest of the row, on as many lines as it needs.
        const int rowTop = below;
        CB_PauseCount->resize(CB_PauseCount->size()
                                  .expandedTo({TwipsToPixels(375), TwipsToPixels(285)})
                                  .expandedTo(ButtonTextSize(CB_PauseCount)));
        CB_PauseCount->move(left + contentWidth + TwipsToPixels(45) - CB_PauseCount->width(),
                            rowTop);
        LB_TimeLeft->resize(LB_TimeLeft->sizeHint().expandedTo(
            {TwipsToPixels(225), LB_TimeLeft->sizeHint().height()}));
        const int secondsLeft = CB_PauseCount->x() - TwipsToPixels(90) - LB_TimeLeft->width();
        const int room = secondsLeft - gap - left;
        // Measured in its font, not by its size hint, which a wrapping label guesses.
        const int caption = LB_CountDown->fontMetrics().size(0, LB_CountDown->text()).width();
        LB_CountDown->setWordWrap(caption > room);
        LB_CountDown->setGeometry(left, rowTop + TwipsToPixels(45), std::min(caption, room),
                                  TwipsToPixels(195));
        GrowToText(LB_CountDown);
        // The seconds follow the caption's last line.
        LB_TimeLeft->move(secondsLeft,
                          LB_CountDown->geometry().bottom() + 1 - LB_TimeLeft->height());
        const int rowBottom = std::max(CB_PauseCount->geometry().bottom() + 1,
                                       LB_CountDown->geometry().bottom() + 1 + TwipsToPixels(45));
        below = rowBottom + gap;
    }
    for (QPushButton *button : buttons)
        button->move(button->x(), below);
    setFixedSize(width, below + buttonHeight + TwipsToPixels(90));
    if (m_loaded)
        placeTopRight();
}

void frmBALLOON::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::FontChange && m_loaded)
        fitToTexts();
}

void frmBALLOON::AddSet(const QString &path)
{
    for (int row = 0; row < LV_Sets->count(); ++row) {
        if (LV_Sets->item(row)->data(PathRole).toString() == path)
            return;
    }
    auto *item = new QListWidgetItem(GetFileName(path), LV_Sets);
    item->setData(PathRole, path);
    item->setToolTip(path);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
}

void frmBALLOON::StartCountDown()
{
    LB_CountDown->show();
    LB_TimeLeft->show();
    CB_PauseCount->show();
    fitToTexts();
    TR_CountDown->start();
    describePauseButton();
}

int frmBALLOON::SecondsLeft() const
{
    return leadingWholeNumber(LB_TimeLeft->text());
}

void frmBALLOON::SetListHeight(int twips)
{
    m_listHeight = twips;
    fitToTexts();
}

void frmBALLOON::startSets(bool checkedOnly)
{
    QStringList &sets = decision().SetsToLaunch;
    sets.clear();
    for (int row = 0; row < LV_Sets->count(); ++row) {
        const QListWidgetItem *item = LV_Sets->item(row);
        if (!checkedOnly || item->checkState() == Qt::Checked)
            sets.append(item->data(PathRole).toString());
    }
}

void frmBALLOON::CB_Start_Click()
{
    CM_More_StartChecked_Click();
}

void frmBALLOON::CM_More_StartChecked_Click()
{
    startSets(true);
    decision().BalloonResult =
        decision().SetsToLaunch.isEmpty() ? BalloonOutcome::Cancel : BalloonOutcome::Launch;
    closeDialog();
}

void frmBALLOON::CM_More_StartAllSets_Click()
{
    decision().BalloonResult = BalloonOutcome::Launch;
    startSets(false);
    closeDialog();
}

void frmBALLOON::CM_More_StartAllAndDontAskAgain_Click()
{
    SaveSetting(setting::BackupStartupMode, QString::number(int(BackupStartup::Automatic)));
    settings().BackupStartupMode = BackupStartup::Automatic;
    CM_More_StartAllSets_Click();
}

void frmBALLOON::CB_Cancel_Click()
{
    decision().BalloonResult = BalloonOutcome::Cancel;
    closeDialog();
}

void frmBALLOON::CM_More_CancelAndStopMonitoring_Click()
{
    agentWindow().DeactivateMonitoring();
    CB_Cancel_Click();
}

void frmBALLOON::CM_More_CancelAndShowAgent_Click()
{
    decision().BalloonResult = BalloonOutcome::CancelAndShowAgent;
    closeDialog();
}

void frmBALLOON::CM_More_CancelAndStartFWB_Click()
{
    agentWindow().StartMainProgram(QStringLiteral("Ferrow Backup could not be started."));
    closeDialog();
}

void frmBALLOON::CB_More_Click()
{
    CM_More->popup(QCursor::pos());
}

void frmBALLOON::CB_PauseCount_Click()
{
    if (TR_CountDown->isActive()) {
        TR_CountDown->stop();
        CB_PauseCount->setText(kResumeSign);
    } else {
        TR_CountDown->start();
        CB_PauseCount->setText(kPauseSign);
    }
    describePauseButton();
}

void frmBALLOON::TR_CountDown_Timer()
{
    const int secondsLeft = SecondsLeft();
    if (secondsLeft < 1) {
        TR_CountDown->stop();
        CM_More_StartChecked_Click();
        return;
    }
    LB_TimeLeft->setText(QString::number(secondsLeft - 1));
    LB_TimeLeft->resize(LB_TimeLeft->sizeHint().expandedTo(LB_TimeLeft->size()));
}

void frmBALLOON::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Cancel)) {
        CB_Cancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmBALLOON::done(int result)
{
    if (m_loaded)
        Form_Unload();
    QDialog::done(result);
}

// Closing by a command ends the modal display like the close box does, and also unloads a
// dialog that was never shown.
void frmBALLOON::closeDialog()
{
    done(QDialog::Rejected);
}

void frmBALLOON::Form_Unload()
{
    m_loaded = false;
    if (openDialog() == this)
        agentWindow().SetOpenDialog(nullptr);
    TR_CountDown->stop();
    CM_More->hide();
    decision().BalloonOpen = false;
}

} // namespace fwb
