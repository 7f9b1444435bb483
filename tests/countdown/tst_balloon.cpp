#include "TestSupport.h"
#include "controls/Twips.h"
#include "countdown/ConfirmTriggeredBackups.h"
#include "countdown/DecisionState.h"
#include "countdown/frmBALLOON.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"
#include "store/Settings.h"
#include "system/Paths.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace fwb;

namespace {

const QString kCancelled = QStringLiteral("User cancelled triggered backups.");

template <typename T> T *child(QObject &form, const char *name)
{
    T *found = form.findChild<T *>(QLatin1String(name));
    if (!found)
        qWarning("no control %s", name);
    return found;
}

QListWidget *sets(QObject &form)
{
    return child<QListWidget>(form, "LV_Sets");
}

QStringList keys(QObject &form)
{
    QStringList result;
    for (int row = 0; row < sets(form)->count(); ++row)
        result << sets(form)->item(row)->data(frmBALLOON::PathRole).toString();
    return result;
}

QList<bool> checks(QObject &form)
{
    QList<bool> result;
    for (int row = 0; row < sets(form)->count(); ++row)
        result << (sets(form)->item(row)->checkState() == Qt::Checked);
    return result;
}

void setChecks(QObject &form, const QList<bool> &checked)
{
    for (int row = 0; row < checked.size(); ++row)
        sets(form)->item(row)->setCheckState(checked[row] ? Qt::Checked : Qt::Unchecked);
}

void tick(frmBALLOON &dialog, int times)
{
    for (int i = 0; i < times; ++i)
        dialog.TR_CountDown_Timer();
}

// Runs the command a test row names: a button, a menu entry, Esc, the close box or the end
// of the count-down.
void perform(frmBALLOON &dialog, const QString &command)
{
    if (command == QLatin1String("count-down end")) {
        tick(dialog, 61);
    } else if (command == QLatin1String("Esc")) {
        dialog.show();
        QTest::keyClick(sets(dialog), Qt::Key_Escape);
    } else if (command == QLatin1String("close box")) {
        dialog.show();
        dialog.close();
    } else if (command.startsWith(QLatin1String("CB_"))) {
        child<QPushButton>(dialog, command.toLatin1().constData())->click();
    } else {
        child<QAction>(dialog, command.toLatin1().constData())->trigger();
    }
}

} // namespace

class tst_Balloon : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;
    std::unique_ptr<frmMAIN> m_window;

    QString setFile(const QString &name) const
    {
        const QString path = appPaths().DefaultBackupSetsFolder + u'/' + name;
        if (!QFile::exists(path))
            test::writeFile(path, "[General]\r\n");
        return path;
    }
    int cancellationEntries() const { return m_window->LogText().count(kCancelled); }

    // One start-up decision; `whileOpen` runs on the dialog while it is shown modally and
    // must close it. A dialog it leaves open is closed, so a fault fails instead of hanging.
    void decide(const QStringList &paths, const std::function<void(frmBALLOON &)> &whileOpen)
    {
        bool ran = false;
        QTimer::singleShot(0, this, [&] {
            ran = true;
            frmBALLOON *dialog = frmBALLOON::openDialog();
            QVERIFY(dialog);
            const auto closeLeftOpen = qScopeGuard([dialog] {
                if (frmBALLOON::openDialog() != dialog)
                    return;
                if (!QTest::currentTestFailed())
                    QTest::qFail("the dialog was left open", __FILE__, __LINE__);
                dialog->reject();
            });
            // The main window's buttons wait; its tray menu does not.
            QVERIFY(!m_window->findChild<QWidget *>(QStringLiteral("CB_Quit"))->isEnabled());
            QVERIFY(m_window->findChild<QWidget *>(QStringLiteral("CM_SysTray"))->isEnabled());
            QVERIFY(decision().BalloonOpen);
            whileOpen(*dialog);
        });
        ConfirmTriggeredBackups(paths);
        QVERIFY(ran);
        QVERIFY(!decision().BalloonOpen);
        QCOMPARE(frmBALLOON::openDialog(), nullptr);
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_platform = std::make_unique<test::ScopedPlatform>();
        test::resetProgramState(m_dir->path());
        test::writeFile(appPaths().FwbExePath, "#!/bin/sh\nexit 0\n");
        QFile::setPermissions(appPaths().FwbExePath,
                              QFile::permissions(appPaths().FwbExePath) | QFile::ExeUser);
        m_window = std::make_unique<frmMAIN>(m_dir->path());
    }
    void cleanup()
    {
        m_window.reset();
        m_platform.reset();
        m_dir.reset();
    }

    // A longer caption, as a language pack brings, still ends before the seconds.
    void countDownCaptionKeepsClearOfTheSeconds()
    {
        frmBALLOON dialog;
        auto *countDown = child<QLabel>(dialog, "LB_CountDown");
        auto *timeLeft = child<QLabel>(dialog, "LB_TimeLeft");
        countDown->setText(QStringLiteral("Die markierten Sicherungen werden gestartet in:"));
        dialog.Form_Load();
        QVERIFY(countDown->geometry().right() < timeLeft->x());
        QCOMPARE(countDown->height(), countDown->sizeHint().height());
        QVERIFY(countDown->font().bold());
    }

    void commands_data()
    {
        const QString a = QStringLiteral("/media/x/Backup sets/a.fwb");
        const QString b = QStringLiteral("/media/x/Backup sets/b.fwb");
        const QString c = QStringLiteral("C:\\Backups\\c.fwb");
        const QStringList stale{QStringLiteral("stale")};
        QTest::addColumn<QString>("command");
        QTest::addColumn<QList<bool>>("checked");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("launch");
        const QList<bool> some{true, false, true};
        const QList<bool> none{false, false, false};
        QTest::newRow("CB_Start") << "CB_Start" << some << 2 << QStringList{a, c};
        QTest::newRow("CM_More_StartChecked")
            << "CM_More_StartChecked" << some << 2 << QStringList{a, c};
        QTest::newRow("CM_More_StartAllSets")
            << "CM_More_StartAllSets" << none << 2 << QStringList{a, b, c};
        QTest::newRow("CM_More_StartAllAndDontAskAgain")
            << "CM_More_StartAllAndDontAskAgain" << some << 2 << QStringList{a, b, c};
        QTest::newRow("CB_Cancel") << "CB_Cancel" << some << 0 << stale;
        QTest::newRow("CM_More_CancelAndShowAgent")
            << "CM_More_CancelAndShowAgent" << some << 1 << stale;
        // These two leave the result as they find it.
        QTest::newRow("CM_More_CancelAndStartFWB")
            << "CM_More_CancelAndStartFWB" << some << 7 << stale;
        QTest::newRow("close box") << "close box" << some << 7 << stale;
    }
    void commands()
    {
        QFETCH(QString, command);
        QFETCH(QList<bool>, checked);
        QFETCH(int, result);
        QFETCH(QStringList, launch);
        QFile::remove(appPaths().FwbExePath); // nothing really starts
        frmBALLOON dialog;
        dialog.Form_Load();
        for (const char *path :
             {"/media/x/Backup sets/a.fwb", "/media/x/Backup sets/b.fwb", "C:\\Backups\\c.fwb"})
            dialog.AddSet(QString::fromLatin1(path));
        setChecks(dialog, checked);
        decision().BalloonResult = 7;
        decision().SetsToLaunch = {QStringLiteral("stale")};

        perform(dialog, command);

        QCOMPARE(decision().BalloonResult, result);
        QCOMPARE(decision().SetsToLaunch, launch);
        QVERIFY(!decision().BalloonOpen);
        QCOMPARE(frmBALLOON::openDialog(), nullptr);
        QVERIFY(!dialog.isVisible());
    }

    void neverAskAgainKeepsTheRestOfTheFile()
    {
        test::writeFile(appPaths().AgentIniPath,
                        "; agent\r\n[Options]\r\nGLO_AgentStartupMode=1\r\n"
                        "GLO_BackupStartupMode=1\r\n");
        settings().BackupStartupMode = 1;
        frmBALLOON dialog;
        dialog.Form_Load();
        dialog.AddSet(setFile(QStringLiteral("a.fwb")));
        dialog.CM_More_StartAllAndDontAskAgain_Click();
        QCOMPARE(test::readFile(appPaths().AgentIniPath),
                 QByteArray("; agent\r\n[Options]\r\nGLO_AgentStartupMode=1\r\n"
                            "GLO_BackupStartupMode=0\r\n"));
        QCOMPARE(settings().BackupStartupMode, std::uint8_t(0));
    }

    void pauseAndResume()
    {
        frmBALLOON dialog;
        dialog.Form_Load();
        dialog.StartCountDown();
        auto *timer = child<QTimer>(dialog, "TR_CountDown");
        auto *pause = child<QPushButton>(dialog, "CB_PauseCount");
        auto *timeLeft = child<QLabel>(dialog, "LB_TimeLeft");
        QVERIFY(timer->isActive());
        tick(dialog, 18);
        QCOMPARE(timeLeft->text(), QStringLiteral("42"));

        pause->click();
        QVERIFY(!timer->isActive());
        QCOMPARE(pause->text(), QStringLiteral(">"));
        pause->click();
        QVERIFY(timer->isActive());
        QCOMPARE(pause->text(), QStringLiteral("||"));
        tick(dialog, 1);
        QCOMPARE(timeLeft->text(), QStringLiteral("41"));
    }

    void countDownStartsCheckedSetsAfterZero()
    {
        settings().BackupStartupMode = 1;
        const QString a = setFile(QStringLiteral("Daily set.fwb"));
        const QString b = setFile(QStringLiteral("weekly.fwb"));
        decide({a, b}, [&](frmBALLOON &dialog) {
            QCOMPARE(dialog.windowTitle(), QStringLiteral("FW Backup Agent - Count Down"));
            QCOMPARE(keys(dialog), (QStringList{a, b}));
            QCOMPARE(checks(dialog), (QList<bool>{true, true}));
            QCOMPARE(sets(dialog)->item(0)->text(), GetFileName(a));
            QVERIFY(sets(dialog)->item(0)->icon().isNull());
            for (const char *name : {"LB_CountDown", "LB_TimeLeft", "CB_PauseCount"})
                QVERIFY2(child<QWidget>(dialog, name)->isVisible(), name);
            QVERIFY(child<QTimer>(dialog, "TR_CountDown")->isActive());
            QCOMPARE(sets(dialog)->height(), TwipsToPixels(1050));

            setChecks(dialog, {false, true});
            tick(dialog, 60);
            QCOMPARE(child<QLabel>(dialog, "LB_TimeLeft")->text(), QStringLiteral("0"));
            QVERIFY(frmBALLOON::openDialog());
            tick(dialog, 1);
        });
        QCOMPARE(m_platform->programStarter.started.size(), 1);
        QCOMPARE(m_platform->programStarter.started[0].program, appPaths().FwbExePath);
        QCOMPARE(m_platform->programStarter.started[0].arguments, QStringList{b});
        QVERIFY(m_window->LogText().contains(QStringLiteral("Launching backup set: ") + b));
        QCOMPARE(cancellationEntries(), 0);
    }

    void confirmationWaitsForTheUser_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("manual") << 2;
        QTest::newRow("unexpected value") << 7;
    }
    void confirmationWaitsForTheUser()
    {
        QFETCH(int, mode);
        settings().BackupStartupMode = std::uint8_t(mode);
        decide({setFile(QStringLiteral("a.fwb"))}, [&](frmBALLOON &dialog) {
            QCOMPARE(dialog.windowTitle(), QStringLiteral("FW Backup Agent - Confirm Start-up"));
            for (const char *name : {"LB_CountDown", "LB_TimeLeft", "CB_PauseCount"})
                QVERIFY2(!child<QWidget>(dialog, name)->isVisible(), name);
            QVERIFY(!child<QTimer>(dialog, "TR_CountDown")->isActive());
            QCOMPARE(sets(dialog)->height(), TwipsToPixels(1410));
            dialog.CB_Cancel_Click();
        });
        QVERIFY(m_platform->programStarter.started.isEmpty());
        QCOMPARE(cancellationEntries(), 1);
    }

    // Every way of leaving without starting logs one cancellation and starts nothing.
    void cancellations_data()
    {
        QTest::addColumn<QString>("command");
        for (const char *command :
             {"close box", "Esc", "CB_Cancel", "CM_More_CancelAndStopMonitoring",
              "CM_More_CancelAndStartFWB", "CB_Start", "count-down end"})
            QTest::newRow(command) << QString::fromLatin1(command);
    }
    void cancellations()
    {
        QFETCH(QString, command);
        settings().BackupStartupMode = 1;
        QFile::remove(appPaths().FwbExePath);
        decide({setFile(QStringLiteral("a.fwb"))}, [&](frmBALLOON &dialog) {
            setChecks(dialog, {false});
            perform(dialog, command);
        });
        QVERIFY(m_platform->programStarter.started.isEmpty());
        QCOMPARE(cancellationEntries(), 1);
        const bool startFwb = command == QLatin1String("CM_More_CancelAndStartFWB");
        QCOMPARE(m_window->LogText().contains(
                     QStringLiteral("Main FW Backup program file not found. Ferrow Backup could "
                                    "not be started.")),
                 startFwb);
    }

    void showAgentShowsTheMainWindowOnly()
    {
        QVERIFY(!m_window->isVisible());
        const QString logBefore = m_window->LogText();
        decide({setFile(QStringLiteral("a.fwb"))},
               [&](frmBALLOON &dialog) { dialog.CM_More_CancelAndShowAgent_Click(); });
        QVERIFY(m_window->isVisible());
        QCOMPARE(m_window->LogText(), logBefore);
        QVERIFY(m_platform->programStarter.started.isEmpty());
    }

    void repeatedAndLaterSetsJoinOneDialog()
    {
        settings().BackupStartupMode = 1;
        const QString a = setFile(QStringLiteral("a.fwb"));
        const QString b = setFile(QStringLiteral("b.fwb"));
        const QString c = setFile(QStringLiteral("c.fwb"));
        decide({a, b, a}, [&](frmBALLOON &dialog) {
            QCOMPARE(keys(dialog), (QStringList{a, b}));
            setChecks(dialog, {true, false});
            const QString logBefore = m_window->LogText();

            // A second dialog here would block; close it so the fault shows as a failure.
            bool secondDialog = false;
            QTimer::singleShot(0, this, [&] {
                if (frmBALLOON::openDialog() != &dialog) {
                    secondDialog = true;
                    frmBALLOON::openDialog()->close();
                }
            });
            ConfirmTriggeredBackups({b, c, c, a});
            QVERIFY(!secondDialog);
            QVERIFY(decision().BalloonOpen);
            QCOMPARE(keys(dialog), (QStringList{a, b, c}));
            QCOMPARE(checks(dialog), (QList<bool>{true, false, true}));
            QCOMPARE(m_window->LogText(), logBefore);
            QCoreApplication::processEvents();
            dialog.CB_Cancel_Click();
        });
        QCOMPARE(cancellationEntries(), 1);
    }
};

QTEST_MAIN(tst_Balloon)
#include "tst_balloon.moc"
