#include "TestSupport.h"
#include "store/AppPaths.h"
#include "store/IniFile.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fwb;

namespace {

// Spaces around the section and key arguments do not count, for reading or writing.
const QString a = QStringLiteral(" a ");
const QString k = QStringLiteral(" k ");

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    test::ScopedPlatform m_platform;

private Q_SLOTS:
    // A write past a file-size limit must fail even for root, not end the test.
    void initTestCase() { std::signal(SIGXFSZ, SIG_IGN); }

    // Names are found in any case, without spaces (but not tabs) around them; a default loses
    // its trailing spaces; a value is cut to the caller's buffer. A comment never matches.
    void read_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("arguments"); // section, key, default
        QTest::addColumn<int>("bufferSize");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const QByteArray &content, const QString &value,
                            const QStringList &arguments = {a, k, "dflt"}, int bufferSize = 257) {
            QTest::newRow(name) << content << arguments << bufferSize << value;
        };
        row("mixed endings, last line unterminated", "[a]\r\nx=1\rk=v\ny=2", "v");
        row("lines trimmed, value keeps later =", " \t[ a ]\t\r\n \t k \v= \t v=w \t\r\n", "v=w");
        row("key without = gives default", "[a]\r\nk\r\nk=v\r\n", "dflt");
        row("only first matching section", "[a]\r\nx=1\r\n[b]\r\n[A]\r\nk=v\r\n", "dflt");
        row("first matching key wins", "[a]\r\nk=1\r\nK=2\r\n", "1");
        row("section name ends at the first ]", "[a]x]\r\nk=v", "v");
        row("section without ]", "[b]\r\n[ a \r\nk=v", "v");
        row("no section before the first", "k=v\r\n[a]\r\n", "dflt");
        row("NUL ends names and values", QByteArray("[a\0b]\r\nk\0x=v\0w", 14), "v");
        row("quotes after trimming, one pair", "[a]\r\nk= ' \"v w\" ' \r\n", " \"v w\" ");
        row("mismatched quotes stay", "[a]\r\nk=\"v'", "\"v'");
        row("empty quotes", "[a]\r\nk=\"\"", "");
        row("empty value is not the default", "[a]\r\nk=\r\n", "");
        row("NUL cuts after the trimming", QByteArray("[a]\r\nk \0y=1\r\nk=v \0x\r\n", 21), "v ");
        row("non-ascii section in any case", "[\xC3\x85sa]\r\nk=v", "v",
            {QStringLiteral(" \u00E5SA "), k, {}});
        row("tab around a name counts", "[a]\r\nk=v", "", {"\ta", k, {}});
        row("default without trailing spaces", "", " d\t", {a, k, " d\t  "});
        row("cut to the buffer", "[a]\r\nk=\xC3\xA5\xF0\x9F\x98\x80z",
            QStringLiteral("\u00E5\U0001F600"), {a, k, {}}, 3);
        row("comment never matches", "[a]\r\n;k=c\r\n#k=h", "", {a, ";k", {}});
        row("# starts no comment", "[a]\r\n;k=c\r\n#k=h", "h", {a, "#k", {}});
        // The text encodings a settings file may come in.
        row("utf-8 mark", "\xEF\xBB\xBF[a]\r\nk=\xC3\xA5", QStringLiteral("\u00E5"));
        row("windows-1252", "[a]\r\nk=\x9F\xE5\x80\r\n", QStringLiteral("\u0178\u00E5\u20AC"));
        row("one bad byte makes it 1252", "[a]\r\nx=\xC3\xA5\r\nk=\xC3\xA5\xE5\r\n",
            QStringLiteral("\u00C3\u00A5\u00E5"));
        row("utf-16le", QByteArray("\xFF\xFE[\0a\0]\0\n\0k\0=\0\xE5\0\x3D\xD8\0\xDE", 20),
            QStringLiteral("\u00E5\U0001F600"));
    }
    void read()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, arguments);
        QFETCH(int, bufferSize);
        const QString path = m_dir.filePath(QStringLiteral("read.ini"));
        test::writeFile(path, content);
        QTEST(ini::readProfileString(path, arguments[0], arguments[1], arguments[2], bufferSize),
              "expected");
    }

    void write_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");
        const auto row = [](const char *name, const QByteArray &before, const QString &value,
                            const QByteArray &after) {
            QTest::newRow(name) << before << value << after;
        };
        row("new file, value verbatim", {}, " \"q\" ; x\t", "[a]\r\nk= \"q\" ; x\t\r\n");
        row("replace keeps line ending and spelling", "[A]\r\n  K = 1 \rz=3\nk=4\n", "2",
            "[A]\r\nK=2\rz=3\nk=4\n");
        row("new key after the last key line", "[a]\r\nx=1\r\n; c\r\n\r\n[b]\r\ny=2\r\n", "v",
            "[a]\r\nx=1\r\nk=v\r\n; c\r\n\r\n[b]\r\ny=2\r\n");
        row("new key in the first of two sections", "[a]\r\nx=1\r\n[b]\r\n[A]\r\nk=1\r\n", "2",
            "[a]\r\nx=1\r\nk=2\r\n[b]\r\n[A]\r\nk=1\r\n");
        row("new section", "[b]\r\nx=1", "v", "[b]\r\nx=1\r\n[a]\r\nk=v\r\n");
        row("utf-8 file gets utf-8", "\xEF\xBB\xBF[a]\r\nn=\xC3\xA5\r\n",
            QStringLiteral("\u00F6\u20AC"),
            "\xEF\xBB\xBF[a]\r\nn=\xC3\xA5\r\nk=\xC3\xB6\xE2\x82\xAC\r\n");
        row("utf-16 file gets utf-16", QByteArray("\xFF\xFE[\0a\0]\0\n\0", 10), "\u00E5",
            QByteArray("\xFF\xFE[\0a\0]\0\n\0k\0=\0\xE5\0\n\0", 18));
        // Without its one 1252 byte the file would read as UTF-8, and n as "\u00E5".
        row("1252 file never turns utf-8", "[a]\r\nn=\xC3\xA5\r\nk=\xE5\r\n", "x", {});
        row("1252 file cannot hold everything", "[a]\r\nn=\xE5\r\n",
            QStringLiteral("\u65E5\U0001F600\u0080x"), "[a]\r\nn=\xE5\r\nk=???x\r\n");
        // Past this limit the write fails even for root; the original must stay as it was.
        row("failed write keeps the original", "[a]\r\nk=1\r\n", QString(1000, u'v'), {});
    }
    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        // The folder is made when missing. Temporary files left by writers killed mid-way go
        // once they are a minute old; the others stay.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cfg/w.ini"));
        QStringList others;
        if (!before.isNull()) {
            test::writeFile(path, before);
            others = {"w.ini.fwbtmp-young1", "x.ini.fwbtmp-other1"};
            for (const QString &name : others + QStringList{"w.ini.fwbtmp-stale1"}) {
                const QByteArray file = QFile::encodeName(dir.filePath("cfg/" + name));
                test::writeFile(file, {});
                std::filesystem::last_write_time(
                    file.toStdString(), std::filesystem::file_time_type::clock::now() -
                                            std::chrono::seconds(name.contains("young") ? 50 : 70));
            }
        }
        const bool refused = after.isNull();
        const bool limited = value.size() > 64; // the one row that meets the file-size limit
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit lowered{limited ? 64 : saved.rlim_cur, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &lowered);
        const bool written = WriteIniText(path, a, k, value);
        setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(written, !refused);
        QCOMPARE(test::readFile(path), refused ? before : after);
        if (!refused || limited) // and no temporary file of its own left
            QCOMPARE(entriesOf(dir.filePath("cfg")), QStringList{"w.ini"} + others);
    }

    // A write through a link replaces the target, keeping its owner, group and permissions; a
    // link whose target does not exist yet gets the target created. A file nobody may write
    // stays as it is, whoever writes.
    void replacementKeepsOwnerModeAndLink()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("real/settings.ini"));
        const QByteArray native = QFile::encodeName(target);
        test::writeFile(target, "[a]\r\nk=1\r\n");
        QVERIFY(::chmod(native.constData(), 0604) == 0);
        const bool root = ::geteuid() == 0; // only root can give the file to somebody else
        QVERIFY(!root || ::chown(native.constData(), 65534, 65534) == 0);
        for (const char *name : {"settings.ini", "fwbagent.ini"}) {
            const QString link = dir.filePath(QString::fromLatin1(name));
            QVERIFY(QFile::link(dir.filePath(QStringLiteral("real/") + name), link));
            QVERIFY(ini::writeProfileString(link, a, k, QStringLiteral("2")));
            QVERIFY(QFileInfo(link).isSymLink());
            QCOMPARE(test::readFile(link), QByteArray("[a]\r\nk=2\r\n"));
        }
        struct stat info;
        QVERIFY(::stat(native.constData(), &info) == 0);
        QCOMPARE(info.st_mode & 07777, 0604u);
        QCOMPARE(info.st_uid, root ? 65534u : ::geteuid());
        QCOMPARE(entriesOf(dir.filePath(QStringLiteral("real"))),
                 QStringList({"fwbagent.ini", "settings.ini"}));
        QVERIFY(::chmod(native.constData(), 0444) == 0);
        QVERIFY(!ini::writeProfileString(target, a, k, QStringLiteral("3")));
        QCOMPARE(test::readFile(target), QByteArray("[a]\r\nk=2\r\n"));
    }

    // A reader or writer that wrongly opens a FIFO waits for a peer forever: the alarm ends
    // the test instead.
    void specialFilesReadAsAbsent()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        const QString link = dir.filePath(QStringLiteral("link"));
        const QString huge = dir.filePath(QStringLiteral("huge"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QVERIFY(QFile::link(fifo, link));
        test::writeFile(huge, "[a]\r\nk=v\r\n");
        QVERIFY(QFile(huge).resize(17 * 1024 * 1024));
        const QString missing = dir.filePath(QStringLiteral("missing/x.ini"));
        ::alarm(10);
        for (const QString &path : {fifo, link, huge, dir.path(), missing}) {
            QCOMPARE(ini::readProfileString(path, a, k, QStringLiteral("dflt"), 257),
                     QStringLiteral("dflt"));
            QVERIFY(!ini::writeProfileString(path, a, k, QStringLiteral("w")));
        }
        ::alarm(0);
        QCOMPARE(QFileInfo(huge).size(), qint64(17 * 1024 * 1024));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
    }

    // Each row writes one settings file and reads back, as "agent backup minimize width
    // firstRunPending folder|language", what the program loaded.
    void loadSettings_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("loaded");
        const auto modes = [](const char *name, const QByteArray &stored, const char *loaded) {
            QTest::newRow(name) << QStringLiteral("fwbagent.ini")
                                << "[Options]\r\nGLO_AgentStartupMode=" + stored +
                                       "\r\nGLO_BackupStartupMode=" + stored +
                                       "\r\nGLO_MinimizeMode=" + stored
                                << QString::fromLatin1(loaded) + " 0 1 Backup sets/|";
        };
        const auto options = [](const char *name, const QByteArray &lines,
                                const QByteArray &loaded = "0 2 1 0 1 Backup sets/|") {
            QTest::newRow(name) << QStringLiteral("settings.ini") << "[Options]\r\n" + lines
                                << QString::fromLatin1(loaded);
        };
        options("defaults", {});
        modes("255 kept as read", "255", "255 255 255");
        modes("above 255", "256", "0 2 1");
        modes("below 0", "-1", "0 2 1");
        modes("not a number", "1x", "0 2 1");
        modes("half to even", "2.5", "2 2 2");
        modes("fraction", "1.6", "2 2 2");
        options("width, language", "GLO_IncreaseTextWidth=-2.5\r\nGLO_CurrentLanguage=Svenska.lng",
                "0 2 1 -2.5 1 Backup sets/|Svenska.lng");
        options("width not a number", "GLO_IncreaseTextWidth=1x");
        options("language cut to 256 characters", "GLO_CurrentLanguage=" + QByteArray(300, 'L'),
                "0 2 1 0 1 Backup sets/|" + QByteArray(256, 'L'));
        options("first run only for 1", "[Settings]\r\nFirstRunOfGeneration5=01",
                "0 2 1 0 0 Backup sets/|");
        options("stored case, one separator", "LastOpenedDir={app}my SETS/", "0 2 1 0 1 My Sets/|");
        options("missing folder", "LastOpenedDir={app}none");
        options("lone /", "LastOpenedDir=/");
        options("root spelt //", "LastOpenedDir=//");
        options("root spelt /.", "LastOpenedDir=/.");
        options("lone \\", "LastOpenedDir=\\"); // though the working folder has one so named
    }
    void loadSettings()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, text);
        QTemporaryDir dir;
        const QString app = dir.path() + u'/';
        for (const char *folder : {"Backup sets", "My Sets", "\\"})
            QVERIFY(QDir().mkpath(app + QLatin1String(folder)));
        QVERIFY(QDir::setCurrent(app));
        const test::ScopedPlatform platform;
        test::resetProgramState(dir.path());
        test::writeFile(app + file, text.replace("{app}", QFile::encodeName(app)));
        // Values no load would give, so that one left unset shows.
        settings() = {AgentStartup(9), BackupStartup(9),   MinimizeTo(9), QStringLiteral("x"), 9,
                      false,           QStringLiteral("x")};
        LoadSettings();
        const AgentSettings &s = settings();
        QCOMPARE(s.BackupSetFolder.left(app.size()), app);
        QTEST(QString::asprintf("%d %d %d %g %d ", int(s.AgentStartupMode),
                                int(s.BackupStartupMode), int(s.MinimizeMode), s.IncreaseTextWidth,
                                int(s.FirstRunPending)) +
                  s.BackupSetFolder.mid(app.size()) + u'|' + s.CurrentLanguage,
              "loaded");
    }

    // Qt's own messages on standard error start with "qt: ", so nobody takes them for entries.
    void qtMessagesKeptApart()
    {
        const test::CapturedStandardError captured;
        const QtMessageHandler previous = qInstallMessageHandler(nullptr);
        KeepQtMessagesApart();
        const QLoggingCategory category("fwb.test");
        qWarning("plain");
        qCWarning(category, "named");
        qInstallMessageHandler(previous);
        QCOMPARE(captured.text(), "qt: plain\nqt: fwb.test: named\n");
    }
};

FWB_TEST_MAIN(QCoreApplication, TestIniFile, fwb::test::runsEverywhere)
#include "tst_inifile.moc"
