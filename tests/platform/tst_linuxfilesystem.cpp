#include "TestSupport.h"
#include "platform/linux/LinuxFileSystem.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace fwb;

namespace {

const QString kQuoted = QStringLiteral("it's \"quoted\" (1).fwb");
const QString kAccented = QStringLiteral("Ärger ñandú.txt");

const QString kNothing = QStringLiteral("<nothing>");

// The entry a search answered, in a form test failures can print.
QString found(const std::optional<QString> &entry)
{
    return entry.value_or(kNothing);
}

// Puts the permissions of a folder back, so that the temporary folder can be removed.
class PermissionsRestorer
{
public:
    explicit PermissionsRestorer(QString path) : m_path(std::move(path)) {}
    ~PermissionsRestorer() { ::chmod(QFile::encodeName(m_path).constData(), 0700); }
    PermissionsRestorer(const PermissionsRestorer &) = delete;
    PermissionsRestorer &operator=(const PermissionsRestorer &) = delete;

private:
    QString m_path;
};

} // namespace

class TestLinuxFileSystem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void findFirst_data();
    void findFirst();
    void dotEntriesOfEmptyFolder();
    void danglingSymlink();
    void fifoIsNeverOpened();
    void unreadableFolder();
    void plainFilesOnly();
    void storedName_data();
    void storedName();
    void driveReadiness();
    void createDirectory();

private:
    QString path(const QString &relative) const { return m_dir.path() + u'/' + relative; }

    QTemporaryDir m_dir;
    LinuxFileSystem m_files;
};

void TestLinuxFileSystem::initTestCase()
{
    QVERIFY(m_dir.isValid());
    test::writeFile(path(QStringLiteral("names/a b.txt")), "x");
    test::writeFile(path(QStringLiteral("names/") + kQuoted), "x");
    test::writeFile(path(QStringLiteral("names/") + kAccented), "x");
    test::writeFile(path(QStringLiteral("names/Set.FWB")), "x");
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("empty")));
}

void TestLinuxFileSystem::findFirst_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    QTest::newRow("spaces") << "names/a b.txt" << QStringLiteral("a b.txt");
    QTest::newRow("quotes") << "names/" + kQuoted << kQuoted;
    QTest::newRow("non-ascii") << "names/" + kAccented << kAccented;
    QTest::newRow("star with space") << "names/a *" << QStringLiteral("a b.txt");
    QTest::newRow("star with quote") << "names/*\"QUOTED\"*" << kQuoted;
    QTest::newRow("non-ascii any case") << "names/äRGER*" << kAccented;
    QTest::newRow("extension any case") << "names/*.fwb" << QStringLiteral("Set.FWB");
    QTest::newRow("question marks") << "names/S?t.fwb" << QStringLiteral("Set.FWB");
    QTest::newRow("many stars") << "names/*a*b*.*t" << QStringLiteral("a b.txt");
    QTest::newRow("star matches nothing") << "names/a b.txt*" << QStringLiteral("a b.txt");
    QTest::newRow("exact name is case-sensitive") << "names/SET.fwb" << kNothing;
    QTest::newRow("question mark needs a letter") << "names/a b.txt?" << kNothing;
    QTest::newRow("no match") << "names/*.none" << kNothing;
    QTest::newRow("folder itself") << "names" << QStringLiteral("names");
    QTest::newRow("trailing separator") << "names/" << kNothing;
    QTest::newRow("missing folder") << "missing/*" << kNothing;
}

void TestLinuxFileSystem::findFirst()
{
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    QCOMPARE(found(m_files.findFirst(path(pattern))), expected);
}

void TestLinuxFileSystem::dotEntriesOfEmptyFolder()
{
    QCOMPARE(found(m_files.findFirst(path(QStringLiteral("empty/*")))), QStringLiteral("."));
    QCOMPARE(found(m_files.findFirst(path(QStringLiteral("empty/??")))), QStringLiteral(".."));
    QCOMPARE(found(m_files.findFirst(path(QStringLiteral("empty/.")))), QStringLiteral("."));
    QCOMPARE(found(m_files.findFirst(path(QStringLiteral("empty/x*")))), kNothing);
    QCOMPARE(found(m_files.findFirst(QString())), kNothing);
    QCOMPARE(found(m_files.findFirst(QStringLiteral("/*"))), QStringLiteral("."));
}

void TestLinuxFileSystem::danglingSymlink()
{
    const QString link = path(QStringLiteral("links/gone"));
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("links")));
    QVERIFY(QFile::link(path(QStringLiteral("links/nowhere")), link));

    QCOMPARE(found(m_files.findFirst(link)), QStringLiteral("gone"));
    QCOMPARE(found(m_files.findFirst(path(QStringLiteral("links/G*")))), QStringLiteral("gone"));
    QCOMPARE(found(m_files.findStoredName(path(QStringLiteral("links")), QStringLiteral("GONE"))),
             QStringLiteral("gone"));
}

// A FIFO opened for reading would block until a writer came; finding it must not open it.
void TestLinuxFileSystem::fifoIsNeverOpened()
{
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("fifo")));
    const QString fifo = path(QStringLiteral("fifo/x.fwb"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    QCOMPARE(found(m_files.findFirst(fifo)), QStringLiteral("x.fwb"));
    QCOMPARE(found(m_files.findFirst(path(QStringLiteral("fifo/*.FWB")))), QStringLiteral("x.fwb"));
    QCOMPARE(found(m_files.findStoredName(path(QStringLiteral("fifo")), QStringLiteral("X.fwb"))),
             QStringLiteral("x.fwb"));
    QVERIFY(!m_files.isDriveReady(fifo));
    QVERIFY(!m_files.createDirectory(fifo));
}

void TestLinuxFileSystem::unreadableFolder()
{
    if (::geteuid() == 0)
        QSKIP("Permissions do not stop the root user, so an unreadable folder cannot be made");
    const QString locked = path(QStringLiteral("locked"));
    test::writeFile(locked + QStringLiteral("/inside"), "x");
    const PermissionsRestorer restorer(locked);

    // Searchable but not listable: names can be tested, not found by pattern.
    QCOMPARE(::chmod(QFile::encodeName(locked).constData(), 0300), 0);
    QCOMPARE(found(m_files.findFirst(locked + QStringLiteral("/*"))), kNothing);
    QCOMPARE(found(m_files.findFirst(locked + QStringLiteral("/inside"))),
             QStringLiteral("inside"));
    QCOMPARE(found(m_files.findStoredName(locked, QStringLiteral("inside"))),
             QStringLiteral("inside"));
    QCOMPARE(found(m_files.findStoredName(locked, QStringLiteral("INSIDE"))), kNothing);
    QVERIFY(!m_files.isDriveReady(locked));

    // Neither listable nor searchable: only the folder's own entry remains.
    QCOMPARE(::chmod(QFile::encodeName(locked).constData(), 0), 0);
    QCOMPARE(found(m_files.findFirst(locked + QStringLiteral("/inside"))), kNothing);
    QCOMPARE(found(m_files.findFirst(locked)), QStringLiteral("locked"));
    QVERIFY(!m_files.createDirectory(locked + QStringLiteral("/new")));
}

void TestLinuxFileSystem::plainFilesOnly()
{
    const QString folder = path(QStringLiteral("plain"));
    test::writeFile(folder + QStringLiteral("/b.FWB"), "x");
    test::writeFile(folder + QStringLiteral("/a.fwb"), "x");
    test::writeFile(folder + QStringLiteral("/.hidden.fwb"), "x");
    test::writeFile(folder + QStringLiteral("/notes.txt"), "x");
    QVERIFY(QDir(folder).mkpath(QStringLiteral("folder.fwb")));
    QVERIFY(QFile::link(folder + QStringLiteral("/a.fwb"), folder + QStringLiteral("/link.fwb")));
    QVERIFY(
        QFile::link(folder + QStringLiteral("/gone"), folder + QStringLiteral("/dangling.fwb")));
    const QString fifo = folder + QStringLiteral("/pipe.fwb");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    const QStringList expected{"a.fwb", "b.FWB", "link.fwb"};
    QCOMPARE(m_files.listPlainFiles(folder, QStringLiteral("*.fwb")), expected);
    QCOMPARE(m_files.listPlainFiles(folder + u'/', QStringLiteral("*.FWB")), expected);
    QVERIFY(m_files.listPlainFiles(path(QStringLiteral("missing")), QStringLiteral("*")).isEmpty());

    // Reading takes the same files, whole, and opens nothing else: a FIFO would hang here.
    const auto read = [&](const char *name, qint64 maxBytes) {
        return m_files.readPlainFile(folder + u'/' + QLatin1String(name), maxBytes);
    };
    QCOMPARE(read("link.fwb", 1), std::optional<QByteArray>("x"));
    QCOMPARE(read("a.fwb", 0), std::nullopt); // larger than allowed
    for (const char *name : {"folder.fwb", "dangling.fwb", "pipe.fwb", "missing.fwb"})
        QCOMPARE(read(name, 16), std::nullopt);
}

void TestLinuxFileSystem::storedName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("exact lower") << "data" << QStringLiteral("data");
    QTest::newRow("exact mixed") << "Data" << QStringLiteral("Data");
    QTest::newRow("first in name order") << "dAtA" << QStringLiteral("DATA");
    QTest::newRow("non-ascii") << "ölz" << QStringLiteral("Ölz");
    QTest::newRow("missing") << "nope" << kNothing;
}

void TestLinuxFileSystem::storedName()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    const QDir cases(path(QStringLiteral("cases")));
    for (const char *folder : {"data", "Data", "DATA", "Ölz"})
        QVERIFY(cases.mkpath(QString::fromUtf8(folder)));

    QCOMPARE(found(m_files.findStoredName(cases.path(), name)), expected);
    QCOMPARE(found(m_files.findStoredName(cases.path() + u'/', name)), expected);
}

void TestLinuxFileSystem::driveReadiness()
{
    QVERIFY(m_files.isDriveReady(QStringLiteral("/")));
    QVERIFY(m_files.isDriveReady(path(QStringLiteral("empty"))));
    QVERIFY(!m_files.isDriveReady(path(QStringLiteral("missing"))));
    QVERIFY(!m_files.isDriveReady(path(QStringLiteral("names/a b.txt"))));
}

void TestLinuxFileSystem::createDirectory()
{
    const QString created = path(QStringLiteral("made \"here\""));
    QVERIFY(m_files.createDirectory(created));
    QVERIFY(QFileInfo(created).isDir());
    QVERIFY(!m_files.createDirectory(created));
    QVERIFY(!m_files.createDirectory(path(QStringLiteral("missing/child"))));
    QVERIFY(!m_files.createDirectory(path(QStringLiteral("names/a b.txt/child"))));
}

QTEST_GUILESS_MAIN(TestLinuxFileSystem)
#include "tst_linuxfilesystem.moc"
