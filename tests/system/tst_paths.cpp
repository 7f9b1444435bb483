#include "TestSupport.h"
#include "platform/fake/FakeFileSystem.h"
#include "system/Paths.h"

#include <QDir>
#include <QTest>

using namespace fwb;

class TestPaths : public QObject
{
    Q_OBJECT

    test::ScopedPlatform m_platform;
    QTemporaryDir m_dir;

private Q_SLOTS:
    // A path's real letter case, found part by part, and whether a file or a folder is there.
    void pathText_data()
    {
        test::writeFile(m_dir.filePath(QStringLiteral("full/in side.txt")), "x");
        for (const char *folder : {"Alpha/Beta Gamma/Ölz", "Dup", "dup"})
            QVERIFY(QDir(m_dir.path()).mkpath(QString::fromUtf8(folder)));
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("realCase"); // and "file folder" existence
        QTest::newRow("folder") << "{dir}/full/"
                                << "{dir}/full 01";
        QTest::newRow("file") << "{dir}/full/in side.txt"
                              << "{dir}/full/in side.txt 11";
        QTest::newRow("file as a folder") << "{dir}/full/in side.txt/"
                                          << "{dir}/full/in side.txt 00";
        QTest::newRow("pattern") << "{dir}/full/IN*.TXT"
                                 << "{dir}/full/IN*.TXT/ 11";
        QTest::newRow("any case") << "{dir}/alpha/BETA gamma/"
                                  << "{dir}/Alpha/Beta Gamma 00";
        QTest::newRow("non-ascii") << "{dir}/ALPHA/beta gamma/ÖLZ"
                                   << "{dir}/Alpha/Beta Gamma/Ölz 00";
        QTest::newRow("exact name first") << "{dir}/dup"
                                          << "{dir}/dup 11";
        QTest::newRow("then name order") << "{dir}/DuP"
                                         << "{dir}/Dup 00";
        QTest::newRow("missing part") << "{dir}/alpha/no/beta"
                                      << "{dir}/alpha/no/beta/ 00";
    }
    void pathText()
    {
        QFETCH(QString, path);
        QFETCH(QString, realCase);
        path.replace(QStringLiteral("{dir}"), m_dir.path());
        QCOMPARE(GetRealPathCase(path) + u' ' + QString::number(FileExists(path)) +
                     QString::number(FolderExists(path)),
                 realCase.replace(QStringLiteral("{dir}"), m_dir.path()));
    }

    void createUnderAFileReportsEachLevel()
    {
        test::writeFile(m_dir.filePath(QStringLiteral("note.txt")), "x");
        QVERIFY(!CreateFolder(m_dir.filePath(QStringLiteral("note.txt/sub/deeper")),
                              QStringLiteral("Error creating folder:")));
        QCOMPARE(m_platform.boxes.shown.size(), 2);
        QCOMPARE(m_platform.boxes.shown[1].text,
                 "Error creating folder: " + m_dir.filePath(QStringLiteral("note.txt/sub/deeper")));
        QCOMPARE(m_platform.boxes.shown[1].title, QStringLiteral("FWB Agent"));
    }

    // A network path's server and share are never made, only what lies below them.
    void createNeverMakesTheServerName()
    {
        FakeFileSystem files;
        FileSystem *const saved = std::exchange(platform().fileSystem, &files);
        QVERIFY(!CreateFolder(QStringLiteral("//server/share/new")));
        QVERIFY(!CreateFolder(QStringLiteral("//server/")));
        files.addFolder(QStringLiteral("//Server/share"));
        QVERIFY(CreateFolder(QStringLiteral("//Server/share/new")));
        platform().fileSystem = saved;
        QCOMPARE(files.createAttempts,
                 (QStringList{"//server/share", "//server/share/new", "//Server/share/new"}));
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
