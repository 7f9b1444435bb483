#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>

class QAction;
class QKeyEvent;
class QMoveEvent;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QTimer;

namespace fwb {

// The small always-on-top dialog that lists the backup sets a new drive has triggered and
// starts the checked ones after a count-down, or once the user confirms. How it was closed
// is left in decision(): BalloonResult and SetsToLaunch.
class frmBALLOON : public QDialog
{
    Q_OBJECT
public:
    // The item data role of an entry that holds the full path of its backup-set file.
    static constexpr int PathRole = Qt::UserRole;

    explicit frmBALLOON(QWidget *parent = nullptr);
    ~frmBALLOON() override;

    // The dialog that is loaded now, or null.
    static frmBALLOON *openDialog();
    // Brings the loaded dialog forward with the focus; nothing when none is loaded.
    static void activateOpenDialog();

    // Places the dialog, marks it open and translates its texts.
    void Form_Load();
    // Lists a set, checked. A path already listed keeps its entry and its check state.
    void AddSet(const QString &path);
    // Shows the count-down row and starts counting.
    void StartCountDown();
    void SetListHeight(int twips);
    // The seconds the count-down shows now.
    int SecondsLeft() const;
    // Shows the dialog and waits until it is unloaded, the Agent's other windows waiting
    // meanwhile. It appears on top; it takes the keyboard from the Agent's own windows only,
    // never from the program the user is typing in.
    int ShowModal();

    void CB_Start_Click();
    void CB_Cancel_Click();
    void CB_More_Click();
    void CB_PauseCount_Click();
    void CM_More_StartAllSets_Click();
    void CM_More_StartAllAndDontAskAgain_Click();
    void CM_More_StartChecked_Click();
    void CM_More_CancelAndStopMonitoring_Click();
    void CM_More_CancelAndShowAgent_Click();
    void CM_More_CancelAndStartFWB_Click();

    // Every way of closing, the close box included, ends here.
    void done(int result) override;

public Q_SLOTS:
    void TR_CountDown_Timer();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    void buildControls();
    void buildMenu();
    void connectControls();
    void describeControls();
    void describePauseButton();
    void placeTopRight();
    void fitToTexts();
    void startSets(bool checkedOnly);
    void closeDialog();
    void Form_Unload();
    void holdOtherWindows();
    void releaseOtherWindows();

    bool m_loaded = false;
    // The frame width the position was computed with; the window manager adds its frame only
    // after the dialog is shown.
    int m_placedFrameWidth = -1;
    // What waits while the dialog is shown: controls of the main window, whole dialogs.
    QList<QPointer<QWidget>> m_held;
    // In twips, as the caller sets it; the list is laid out again whenever a text changes.
    int m_listHeight = 780;
    // The buttons' widths as designed, or as the language pack set them.
    QList<int> m_buttonWidths;

    QLabel *LB_ConnectionDetected = nullptr;
    QListWidget *LV_Sets = nullptr;
    QLabel *LB_CountDown = nullptr;
    QLabel *LB_TimeLeft = nullptr;
    QPushButton *CB_PauseCount = nullptr;
    QPushButton *CB_Cancel = nullptr;
    QPushButton *CB_More = nullptr;
    QPushButton *CB_Start = nullptr;
    QTimer *TR_CountDown = nullptr;
    QMenu *CM_More = nullptr;
    QAction *CM_More_StartAllSets = nullptr;
    QAction *CM_More_StartAllAndDontAskAgain = nullptr;
    QAction *CM_More_StartChecked = nullptr;
    QAction *CM_More_Separator1 = nullptr;
    QAction *CM_More_CancelAndStopMonitoring = nullptr;
    QAction *CM_More_CancelAndShowAgent = nullptr;
    QAction *CM_More_CancelAndStartFWB = nullptr;
};

} // namespace fwb
