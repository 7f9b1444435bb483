#include "TestSupport.h"
#include "backup/DecisionState.h"
#include "controls/Twips.h"
#include "countdown/ConfirmTriggeredBackups.h"
#include "countdown/frmBALLOON.h"
#include "monitor/NewDriveFound.h"
#include "platform/qt/QtMessageBoxes.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"
#include "store/Settings.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace fwb;
using namespace Qt::StringLiterals;

// The count-down dialog as the arrival of a drive opens it beside a main window, and what each
// way of leaving it starts.
class tst_Balloon : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;
    std::unique_ptr<frmMAIN> m_window;

    template <typename T = QWidget> static T *child(QWidget *parent, const char *name)
    {
        return parent->findChild<T *>(QLatin1String(name));
    }
    QStringList setFiles(const QStringList &names, const QByteArray &triggers = {}) const
    {
        QStringList paths;
        for (const QString &name : names) {
            paths << appPaths().DefaultBackupSetsFolder + u'/' + name + u".fwb"_s;
            test::writeBackupSet(paths.last(), triggers);
        }
        return paths;
    }
    // The sets started (FWB for the program alone), then a word for a missing program and one
    // for each logged cancellation.
    QString outcome() const
    {
        QStringList words;
        for (const auto &start : m_platform->programStarter.started)
            words << QFileInfo(start.arguments.value(0, u"FWB"_s)).baseName();
        const QString log = m_window->LogText();
        if (log.contains(u"Main FW Backup program file not found. Ferrow Backup could not be "
                         u"started."))
            words << u"missing"_s;
        return (words +
                QStringList(log.count(u"User cancelled triggered backups."), u"cancelled"_s))
            .join(u' ');
    }
    // One decision, made by `run`; `whileOpen` runs while the dialog is shown and must close
    // it. A dialog it leaves open is closed, so a fault fails instead of hanging. False when
    // no dialog opened.
    bool decide(const std::function<void()> &run,
                const std::function<void(frmBALLOON &)> &whileOpen)
    {
        QWidget *quit = child(m_window.get(), "CB_Quit");
        bool opened = false;
        QTimer look;
        connect(&look, &QTimer::timeout, this, [&] {
            frmBALLOON *dialog = frmBALLOON::openDialog();
            if (!dialog || std::exchange(opened, true))
                return;
            const auto closeLeftOpen = qScopeGuard([dialog] {
                if (frmBALLOON::openDialog() == dialog) {
                    QTest::qFail("the dialog was left open", __FILE__, __LINE__);
                    dialog->reject();
                }
            });
            // Counting down in mode 1 only, with a list that covers the count-down row
            // otherwise. The titles are the desktop test's, which finds the dialogs by them.
            const bool countDown = settings().BackupStartupMode == BackupStartup::CountDown;
            QCOMPARE(child(dialog, "LV_Sets")->height(), TwipsToPixels(countDown ? 1050 : 1410));
            for (const char *name : {"LB_CountDown", "LB_TimeLeft", "CB_PauseCount"})
                QCOMPARE(child(dialog, name)->isVisible(), countDown);
            QCOMPARE(child<QTimer>(dialog, "TR_CountDown")->isActive(), countDown);
            // Where it stands and that it stays on top are the window manager's to show (the
            // desktop and Wayland tests). The main window's buttons wait; its tray menu does not.
            QVERIFY(!quit->isEnabled() && child(m_window.get(), "CM_SysTray")->isEnabled());
            whileOpen(*dialog);
        });
        look.start(0);
        run();
        if (!quit->isEnabled() || decision().BalloonOpen)
            QTest::qFail("the main window still waits", __FILE__, __LINE__);
        return opened;
    }
    // A drive that two triggers of set x name: x is listed once, checked.
    bool drive()
    {
        return decide([] { NewDriveFound(u"/media/u/"_s); },
                      [](frmBALLOON &dialog) {
                          auto *sets = child<QListWidget>(&dialog, "LV_Sets");
                          QVERIFY(sets->count() == 1 && sets->item(0)->text() == u"x.fwb"_s);
                          child<QPushButton>(&dialog, "CB_Start")->click();
                      });
    }

    // A click as the window system delivers it, which a window that waits for a modal one never
    // gets.
    static void userClick(QWidget *control)
    {
        QWidget *window = control->window();
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                          control->mapTo(window, control->rect().center()));
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<test::ScopedPlatform>();
        test::resetProgramState(m_dir->path());
        test::writeFile(appPaths().FwbExePath, "#!/bin/sh\n");
        test::writeFile(appPaths().AgentIniPath,
                        "; mine\r\n[Options]\r\nGLO_BackupStartupMode=1\r\n");
        settings().BackupSetFolder = appPaths().DefaultBackupSetsFolder + u'/';
        setFiles({"x"}, "a,1,BACKUP;b,0,1A2B-3C4D");
        m_platform->volumeQuery.volumes.insert(u"/media/u/"_s, {"BACKUP", "vfat", "1A2B-3C4D"});
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        m_window->ActivateMonitoring();
    }
    void cleanup()
    {
        m_window->DeactivateMonitoring();
        m_window.reset();
        m_platform.reset();
    }

    // In each backup start-up mode an earlier drive of the same run starts x (twice in mode
    // 0, once per trigger; otherwise after the dialog); then sets a, b and c, checked as
    // `checks` says, are put to the user, who gives one command.
    void commands_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("checks");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char *name, int mode, const char *command, const char *checks,
                            const char *outcome) {
            QTest::newRow(name) << mode << QString::fromLatin1(command)
                                << QString::fromLatin1(checks) << QString::fromLatin1(outcome);
        };
        row("a later drive's b and d join", 1, "later", "100", "a d");
        row("Start, none checked", 2, "CB_Start", "000", "cancelled");
        row("Start checked, from More", 7, "More", "110", "a b");
        row("Start all", 0, "CM_More_StartAllSets", "000", "a b c");
        // The next drive starts x without asking.
        row("and don't ask again", 1, "CM_More_StartAllAndDontAskAgain", "100", "a b c x x");
        row("count-down end", 1, "end", "011", "b c");
        // Enter, the keypad's too, presses the focused button (in every window: this one stands
        // for them); Enter in the list presses none.
        row("Return on Start", 1, "Return CB_Start", "101", "a c");
        row("keypad Enter on Cancel", 7, "Enter CB_Cancel", "011", "cancelled");
        row("Enter in the list, then Esc", 2, "Esc", "111", "cancelled");
        row("close box", 1, "close", "111", "cancelled");
        row("Quit refused", 2, "Quit", "111", "cancelled");
        row("and stop monitoring", 1, "CM_More_CancelAndStopMonitoring", "111", "cancelled");
        row("and start FWB", 1, "CM_More_CancelAndStartFWB", "111", "FWB cancelled");
        row("and start FWB, none there", 2, "no program", "111", "missing cancelled");
        row("and show the Agent", 1, "CM_More_CancelAndShowAgent", "111", "");
    }
    void commands()
    {
        QFETCH(int, mode);
        QFETCH(QString, command);
        QFETCH(QString, checks);
        settings().BackupStartupMode = BackupStartup(mode);
        QCOMPARE(drive(), mode != 0);
        QCOMPARE(m_platform->programStarter.started.size(), mode == 0 ? 2 : 1);
        m_platform->programStarter.started.clear();
        const QString logBefore = m_window->LogText();
        if (command == u"no program")
            QVERIFY(QFile::remove(appPaths().FwbExePath));
        QVERIFY(decide(
            [this] {
                ConfirmTriggeredBackups(setFiles({"a", "b", "c"}));
            },
            [&](frmBALLOON &dialog) {
                auto *sets = child<QListWidget>(&dialog, "LV_Sets");
                for (int row = 0; row < 3; ++row)
                    sets->item(row)->setCheckState(checks[row] == u'1' ? Qt::Checked
                                                                       : Qt::Unchecked);
                if (command == u"later") {
                    // A second dialog would wait for a decision of its own: dismiss it.
                    QTimer::singleShot(0, &dialog, [&dialog] {
                        if (frmBALLOON *second = frmBALLOON::openDialog();
                            second && second != &dialog)
                            second->reject();
                    });
                    ConfirmTriggeredBackups(setFiles({"b", "d"}));
                    child<QPushButton>(&dialog, "CB_Start")->click();
                } else if (command == u"end") {
                    // Once a second from 60, the count kept while paused and read back from what
                    // the label shows; the checked sets start one tick after 0.
                    auto *timer = child<QTimer>(&dialog, "TR_CountDown");
                    auto *pause = child<QPushButton>(&dialog, "CB_PauseCount");
                    auto *left = child<QLabel>(&dialog, "LB_TimeLeft");
                    QVERIFY(timer->interval() == 1000 && left->text() == u"60"_s);
                    const auto tick = [&](int shown) {
                        QMetaObject::invokeMethod(timer, "timeout");
                        QCOMPARE(left->text(), QString::number(shown));
                    };
                    for (int shown = 59; shown >= 42; --shown)
                        tick(shown);
                    pause->click();
                    QVERIFY(pause->text() == u">"_s && !timer->isActive());
                    pause->click();
                    QVERIFY(pause->text() == u"||"_s && timer->isActive() &&
                            left->text() == u"42"_s);
                    left->setText(u"1"_s);
                    tick(0);
                    QMetaObject::invokeMethod(timer, "timeout");
                } else if (command == u"Quit") {
                    // Refused with a box (the focus it leaves is the desktop test's); Open does
                    // not show the main window.
                    child<QAction>(m_window.get(), "CM_SysTray_Quit")->trigger();
                    child<QAction>(m_window.get(), "CM_SysTray_ShowMe")->trigger();
                    QCOMPARE(test::shownBoxes(m_platform->boxes, BoxIcon::Information),
                             QStringList{u"FW Backup Agent - Can Not Quit|Please confirm or cancel "
                                         u"backup launch before quitting FW Backup Agent."_s});
                    dialog.close();
                } else if (command == u"More") {
                    child<QPushButton>(&dialog, "CB_More")->click();
                    QVERIFY(child<QMenu>(&dialog, "CM_More")->isVisible());
                    child<QAction>(&dialog, "CM_More_StartChecked")->trigger();
                } else if (command == u"no program")
                    child<QAction>(&dialog, "CM_More_CancelAndStartFWB")->trigger();
                else if (command.contains(u' '))
                    test::pressByKey(child(&dialog, qPrintable(command.section(u' ', 1))),
                                     command.section(u' ', 0, 0));
                else if (command == u"Esc") {
                    QTest::keyClick(sets, Qt::Key_Return);
                    QTest::keyClick(sets, Qt::Key_Enter, Qt::KeypadModifier);
                    QVERIFY(frmBALLOON::openDialog() == &dialog);
                    QTest::keyClick(sets, Qt::Key_Escape);
                } else if (command == u"close")
                    dialog.close();
                else if (auto *button = child<QPushButton>(&dialog, qPrintable(command)))
                    button->click();
                else
                    child<QAction>(&dialog, qPrintable(command))->trigger();
            }));
        const bool dontAsk = command.endsWith(u"DontAskAgain");
        if (dontAsk)
            QVERIFY(!drive());
        QTEST(outcome(), "outcome");
        const bool showAgent = command.endsWith(u"ShowAgent");
        QCOMPARE(m_window->isVisible(), showAgent);
        QCOMPARE(m_window->LogText() == logBefore, showAgent);
        QCOMPARE(m_window->MonitoringActive() == 1, !command.endsWith(u"StopMonitoring"));
        QCOMPARE(test::readFile(appPaths().AgentIniPath),
                 QByteArray("; mine\r\n[Options]\r\nGLO_BackupStartupMode=") +
                     (dontAsk ? "0" : "1") + "\r\n");
    }

    // A drive that arrives while a message box waits: the count-down dialog takes the user's
    // clicks while the box waits whole, keys included, and then gives it the keyboard back.
    // Over the settings too, which the desktop test shows with a window manager.
    void decidesOverABox()
    {
        settings().BackupStartupMode = BackupStartup::CountDown;
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box && QTest::qWaitForWindowActive(box));
            const auto closeBoxLeftOpen = qScopeGuard([box] { box->reject(); });
            QVERIFY(decide([] { NewDriveFound(u"/media/u/"_s); },
                           [&](frmBALLOON &dialog) {
                               QTest::keyClick(box->windowHandle(), Qt::Key_Escape);
                               QVERIFY(box->isVisible() && !box->isEnabled());
                               auto *pause = child<QPushButton>(&dialog, "CB_PauseCount");
                               userClick(pause);
                               QCOMPARE(pause->text(), u">"_s);
                               userClick(child(&dialog, "CB_Cancel"));
                           }));
            QTRY_COMPARE(QApplication::activeWindow(), box);
            userClick(box->button(QMessageBox::Ok));
            QVERIFY(!box->isVisible());
        });
        QtMessageBoxes().show(u"Held"_s, u"Box"_s, BoxIcon::Stop);
        QCOMPARE(outcome(), u"cancelled"_s);
    }
};

FWB_TEST_MAIN(QApplication, tst_Balloon, fwb::test::runsEverywhere)
#include "tst_balloon.moc"
