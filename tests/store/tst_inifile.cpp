#include "TestSupport.h"
#include "store/AppPaths.h"
#include "store/IniFile.h"
#include "store/Settings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fwb;

namespace {

QByteArray utf16le(QStringView text)
{
    QByteArray bytes("\xFF\xFE");
    for (const QChar c : text)
        bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return bytes;
}

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

private Q_SLOTS:
    // A write past a file-size limit must fail even for root, not end the test.
    void initTestCase() { std::signal(SIGXFSZ, SIG_IGN); }

    void read_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("defaultValue");
        QTest::addColumn<int>("bufferSize");
        QTest::addColumn<QString>("expected");

        const QString a = QStringLiteral("a");
        const QString k = QStringLiteral("k");
        const QString d = QStringLiteral("dflt");
        auto row = [&](const char *name, const QByteArray &content, const QString &section,
                       const QString &key, const QString &expected, const QString &def = QString(),
                       int bufferSize = 257) {
            QTest::newRow(name) << content << section << key << (def.isNull() ? d : def)
                                << bufferSize << expected;
        };

        row("mixed endings, last line unterminated", "[a]\r\nx=1\rk=v\ny=2", a, k, "v");
        row("lines trimmed, value keeps later =", " \t[ a ]\t\r\n \t k \v= \t v=w \t\r\n", a, k,
            "v=w");
        // Wine ends a section's name at the first ']'.
        row("first ] ends the name", "[a]b]\r\nk=v\r\n", a, k, "v");
        row("key without = gives default", "[a]\r\nk\r\nk=v\r\n", a, k, d);
        row("comment never matches", "[a]\r\n;k=v\r\n", a, ";k", d);
        row("hash is ordinary text", "[a]\r\n#k=v\r\n", a, "#k", "v");
        row("lines before the first section", "k=v\r\n[a]\r\nx=1\r\n", a, k, d);
        row("non-ASCII case", "[\xC3\x85sa]\r\nk=v\r\n", QStringLiteral("\u00E5SA"), k, "v");
        // Wine also ignores tabs around the arguments.
        row("tab before section argument", "[a]\r\nk=v\r\n", "\ta", k, d);
        row("only first matching section", "[a]\r\nx=1\r\n[b]\r\n[A]\r\nk=v\r\n", a, k, d);
        row("first matching key wins", "[a]\r\nk=1\r\nK=2\r\n", a, k, "1");
        row("double quotes", "[a]\r\nk= \" v w \" \r\n", a, k, " v w ");
        row("empty quotes", "[a]\r\nk=\"\"\r\n", a, k, "");
        row("empty value is not the default", "[a]\r\nk=\r\n", a, k, "");
        row("default loses trailing spaces", "", a, k, " d", " d   ");
        row("value cut to buffer", "[a]\r\nk=abcdef\r\n", a, k, "abc", d, 4);
        row("cut counts characters", "[a]\r\nk=\xC3\xA5\xF0\x9F\x98\x80z\r\n", a, k,
            QStringLiteral("\u00E5\U0001F600"), d, 3);
        row("NUL ends a value before its quotes", QByteArray("[a]\r\nk=\"x") + '\0' + "y\"\r\n", a,
            k, "\"x");
        // The text encodings a settings file may come in.
        row("windows-1252", "[a]\r\nk=\x9F\xE5\x80\r\n", a, k,
            QStringLiteral("\u0178\u00E5\u20AC"));
        row("one bad byte makes it 1252", "[a]\r\nx=\xC3\xA5\r\nk=\xC3\xA5\xE5\r\n", a, k,
            QStringLiteral("\u00C3\u00A5\u00E5"));
        row("utf-8 mark", "\xEF\xBB\xBF[a]\r\nk=\xC3\xA5\r\n", a, k, QStringLiteral("\u00E5"));
        row("utf-16le", utf16le(u"[a]\r\nk=\u00E5\u20AC\U0001F600\r\n"), a, k,
            QStringLiteral("\u00E5\u20AC\U0001F600"));
    }

    void read()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, defaultValue);
        QFETCH(int, bufferSize);

        const QString path = m_dir.filePath(QStringLiteral("read.ini"));
        test::writeFile(path, content);
        QTEST(ini::readProfileString(path, section, key, defaultValue, bufferSize), "expected");
    }

    void write_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        const QString a = QStringLiteral("a");
        const QString b = QStringLiteral("b");
        const QString k = QStringLiteral("k");
        auto row = [](const char *name, const QByteArray &before, const QString &section,
                      const QString &key, const QString &value, const QByteArray &after) {
            QTest::newRow(name) << before << section << key << value << after;
        };

        row("new file, names trimmed", {}, "  My Section  ", " My Key ", "2",
            "[My Section]\r\nMy Key=2\r\n");
        row("replace keeps the line's ending", "[a]\r\nk=1\rz=3\n", a, k, "2", "[a]\r\nk=2\rz=3\n");
        row("replace keeps stored spelling", "[OpTions]\r\n  Glo_Key = 1 \r\n", "options",
            "GLO_KEY", "2", "[OpTions]\r\nGlo_Key=2\r\n");
        row("new key after the last key line", "[a]\r\nx=1\r\n; trailing\r\n\r\n[b]\r\ny=2\r\n", a,
            k, "v", "[a]\r\nx=1\r\nk=v\r\n; trailing\r\n\r\n[b]\r\ny=2\r\n");
        row("new key after last line without ending", "[a]\r\nx=1", a, k, "v",
            "[a]\r\nx=1\r\nk=v\r\n");
        row("new key in the first of two sections", "[a]\r\nx=1\r\n[b]\r\n[A]\r\nk=1\r\n", a, k,
            "2", "[a]\r\nx=1\r\nk=2\r\n[b]\r\n[A]\r\nk=1\r\n");
        row("new section, value verbatim", "[a]\r\nx=1\r\n", b, k, "  \"q\" ; x\t",
            "[a]\r\nx=1\r\n[b]\r\nk=  \"q\" ; x\t\r\n");
        row("utf-8 file gets utf-8", "[a]\r\nn=\xC3\xA5\r\n", a, k, QStringLiteral("\u00F6\u20AC"),
            "[a]\r\nn=\xC3\xA5\r\nk=\xC3\xB6\xE2\x82\xAC\r\n");
        row("1252 file turning ascii", "[a]\r\nk=\xE5\r\n", a, k, "x", "[a]\r\nk=x\r\n");
        // Without its one 1252 byte the file would read as UTF-8, and n as "\u00E5".
        row("1252 file never turns utf-8", "[a]\r\nn=\xC3\xA5\r\nk=\xE5\r\n", a, k, "x", {});
        row("1252 file cannot hold everything", "[a]\r\nn=\xE5\r\n", a, k,
            QStringLiteral("\u65E5\U0001F600\u0080x"), "[a]\r\nn=\xE5\r\nk=???x\r\n");
        // Past this limit the write fails even for root; the original must stay as it was.
        row("failed write keeps the original", "[a]\r\nk=1\r\n", a, k, QString(1000, u'v'), {});
        row("utf-16le file gets utf-16le", utf16le(u"[a]\r\nk=1\r\n"), a, k,
            QStringLiteral("\u00F6\U0001F600"), utf16le(u"[a]\r\nk=\u00F6\U0001F600\r\n"));
    }

    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("w.ini"));
        if (!before.isNull())
            test::writeFile(path, before);
        // Temporary files of earlier writers: only the one left long ago, by a writer no longer
        // there to hold it, is cleared away.
        QFile held;
        const QList<std::pair<const char *, int>> temporaries{
            {"stale0", 120}, {"fresh0", 0}, {"held00", 120}};
        for (const auto &[suffix, age] : temporaries) {
            held.close();
            held.setFileName(path + QStringLiteral(".fwbtmp-") + QLatin1String(suffix));
            QVERIFY(held.open(QIODevice::WriteOnly) &&
                    held.setFileTime(QDateTime::currentDateTime().addSecs(-age),
                                     QFileDevice::FileModificationTime));
        }
        QVERIFY(::flock(held.handle(), LOCK_EX) == 0);

        const bool refused = after.isNull();
        const bool limited = value.size() > 64; // the one row that meets the file-size limit
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit lowered{limited ? 64 : saved.rlim_cur, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &lowered);
        const bool written = ini::writeProfileString(path, section, key, value);
        setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(written, !refused);
        QCOMPARE(test::readFile(path), refused ? before : after);
        if (!refused || limited)
            QCOMPARE(entriesOf(dir.path()),
                     QStringList({"w.ini", "w.ini.fwbtmp-fresh0", "w.ini.fwbtmp-held00"}));
    }

    void replacementKeepsModeAndLink()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("real/settings.ini"));
        const QString link = dir.filePath(QStringLiteral("settings.ini"));
        test::writeFile(target, "[a]\r\nk=1\r\n");
        QVERIFY(::chmod(QFile::encodeName(target).constData(), 0604) == 0);
        QVERIFY(QFile::link(target, link));
        // A link whose target does not exist yet gets the target created.
        const QString dangling = dir.filePath(QStringLiteral("fwbagent.ini"));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("real/fwbagent.ini")), dangling));
        for (const QString &file : {link, dangling}) {
            QVERIFY(ini::writeProfileString(file, QStringLiteral("a"), QStringLiteral("k"),
                                            QStringLiteral("2")));
            QVERIFY(QFileInfo(file).isSymLink());
        }
        QCOMPARE(test::readFile(target), QByteArray("[a]\r\nk=2\r\n"));
        QCOMPARE(test::readFile(dir.filePath(QStringLiteral("real/fwbagent.ini"))),
                 QByteArray("[a]\r\nk=2\r\n"));
        QCOMPARE(
            int(std::filesystem::status(QFile::encodeName(target).toStdString()).permissions()),
            0604);
        QCOMPARE(entriesOf(dir.filePath(QStringLiteral("real"))),
                 QStringList({"fwbagent.ini", "settings.ini"}));
    }

    void specialFilesReadAsAbsent_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *kind : {"fifo", "link to a fifo", "folder", "huge", "missing folder"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }
    void specialFilesReadAsAbsent()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("pipe"));
        QString path = kind == u"fifo" ? fifo : dir.filePath(QStringLiteral("x.ini"));
        constexpr qint64 HugeSize = 17 * 1024 * 1024;
        if (kind.contains(u"fifo"))
            QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        if (kind == u"link to a fifo") {
            QVERIFY(QFile::link(fifo, path));
        } else if (kind == u"missing folder") {
            path = dir.filePath(QStringLiteral("missing/x.ini"));
        } else if (kind == u"folder") {
            QVERIFY(QDir().mkdir(path));
        } else if (kind == u"huge") {
            test::writeFile(path, "[a]\r\nk=v\r\n");
            QVERIFY(QFile(path).resize(HugeSize));
        }

        // A reader or writer that wrongly opens a FIFO waits for a peer forever: the alarm ends
        // the test instead.
        ::alarm(10);
        QCOMPARE(ini::readProfileString(path, QStringLiteral("a"), QStringLiteral("k"),
                                        QStringLiteral("dflt"), 257),
                 QStringLiteral("dflt"));
        QVERIFY(!ini::writeProfileString(path, QStringLiteral("a"), QStringLiteral("k"),
                                         QStringLiteral("w")));
        ::alarm(0);
        const QFileInfo after(path);
        QCOMPARE(after.isFile(), kind == u"huge");
        QCOMPARE(after.dir().exists(), kind != u"missing folder");
        if (kind == u"huge")
            QCOMPARE(after.size(), HugeSize);
    }
    // Each row writes the two settings files and reads back, as
    // "agent backup minimize width firstRunPending folder", what the program loaded.
    void loadSettings_data()
    {
        QTest::addColumn<QByteArray>("settingsIni");
        QTest::addColumn<QByteArray>("agentIni");
        QTest::addColumn<QString>("loaded");
        const auto modes = [](const char *name, const QByteArray &stored, const char *loaded) {
            QTest::newRow(name) << QByteArray()
                                << "[Options]\r\nGLO_AgentStartupMode=" + stored +
                                       "\r\nGLO_BackupStartupMode=" + stored +
                                       "\r\nGLO_MinimizeMode=" + stored
                                << QString::fromLatin1(loaded) + " 0 1 Backup sets/";
        };
        const auto settings = [](const char *name, const QByteArray &lines, const char *loaded) {
            QTest::newRow(name) << lines << QByteArray() << QString::fromLatin1(loaded);
        };
        settings("no files", {}, "0 2 1 0 1 Backup sets/");
        modes("out of 0-2 kept as read", "7", "7 7 7");
        modes("too large", "256", "0 2 1");
        modes("half to even", "2.5", "2 2 2");
        modes("rounds past 255", "255.5", "0 2 1");
        modes("not finite", "nan", "0 2 1");
        settings("first run only for 1", "[Settings]\r\nFirstRunOfGeneration5=01",
                 "0 2 1 0 0 Backup sets/");
        settings("width too large for single", "[Options]\r\nGLO_IncreaseTextWidth=1e39",
                 "0 2 1 0 1 Backup sets/");
        settings("missing folder", "[Options]\r\nLastOpenedDir={app}Gone",
                 "0 2 1 0 1 Backup sets/");
        settings("stored case", "[Options]\r\nLastOpenedDir={app}my SETS", "0 2 1 0 1 My Sets/");
        settings("lone separator", "[Options]\r\nLastOpenedDir=/", "0 2 1 0 1 Backup sets/");
    }
    void loadSettings()
    {
        QFETCH(QByteArray, settingsIni);
        QFETCH(QByteArray, agentIni);
        QTemporaryDir dir;
        const QString app = dir.path() + u'/';
        QVERIFY(QDir().mkpath(app + QStringLiteral("Backup sets")) &&
                QDir().mkpath(app + QStringLiteral("My Sets")));
        const test::ScopedPlatform platform;
        test::resetProgramState(dir.path());
        test::writeFile(app + QStringLiteral("settings.ini"),
                        settingsIni.replace("{app}", QFile::encodeName(app)));
        test::writeFile(app + QStringLiteral("fwbagent.ini"), agentIni);
        // Values no load would give, so that one left unset shows.
        settings() = {9, 9, 9, QStringLiteral("x"), 9, false, QStringLiteral("x")};
        LoadSettings();
        const AgentSettings &s = settings();
        QCOMPARE(s.CurrentLanguage, QString());
        QCOMPARE(s.BackupSetFolder.left(app.size()), app);
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

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
