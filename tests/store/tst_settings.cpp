#include "TestSupport.h"
#include "store/AppPaths.h"
#include "store/Settings.h"

#include <QDir>
#include <QTest>

using namespace fwb;

class tst_Settings : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;

    QString app(const QString &name = {}) const { return m_dir.path() + u'/' + name; }
    void writeSettings(const QByteArray &settingsIni, const QByteArray &agentIni = {})
    {
        if (!settingsIni.isEmpty())
            test::writeFile(app(QStringLiteral("settings.ini")), settingsIni);
        if (!agentIni.isEmpty())
            test::writeFile(app(QStringLiteral("fwbagent.ini")), agentIni);
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path() + QStringLiteral("/Backup sets"));
        m_platform = std::make_unique<test::ScopedPlatform>();
        test::resetProgramState(m_dir.path());
    }
    void cleanup() { m_platform.reset(); }

    void defaultsWithoutFiles()
    {
        settings().AgentStartupMode = 9; // proves LoadSettings sets every value
        settings().FirstRunPending = false;
        LoadSettings();
        const AgentSettings &s = settings();
        QCOMPARE(s.AgentStartupMode, 0);
        QCOMPARE(s.BackupStartupMode, 2);
        QCOMPARE(s.MinimizeMode, 1);
        QCOMPARE(s.CurrentLanguage, QString());
        QCOMPARE(s.IncreaseTextWidth, 0.0f);
        QVERIFY(s.FirstRunPending);
        QCOMPARE(s.BackupSetFolder, app(QStringLiteral("Backup sets/")));
    }

    void modes_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("agent");
        QTest::addColumn<int>("backup");
        QTest::addColumn<int>("minimize");
        QTest::newRow("in range") << QByteArray("1") << 1 << 1 << 1;
        QTest::newRow("zero is not the default") << QByteArray("0") << 0 << 0 << 0;
        QTest::newRow("out of 0-2 kept as read") << QByteArray("7") << 7 << 7 << 7;
        QTest::newRow("largest byte") << QByteArray("255") << 255 << 255 << 255;
        QTest::newRow("too large") << QByteArray("256") << 0 << 2 << 1;
        QTest::newRow("negative") << QByteArray("-1") << 0 << 2 << 1;
        QTest::newRow("not a number") << QByteArray("two") << 0 << 2 << 1;
        QTest::newRow("empty value") << QByteArray("") << 0 << 2 << 1;
        QTest::newRow("quoted") << QByteArray("\"2\"") << 2 << 2 << 2;
    }
    void modes()
    {
        QFETCH(QByteArray, stored);
        writeSettings({}, "[Options]\r\nGLO_AgentStartupMode=" + stored +
                              "\r\nGLO_BackupStartupMode=" + stored +
                              "\r\nGLO_MinimizeMode=" + stored + "\r\n");
        LoadSettings();
        QTEST(int(settings().AgentStartupMode), "agent");
        QTEST(int(settings().BackupStartupMode), "backup");
        QTEST(int(settings().MinimizeMode), "minimize");
    }

    void firstRunFlag_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("pending");
        QTest::newRow("1") << QByteArray("FirstRunOfGeneration5=1") << true;
        QTest::newRow("0") << QByteArray("FirstRunOfGeneration5=0") << false;
        QTest::newRow("true") << QByteArray("FirstRunOfGeneration5=true") << false;
        QTest::newRow("01") << QByteArray("FirstRunOfGeneration5=01") << false;
        QTest::newRow("empty") << QByteArray("FirstRunOfGeneration5=") << false;
        QTest::newRow("absent") << QByteArray("Other=0") << true;
    }
    void firstRunFlag()
    {
        QFETCH(QByteArray, line);
        writeSettings("[Settings]\r\n" + line + "\r\n");
        LoadSettings();
        QTEST(settings().FirstRunPending, "pending");
    }

    void increaseTextWidth_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<float>("value");
        QTest::newRow("whole") << QByteArray("500") << 500.0f;
        QTest::newRow("negative") << QByteArray("-120") << -120.0f;
        QTest::newRow("fraction") << QByteArray("1.5") << 1.5f;
        QTest::newRow("not a number") << QByteArray("wide") << 0.0f;
    }
    void increaseTextWidth()
    {
        QFETCH(QByteArray, stored);
        writeSettings("[Options]\r\nGLO_IncreaseTextWidth=" + stored + "\r\n");
        LoadSettings();
        QTEST(settings().IncreaseTextWidth, "value");
    }

    void backupSetFolder_data()
    {
        QTest::addColumn<QString>("lastOpenedDir");
        QTest::addColumn<QString>("expected"); // relative to the program folder
        QTest::newRow("empty") << QString() << QStringLiteral("Backup sets/");
        QTest::newRow("lone backslash") << QStringLiteral("\\") << QStringLiteral("Backup sets/");
        QTest::newRow("missing folder")
            << QStringLiteral("{app}Gone") << QStringLiteral("Backup sets/");
        QTest::newRow("stored case")
            << QStringLiteral("{app}my SETS") << QStringLiteral("My Sets/");
        QTest::newRow("one trailing separator")
            << QStringLiteral("{app}My Sets/") << QStringLiteral("My Sets/");
    }
    void backupSetFolder()
    {
        QFETCH(QString, lastOpenedDir);
        QFETCH(QString, expected);
        QDir().mkpath(app(QStringLiteral("My Sets")));
        lastOpenedDir.replace(QStringLiteral("{app}"), app());
        writeSettings("[Options]\r\nLastOpenedDir=" + lastOpenedDir.toUtf8() + "\r\n");
        LoadSettings();
        QCOMPARE(settings().BackupSetFolder, app(expected));
    }

    void languageIsReadAsText()
    {
        writeSettings("[Options]\r\nGLO_CurrentLanguage=  Svenska (Swedish).lng \r\n");
        LoadSettings();
        QCOMPARE(settings().CurrentLanguage, QStringLiteral("Svenska (Swedish).lng"));
    }

    void readLimits()
    {
        const QByteArray longValue(300, 'x');
        writeSettings("[Options]\r\nLastOpenedDir=" + longValue + "\r\n[Settings]\r\n" +
                      "FirstRunOfGeneration5=" + longValue + "\r\n");
        const QString settingsIni = appPaths().SettingsIniPath;
        QCOMPARE(
            ReadIniText(settingsIni, QStringLiteral("Options"), QStringLiteral("LastOpenedDir"), {})
                .size(),
            256);
        QCOMPARE(ReadIniText(settingsIni, QStringLiteral("Settings"),
                             QStringLiteral("FirstRunOfGeneration5"), {})
                     .size(),
                 255);
    }

    void readCutsAtNul()
    {
        writeSettings(QByteArray("[Options]\r\nGLO_CurrentLanguage=Swe\0dish.lng\r\n", 44));
        QCOMPARE(ReadIniText(appPaths().SettingsIniPath, QStringLiteral("Options"),
                             QStringLiteral("GLO_CurrentLanguage"), QStringLiteral("x")),
                 QStringLiteral("Swe"));
    }

    void writtenModeReadsBack()
    {
        WriteIniText(appPaths().AgentIniPath, QStringLiteral("Options"),
                     QStringLiteral("GLO_BackupStartupMode"), QStringLiteral("0"));
        WriteIniText(appPaths().AgentIniPath, QStringLiteral("Options"),
                     QStringLiteral("GLO_MinimizeMode"), QStringLiteral("2"));
        LoadSettings();
        QCOMPARE(settings().BackupStartupMode, 0);
        QCOMPARE(settings().MinimizeMode, 2);
        QCOMPARE(test::readFile(appPaths().AgentIniPath),
                 QByteArray("[Options]\r\nGLO_BackupStartupMode=0\r\nGLO_MinimizeMode=2\r\n"));
    }
};

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_settings.moc"
