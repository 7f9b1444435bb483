#include "TestSupport.h"
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
        QTest::addColumn<QString>("expected"); // real case, then "file folder" existence
        const auto row = [](const char *name, const char *path, const char *expected) {
            QTest::newRow(name) << QString::fromUtf8(path) << QString::fromUtf8(expected);
        };
        row("folder", "full/", "full 01");
        row("any case", "alpha/BETA gamma/", "Alpha/Beta Gamma 00");
        row("non-ascii", "ALPHA/beta gamma/ÖLZ", "Alpha/Beta Gamma/Ölz 00");
        row("name order", "DuP", "Dup 00");
        row("missing part", "alpha/no/beta", "alpha/no/beta/ 00");
    }
    void pathText()
    {
        QFETCH(QString, path);
        path.prepend(m_dir.path() + u'/');
        QTEST(GetRealPathCase(path).mid(m_dir.path().size() + 1) + u' ' +
                  QString::number(FileExists(path)) + QString::number(FolderExists(path)),
              "expected");
    }
};

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
