#include "TestSupport.h"
#include "countdown/DecisionState.h"
#include "shell/TrayIcon.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

using namespace fwb;

class tst_Startup : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;

    QString app(const QString &name = {}) const { return m_dir->path() + u'/' + name; }
    QStringList folderEntries() const
    {
        return QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }
    static bool intray(frmMAIN &window, const char *name)
    {
        return window.findChild<TrayIcon *>(QLatin1String(name))->intray();
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_platform = std::make_unique<test::ScopedPlatform>();
        test::resetProgramState(m_dir->path());
        TrayIcon::overrideAvailability(true);
    }
    void cleanup()
    {
        m_platform.reset();
        TrayIcon::overrideAvailability(std::nullopt);
    }

    void firstStartInFreshFolder()
    {
        frmMAIN window(m_dir->path());
        QVERIFY(window.Form_Load());

        QVERIFY(QFileInfo(app(QStringLiteral("Backup sets"))).isDir());
        QCOMPARE(test::readFile(app(QStringLiteral("settings.ini"))),
                 QByteArray("[Settings]\r\nFirstRunOfGeneration5=0\r\n"));
        QVERIFY(!m_platform->componentHost.commands.isEmpty()); // components were registered
        QVERIFY(m_platform->boxes.shown.isEmpty());

        const QString log = window.LogText();
        static const QRegularExpression oneEntry(
            QStringLiteral("^[^\r\n]+: Program start-up\\. Monitoring the system for new drives "
                           "matching triggers from backup sets in (.*)\r\n\r\n$"));
        const auto match = oneEntry.match(log);
        QVERIFY2(match.hasMatch(), qPrintable(log));
        QCOMPARE(match.captured(1), app(QStringLiteral("Backup sets")));
    }

    void laterStartKeepsFirstRunFlag()
    {
        test::writeFile(app(QStringLiteral("settings.ini")),
                        "; shared with the backup program\n[Settings]\nFirstRunOfGeneration5=0\n");
        frmMAIN window(m_dir->path());
        QVERIFY(window.Form_Load());
        QCOMPARE(test::readFile(app(QStringLiteral("settings.ini"))),
                 QByteArray("; shared with the backup program\n[Settings]\n"
                            "FirstRunOfGeneration5=0\n"));
        QVERIFY(m_platform->componentHost.commands.isEmpty());
    }

    void secondInstanceLeavesNoTrace()
    {
        m_platform->instanceGuard.otherInstanceRuns = true;
        frmMAIN window(m_dir->path());
        QVERIFY(!window.Form_Load());

        QCOMPARE(folderEntries(), QStringList());
        QCOMPARE(m_platform->boxes.shown.size(), 1);
        const auto &box = m_platform->boxes.shown.first();
        QCOMPARE(box.title, QStringLiteral("FW Backup Agent - Multiple Instances"));
        QCOMPARE(box.text, QStringLiteral("The Ferrow Backup Agent is already running.\r\n"
                                          "More than one instance of the program is not "
                                          "allowed.\r\n\r\n"
                                          "This instance of FW Backup Agent will shut down."));
        QCOMPARE(box.icon, BoxIcon::Information);
        QVERIFY(!window.isVisible());
    }

    void helpFile_data()
    {
        const QString major = QString::number(FWB_VERSION_MAJOR);
        const QString minor = QString::number(FWB_VERSION_MINOR);
        const QString english = QStringLiteral("fwb") + major + minor + QStringLiteral(".chm");
        const QString swedish = QStringLiteral("fwb") + major + minor + QStringLiteral("swe.chm");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("swedish pack, both files")
            << QStringLiteral("Svenska-SWEDISH.lng") << QStringList{english, swedish} << swedish;
        QTest::newRow("no pack, both files")
            << QString() << QStringList{english, swedish} << english;
        QTest::newRow("swedish pack, english file only")
            << QStringLiteral("Swedish.lng") << QStringList{english} << english;
        QTest::newRow("any help file")
            << QString() << QStringList{QStringLiteral("guide.CHM")} << QStringLiteral("guide.CHM");
        QTest::newRow("none") << QString() << QStringList{QStringLiteral("readme.txt")}
                              << QString();
    }
    void helpFile()
    {
        QFETCH(QString, language);
        QFETCH(QStringList, files);
        QFETCH(QString, chosen);
        for (const QString &file : files)
            test::writeFile(app(file), "help");
        test::writeFile(app(QStringLiteral("settings.ini")),
                        "[Options]\r\nGLO_CurrentLanguage=" + language.toUtf8() + "\r\n");
        frmMAIN window(m_dir->path());
        QVERIFY(window.Form_Load());
        QCOMPARE(appPaths().HelpFilePath, chosen.isEmpty() ? QString() : app(chosen));
    }

    void startupModes_data()
    {
        QTest::addColumn<QByteArray>("agentIni");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("minimized");
        QTest::newRow("normal") << QByteArray("GLO_AgentStartupMode=0") << true << false;
        QTest::newRow("minimized, tray mode")
            << QByteArray("GLO_AgentStartupMode=1\r\nGLO_MinimizeMode=1") << true << true;
        QTest::newRow("hidden, tray mode")
            << QByteArray("GLO_AgentStartupMode=2\r\nGLO_MinimizeMode=1") << false << true;
        QTest::newRow("unknown mode shows normally")
            << QByteArray("GLO_AgentStartupMode=7") << true << false;
    }
    void startupModes()
    {
        QFETCH(QByteArray, agentIni);
        test::writeFile(app(QStringLiteral("fwbagent.ini")), "[Options]\r\n" + agentIni + "\r\n");
        frmMAIN window(m_dir->path());
        QVERIFY(window.Form_Load());

        QTEST(window.isVisible(), "visible");
        QTEST(window.isMinimized(), "minimized");
        // Starting minimized or hidden never puts an icon in the tray.
        QVERIFY(!intray(window, "ST_Active"));
        QVERIFY(!intray(window, "ST_Deactive"));
        // The temporary minimize mode of start-up is not kept.
        QCOMPARE(int(settings().MinimizeMode), 1);
    }

    void hiddenStartStillMinimizesToTrayLater()
    {
        test::writeFile(app(QStringLiteral("fwbagent.ini")),
                        "[Options]\r\nGLO_AgentStartupMode=2\r\nGLO_MinimizeMode=1\r\n");
        frmMAIN window(m_dir->path());
        QVERIFY(window.Form_Load());
        window.CM_SysTray_ShowMe_Click();
        QVERIFY(window.isVisible());
        window.setWindowState(Qt::WindowMinimized);
        QVERIFY(!window.isVisible());
        QVERIFY(intray(window, "ST_Active") != intray(window, "ST_Deactive"));
    }

    // The store keeps the log, also before a window shows it; the window shows the same text.
    void logEntriesNewestFirst()
    {
        AddLogEntry(QStringLiteral("before the window"));
        frmMAIN window(m_dir->path());
        QVERIFY(window.LogText().endsWith(QStringLiteral(": before the window\r\n\r\n")));
        QVERIFY(window.Form_Load());
        const QString startup = window.LogText();
        window.AddLogEntry(QStringLiteral("first"));
        window.AddLogEntry(QStringLiteral("second\r\nline two"));
        static const QRegularExpression twoEntries(
            QStringLiteral("^[^\r\n]+: second\r\nline two\r\n\r\n[^\r\n]+: first\r\n\r\n"));
        const QString log = window.LogText();
        QVERIFY2(twoEntries.match(log).hasMatch(), qPrintable(log));
        QVERIFY(log.endsWith(startup));
        QCOMPARE(MonitorLogText(), log);
    }
};

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
