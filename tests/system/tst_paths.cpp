#include "TestSupport.h"
#include "platform/fake/FakeFileSystem.h"
#include "system/Paths.h"

#include <QDir>
#include <QScopeGuard>
#include <QTest>
#include <functional>
#include <map>

using namespace fwb;

class TestPaths : public QObject
{
    Q_OBJECT

    test::ScopedPlatform m_platform;
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        test::writeFile(m_dir.filePath(QStringLiteral("full/in side.txt")), "x");
        test::writeFile(m_dir.filePath(QStringLiteral("note.txt")), "x");
        const QDir base(m_dir.path());
        QVERIFY(base.mkpath(QStringLiteral("Alpha/Beta Gamma/Ölz")) &&
                base.mkpath(QStringLiteral("Dup")) && base.mkpath(QStringLiteral("dup")));
    }

    // Each row names the function it calls; {dir} stands for a folder holding "full/in side.txt",
    // "Alpha/Beta Gamma/Ölz", "Dup" and "dup".
    void pathText_data()
    {
        QTest::addColumn<QString>("function");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *function, const char *name, const QString &path,
                            const QString &expected) {
            QTest::addRow("%s: %s", function, name)
                << QString::fromLatin1(function) << path << expected;
        };
        row("add", "backslash added", "C:\\a", "C:\\a\\");
        row("add", "one slash decides", "C:/a\\b", "C:/a\\b/");
        row("add", "root kept", "/", "/");
        row("add", "empty", "", "\\");
        row("remove", "blanks and backslash", "  C:\\a\\  ", "C:\\a");
        row("remove", "either separator", "/a\\", "/a");
        row("remove", "only one slash", "/x//", "/x/");
        row("remove", "tabs are not blanks", "\t/a/\t", "\t/a/\t");
        row("trim", "cut at first", QString::fromUtf16(u"label\0x\0y", 9), "label");
        row("rooted", "root", "/", "1");
        row("rooted", "network", "//server/share", "0");
        row("rooted", "relative", "a/b", "0");
        row("unc", "backslashes", "\\\\server\\share\\x", "\\\\server\\");
        row("unc", "slashes", "//server/share/x", "//server/");
        row("unc", "bare server", "//Server", "//Server");
        row("unc", "separators mixed", "\\\\server/share", "\\\\server/share");
        row("unc", "absolute", "/a/b", "/a/b");
        row("parent", "below root", "/x.txt", "/");
        row("parent", "bare name", "x.txt", "");
        row("parent", "folder with separator", "/a/", "/a");
        row("parent", "backslash is a name character", "C:\\a\\b.dll", "");
        // File and folder existence, as two digits.
        row("exists", "folder with separator", "{dir}/full/", "01");
        row("exists", "file", "{dir}/full/in side.txt", "11");
        row("exists", "file with separator", "{dir}/full/in side.txt/", "00");
        row("exists", "pattern", "{dir}/full/IN*.TXT", "11");
        row("exists", "pattern without match", "{dir}/full/*.none", "00");
        row("case", "any case", "{dir}/alpha/BETA gamma/", "{dir}/Alpha/Beta Gamma");
        row("case", "non-ascii", "{dir}/ALPHA/beta gamma/ÖLZ", "{dir}/Alpha/Beta Gamma/Ölz");
        row("case", "exact name preferred", "{dir}/dup", "{dir}/dup");
        row("case", "first in name order", "{dir}/DuP", "{dir}/Dup");
        row("case", "missing component", "{dir}/alpha/missing/Beta Gamma",
            "{dir}/alpha/missing/Beta Gamma/");
        row("case", "doubled separator", "{dir}/Alpha//Beta Gamma", "{dir}/Alpha//Beta Gamma/");
    }
    void pathText()
    {
        QFETCH(QString, function);
        QFETCH(QString, path);
        QFETCH(QString, expected);
        const auto number = [](bool value) {
            return QString::number(value);
        };
        const std::map<QString, std::function<QString(const QString &)>> functions{
            {"add", AddTrailingSlash},
            {"remove", RemoveTrailingSlash},
            {"trim", TrimAtNull},
            {"rooted",
             [&](const QString &p) {
                 return number(IsDriveRooted(p));
             }},
            {"unc", UncServerPrefix},
            {"parent", ParentFolder},
            {"exists",
             [&](const QString &p) {
                 return number(FileExists(p)) + number(FolderExists(p));
             }},
            {"case", GetRealPathCase}};
        path.replace(QStringLiteral("{dir}"), m_dir.path());
        QCOMPARE(functions.at(function)(path),
                 expected.replace(QStringLiteral("{dir}"), m_dir.path()));
    }

    void createUnderFile_data()
    {
        QTest::addColumn<QString>("errorText");
        QTest::addColumn<QStringList>("failedLevels");
        QTest::newRow("quiet") << QString() << QStringList();
        QTest::newRow("with errors") << QStringLiteral("Error creating folder:")
                                     << QStringList{"note.txt/sub", "note.txt/sub/deeper"};
    }
    void createUnderFile()
    {
        QFETCH(QString, errorText);
        QFETCH(QStringList, failedLevels);
        m_platform.boxes.shown.clear();
        QVERIFY(!CreateFolder(m_dir.filePath(QStringLiteral("note.txt/sub/deeper")), errorText));
        QCOMPARE(m_platform.boxes.shown.size(), failedLevels.size());
        for (qsizetype i = 0; i < failedLevels.size(); ++i) {
            const auto &box = m_platform.boxes.shown.at(i);
            QCOMPARE(box.text, "Error creating folder: " + m_dir.filePath(failedLevels.at(i)));
            QCOMPARE(box.title, QStringLiteral("FWB Agent"));
            QCOMPARE(box.icon, BoxIcon::None);
        }
    }

    void createNeverMakesServerName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("attempts");
        QTest::addColumn<bool>("created");
        QTest::newRow("unreachable server")
            << "//server/share/new" << QStringList{"//server/share", "//server/share/new"} << false;
        QTest::newRow("share present")
            << "//Server/share/new" << QStringList{"//Server/share/new"} << true;
        QTest::newRow("bare server") << "//server/" << QStringList() << false;
        QTest::newRow("relative") << "a b/c/" << QStringList() << false;
    }
    void createNeverMakesServerName()
    {
        QFETCH(QString, path);
        FakeFileSystem files;
        if (QTest::currentDataTag() == QByteArray("share present"))
            files.addFolder(QStringLiteral("//Server/share"));
        FileSystem *const saved = std::exchange(platform().fileSystem, &files);
        const auto restore = qScopeGuard([saved] { platform().fileSystem = saved; });
        QTEST(CreateFolder(path), "created");
        QTEST(files.createAttempts, "attempts");
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
