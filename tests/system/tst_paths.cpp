#include "TestSupport.h"
#include "platform/fake/FakeFileSystem.h"
#include "system/Paths.h"

#include <QDir>
#include <QTest>
#include <QTimer>

using namespace fwb;

namespace {

void row(const char *name, const char *path, const char *expected)
{
    QTest::newRow(name) << QString::fromUtf8(path) << QString::fromUtf8(expected);
}

} // namespace

class TestPaths : public QObject
{
    Q_OBJECT

    test::ScopedPlatform m_platform;
    QTemporaryDir m_dir;

private Q_SLOTS:
    // What the text operations make of a path, as "AddTrailingSlash|RemoveTrailingSlash|
    // ParentFolder|UncServerPrefix|IsDriveRooted".
    void pathText_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        row("empty", "", "\\||||0");
        row("root", "/", "/||/|/|1");
        row("file below the root", "/x.txt", "/x.txt/|/x.txt|/|/x.txt|1");
        row("folder", "/a/", "/a/|/a|/a|/a/|1");
        row("blanks, two separators", " /a// ", " /a// /|/a/|/a/| /a// |0");
        row("relative", "x.txt", "x.txt\\|x.txt||x.txt|0");
        row("backslashes", "C:\\x\\\\", "C:\\x\\\\|C:\\x\\||C:\\x\\\\|0");
        row("one slash decides", "C:/a\\b", "C:/a\\b/|C:/a\\b|C:|C:/a\\b|0");
        row("network", "//srv/share/x", "//srv/share/x/|//srv/share/x|//srv/share|//srv/|0");
        row("network, backslashes", "\\\\srv\\x", "\\\\srv\\x\\|\\\\srv\\x||\\\\srv\\|0");
        row("server alone", "//srv", "//srv/|//srv|/|//srv|0");
    }
    void pathText()
    {
        QFETCH(QString, path);
        QTEST(QStringList({AddTrailingSlash(path), RemoveTrailingSlash(path), ParentFolder(path),
                           UncServerPrefix(path), QString::number(IsDriveRooted(path))})
                  .join(u'|'),
              "expected");
        QCOMPARE(TrimAtNull(path + QChar(0) + path), path);
    }

    // A path's real letter case, found part by part, and whether a file or a folder is there.
    void onDisk_data()
    {
        test::writeFile(m_dir.filePath(QStringLiteral("full/in side.txt")), "x");
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("Alpha/Beta Gamma")));
        QTest::addColumn<QString>("path");     // "~" stands for the test's folder
        QTest::addColumn<QString>("expected"); // real case, then "file folder" existence
        row("folder", "~/full/", "~/full 01");
        row("folder without separator", "~/full", "~/full 11");
        row("file", "~/full/in side.txt", "~/full/in side.txt 11");
        row("any case", "~/alpha/BETA gamma/", "~/Alpha/Beta Gamma 00");
        row("missing part", "~/alpha/no/beta", "~/alpha/no/beta/ 00");
        row("root", "/", "/ 01");
        row("empty", "", " 00");
    }
    void onDisk()
    {
        QFETCH(QString, path);
        path.replace(u'~', m_dir.path());
        QTEST(GetRealPathCase(path).replace(m_dir.path(), QStringLiteral("~")) + u' ' +
                  QString::number(FileExists(path)) + QString::number(FolderExists(path)),
              "expected");
    }

    // The folders CreateFolder tries to make, in order ("!" where that failed, "events" where
    // it let pending events run), after its answer; a box for each failure, titled with the
    // program's name, only when asked for.
    void createFolder_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        row("every missing level", "/new/a/b", "1 /new /new/a events /new/a/b");
        row("existing levels kept", "/old/a/", "1 /old/a");
        row("a file in the way", "/file/a/b", "0 /file/a! events /file/a/b!");
        row("server name never made", "//srv/share/x", "0 //srv/share! events //srv/share/x!");
        row("relative path never made", "new/a", "0");
    }
    void createFolder()
    {
        QFETCH(QString, path);
        for (const QString &errorText : {QString(), QStringLiteral("Error creating folder:")}) {
            test::ScopedPlatform scoped;
            FakeFileSystem disk;
            disk.addFolder(QStringLiteral("/old"));
            disk.addFile(QStringLiteral("/file"));
            platform().fileSystem = &disk;
            const QObject events;
            QTimer::singleShot(0, &events, [&disk] { disk.createAttempts += "events"; });
            QString made = QString::number(CreateFolder(path, errorText));
            QStringList failed;
            for (const QString &folder : disk.createAttempts) {
                const bool ok = disk.isFolder(folder) || folder == "events";
                made += u' ' + folder + (ok ? "" : "!");
                if (!ok && !errorText.isEmpty())
                    failed += "FWB Agent|" + errorText + u' ' + folder;
            }
            QTEST(made, "expected");
            QCOMPARE(test::shownBoxes(scoped.boxes, BoxIcon::None), failed);
        }
    }
};

FWB_TEST_MAIN(QCoreApplication, TestPaths, fwb::test::runsEverywhere)
#include "tst_paths.moc"
