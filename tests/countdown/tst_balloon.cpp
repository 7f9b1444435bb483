#include "TestSupport.h"
#include "countdown/ConfirmTriggeredBackups.h"
#include "countdown/DecisionState.h"
#include "countdown/frmBALLOON.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"
#include "store/Settings.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace fwb;

// The count-down dialog as the arrival of a drive opens it beside a main window, and what each
// way of leaving it starts.
class tst_Balloon : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;
    std::unique_ptr<frmMAIN> m_window;

    QStringList setFiles(const QStringList &names) const
    {
        QStringList paths;
        for (const QString &name : names) {
            paths << appPaths().DefaultBackupSetsFolder + u'/' + name + QStringLiteral(".fwb");
            test::writeFile(paths.last(), "[General]\r\n");
        }
        return paths;
    }
    // The sets started (FWB for the program alone), then a word for each logged cancellation.
    QString outcome() const
    {
        QStringList words;
        for (const auto &start : m_platform->programStarter.started)
            words << QFileInfo(start.arguments.value(0, QStringLiteral("FWB"))).baseName();
        const int cancelled = m_window->LogText().count(u"User cancelled triggered backups.");
        return (words + QStringList(cancelled, QStringLiteral("cancelled"))).join(u' ');
    }
    // One decision; `whileOpen` runs while the dialog is shown and must close it. A dialog it
    // leaves open is closed, so a fault fails instead of hanging.
    void decide(const QStringList &paths, const std::function<void(frmBALLOON &)> &whileOpen)
    {
        QWidget *quit = m_window->findChild<QWidget *>(QStringLiteral("CB_Quit"));
        bool ran = false;
        QTimer::singleShot(0, this, [&] {
            ran = true;
            frmBALLOON *dialog = frmBALLOON::openDialog();
            QVERIFY(dialog);
            const auto closeLeftOpen = qScopeGuard([dialog] {
                if (frmBALLOON::openDialog() == dialog) {
                    QTest::qFail("the dialog was left open", __FILE__, __LINE__);
                    dialog->reject();
                }
            });
            // The main window's buttons wait; its tray menu does not.
            QVERIFY(!quit->isEnabled());
            QVERIFY(m_window->findChild<QWidget *>(QStringLiteral("CM_SysTray"))->isEnabled());
            whileOpen(*dialog);
        });
        ConfirmTriggeredBackups(paths);
        QVERIFY(ran && quit->isEnabled() && !decision().BalloonOpen);
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<test::ScopedPlatform>();
        test::resetProgramState(m_dir->path());
        test::writeFile(appPaths().FwbExePath, "#!/bin/sh\n");
        QFile::setPermissions(appPaths().FwbExePath, QFile::ReadUser | QFile::ExeUser);
        test::writeFile(appPaths().AgentIniPath,
                        "; mine\r\n[Options]\r\nGLO_BackupStartupMode=1\r\n");
        settings().BackupStartupMode = 1;
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        m_window->ActivateMonitoring();
    }
    void cleanup()
    {
        m_window->DeactivateMonitoring();
        m_window.reset();
        m_platform.reset();
    }

    // Sets a, b and c, checked as `checks` says, then one command.
    void commands_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("checks");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const char *name, const char *command, const char *checks,
                            const char *outcome) {
            QTest::newRow(name) << QString::fromLatin1(command) << QString::fromLatin1(checks)
                                << QString::fromLatin1(outcome);
        };
        row("Start", "CB_Start", "101", "a c");
        row("a later drive's b and d join", "later", "100", "a d");
        row("Start, none checked", "CB_Start", "000", "cancelled");
        row("Start all", "CM_More_StartAllSets", "000", "a b c");
        row("and don't ask again", "CM_More_StartAllAndDontAskAgain", "100", "a b c");
        row("count-down end", "end", "011", "b c");
        row("Cancel", "CB_Cancel", "111", "cancelled");
        row("Esc", "Esc", "111", "cancelled");
        row("close box", "close", "111", "cancelled");
        row("and stop monitoring", "CM_More_CancelAndStopMonitoring", "111", "cancelled");
        row("and start FWB", "CM_More_CancelAndStartFWB", "111", "FWB cancelled");
        row("and show the Agent", "CM_More_CancelAndShowAgent", "111", "");
    }
    void commands()
    {
        QFETCH(QString, command);
        QFETCH(QString, checks);
        decide(setFiles({"a", "b", "c"}), [&](frmBALLOON &dialog) {
            auto *sets = dialog.findChild<QListWidget *>(QStringLiteral("LV_Sets"));
            for (int row = 0; row < 3; ++row)
                sets->item(row)->setCheckState(checks[row] == u'1' ? Qt::Checked : Qt::Unchecked);
            if (command == QLatin1String("later")) {
                // A second dialog would wait for its own decision: dismiss it, so the fault shows.
                QTimer::singleShot(0, &dialog, [&dialog] {
                    if (frmBALLOON *second = frmBALLOON::openDialog(); second && second != &dialog)
                        second->reject();
                });
                ConfirmTriggeredBackups(setFiles({"b", "d"}));
                dialog.findChild<QPushButton *>(QStringLiteral("CB_Start"))->click();
            } else if (command == QLatin1String("end")) {
                // Counts down from 60 while not paused, and decides one tick after 0.
                QCOMPARE(dialog.windowTitle(), QStringLiteral("FW Backup Agent - Count Down"));
                auto *pause = dialog.findChild<QPushButton *>(QStringLiteral("CB_PauseCount"));
                pause->click();
                QVERIFY(pause->text() == QStringLiteral(">") &&
                        !dialog.findChild<QTimer *>()->isActive());
                pause->click();
                QVERIFY(pause->text() == QStringLiteral("||") &&
                        dialog.findChild<QTimer *>()->isActive());
                for (int left = 59; left >= 0; --left) {
                    dialog.TR_CountDown_Timer();
                    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("LB_TimeLeft"))->text(),
                             QString::number(left));
                }
                dialog.TR_CountDown_Timer();
            } else if (command == QLatin1String("Esc"))
                QTest::keyClick(sets, Qt::Key_Escape);
            else if (command == QLatin1String("close"))
                dialog.close();
            else if (auto *button = dialog.findChild<QPushButton *>(command))
                button->click();
            else
                dialog.findChild<QAction *>(command)->trigger();
        });
        QTEST(outcome(), "outcome");
        QCOMPARE(m_window->isVisible(), command.endsWith(QLatin1String("ShowAgent")));
        QCOMPARE(m_window->MonitoringActive() == 1,
                 !command.endsWith(QLatin1String("StopMonitoring")));
        const bool dontAsk = command.endsWith(QLatin1String("DontAskAgain"));
        QCOMPARE(test::readFile(appPaths().AgentIniPath),
                 QByteArray("; mine\r\n[Options]\r\nGLO_BackupStartupMode=") +
                     (dontAsk ? "0" : "1") + "\r\n");
    }
};

QTEST_MAIN(tst_Balloon)
#include "tst_balloon.moc"
