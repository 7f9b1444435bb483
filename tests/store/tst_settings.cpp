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

private Q_SLOTS:
    // Each row writes the two settings files (empty: absent) and reads back, as
    // "agent backup minimize width firstRunPending folder", what the program loaded.
    void load_data()
    {
        QTest::addColumn<QByteArray>("settingsIni");
        QTest::addColumn<QByteArray>("agentIni");
        QTest::addColumn<QString>("loaded");
        const auto modes = [](const char *name, const QByteArray &stored, const char *loaded) {
            QTest::newRow(name) << QByteArray()
                                << "[Options]\r\nGLO_AgentStartupMode=" + stored +
                                       "\r\nGLO_BackupStartupMode=" + stored +
                                       "\r\nGLO_MinimizeMode=" + stored + "\r\n"
                                << QString::fromLatin1(loaded) + " 0 1 Backup sets/";
        };
        const auto options = [](const char *name, const QByteArray &line, const char *loaded) {
            QTest::newRow(name) << "[Options]\r\n" + line + "\r\n"
                                << QByteArray() << QString::fromLatin1(loaded);
        };
        const auto firstRun = [](const QByteArray &stored, const char *loaded) {
            QTest::newRow("first run " + stored) << "[Settings]\r\n" + stored + "\r\n"
                                                 << QByteArray() << QString::fromLatin1(loaded);
        };
        QTest::newRow("no files") << QByteArray() << QByteArray() << "0 2 1 0 1 Backup sets/";
        modes("in range", "1", "1 1 1");
        modes("out of 0-2 kept as read", "7", "7 7 7");
        modes("largest byte", "255", "255 255 255");
        modes("too large", "256", "0 2 1");
        modes("not a number", "two", "0 2 1");
        modes("quoted", "\"2\"", "2 2 2");
        modes("whole fraction", "1.0", "1 1 1");
        modes("fraction rounds", "1.6", "2 2 2");
        modes("half to even", "2.5", "2 2 2");
        modes("rounds past 255", "255.5", "0 2 1");
        modes("not finite", "nan", "0 2 1");
        firstRun("FirstRunOfGeneration5=1", "0 2 1 0 1 Backup sets/");
        firstRun("FirstRunOfGeneration5=0", "0 2 1 0 0 Backup sets/");
        firstRun("FirstRunOfGeneration5=01", "0 2 1 0 0 Backup sets/");
        firstRun("Other=0", "0 2 1 0 1 Backup sets/");
        options("width fraction kept", "GLO_IncreaseTextWidth=-1.5", "0 2 1 -1.5 1 Backup sets/");
        options("width nan", "GLO_IncreaseTextWidth=nan", "0 2 1 0 1 Backup sets/");
        options("width inf", "GLO_IncreaseTextWidth=inf", "0 2 1 0 1 Backup sets/");
        options("width too large for single", "GLO_IncreaseTextWidth=1e39",
                "0 2 1 0 1 Backup sets/");
        options("missing folder", "LastOpenedDir={app}Gone", "0 2 1 0 1 Backup sets/");
        options("stored case", "LastOpenedDir={app}my SETS", "0 2 1 0 1 My Sets/");
        options("one trailing separator", "LastOpenedDir={app}My Sets/", "0 2 1 0 1 My Sets/");
        options("lone separator", "LastOpenedDir=/", "0 2 1 0 1 Backup sets/");
    }
    void load()
    {
        QFETCH(QByteArray, settingsIni);
        QFETCH(QByteArray, agentIni);
        QVERIFY(m_dir.isValid());
        const QString app = m_dir.path() + u'/';
        QDir(app).removeRecursively();
        QDir().mkpath(app + QStringLiteral("Backup sets"));
        QDir().mkpath(app + QStringLiteral("My Sets"));
        const test::ScopedPlatform platform;
        test::resetProgramState(m_dir.path());
        settingsIni.replace("{app}", QFile::encodeName(app));
        if (!settingsIni.isEmpty())
            test::writeFile(app + QStringLiteral("settings.ini"), settingsIni);
        if (!agentIni.isEmpty())
            test::writeFile(app + QStringLiteral("fwbagent.ini"), agentIni);
        // Values no load would give, so that one left unset shows.
        settings() = {9, 9, 9, QStringLiteral("x"), 9, false, QStringLiteral("x")};

        LoadSettings();
        const AgentSettings &s = settings();
        QVERIFY(s.BackupSetFolder.startsWith(app));
        QCOMPARE(s.CurrentLanguage, QString());
        QTEST(QStringLiteral("%1 %2 %3 %4 %5 %6")
                  .arg(s.AgentStartupMode)
                  .arg(s.BackupStartupMode)
                  .arg(s.MinimizeMode)
                  .arg(s.IncreaseTextWidth)
                  .arg(int(s.FirstRunPending))
                  .arg(s.BackupSetFolder.mid(app.size())),
              "loaded");
    }
};

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_settings.moc"
