#include "TestSupport.h"
#include "platform/linux/XdgAutoStartStore.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <sys/stat.h>

using namespace fwb;
using Kind = AutoStartStore::Entry::Kind;
Q_DECLARE_METATYPE(Kind)

// The autostart entry in the real file system, checked by the desktop's own validator.
class tst_XdgAutoStart : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString entryPath() const
    {
        return m_dir.filePath(QStringLiteral("autostart/fwbagent.desktop"));
    }

private Q_SLOTS:
    void init()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
        QDir(m_dir.filePath(QStringLiteral("autostart"))).removeRecursively();
    }

    // Each kind of character a folder name can bring, and the Exec value it is written as.
    void writesQuotedAndReadsBack_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QByteArray>("exec");
        QTest::newRow("plain") << "/opt/fwb/fwbagent" << QByteArray("/opt/fwb/fwbagent");
        QTest::newRow("spaces") << "/opt/F B/fwbagent" << QByteArray("\"/opt/F B/fwbagent\"");
        QTest::newRow("quotes") << "/opt/\"hi\"/a" << QByteArray("\"/opt/\\\\\"hi\\\\\"/a\"");
        QTest::newRow("dollar") << "/opt/$HOME/a" << QByteArray("\"/opt/\\\\$HOME/a\"");
        QTest::newRow("backslash") << "/opt/b\\s/a" << QByteArray("\"/opt/b\\\\\\\\s/a\"");
        QTest::newRow("percent") << "/opt/100 %u/a" << QByteArray("\"/opt/100 %%u/a\"");
        QTest::newRow("tab") << "/opt/a\tb/a" << QByteArray("\"/opt/a\\tb/a\"");
    }
    void writesQuotedAndReadsBack()
    {
        QFETCH(QString, program);
        QFETCH(QByteArray, exec);
        XdgAutoStartStore store;
        QVERIFY(store.write(program));
        QCOMPARE(test::readFile(entryPath()),
                 "[Desktop Entry]\nType=Application\nName=Ferrow Backup Agent\nExec=" + exec +
                     "\n");
        QCOMPARE(store.read().kind, Kind::Program);
        QCOMPARE(store.read().program, program);
        // Written beside and renamed: nothing else is left in the folder.
        QCOMPARE(QFileInfo(entryPath())
                     .dir()
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("fwbagent.desktop")});

        const QString validator =
            QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validator.isEmpty())
            QSKIP("desktop-file-validate is not installed (Debian: desktop-file-utils)");
        QProcess check;
        check.start(validator, {entryPath()});
        QVERIFY(check.waitForFinished());
        const QByteArray output = check.readAllStandardOutput() + check.readAllStandardError();
        QVERIFY2(check.exitCode() == 0 && !output.contains("error"), output.constData());
    }

    // Only an entry that runs exactly one program, with no arguments, is the Agent's.
    void readsHandWrittenEntries_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("program"); // empty: not the Agent's entry
        const QByteArray head = "[Desktop Entry]\nType=Application\nName=X\n";
        QTest::newRow("hidden") << head + "Hidden=true\nExec=/opt/fwbagent\n"
                                << "";
        QTest::newRow("argument") << head + "Exec=/opt/fwbagent --hidden\n"
                                  << "";
        QTest::newRow("unquoted space") << head + "Exec=/opt/F B/fwbagent\n"
                                        << "";
        QTest::newRow("unquoted reserved") << head + "Exec=/opt/a$b\n"
                                           << "";
        QTest::newRow("in an action")
            << QByteArray("[Desktop Entry]\n[Desktop Action x]\nExec=/a\n") << "";
        QTest::newRow("CRLF and comments")
            << QByteArray("# by hand\r\n\r\n[Desktop Entry]\r\nExec=/a\r\n") << "/a";
        QTest::newRow("last Exec counts") << head + "Exec=/opt/old\nExec=/a\n"
                                          << "/a";
        QTest::newRow("string escapes") << head + "Exec=\"/opt/a\\sb\\\\\\\\c/a\"\n"
                                        << "/opt/a b\\c/a";
    }
    void readsHandWrittenEntries()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, program);
        test::writeFile(entryPath(), text);
        const auto entry = XdgAutoStartStore().read();
        QCOMPARE(entry.kind, program.isEmpty() ? Kind::Other : Kind::Program);
        QCOMPARE(entry.program, program);
    }

    // A FIFO is not read (which would block) and can be removed; a folder is not written over.
    void missingAndOddEntries()
    {
        XdgAutoStartStore store;
        QCOMPARE(store.read().kind, Kind::Missing);
        QVERIFY(store.remove());
        QVERIFY(!QFileInfo::exists(QFileInfo(entryPath()).path())); // removing created nothing
        QVERIFY(QDir().mkpath(QFileInfo(entryPath()).path()));
        QVERIFY(::mkfifo(QFile::encodeName(entryPath()).constData(), 0600) == 0);
        QCOMPARE(store.read().kind, Kind::Other);
        QVERIFY(store.remove());
        QCOMPARE(store.read().kind, Kind::Missing);
        QVERIFY(QDir().mkpath(entryPath()));
        QCOMPARE(store.read().kind, Kind::Other);
        QVERIFY(!store.write(QStringLiteral("/opt/fwbagent")));
    }

    void folderFollowsTheEnvironment()
    {
        qputenv("HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("home"))));
        const QString home = m_dir.filePath(QStringLiteral("home/.config/autostart"));
        for (const char *relative : {"", "relative/config"}) {
            qputenv("XDG_CONFIG_HOME", relative);
            QCOMPARE(XdgAutoStartStore::autostartFolder(), home);
        }
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
        QCOMPARE(XdgAutoStartStore::autostartFolder(), m_dir.filePath(QStringLiteral("autostart")));
    }
};

QTEST_GUILESS_MAIN(tst_XdgAutoStart)
#include "tst_xdgautostart.moc"
