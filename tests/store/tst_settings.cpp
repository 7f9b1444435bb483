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
        QTest::newRow("out of 0-2 kept as read") << QByteArray("7") << 7 << 7 << 7;
        QTest::newRow("largest byte") << QByteArray("255") << 255 << 255 << 255;
        QTest::newRow("too large") << QByteArray("256") << 0 << 2 << 1;
        QTest::newRow("not a number") << QByteArray("two") << 0 << 2 << 1;
        QTest::newRow("quoted") << QByteArray("\"2\"") << 2 << 2 << 2;
        QTest::newRow("whole fraction") << QByteArray("1.0") << 1 << 1 << 1;
        QTest::newRow("fraction rounds") << QByteArray("1.6") << 2 << 2 << 2;
        QTest::newRow("half to even") << QByteArray("2.5") << 2 << 2 << 2;
        QTest::newRow("rounds past 255") << QByteArray("255.5") << 0 << 2 << 1;
        QTest::newRow("not finite") << QByteArray("nan") << 0 << 2 << 1;
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
        QTest::newRow("01") << QByteArray("FirstRunOfGeneration5=01") << false;
        QTest::newRow("absent") << QByteArray("Other=0") << true;
    }
    void firstRunFlag()
    {
        QFETCH(QByteArray, line);
        writeSettings("[Settings]\r\n" + line + "\r\n");
        LoadSettings();
        QTEST(settings().FirstRunPending, "pending");
    }

    void backupSetFolder_data()
    {
        QTest::addColumn<QString>("lastOpenedDir");
        QTest::addColumn<QString>("expected"); // relative to the program folder
        QTest::newRow("empty") << QString() << QStringLiteral("Backup sets/");
        QTest::newRow("missing folder")
            << QStringLiteral("{app}Gone") << QStringLiteral("Backup sets/");
        QTest::newRow("stored case")
            << QStringLiteral("{app}my SETS") << QStringLiteral("My Sets/");
        QTest::newRow("one trailing separator")
            << QStringLiteral("{app}My Sets/") << QStringLiteral("My Sets/");
        QTest::newRow("lone separator") << QStringLiteral("/") << QStringLiteral("Backup sets/");
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

    void increaseTextWidth_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<float>("width");
        QTest::newRow("fraction kept") << QByteArray("-1.5") << -1.5f;
        QTest::newRow("nan") << QByteArray("nan") << 0.0f;
        QTest::newRow("inf") << QByteArray("inf") << 0.0f;
        QTest::newRow("too large for single") << QByteArray("1e39") << 0.0f;
    }
    void increaseTextWidth()
    {
        QFETCH(QByteArray, stored);
        writeSettings("[Options]\r\nGLO_IncreaseTextWidth=" + stored + "\r\n");
        LoadSettings();
        QTEST(settings().IncreaseTextWidth, "width");
    }
};

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_settings.moc"
