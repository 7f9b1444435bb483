#include "TestSupport.h"
#include "platform/fake/FakeFileSystem.h"
#include "system/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <functional>
#include <map>

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

} // namespace

class TestPaths : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_platform.boxes.shown.clear(); }
    void pathText_data();
    void pathText();

    void existence_data();
    void existence();

    void realPathCase_data();
    void realPathCase();

    void createUnderFile_data();
    void createUnderFile();
    void createNeverMakesServerName_data();
    void createNeverMakesServerName();

private:
    test::ScopedPlatform m_platform;
};

// The text-only path functions, each row naming the function it calls.
void TestPaths::pathText_data()
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
    row("trim", "cut at first", withNul(u"label", withNul(u"x", u"y")), "label");
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
}

void TestPaths::pathText()
{
    QFETCH(QString, function);
    QFETCH(QString, path);
    const std::map<QString, std::function<QString(const QString &)>> functions{
        {"add", AddTrailingSlash},
        {"remove", RemoveTrailingSlash},
        {"trim", TrimAtNull},
        {"rooted",
         [](const QString &p) {
             return QString::number(IsDriveRooted(p));
         }},
        {"unc", UncServerPrefix},
        {"parent", ParentFolder}};
    QTEST(functions.at(function)(path), "expected");
}

void TestPaths::existence_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<bool>("folderExists");
    QTest::newRow("folder with separator") << "full/" << false << true;
    QTest::newRow("file") << "full/in side.txt" << true << true;
    QTest::newRow("file with separator") << "full/in side.txt/" << false << false;
    QTest::newRow("pattern") << "full/IN*.TXT" << true << true;
    QTest::newRow("pattern without match") << "full/*.none" << false << false;
}

void TestPaths::existence()
{
    QFETCH(QString, relative);
    QFETCH(bool, fileExists);
    QFETCH(bool, folderExists);
    QTemporaryDir dir;
    test::writeFile(dir.filePath(QStringLiteral("full/in side.txt")), "x");

    const QString path = dir.path() + u'/' + relative;
    QCOMPARE(FileExists(path), fileExists);
    QCOMPARE(FolderExists(path), folderExists);
}

void TestPaths::realPathCase_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("expected"); // "" for the working text: input + "/"
    QTest::newRow("any case") << QString("alpha/BETA gamma/") << QString("Alpha/Beta Gamma");
    QTest::newRow("non-ascii") << QString("ALPHA/beta gamma/ÖLZ")
                               << QString("Alpha/Beta Gamma/Ölz");
    QTest::newRow("exact name preferred") << QString("dup") << QString("dup");
    QTest::newRow("first in name order") << QString("DuP") << QString("Dup");
    QTest::newRow("missing component") << QString("alpha/missing/Beta Gamma") << QString("");
    QTest::newRow("doubled separator") << QString("Alpha//Beta Gamma") << QString("");
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

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
