#pragma once

#include "backup/AgentWindow.h"
#include "store/Settings.h"

#include <QWidget>
#include <cstdint>
#include <optional>

class QLabel;
class QMenu;
class QAction;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace fwb {

class TrayIcon;

// The Agent's one permanent window: monitoring state, the monitor log, four buttons and the
// two tray icons. Its load handler is the program's start-up. It is the window the rest of the
// program asks for everything, installed while it lives.
class frmMAIN : public QWidget, public AgentWindow
{
    Q_OBJECT
public:
    explicit frmMAIN(QString programFolder, QWidget *parent = nullptr);
    ~frmMAIN() override;

    // Start-up. False when another instance runs: the program must end at once.
    bool Form_Load();

    bool ActivateMonitoring(); // true when monitoring failed to start
    void DeactivateMonitoring() override;
    void AddLogEntry(const QString &text);
    void StartMainProgram(const QString &reason) override;
    void ConfirmTriggeredBackups(const QStringList &setPaths, const QString &driveLabel) override;
    void ShowAgent() override;
    bool InSight() const override;
    void Flash() override;
    std::uint8_t MonitoringActive() const { return m_monitoringActive; }

    // The monitor log as the program writes it, with CRLF line breaks.
    QString LogText() const;

    void CB_ToggleOnOff_Click();
    void CB_LaunchFWB_Click();
    void CB_Settings_Click();
    void CB_Quit_Click();
    void CM_SysTray_ShowMe_Click();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void connectControls();
    void fitToTexts();
    void followButtonFace();
    void chooseHelpFile();
    void describeControls();
    void replaceLogWithStartupEntry();
    void showNewestLogEntry();
    void applyStartupMode();
    enum class MonitoringState { Active, Failed, Deactivated };
    void showMonitoringState(MonitoringState state);
    void setWindowIconFile(const QString &fileName);
    void onTrayClicked(int button);
    void Form_Resize();
    void Form_Unload();
    void tmrFlashMe_Timer();

    QString m_programFolder;
    std::uint8_t m_monitoringActive = 0;
    std::int16_t m_flashCount = 0;
    // The minimize mode a minimized or hidden start stands for, until the window is first
    // restored: the window manager reports the start's minimize some time after show().
    std::optional<MinimizeTo> m_startupMinimizeMode;

    QLabel *LB_StausHeading = nullptr;
    QLabel *LB_Status = nullptr;
    QLabel *LB_MonitorHeading = nullptr;
    QPlainTextEdit *TX_Log = nullptr;
    QPushButton *CB_ToggleOnOff = nullptr;
    QPushButton *CB_LaunchFWB = nullptr;
    QPushButton *CB_Settings = nullptr;
    QPushButton *CB_Quit = nullptr;
    QTimer *tmrFlashMe = nullptr;
    TrayIcon *ST_Active = nullptr;
    TrayIcon *ST_Deactive = nullptr;
    QMenu *CM_SysTray = nullptr;
    QAction *CM_SysTray_ShowMe = nullptr;
    QAction *CM_SysTray_ToggleActive = nullptr;
    QAction *CM_SysTray_RunFWB = nullptr;
    QAction *CM_SysTray_Quit = nullptr;
};

} // namespace fwb
