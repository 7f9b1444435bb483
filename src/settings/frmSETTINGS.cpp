#include "settings/frmSETTINGS.h"

#include "controls/Controls.h"
#include "controls/FormControls.h"
#include "controls/Twips.h"
#include "language/LanguagePack.h"
#include "language/Translate.h"
#include "program/SaveSetting.h"
#include "registration/AutoStart.h"
#include "settings/PageFrame.h"
#include "settings/TabStrip.h"
#include "settings/WrappingButton.h"
#include "store/Settings.h"
#include "system/MessageBox.h"

#include <QButtonGroup>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

namespace fwb {
namespace {

// A value with no button of its own selects none; OK then keeps the stored value.
template <typename Mode>
void selectIndex(QButtonGroup *group, const QList<QRadioButton *> &buttons, Mode value)
{
    group->setExclusive(false);
    for (qsizetype i = 0; i < buttons.size(); ++i)
        buttons[i]->setChecked(i == qsizetype(value));
    group->setExclusive(true);
}

template <typename Mode> Mode selectedIndex(const QList<QRadioButton *> &buttons, Mode current)
{
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        if (buttons[i]->isChecked())
            return static_cast<Mode>(i);
    }
    return current;
}

// The page's heading is translated and may wrap, so the first button follows it.
void sizeAndStack(const PageFrame *frame, const QList<QRadioButton *> &buttons)
{
    SetTopTwips(buttons[0], static_cast<float>(frame->contentTopTwips()));
    for (QRadioButton *button : buttons) {
        AutoSizeHeight(button);
        GrowToText(button);
    }
    for (qsizetype i = 1; i < buttons.size(); ++i)
        PlaceBelow(buttons[i - 1], buttons[i], false);
}

template <typename Mode> void storeMode(const Setting &setting, Mode value)
{
    SaveSetting(setting, QString::number(int(value)));
}

} // namespace

frmSETTINGS::frmSETTINGS(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSETTINGS"));
    setWindowTitle(QStringLiteral("FWB Agent - Settings"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    buildControls();
    connectControls();
}

void frmSETTINGS::buildControls()
{
    setFixedSize(TwipsToPixels(5795), TwipsToPixels(3600));

    TS_Settings = new TabStrip(this);
    TS_Settings->setObjectName(QStringLiteral("TS_Settings"));
    SetGeometryTwips(TS_Settings, 180, 225, 5315, 2535);

    for (int index = 0; index < 3; ++index)
        FR_Tabs.append(buildFrame(index));

    m_agentStartupGroup = new QButtonGroup(this);
    RB_AgentStartupMode =
        buildOptionArray(FR_Tabs[0], "RB_AgentStartupMode",
                         {QStringLiteral("Start normally"), QStringLiteral("Start minimized"),
                          QStringLiteral("Start hidden (not shown in the task bar or in system "
                                         "tray)")},
                         m_agentStartupGroup);
    RB_AgentStartupMode[0]->resize(TwipsToPixels(3705), RB_AgentStartupMode[0]->height());
    CH_AutoStartAgent =
        new WrappingCheckBox(QStringLiteral("Start FWB Agent when Windows starts"), FR_Tabs[0]);
    CH_AutoStartAgent->setObjectName(QStringLiteral("CH_AutoStartAgent"));
    SetGeometryTwips(CH_AutoStartAgent, 225, 1310, 4245, 195);

    m_backupStartupGroup = new QButtonGroup(this);
    RB_BackupStartupMode =
        buildOptionArray(FR_Tabs[1], "RB_BackupStartupMode",
                         {QStringLiteral("Start backup automatically"),
                          QStringLiteral("Count down before backup start"),
                          QStringLiteral("Do not run backup until it has been manually confirmed")},
                         m_backupStartupGroup);

    m_minimizeGroup = new QButtonGroup(this);
    RB_MinimizeMode = buildOptionArray(
        FR_Tabs[2], "RB_MinimizeMode",
        {QStringLiteral("Minimize FWB Agent to task bar"),
         QStringLiteral("Minimize FWB Agent to system tray"),
         QStringLiteral("Hide FWB Agent when minimized (do not show in task bar or system "
                        "tray).")},
        m_minimizeGroup);
    RB_MinimizeMode[2]->resize(RB_MinimizeMode[2]->width(), TwipsToPixels(375));

    CB_Cancel = MakeButton(this, "CB_Cancel", QStringLiteral("&Cancel"));
    SetGeometryTwips(CB_Cancel, 2375, 2880, 1500, 420);
    CB_Ok = MakeButton(this, "CB_Ok", QStringLiteral("&Ok"));
    SetGeometryTwips(CB_Ok, 3995, 2880, 1500, 420);
    // OK answers Enter on the options; a focused button takes Enter itself, Cancel included,
    // and shows as the default button while it has the focus.
    CB_Ok->setDefault(true);
    CB_Ok->setAutoDefault(true);
    CB_Cancel->setAutoDefault(true);
    LB_Version = new QLabel(this);
    LB_Version->setObjectName(QStringLiteral("LB_Version"));
    LB_Version->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SetGeometryTwips(LB_Version, 180, 3105, 810, 195);

    QWidget *previous = TS_Settings;
    const QList<QWidget *> order{RB_AgentStartupMode[0],
                                 RB_AgentStartupMode[1],
                                 RB_AgentStartupMode[2],
                                 CH_AutoStartAgent,
                                 RB_BackupStartupMode[0],
                                 RB_BackupStartupMode[1],
                                 RB_BackupStartupMode[2],
                                 RB_MinimizeMode[0],
                                 RB_MinimizeMode[1],
                                 RB_MinimizeMode[2],
                                 CB_Cancel,
                                 CB_Ok};
    for (QWidget *next : order) {
        setTabOrder(previous, next);
        previous = next;
    }
}

PageFrame *frmSETTINGS::buildFrame(int index)
{
    static const char *const captions[] = {"How the FWB Agent should be started",
                                           "How backups should be started",
                                           "FWB Agent window settings"};
    auto *frame = new PageFrame(QString::fromLatin1(captions[index]), this);
    frame->setObjectName(QStringLiteral("FR_Tabs"));
    frame->setProperty("Index", index);
    SetGeometryTwips(frame, 430, 725, 4785, 1610);
    return frame;
}

QList<QRadioButton *> frmSETTINGS::buildOptionArray(PageFrame *frame, const char *name,
                                                    const QStringList &captions,
                                                    QButtonGroup *group)
{
    QList<QRadioButton *> buttons;
    for (int index = 0; index < captions.size(); ++index) {
        auto *button = new WrappingRadioButton(captions[index], frame);
        button->setObjectName(QLatin1String(name));
        button->setProperty("Index", index);
        SetGeometryTwips(button, 225, 50 + index * 315, 4245, 195);
        group->addButton(button, index);
        buttons.append(button);
    }
    return buttons;
}

void frmSETTINGS::connectControls()
{
    connect(TS_Settings, &QTabBar::currentChanged, this, &frmSETTINGS::ShowTab);
    connect(CB_Ok, &QPushButton::clicked, this, &frmSETTINGS::CB_Ok_Click);
    connect(CB_Cancel, &QPushButton::clicked, this, &frmSETTINGS::CB_Cancel_Click);
}

void frmSETTINGS::Form_Load()
{
    {
        // Rebuilding the tabs is not the user choosing one.
        const QSignalBlocker quiet(TS_Settings);
        while (TS_Settings->count() > 0)
            TS_Settings->removeTab(0);
        TS_Settings->addTab(TranslateText(QStringLiteral("&Program startup settings")));
        TS_Settings->addTab(TranslateText(QStringLiteral("&Backups startup settings")));
        TS_Settings->addTab(TranslateText(QStringLiteral("&Window settings")));
        TS_Settings->setCurrentIndex(0);
    }
    TranslateForm(this);
    describeControls();
    LayoutSettingsDialog();
    showFrame(0);
    InitAutoStartCheck();
    selectStoredModes();
    showVersion();
    m_loaded = true;
}

void frmSETTINGS::describeControls()
{
    SetAccessibleText(this, QString(), QStringLiteral("The settings of the Agent"));
    // A choice is described by the question its page asks, as the page's heading shows it.
    for (const QList<QRadioButton *> *choices :
         {&RB_AgentStartupMode, &RB_BackupStartupMode, &RB_MinimizeMode}) {
        for (QRadioButton *choice : *choices) {
            const auto *page = static_cast<const PageFrame *>(choice->parentWidget());
            choice->setAccessibleDescription(page->title());
        }
    }
    SetAccessibleText(CH_AutoStartAgent, QString(),
                      QStringLiteral("Starts the Agent when you log in to the desktop"));
    SetAccessibleText(CB_Ok, QString(), QStringLiteral("Keeps the settings and closes the window"));
    SetAccessibleText(CB_Cancel, QString(),
                      QStringLiteral("Closes the window without changing the settings"));
}

void frmSETTINGS::selectStoredModes()
{
    const AgentSettings &s = settings();
    selectIndex(m_agentStartupGroup, RB_AgentStartupMode, s.AgentStartupMode);
    selectIndex(m_backupStartupGroup, RB_BackupStartupMode, s.BackupStartupMode);
    selectIndex(m_minimizeGroup, RB_MinimizeMode, s.MinimizeMode);
}

// The label was drawn for the short English text; like a label that sizes itself, it widens
// to its text, up to the Cancel button.
void frmSETTINGS::showVersion()
{
    LB_Version->setText(versionText());
    const int room = CB_Cancel->x() - TwipsToPixels(kSmallGap) - LB_Version->x();
    const int needed = std::max(LB_Version->sizeHint().width(),
                                LB_Version->fontMetrics().size(0, LB_Version->text()).width());
    LB_Version->resize(std::max(LB_Version->width(), std::min(needed, room)), LB_Version->height());
    GrowToText(LB_Version);
    AlignBottom(CB_Cancel, LB_Version);
}

QString frmSETTINGS::versionText() const
{
    return QStringLiteral("[") + TranslateText(QStringLiteral("version")) + u' ' +
           QString::number(FWB_VERSION_MAJOR) + u'.' + QString::number(FWB_VERSION_MINOR) + u'.' +
           QString::number(FWB_VERSION_REVISION) + QStringLiteral("]");
}

void frmSETTINGS::showFrame(int index)
{
    PageFrame *frame = FR_Tabs.value(index);
    if (!frame)
        return;
    frame->raise();
    frame->setEnabled(true);
    frame->show();
}

void frmSETTINGS::ShowTab(int frameIndex)
{
    showFrame(frameIndex);
    for (qsizetype j = 0; j < FR_Tabs.size(); ++j) {
        if (j == frameIndex)
            continue;
        FR_Tabs[j]->setEnabled(false);
        FR_Tabs[j]->hide();
    }
}

void frmSETTINGS::LayoutSettingsDialog()
{
    sizeAndStack(FR_Tabs[0], RB_AgentStartupMode);
    PlaceBelow(RB_AgentStartupMode[2], CH_AutoStartAgent, true);
    GrowToText(CH_AutoStartAgent);
    AutoSizeFrameHeight(FR_Tabs[0], CH_AutoStartAgent);
    sizeAndStack(FR_Tabs[1], RB_BackupStartupMode);
    AutoSizeFrameHeight(FR_Tabs[1], RB_BackupStartupMode[2]);
    sizeAndStack(FR_Tabs[2], RB_MinimizeMode);
    AutoSizeFrameHeight(FR_Tabs[2], RB_MinimizeMode[2]);

    // A desktop's larger type makes the tab row taller than the pages' place below it allows.
    const float pagesTop = std::max(
        500.f, static_cast<float>(PixelsToTwips(TS_Settings->sizeHint().height())) + kSmallGap);
    for (PageFrame *frame : FR_Tabs) {
        MoveTwips(frame, LeftTwips(TS_Settings) + 250, TopTwips(TS_Settings) + pagesTop);
        frame->setEnabled(false);
        frame->hide();
    }

    // The buttons keep their size unless their captions need more, and stay alike.
    CB_Ok->resize(TwipsToPixels(1500), TwipsToPixels(420));
    CB_Cancel->resize(CB_Ok->size());
    const QSize buttons =
        CB_Ok->size().expandedTo(ButtonTextSize(CB_Ok)).expandedTo(ButtonTextSize(CB_Cancel));
    CB_Ok->resize(buttons);
    CB_Cancel->resize(buttons);

    // Only the first page sizes the strip; a taller later page is not made room for.
    TS_Settings->resize(TwipsToPixels(RightOf(FR_Tabs[0]) + 100),
                        TwipsToPixels(BottomOf(FR_Tabs[0]) + kSmallGap));
    // Captions too long for the designed width widen the strip, and the dialog with it: each
    // tab must fit beside the scroll buttons, and the version and the two buttons below it.
    const int gap = TwipsToPixels(kSmallGap);
    const int belowStrip = QFontMetrics(LB_Version->font()).size(0, versionText()).width() +
                           2 * gap + 2 * buttons.width();
    TS_Settings->resize(std::max({TS_Settings->width(), TS_Settings->widthForWidestTab(),
                                  LB_Version->x() - TS_Settings->x() + belowStrip}),
                        TS_Settings->height());
    PlaceBelow(TS_Settings, CB_Cancel, false);
    PlaceBelow(TS_Settings, CB_Ok, false);
    AutoSizeWindowHeight(this, CB_Ok);
    setFixedWidth(TwipsToPixels(RightOf(TS_Settings) + 300));
    AlignRight(TS_Settings, CB_Ok);
    MoveTwips(CB_Cancel, LeftTwips(CB_Ok) - WidthTwips(CB_Cancel) - kSmallGap, TopTwips(CB_Cancel));
    AlignBottom(CB_Cancel, LB_Version);
}

void frmSETTINGS::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    // A desktop that changes the type while the dialog is open: laid out again in it, on the
    // page the user is on.
    if (event->type() == QEvent::FontChange && m_loaded) {
        LayoutSettingsDialog();
        showFrame(TS_Settings->currentIndex());
        showVersion();
    }
}

void frmSETTINGS::InitAutoStartCheck()
{
    CH_AutoStartAgent->setChecked(IsAutoStartRegistered());
}

void frmSETTINGS::CB_Ok_Click()
{
    AgentSettings &s = settings();
    s.AgentStartupMode = selectedIndex(RB_AgentStartupMode, s.AgentStartupMode);
    s.BackupStartupMode = selectedIndex(RB_BackupStartupMode, s.BackupStartupMode);
    s.MinimizeMode = selectedIndex(RB_MinimizeMode, s.MinimizeMode);

    const QString title = BoxTitle(QStringLiteral("Auto-start Error"));
    if (CH_AutoStartAgent->isChecked()) {
        if (!IsAutoStartRegistered())
            RegisterAutoStart();
        if (!IsAutoStartRegistered()) {
            ShowMessageBox(
                TranslateText(QStringLiteral("The Agent could not be set up to start with "
                                             "Windows. You will have to add the Agent to the "
                                             "'Startup' folder in the Start Menu manually.")),
                title, BoxIcon::Stop);
        }
    } else {
        if (IsAutoStartRegistered())
            UnregisterAutoStart();
        if (IsAutoStartRegistered()) {
            ShowMessageBox(
                TranslateText(QStringLiteral("The Agent could not be removed from the list of "
                                             "application that are started with Windows. You "
                                             "will have to use the regedit or msconfig tools "
                                             "to remove it manually.")),
                title, BoxIcon::Stop);
        }
    }

    storeMode(setting::AgentStartupMode, s.AgentStartupMode);
    storeMode(setting::BackupStartupMode, s.BackupStartupMode);
    storeMode(setting::MinimizeMode, s.MinimizeMode);
    accept();
}

void frmSETTINGS::CB_Cancel_Click()
{
    reject();
}

} // namespace fwb
