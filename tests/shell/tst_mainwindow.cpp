#include "TestSupport.h"
#include "jet/DataAccess.h"
#include "jet/writer/JetWriter.h"
#include "notify/Notify.h"
#include "shell/TrayIcon.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

using namespace fwb;
using namespace Qt::StringLiterals;

namespace {

// An entry's stamp in en_US, which the test runs in: a four-digit year, and the seconds.
const QString kStamp = u"\\d{1,2}/\\d{1,2}/\\d{4} \\d{1,2}:\\d{2}:\\d{2}.?[AP]M: "_s;

} // namespace

// Start-up in a program folder of its own, and what the main window shows: its log, the
// monitoring states, minimizing and the tray.
class tst_MainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;
    std::unique_ptr<frmMAIN> m_window;

    QString app(const QString &name = {}) const { return m_dir->path() + u'/' + name; }
    template <typename T> T *child(const char *name) const
    {
        return m_window->findChild<T *>(QLatin1String(name));
    }
    // The tray icons shown, the active one first: "10", "01" or "00".
    QString trayIcons() const
    {
        return QString::asprintf("%d%d", child<TrayIcon>("ST_Active")->intray(),
                                 child<TrayIcon>("ST_Deactive")->intray());
    }
    bool load()
    {
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        return m_window->Form_Load();
    }

private Q_SLOTS:
    void initTestCase() { jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE)); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<test::ScopedPlatform>();
        test::resetProgramState(m_dir->path());
        TrayIcon::overrideAvailability(true);
    }
    void cleanup()
    {
        m_window.reset();
        DeregisterDriveNotify();
        m_platform.reset();
        TrayIcon::overrideAvailability(std::nullopt);
    }

    // Refused in English before anything is read or written.
    void secondInstanceLeavesNoTrace()
    {
        m_platform->instanceGuard.answer = InstanceClaim::OtherInstanceRuns;
        QVERIFY(!load());
        QVERIFY(QDir(app()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        QCOMPARE(test::shownBoxes(m_platform->boxes, BoxIcon::Information),
                 QStringList{u"FW Backup Agent - Multiple Instances|The Ferrow Backup Agent is "
                             "already running.\r\nMore than one instance of the program is not "
                             "allowed.\r\n\r\nThis instance of FW Backup Agent will shut down."_s});
        QVERIFY(!m_window->isVisible() && m_platform->driveArrivals.starts == 0);
    }

    // Start-up clears the temporary files that killed writers of either settings file left
    // (not a writer's at work), and a first-run flag it cannot save shows in the window's log.
    void startupCleansAndReports()
    {
        QVERIFY(QDir().mkpath(app(u"settings.ini"_s))); // no file can go there
        for (const char *name : {"fwbagent.ini.fwbtmp-a", "settings.ini.fwbtmp-b", "x.fwbtmp-c"}) {
            QFile stale(app(QLatin1String(name)));
            QVERIFY(stale.open(QIODevice::WriteOnly));
            stale.setFileTime(QDateTime::currentDateTime().addSecs(-120),
                              QFileDevice::FileModificationTime);
        }
        test::writeFile(app(u"fwbagent.ini.fwbtmp-d"_s), "x");
        QVERIFY(load());
        QCOMPARE(QDir(app()).entryList({u"*fwbtmp*"_s}),
                 QStringList({"fwbagent.ini.fwbtmp-d", "x.fwbtmp-c"}));
        QVERIFY(m_window->LogText().contains(
            QStringLiteral("Could not save the setting: FirstRunOfGeneration5=0")));
    }

    // A start in each start-up mode, with a help file, and the components registered on the
    // first start only. The log starts with one entry naming the watched folder; later entries
    // go on top of it.
    void startUp_data()
    {
        const QString name = u"fwb%1%2"_s.arg(FWB_VERSION_MAJOR).arg(FWB_VERSION_MINOR);
        const QString en = name + u".chm"_s, sv = name + u"swe.chm"_s;
        const QByteArray later = "[Settings]\r\nFirstRunOfGeneration5=0\r\n";
        QTest::addColumn<QByteArray>("settingsIni"); // %1: the program folder
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("files"); // in the program folder
        QTest::addColumn<bool>("unguarded");    // no lock file could be made
        QTest::addColumn<QString>("help");
        QTest::addColumn<QString>("watched");
        const auto row = [](const char *name, const QByteArray &settingsIni, int mode,
                            const QStringList &files, bool unguarded, const QString &help,
                            const char *watched) {
            QTest::newRow(name) << settingsIni << mode << files << unguarded << help
                                << QString::fromLatin1(watched);
        };
        row("fresh folder, no help file", {}, 0, {"a.txt"}, false, {}, "Backup sets");
        row("Swedish in any case, data access in place, minimized",
            "[Options]\r\nGLO_CurrentLanguage=Svenska-SWEDISH.lng\r\n", 1,
            {en, sv, "fwb", "Language Packs/Svenska-SWEDISH.lng",
             "Common Files/Microsoft Shared\\DAO\\dao360.dll"},
            false, sv, "Backup sets");
        row("English, later start, hidden",
            "[Options]\r\nLastOpenedDir=%1Sets/\r\nGLO_CurrentLanguage=English.lng\r\n" + later, 2,
            {en, sv}, false, en, "Sets");
        row("Swedish, English file only, unknown mode, unguarded",
            "[Options]\r\nGLO_CurrentLanguage=swedish.lng\r\n" + later, 7, {en, "fwb"}, true, en,
            "Backup sets");
        row("any help file", later, 0, {"guide.CHM", "a.txt"}, false, "guide.CHM", "Backup sets");
    }
    void startUp()
    {
        QFETCH(QByteArray, settingsIni);
        QFETCH(int, mode);
        QFETCH(QStringList, files);
        QFETCH(bool, unguarded);
        QFETCH(QString, help);
        QFETCH(QString, watched);
        FakeComponentHost &host = m_platform->componentHost;
        host.commonFilesFolder = app(u"Common Files"_s);
        host.failingLibraries = {{u"COMCAT.DLL"_s, 0x80004005L}, {u"SAWZipNG.dll"_s, -1}};
        const QString dao = host.commonFilesFolder + u"/Microsoft Shared\\DAO\\dao360.dll"_s;
        // The pack names the caption and the Quit button.
        const jet::TableData pack = test::languagePackItems(
            {{u"GLOBAL"_s, u"FW Backup Agent"_s, u"Agenten"_s, u"0"_s, std::nullopt},
             {u"AGENT_frmMAIN"_s, u"CB_Quit"_s, u"&Avsluta"_s, u"1"_s, u"-1"_s}});
        for (const QString &file : files) {
            if (file.endsWith(u".lng"))
                QVERIFY(QDir().mkpath(appPaths().LanguagePacksFolder) &&
                        jet::writeDatabase(app(file), {pack}));
            else
                test::writeFile(app(file), "x");
        }
        const bool copy = !QFile::exists(dao), program = files.contains(u"fwb"_s);
        const bool translated = settingsIni.contains("Svenska");
        const bool first = !settingsIni.contains("FirstRunOfGeneration5=0");
        settingsIni.replace("%1", QFile::encodeName(app()));
        if (!settingsIni.isEmpty())
            test::writeFile(app(u"settings.ini"_s), settingsIni);
        const QByteArray agentIni =
            "[Options]\r\nGLO_AgentStartupMode=" + QByteArray::number(mode) +
            "\r\nGLO_MinimizeMode=1\r\n";
        test::writeFile(app(u"fwbagent.ini"_s), agentIni);
        QVERIFY(QDir().mkpath(app(u"Sets"_s)));
        if (unguarded)
            m_platform->instanceGuard.answer = InstanceClaim::Unguarded;
        QVERIFY(load());

        // Without its pack the window keeps its own caption; no tray icon either way.
        QCOMPARE(m_window->windowTitle() + u'|' + child<QPushButton>("CB_Quit")->text(),
                 translated ? u"Agenten|&Avsluta"_s : u"FWB Agent|&Quit"_s);
        QCOMPARE(m_window->isVisible(), mode != 2);
        QCOMPARE(m_window->isMinimized(), mode == 1 || mode == 2);
        QCOMPARE(trayIcons(), u"00"_s);
        QVERIFY(QFileInfo(app(u"Backup sets"_s)).isDir());
        QCOMPARE(test::readFile(app(u"settings.ini"_s)),
                 settingsIni + (first ? "[Settings]\r\nFirstRunOfGeneration5=0\r\n" : ""));
        QVERIFY(QFileInfo(host.commonFilesFolder).isDir() == (first || !copy));
        QCOMPARE(host.copies.join(u'|'), first && copy ? app(u"dao360.dll -> "_s) + dao : "");
        QCOMPARE(host.registered.join(u' '),
                 first ? u"ccrpbds6.dll COMCAT.DLL COMDLG32.OCX DCSysTray.ocx mscomctl.ocx "
                         "msvbvm60.dll OLEAUT32.DLL OLEPRO32.DLL Schedule.dll scrrun.dll "
                         "SAWZipNG.dll"_s
                       : QString());
        QStringList commands; // the window style, then the command line
        for (const FakeComponentHost::Command &command : host.commands)
            commands.append(QString::number(int(command.style)) + u' ' + command.commandLine);
        QCOMPARE(commands.join(u'|'), first ? "2 regsvr32 /s \"" + dao +
                                                  "\"|0 regsvr32 COMCAT.DLL|0 regsvr32 SAWZipNG.dll"
                                            : QString());

        // The backup program alone, from the button or the tray menu.
        program ? child<QAction>("CM_SysTray_RunFWB")->trigger()
                : child<QPushButton>("CB_LaunchFWB")->click();
        QCOMPARE(m_platform->programStarter.started.size(), program ? 1 : 0);
        QVERIFY(!program || (m_platform->programStarter.started[0].program == app(u"fwb"_s) &&
                             m_platform->programStarter.started[0].arguments.isEmpty()));
        // Standard error gets one line an entry, control characters escaped so that a label
        // cannot drive the terminal; the window shows them escaped, the log file as they are.
        const QString entry = u"second\r\nLabel: A\x1b[2J\rB\u009B"_s;
        const test::CapturedStandardError captured;
        m_window->AddLogEntry(entry);
        const QString written = QString::fromUtf8(captured.text());
        QVERIFY2(QRegularExpression(u'^' + kStamp + "second Label: A\\\\x1b\\[2J\\\\x0dB\\\\x9b\n$")
                     .match(written)
                     .hasMatch(),
                 qPrintable(written));
        QVERIFY(MonitorLogText().contains(entry));
        const QString log = m_window->LogText();
        const QRegularExpression expected(
            u'^' + kStamp + "second\r\nLabel: A\\\\x1b\\[2J\\\\x0dB\\\\x9b\r\n\r\n" +
            (program ? QString()
                     : kStamp + "Main FW Backup program file not found\\. Program start-up "
                                "cancelled\\.\r\n\r\n") +
            (unguarded ? kStamp + "Could not make sure that no second copy of FW Backup Agent is "
                                  "running\\. Starting anyway\\.\r\n\r\n"
                       : QString()) +
            kStamp +
            "Program start-up\\. Monitoring the system for new drives matching triggers from "
            "backup sets in " +
            QRegularExpression::escape(app(watched)) + "\r\n\r\n$");
        QVERIFY2(expected.match(log).hasMatch(), qPrintable(log));

        // Back from the tray, F1 opens the help file; Quit ends monitoring with the window, and
        // the stored modes stay as they were.
        m_window->CM_SysTray_ShowMe_Click();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTest::keyClick(m_window.get(), Qt::Key_F1);
        QCOMPARE(m_platform->programStarter.opened,
                 help.isEmpty() ? QStringList() : QStringList{app(help)});
        QCOMPARE(test::readFile(app(u"fwbagent.ini"_s)), agentIni);
        child<QAction>("CM_SysTray_Quit")->trigger();
        QVERIFY(!m_window->isVisible() && !m_platform->driveArrivals.isRunning());
    }

    // What each monitoring state shows, where minimizing puts the window, and a double click
    // on the tray icon as the way back (the desktop test clicks it and picks Open).
    void monitoringStates_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("minimizeMode");
        QTest::addColumn<QString>("minimized"); // the window, then the tray icons
        QTest::addColumn<QString>("toggled");   // the tray icons after the tray menu's toggle
        const auto row = [](const char *state, int mode, const char *minimized,
                            const char *toggled) {
            QTest::addRow("%s, mode %d", state, mode)
                << QString::fromLatin1(state) << mode << QString::fromLatin1(minimized)
                << QString::fromLatin1(toggled);
        };
        row("active", 1, "hidden 10", "01");
        row("unable", 1, "hidden 01", "01");
        row("deactive", 1, "hidden 01", "10");
        row("deactive", 0, "shown 00", "00");
        row("active", 2, "hidden 00", "00");
    }
    void monitoringStates()
    {
        QFETCH(QString, state);
        QFETCH(int, minimizeMode);
        settings().MinimizeMode = MinimizeTo(minimizeMode);
        QVERIFY(QDir().mkpath(appPaths().IconsFolder));
        for (const QString icon : {"active.ico", "deactive.ico"})
            QVERIFY(
                QFile::copy(FWB_SOURCE_DIR "/app/Icons/" + icon, appPaths().IconsFolder + icon));
        m_platform->driveArrivals.startSucceeds = state != u"unable";
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        m_window->show();
        m_window->ActivateMonitoring();
        if (state == u"deactive")
            child<QPushButton>("CB_ToggleOnOff")->click();
        const bool active = state == u"active";
        const QString toggle = active ? "Deactivate agent" : "Activate agent";
        const QString status = active               ? "active and monitoring"
                               : state == u"unable" ? "unable to monitor"
                                                    : "deactive and not monitoring";
        QCOMPARE(child<QLabel>("LB_Status")->text(),
                 "FW Backup Agent is " + status + " the system for new drives...");
        QCOMPARE(child<QPushButton>("CB_ToggleOnOff")->text(), u'&' + toggle);
        QCOMPARE(child<QAction>("CM_SysTray_ToggleActive")->text(), toggle);
        const QIcon icon(appPaths().IconsFolder + (active ? "active.ico" : "deactive.ico"));
        QCOMPARE(m_window->windowIcon().pixmap(16).toImage(), icon.pixmap(16).toImage());

        m_window->setWindowState(Qt::WindowMinimized);
        QTEST((m_window->isVisible() ? "shown " : "hidden ") + trayIcons(), "minimized");
        QCOMPARE(child<TrayIcon>("ST_Active")->traytip() + u'|' +
                     child<TrayIcon>("ST_Deactive")->traytip(),
                 u"FWB Agent|FWB Agent - Deactivated"_s);
        Q_EMIT child<TrayIcon>("ST_Active")->clicked(2);
        auto *menu = child<QMenu>("CM_SysTray");
        QVERIFY(menu->isVisible());
        menu->hide();
        child<QAction>("CM_SysTray_ToggleActive")->trigger();
        QTEST(trayIcons(), "toggled");

        Q_EMIT child<TrayIcon>("ST_Active")->doubleClicked();
        QVERIFY(m_window->isVisible() && !m_window->isMinimized());
        QCOMPARE(trayIcons(), u"00"_s);
    }
};

FWB_TEST_MAIN(QApplication, tst_MainWindow, fwb::test::runsEverywhere)
#include "tst_mainwindow.moc"
