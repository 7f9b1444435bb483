#include "TestSupport.h"
#include "platform/linux/LinuxFileSystem.h"
#include "platform/linux/LockFileInstanceGuard.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QScopeGuard>
#include <QTest>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace

class TestLinuxFileSystem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void findFirst_data();
    void findFirst();
    void storedName_data();
    void storedName();
    void drivesAndFolders();
    void unreadableFolder();
    void instanceLock_data();
    void instanceLock();

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
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("special")));
    QVERIFY(
        QFile::link(path(QStringLiteral("special/nowhere")), path(QStringLiteral("special/gone"))));
    // A FIFO opened for reading would block until a writer came: finding it must not open it.
    QCOMPARE(::mkfifo(QFile::encodeName(path(QStringLiteral("special/x.fwb"))).constData(), 0600),
             0);
    const QDir cases(path(QStringLiteral("cases")));
    for (const char *folder : {"data", "Data", "DATA", "Ölz"})
        QVERIFY(cases.mkpath(QString::fromUtf8(folder)));
}

void TestLinuxFileSystem::findFirst_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    QTest::newRow("quotes") << "names/" + kQuoted << kQuoted;
    QTest::newRow("star with quote") << "names/*\"QUOTED\"*" << kQuoted;
    QTest::newRow("non-ascii any case") << "names/äRGER*" << kAccented;
    QTest::newRow("star matches nothing") << "names/a b.txt*" << QStringLiteral("a b.txt");
    QTest::newRow("question marks") << "names/S?t.fwb" << QStringLiteral("Set.FWB");
    QTest::newRow("question mark needs a letter") << "names/S?t.fwb?" << kNothing;
    QTest::newRow("exact name is case-sensitive") << "names/SET.fwb" << kNothing;
    QTest::newRow("folder itself") << "names" << QStringLiteral("names");
    QTest::newRow("trailing separator") << "names/" << kNothing;
    QTest::newRow("missing folder") << "missing/*" << kNothing;
    QTest::newRow("dot entries first") << "empty/*" << QStringLiteral(".");
    QTest::newRow("dangling symlink") << "special/G*" << QStringLiteral("gone");
    QTest::newRow("FIFO") << "special/*.FWB" << QStringLiteral("x.fwb");
}

void TestLinuxFileSystem::findFirst()
{
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    QCOMPARE(found(m_files.findFirst(path(pattern))), expected);
}

void TestLinuxFileSystem::storedName_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first in name order") << "cases"
                                         << "dAtA" << QStringLiteral("DATA");
    QTest::newRow("non-ascii") << "cases"
                               << "ölz" << QStringLiteral("Ölz");
    QTest::newRow("missing") << "cases"
                             << "nope" << kNothing;
    QTest::newRow("dangling symlink") << "special"
                                      << "GONE" << QStringLiteral("gone");
    QTest::newRow("FIFO") << "special/"
                          << "X.fwb" << QStringLiteral("x.fwb");
}

void TestLinuxFileSystem::storedName()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(found(m_files.findStoredName(path(folder), name)), expected);
}

void TestLinuxFileSystem::drivesAndFolders()
{
    QVERIFY(m_files.isDriveReady(QStringLiteral("/")));
    QVERIFY(m_files.isDriveReady(path(QStringLiteral("empty"))));
    for (const char *notADrive : {"missing", "names/a b.txt", "special/x.fwb"})
        QVERIFY2(!m_files.isDriveReady(path(QString::fromUtf8(notADrive))), notADrive);

    const QString created = path(QStringLiteral("made \"here\""));
    QVERIFY(m_files.createDirectory(created));
    QVERIFY(QFileInfo(created).isDir());
    QVERIFY(!m_files.createDirectory(created));
    for (const char *impossible : {"missing/child", "names/a b.txt/child", "special/x.fwb"})
        QVERIFY2(!m_files.createDirectory(path(QString::fromUtf8(impossible))), impossible);

    // Only regular files are read, whole and within the limit: opening the FIFO would hang.
    QCOMPARE(m_files.readPlainFile(path(QStringLiteral("names/Set.FWB")), 1), QByteArray("x"));
    QCOMPARE(m_files.readPlainFile(path(QStringLiteral("names/Set.FWB")), 0), std::nullopt);
    for (const char *notPlain : {"special/x.fwb", "special/gone", "empty"})
        QVERIFY2(!m_files.readPlainFile(path(QString::fromUtf8(notPlain)), 16), notPlain);
}

void TestLinuxFileSystem::unreadableFolder()
{
    if (::geteuid() == 0)
        QSKIP("Permissions do not stop the root user, so an unreadable folder cannot be made");
    const QString locked = path(QStringLiteral("locked"));
    test::writeFile(locked + QStringLiteral("/inside"), "x");
    // Put back, so that the temporary folder can be removed.
    const auto restore = qScopeGuard([&] { ::chmod(QFile::encodeName(locked).constData(), 0700); });

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

// Only a lock held by a live process means another Agent; a runtime folder that cannot hold
// the lock (after `su` it may be another user's) sends it to the temporary folder, and with
// no place at all the Agent still runs.
void TestLinuxFileSystem::instanceLock_data()
{
    QTest::addColumn<QString>("runtime"); // "folder", "file", "lock is a folder", "held"
    QTest::addColumn<bool>("tempUsable");
    QTest::addColumn<InstanceClaim>("claim");
    QTest::addColumn<QString>("lockIn"); // the folder that holds the new lock
    QTest::newRow("runtime folder") << "folder" << true << InstanceClaim::Claimed << "runtime";
    QTest::newRow("runtime folder is a file") << "file" << true << InstanceClaim::Claimed << "tmp";
    QTest::newRow("folder in the lock's place")
        << "lock is a folder" << true << InstanceClaim::Claimed << "tmp";
    QTest::newRow("held by a live process")
        << "held" << true << InstanceClaim::OtherInstanceRuns << "";
    QTest::newRow("no place for a lock") << "file" << false << InstanceClaim::Unguarded << "";
}

void TestLinuxFileSystem::instanceLock()
{
    QFETCH(QString, runtime);
    QFETCH(bool, tempUsable);
    QFETCH(InstanceClaim, claim);
    QFETCH(QString, lockIn);
    QTemporaryDir dir;
    const QString runtimePath = dir.filePath(QStringLiteral("runtime"));
    const QString tmpPath = dir.filePath(QStringLiteral("tmp"));
    if (runtime == u"file")
        test::writeFile(runtimePath, "not a folder");
    else
        QVERIFY(QDir().mkpath(runtimePath));
    if (runtime == u"lock is a folder")
        QVERIFY(QDir().mkpath(runtimePath + QStringLiteral("/fwbagent.lock")));
    if (tempUsable)
        QVERIFY(QDir().mkpath(tmpPath));
    else
        test::writeFile(tmpPath, "not a folder");
    QLockFile other(runtimePath + QStringLiteral("/fwbagent.lock"));
    if (runtime == u"held")
        QVERIFY(other.tryLock(0));

    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTmp = qgetenv("TMPDIR");
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
        qputenv("TMPDIR", savedTmp);
    });
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimePath));
    qputenv("TMPDIR", QFile::encodeName(tmpPath));
    LockFileInstanceGuard guard;
    QCOMPARE(guard.claim(), claim);
    if (!lockIn.isEmpty()) {
        const QString lock = lockIn == u"runtime"
                                 ? runtimePath + QStringLiteral("/fwbagent.lock")
                                 : tmpPath + QStringLiteral("/fwbagent-%1.lock").arg(::getuid());
        QVERIFY(QFileInfo(lock).isFile());
    }
}

QTEST_GUILESS_MAIN(TestLinuxFileSystem)
#include "tst_linuxfilesystem.moc"
