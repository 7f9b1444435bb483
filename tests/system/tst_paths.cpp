#include "TestSupport.h"
#include "platform/fake/FakeFileSystem.h"
#include "system/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTest>

using namespace fwb;

namespace {

// Callers that report failures pass the translated text; with no language pack it is this one.
QString errorTextIf(bool showErrors)
{
    return showErrors ? QStringLiteral("Error creating folder:") : QString();
}

QString withNul(QStringView before, QStringView after)
{
    return before.toString() + QChar(0) + after.toString();
}

// Puts a fake file system in place of the real one for the life of one test.
class FakeFilesInUse
{
public:
    explicit FakeFilesInUse(FakeFileSystem &files) : m_saved(platform().fileSystem)
    {
        platform().fileSystem = &files;
    }
    ~FakeFilesInUse() { platform().fileSystem = m_saved; }
    FakeFilesInUse(const FakeFilesInUse &) = delete;
    FakeFilesInUse &operator=(const FakeFilesInUse &) = delete;

private:
    FileSystem *m_saved;
};

// One row of a table whose two columns are texts.
void textRow(const char *name, const QString &input, const QString &expected)
{
    QTest::newRow(name) << input << expected;
}

} // namespace

class TestPaths : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_platform.boxes.shown.clear(); }
    void addTrailingSlash_data();
    void addTrailingSlash();
    void removeTrailingSlash_data();
    void removeTrailingSlash();
    void trimAtNull_data();
    void trimAtNull();
    void isDriveRootedAndSeparator_data();
    void isDriveRootedAndSeparator();
    void uncServerPrefix_data();
    void uncServerPrefix();
    void parentFolder_data();
    void parentFolder();

    void existence_data();
    void existence();
    void existenceWithoutName();
    void rootReadiness();

    void realPathCase_data();
    void realPathCase();
    void realPathCaseOfUnreadableDrive();

    void createNested_data();
    void createNested();
    void createUnderFile_data();
    void createUnderFile();
    void createContinuesAfterFailedLevel();
    void createNeverMakesServerName_data();
    void createNeverMakesServerName();
    void createLetsEventsRunBeforeLastLevel();

private:
    test::ScopedPlatform m_platform;
};

void TestPaths::addTrailingSlash_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    textRow("backslash added", "C:\\a", "C:\\a\\");
    textRow("backslash kept", "C:\\a\\", "C:\\a\\");
    textRow("slash added", "x/a", "x/a/");
    textRow("slash kept", "/home/a/", "/home/a/");
    textRow("one slash decides", "C:/a\\b", "C:/a\\b/");
    textRow("slash path ending in backslash", "/a\\", "/a\\/");
    textRow("root", "/", "/");
    textRow("empty", "", "\\");
}

void TestPaths::addTrailingSlash()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(AddTrailingSlash(path), expected);
}

void TestPaths::removeTrailingSlash_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    textRow("blanks and backslash", "  C:\\a\\  ", "C:\\a");
    textRow("blanks and slash", "  /a/b/  ", "/a/b");
    textRow("either separator", "/a\\", "/a");
    textRow("lone slash", "/", "");
    textRow("lone backslash", "\\", "");
    textRow("only one backslash", "C:\\x\\\\", "C:\\x\\");
    textRow("only one slash", "/x//", "/x/");
    textRow("inner blanks kept", " /a b/ ", "/a b");
    textRow("tabs are not blanks", "\t/a/\t", "\t/a/\t");
    textRow("blanks only", "   ", "");
    textRow("empty", "", "");
}

void TestPaths::removeTrailingSlash()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(RemoveTrailingSlash(path), expected);
}

void TestPaths::trimAtNull_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    textRow("cut at first", withNul(u"label", withNul(u"x", u"y")), "label");
    textRow("leading nul", withNul(u"", u"rest"), "");
    textRow("no nul", "C:\\a", "C:\\a");
    textRow("empty", "", "");
}

void TestPaths::trimAtNull()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(TrimAtNull(text), expected);
}

void TestPaths::isDriveRootedAndSeparator_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("rooted");
    QTest::addColumn<QString>("separator");
    QTest::newRow("root") << "/" << true << "/";
    QTest::newRow("absolute") << "/home/a b" << true << "/";
    QTest::newRow("network slashes") << "//server/share" << false << "/";
    QTest::newRow("network backslashes") << "\\\\server\\share" << false << "\\";
    QTest::newRow("relative") << "a/b" << false << "/";
    QTest::newRow("windows drive") << "C:\\x" << false << "\\";
    QTest::newRow("mixed") << "C:/a\\b" << false << "/";
    QTest::newRow("empty") << "" << false << "\\";
}

void TestPaths::isDriveRootedAndSeparator()
{
    QFETCH(QString, path);
    QFETCH(bool, rooted);
    QFETCH(QString, separator);
    QCOMPARE(IsDriveRooted(path), rooted);
    QCOMPARE(PathSeparator(path), separator);
}

void TestPaths::uncServerPrefix_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    textRow("backslashes", "\\\\server\\share\\x", "\\\\server\\");
    textRow("slashes", "//server/share/x", "//server/");
    textRow("server with separator", "//server/", "//server/");
    textRow("bare server", "//Server", "//Server");
    textRow("bare server backslashes", "\\\\server", "\\\\server");
    textRow("separators mixed", "\\\\server/share", "\\\\server/share");
    textRow("absolute", "/a/b", "/a/b");
    textRow("drive", "C:\\a", "C:\\a");
    textRow("empty", "", "");
}

void TestPaths::uncServerPrefix()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(UncServerPrefix(path), expected);
}

void TestPaths::parentFolder_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    textRow("library", "/a/b/c.so", "/a/b");
    textRow("below root", "/x.txt", "/");
    textRow("root", "/", "/");
    textRow("bare name", "x.txt", "");
    textRow("folder with separator", "/a/", "/a");
    textRow("relative", "a/b", "a");
    textRow("spaces", "/a b/c d.txt", "/a b");
    textRow("backslash is a name character", "C:\\a\\b.dll", "");
    textRow("empty", "", "");
}

void TestPaths::parentFolder()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(ParentFolder(path), expected);
}

void TestPaths::existence_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<bool>("folderExists");
    QTest::newRow("folder") << "full" << true << true;
    QTest::newRow("folder with separator") << "full/" << false << true;
    QTest::newRow("empty folder") << "empty" << true << true;
    QTest::newRow("empty folder with separator") << "empty/" << false << true;
    QTest::newRow("file") << "full/in side.txt" << true << true;
    QTest::newRow("file with separator") << "full/in side.txt/" << false << false;
    QTest::newRow("pattern") << "full/IN*.TXT" << true << true;
    QTest::newRow("pattern without match") << "full/*.none" << false << false;
    QTest::newRow("missing") << "missing" << false << false;
    QTest::newRow("missing with separator") << "missing/" << false << false;
}

void TestPaths::existence()
{
    QFETCH(QString, relative);
    QFETCH(bool, fileExists);
    QFETCH(bool, folderExists);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("empty")));
    test::writeFile(dir.filePath(QStringLiteral("full/in side.txt")), "x");

    const QString path = dir.path() + u'/' + relative;
    QCOMPARE(FileExists(path), fileExists);
    QCOMPARE(FolderExists(path), folderExists);
}

void TestPaths::existenceWithoutName()
{
    QVERIFY(!FileExists(QString()));
    QVERIFY(!FolderExists(QString()));
    QVERIFY(!FileExists(QStringLiteral("/")));
    QVERIFY(FolderExists(QStringLiteral("/")));
}

void TestPaths::rootReadiness()
{
    FakeFileSystem files;
    files.addFile(QStringLiteral("/media/cd/readme"));
    const FakeFilesInUse inUse(files);

    QVERIFY(FolderExists(QStringLiteral("/media/cd")));
    QVERIFY(files.driveQueries.isEmpty());
    QVERIFY(FolderExists(QStringLiteral("/")));
    files.setDriveReady(QStringLiteral("/"), false);
    QVERIFY(!FolderExists(QStringLiteral("/")));
    QCOMPARE(files.driveQueries, (QStringList{"/", "/"}));
}

void TestPaths::realPathCase_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("expected"); // "" for the working text: input + "/"
    textRow("exact", "Alpha/Beta Gamma", "Alpha/Beta Gamma");
    textRow("any case", "alpha/BETA gamma/", "Alpha/Beta Gamma");
    textRow("non-ascii", "ALPHA/beta gamma/ÖLZ", "Alpha/Beta Gamma/Ölz");
    textRow("exact name preferred", "dup", "dup");
    textRow("first in name order", "DuP", "Dup");
    textRow("missing component", "alpha/missing/Beta Gamma", "");
    textRow("missing last", "alpha/Missing/", "");
    textRow("doubled separator", "Alpha//Beta Gamma", "");
}

void TestPaths::realPathCase()
{
    QFETCH(QString, relative);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QDir base(dir.path());
    QVERIFY(base.mkpath(QStringLiteral("Alpha/Beta Gamma/Ölz")));
    QVERIFY(base.mkpath(QStringLiteral("Dup")));
    QVERIFY(base.mkpath(QStringLiteral("dup")));

    const QString path = dir.path() + u'/' + relative;
    const QString unresolved = (path.endsWith(u'/') ? path.chopped(1) : path) + u'/';
    QCOMPARE(GetRealPathCase(path), expected.isEmpty() ? unresolved : dir.path() + u'/' + expected);
}

void TestPaths::realPathCaseOfUnreadableDrive()
{
    QCOMPARE(GetRealPathCase(QString()), QString());
    QCOMPARE(GetRealPathCase(QStringLiteral("/")), QStringLiteral("/"));
    QCOMPARE(GetRealPathCase(QStringLiteral("relative/Path")), QStringLiteral("relative/Path/"));
    QCOMPARE(GetRealPathCase(QStringLiteral("//Server/Share/")), QStringLiteral("//Server/Share/"));

    FakeFileSystem files;
    files.addFolder(QStringLiteral("/Media/CD/Sub"));
    files.setDriveReady(QStringLiteral("/Media/CD"), false);
    const FakeFilesInUse inUse(files);
    QCOMPARE(GetRealPathCase(QStringLiteral("/media/cd")), QStringLiteral("/Media/CD"));
    QCOMPARE(GetRealPathCase(QStringLiteral("/media/cd/sub")), QStringLiteral("/media/cd/sub/"));
}

void TestPaths::createNested_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("showErrors");
    QTest::newRow("quiet") << "a/b c/d" << false;
    QTest::newRow("with errors") << "a/b c/d" << true;
    QTest::newRow("trailing separator") << "a/b c/d/" << false;
    QTest::newRow("existing") << "" << true;
}

void TestPaths::createNested()
{
    QFETCH(QString, relative);
    QFETCH(bool, showErrors);
    QTemporaryDir dir;
    const QString path = dir.path() + u'/' + relative;

    QVERIFY(CreateFolder(path, errorTextIf(showErrors)));
    QVERIFY(QFileInfo(path).isDir());
    QVERIFY(m_platform.boxes.shown.isEmpty());
}

void TestPaths::createUnderFile_data()
{
    QTest::addColumn<bool>("showErrors");
    QTest::addColumn<QStringList>("failedLevels");
    QTest::newRow("quiet") << false << QStringList();
    QTest::newRow("with errors") << true << QStringList{"note.txt/sub", "note.txt/sub/deeper"};
}

void TestPaths::createUnderFile()
{
    QFETCH(bool, showErrors);
    QFETCH(QStringList, failedLevels);
    QTemporaryDir dir;
    test::writeFile(dir.filePath(QStringLiteral("note.txt")), "x");

    QVERIFY(!CreateFolder(dir.filePath(QStringLiteral("note.txt/sub/deeper")),
                          errorTextIf(showErrors)));
    QCOMPARE(m_platform.boxes.shown.size(), failedLevels.size());
    for (qsizetype i = 0; i < failedLevels.size(); ++i) {
        const auto &box = m_platform.boxes.shown.at(i);
        QCOMPARE(box.text, "Error creating folder: " + dir.filePath(failedLevels.at(i)));
        QCOMPARE(box.title, QStringLiteral("FWB Agent"));
        QCOMPARE(box.icon, BoxIcon::None);
    }
}

void TestPaths::createContinuesAfterFailedLevel()
{
    FakeFileSystem files;
    files.failCreationOf(QStringLiteral("/a/b"));
    const FakeFilesInUse inUse(files);

    QVERIFY(!CreateFolder(QStringLiteral("/a/b/c/d"), errorTextIf(true)));
    QCOMPARE(files.createAttempts, (QStringList{"/a", "/a/b", "/a/b/c", "/a/b/c/d"}));
    QVERIFY(files.isFolder(QStringLiteral("/a")));
    QStringList texts;
    for (const auto &box : std::as_const(m_platform.boxes.shown))
        texts.append(box.text);
    QCOMPARE(texts, (QStringList{"Error creating folder: /a/b", "Error creating folder: /a/b/c",
                                 "Error creating folder: /a/b/c/d"}));
}

void TestPaths::createNeverMakesServerName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("shareExists");
    QTest::addColumn<QStringList>("attempts");
    QTest::addColumn<bool>("created");
    QTest::newRow("unreachable server")
        << "//server/share/new" << false << QStringList{"//server/share", "//server/share/new"}
        << false;
    QTest::newRow("share present")
        << "//Server/share/new" << true << QStringList{"//Server/share/new"} << true;
    QTest::newRow("backslashes") << "\\\\server\\share\\new" << false
                                 << QStringList{"\\\\server\\share", "\\\\server\\share\\new"}
                                 << false;
    QTest::newRow("bare server") << "//server/" << false << QStringList() << false;
    QTest::newRow("relative") << "a b/c/" << false << QStringList() << false;
}

void TestPaths::createNeverMakesServerName()
{
    QFETCH(QString, path);
    QFETCH(bool, shareExists);
    QFETCH(QStringList, attempts);
    QFETCH(bool, created);
    FakeFileSystem files;
    if (shareExists)
        files.addFolder(QStringLiteral("//Server/share"));
    const FakeFilesInUse inUse(files);

    QCOMPARE(CreateFolder(path), created);
    QCOMPARE(files.createAttempts, attempts);
}

void TestPaths::createLetsEventsRunBeforeLastLevel()
{
    FakeFileSystem files;
    const FakeFilesInUse inUse(files);
    QStringList attemptsSeenByEvent{QStringLiteral("event did not run")};
    QMetaObject::invokeMethod(
        qApp, [&] { attemptsSeenByEvent = files.createAttempts; }, Qt::QueuedConnection);

    QVERIFY(CreateFolder(QStringLiteral("/a/b")));
    QCOMPARE(attemptsSeenByEvent, QStringList{"/a"});
    QCOMPARE(files.createAttempts, (QStringList{"/a", "/a/b"}));
}

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
