#include "TestSupport.h"
#include "platform/linux/DesktopEntryExec.h"
#include "platform/linux/XdgAutoStartStore.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <sys/stat.h>

using namespace fwb;

namespace {

using Kind = AutoStartStore::Entry::Kind;

QByteArray entryText(const QByteArray &exec)
{
    return "[Desktop Entry]\nType=Application\nName=Ferrow Backup Agent\nExec=" + exec + "\n";
}

// Agent paths with the kinds of character a folder name can bring, and the Exec value each
// must be written as.
void addPathRows()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QByteArray>("exec");
    QTest::newRow("plain") << "/opt/fwb/fwbagent" << QByteArray("/opt/fwb/fwbagent");
    QTest::newRow("spaces") << "/opt/Ferrow Backup/fwbagent"
                            << QByteArray("\"/opt/Ferrow Backup/fwbagent\"");
    QTest::newRow("double quotes")
        << "/opt/say \"hi\"/fwbagent" << QByteArray("\"/opt/say \\\\\"hi\\\\\"/fwbagent\"");
    QTest::newRow("dollar") << "/opt/$HOME/fwbagent" << QByteArray("\"/opt/\\\\$HOME/fwbagent\"");
    QTest::newRow("backslash") << "/opt/back\\slash/fwbagent"
                               << QByteArray("\"/opt/back\\\\\\\\slash/fwbagent\"");
    QTest::newRow("percent and space")
        << "/opt/100 %u/fwbagent" << QByteArray("\"/opt/100 %%u/fwbagent\"");
    QTest::newRow("shell characters") << "/opt/a;b&c|d<e>f~g#h(i)j*k?l/fwbagent"
                                      << QByteArray("\"/opt/a;b&c|d<e>f~g#h(i)j*k?l/fwbagent\"");
    QTest::newRow("tab") << "/opt/a\tb/fwbagent" << QByteArray("\"/opt/a\\tb/fwbagent\"");
}

} // namespace

Q_DECLARE_METATYPE(Kind)

class tst_XdgAutoStart : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_savedConfigHome;
    QByteArray m_savedHome;

    QString configHome() const { return m_dir->filePath(QStringLiteral("config home")); }
    QString entryPath() const
    {
        return configHome() + QStringLiteral("/autostart/fwbagent.desktop");
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_savedConfigHome = qgetenv("XDG_CONFIG_HOME");
        m_savedHome = qgetenv("HOME");
        qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
    }
    void cleanup()
    {
        qputenv("XDG_CONFIG_HOME", m_savedConfigHome);
        qputenv("HOME", m_savedHome);
        m_dir.reset();
    }

    void writesQuotedAndReadsBack_data() { addPathRows(); }
    void writesQuotedAndReadsBack()
    {
        QFETCH(QString, program);
        QFETCH(QByteArray, exec);
        XdgAutoStartStore store;
        QCOMPARE(store.filePath(), entryPath());
        QVERIFY(store.write(program));
        QCOMPARE(test::readFile(entryPath()), entryText(exec));
        const auto entry = store.read();
        QCOMPARE(entry.kind, Kind::Program);
        QCOMPARE(entry.program, program);
        // Nothing else is left in the folder: the file was written beside it and renamed.
        QCOMPARE(QDir(configHome() + QStringLiteral("/autostart"))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("fwbagent.desktop")});
    }

    void validatorAcceptsTheEntry_data() { addPathRows(); }
    void validatorAcceptsTheEntry()
    {
        QFETCH(QString, program);
        const QString validator =
            QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validator.isEmpty())
            QSKIP("desktop-file-validate is not installed (Debian: desktop-file-utils)");
        XdgAutoStartStore store;
        QVERIFY(store.write(program));
        QProcess check;
        check.start(validator, {entryPath()});
        QVERIFY(check.waitForFinished());
        const QByteArray output = check.readAllStandardOutput() + check.readAllStandardError();
        QVERIFY2(check.exitCode() == 0 && !output.contains("error"), output.constData());
    }

    void readsHandWrittenEntries_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("program");
        const QByteArray head = "[Desktop Entry]\nType=Application\nName=X\n";
        QTest::newRow("hidden") << head + "Hidden=true\nExec=/opt/fwbagent\n" << Kind::Other << "";
        QTest::newRow("argument") << head + "Exec=/opt/fwbagent --hidden\n" << Kind::Other << "";
        QTest::newRow("field code") << head + "Exec=/opt/fwbagent %u\n" << Kind::Other << "";
        QTest::newRow("unquoted space") << head + "Exec=/opt/Ferrow Backup/fwbagent\n"
                                        << Kind::Other << "";
        QTest::newRow("unquoted reserved") << head + "Exec=/opt/a$b\n" << Kind::Other << "";
        QTest::newRow("only in an action")
            << QByteArray(
                   "[Desktop Entry]\nType=Application\n[Desktop Action x]\nExec=/opt/fwbagent\n")
            << Kind::Other << "";
        QTest::newRow("CRLF, comments and blank lines")
            << QByteArray("# made by hand\r\n\r\n[Desktop Entry]\r\nExec=/opt/fwbagent\r\n")
            << Kind::Program << "/opt/fwbagent";
        QTest::newRow("last Exec counts") << head + "Exec=/opt/old\nExec=/opt/fwbagent\n"
                                          << Kind::Program << "/opt/fwbagent";
        QTest::newRow("string escapes") << head + "Exec=\"/opt/a\\sb\\\\\\\\c/fwbagent\"\n"
                                        << Kind::Program << "/opt/a b\\c/fwbagent";
    }
    void readsHandWrittenEntries()
    {
        QFETCH(QByteArray, text);
        QFETCH(Kind, kind);
        QFETCH(QString, program);
        test::writeFile(entryPath(), text);
        const auto entry = XdgAutoStartStore().read();
        QCOMPARE(entry.kind, kind);
        QCOMPARE(entry.program, program);
    }

    void missingEntryAndRemoval()
    {
        XdgAutoStartStore store;
        QCOMPARE(store.read().kind, Kind::Missing);
        QVERIFY(store.remove());
        QVERIFY(!QFileInfo::exists(configHome())); // removing created nothing
        QVERIFY(store.write(QStringLiteral("/opt/fwbagent")));
        QVERIFY(store.remove());
        QVERIFY(!QFileInfo::exists(entryPath()));
        QCOMPARE(store.read().kind, Kind::Missing);
    }

    void oddThingsUnderTheName()
    {
        QDir().mkpath(configHome() + QStringLiteral("/autostart"));
        QVERIFY(::mkfifo(QFile::encodeName(entryPath()).constData(), 0600) == 0);
        XdgAutoStartStore store;
        QCOMPARE(store.read().kind, Kind::Other); // and does not block on the FIFO
        QVERIFY(store.remove());

        QVERIFY(QDir().mkpath(entryPath()));
        QCOMPARE(store.read().kind, Kind::Other);
        QVERIFY(!store.write(QStringLiteral("/opt/fwbagent")));
    }

    void folderFollowsTheEnvironment_data()
    {
        QTest::addColumn<QByteArray>("configHome");
        QTest::addColumn<QString>("relativeFolder");
        QTest::newRow("unset") << QByteArray() << "home/.config/autostart";
        QTest::newRow("relative is ignored")
            << QByteArray("relative/config") << "home/.config/autostart";
        QTest::newRow("absolute") << QByteArray("ABS") << "elsewhere/autostart";
    }
    void folderFollowsTheEnvironment()
    {
        QFETCH(QByteArray, configHome);
        QFETCH(QString, relativeFolder);
        qputenv("HOME", m_dir->filePath(QStringLiteral("home")).toUtf8());
        if (configHome == "ABS")
            configHome = m_dir->filePath(QStringLiteral("elsewhere")).toUtf8();
        if (configHome.isEmpty())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", configHome);
        XdgAutoStartStore store;
        QCOMPARE(XdgAutoStartStore::autostartFolder(), m_dir->filePath(relativeFolder));
        QVERIFY(store.write(QStringLiteral("/opt/fwbagent")));
        QVERIFY(QFileInfo::exists(m_dir->filePath(relativeFolder + "/fwbagent.desktop")));
    }
};

QTEST_GUILESS_MAIN(tst_XdgAutoStart)
#include "tst_xdgautostart.moc"
