#pragma once

#include <QDialog>
#include <QList>
#include <cstdint>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTabBar;

namespace fwb {

class PageFrame;
class TabStrip;

// The settings dialog: how the Agent starts, how triggered backups start, what minimizing
// does, and whether the Agent starts with the session. Shown modally; OK applies and stores
// the choices, Cancel and the close box drop them.
class frmSETTINGS : public QDialog
{
    Q_OBJECT
public:
    explicit frmSETTINGS(QWidget *parent = nullptr);

    // Fills, translates and lays out the dialog from the current settings. Run at every
    // opening, before it is shown.
    void Form_Load();
    void ShowTab(int frameIndex);
    void LayoutSettingsDialog();
    void InitAutoStartCheck();

    void CB_Ok_Click();
    void CB_Cancel_Click();

protected:
    void changeEvent(QEvent *event) override;

private:
    void buildControls();
    PageFrame *buildFrame(int index);
    QList<QRadioButton *> buildOptionArray(PageFrame *frame, const char *name,
                                           const QStringList &captions, QButtonGroup *group);
    void connectControls();
    void showFrame(int index);
    void describeControls();
    void selectStoredModes();
    void showVersion();
    QString versionText() const;

    bool m_loaded = false;
    TabStrip *TS_Settings = nullptr;
    QList<PageFrame *> FR_Tabs;
    QList<QRadioButton *> RB_AgentStartupMode;
    QList<QRadioButton *> RB_BackupStartupMode;
    QList<QRadioButton *> RB_MinimizeMode;
    QButtonGroup *m_agentStartupGroup = nullptr;
    QButtonGroup *m_backupStartupGroup = nullptr;
    QButtonGroup *m_minimizeGroup = nullptr;
    QCheckBox *CH_AutoStartAgent = nullptr;
    QPushButton *CB_Ok = nullptr;
    QPushButton *CB_Cancel = nullptr;
    QLabel *LB_Version = nullptr;
};

} // namespace fwb
