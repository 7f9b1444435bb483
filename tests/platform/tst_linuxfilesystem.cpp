#include "TestSupport.h"
#include "platform/linux/LinuxFileSystem.h"
#include "platform/linux/UserInstanceGuard.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTest>
#include <csignal>
#include <cstring>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace fwb;

namespace {

const QString kQuoted = QStringLiteral("it's \"quoted\" (1).fwb");
const QString kAccented = QStringLiteral("Ärger ñandú.txt");
const QString kNothing = QStringLiteral("<nothing>");

} // namespace

class TestLinuxFileSystem : public QObject
{
    Q_OBJECT

    QString path(const QString &relative) const { return m_dir.path() + u'/' + relative; }

    QTemporaryDir m_dir;
    LinuxFileSystem m_files;

private Q_SLOTS:
    void initTestCase()
    {
        for (const QString &name : {QStringLiteral("a b.txt"), kQuoted, kAccented,
                                    QStringLiteral("Set.FWB"), QStringLiteral(".hidden.fwb")})
            test::writeFile(path(QStringLiteral("names/") + name), "x");
        for (const char *folder :
             {"empty", "special", "cases/data", "cases/Data", "cases/DATA", "cases/Ölz"})
            QVERIFY(QDir(m_dir.path()).mkpath(QString::fromUtf8(folder)));
        QVERIFY(QFile::link(path(QStringLiteral("special/nowhere")),
                            path(QStringLiteral("special/gone"))));
        // A FIFO opened for reading would block until a writer came: finding it must not open it.
        QCOMPARE(
            ::mkfifo(QFile::encodeName(path(QStringLiteral("special/x.fwb"))).constData(), 0600),
            0);
    }

    // A pattern is found with findFirst(); a folder and a name, split at the last separator, with
    // findStoredName().
    void findEntry_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");
        QTest::newRow("star with quote") << false << "names/*\"QUOTED\"*" << kQuoted;
        QTest::newRow("non-ascii any case") << false << "names/äRGER*" << kAccented;
        QTest::newRow("question marks") << false << "names/S?t.fwb" << QStringLiteral("Set.FWB");
        QTest::newRow("star matches nothing")
            << false << "names/a b.txt*" << QStringLiteral("a b.txt");
        QTest::newRow("question mark needs a letter") << false << "names/S?t.fwb?" << kNothing;
        QTest::newRow("exact name is case-sensitive") << false << "names/SET.fwb" << kNothing;
        QTest::newRow("folder itself") << false << "names" << QStringLiteral("names");
        QTest::newRow("trailing separator") << false << "names/" << kNothing;
        QTest::newRow("missing folder") << false << "missing/*" << kNothing;
        QTest::newRow("dot entries first") << false << "empty/*" << QStringLiteral(".");
        QTest::newRow("dangling symlink") << false << "special/G*" << QStringLiteral("gone");
        QTest::newRow("FIFO") << false << "special/*.FWB" << QStringLiteral("x.fwb");
        QTest::newRow("stored: first in name order")
            << true << "cases/dAtA" << QStringLiteral("DATA");
        QTest::newRow("stored: non-ascii") << true << "cases/ölz" << QStringLiteral("Ölz");
        QTest::newRow("stored: dangling symlink")
            << true << "special/GONE" << QStringLiteral("gone");
        QTest::newRow("stored: FIFO") << true << "special/X.fwb" << QStringLiteral("x.fwb");
    }

    void findEntry()
    {
        QFETCH(bool, stored);
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        const QString folder = path(pattern.section(u'/', 0, -2));
        const auto found = stored ? m_files.findStoredName(folder, pattern.section(u'/', -1))
                                  : m_files.findFirst(path(pattern));
        QCOMPARE(found.value_or(kNothing), expected);
    }

    void drivesAndFolders()
    {
        // A hidden file is nobody's backup set.
        QCOMPARE(m_files.listPlainFiles(path(QStringLiteral("names")), QStringLiteral("*")).size(),
                 4);
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

        // One pass over a folder: its plain files in name order, each read as above.
        QStringList read;
        const auto note = [&read](const QString &name, const std::optional<QByteArray> &bytes) {
            read.append(name + u'=' + QString::fromUtf8(bytes.value_or("-")));
        };
        m_files.readPlainFiles(path(QStringLiteral("names")), QStringLiteral("*"), 1, note);
        m_files.readPlainFiles(path(QStringLiteral("special")), QStringLiteral("*"), 16, note);
        QCOMPARE(read, QStringList({"Set.FWB=x", "a b.txt=x", kQuoted + "=x", kAccented + "=x"}));
    }

    // One claim per user: another environment (no runtime folder, a temporary folder that does not
    // exist) changes nothing, and a claim goes with its holder.
    void instanceClaim()
    {
        const auto restore =
            qScopeGuard([runtime = qgetenv("XDG_RUNTIME_DIR"), temp = qgetenv("TMPDIR")] {
                qputenv("XDG_RUNTIME_DIR", runtime);
                qputenv("TMPDIR", temp);
            });
        qputenv("FWBAGENT_TEST_INSTANCE", "claim-" + QByteArray::number(::getpid()));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.path()));
        std::optional<UserInstanceGuard> first(std::in_place);
        QCOMPARE(first->claim(), InstanceClaim::Claimed);
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", "/no/such/folder");
        UserInstanceGuard second;
        QCOMPARE(second.claim(), InstanceClaim::OtherInstanceRuns);
        first.reset();
        QCOMPARE(second.claim(), InstanceClaim::Claimed);
    }

    // Anybody may take any name: one that another user took stops nobody, and is no claim either.
    void instanceNameTakenByAnotherUser()
    {
        qputenv("FWBAGENT_TEST_INSTANCE", "taken-" + QByteArray::number(::getpid()));
        std::optional<UserInstanceGuard> named(std::in_place);
        QCOMPARE(named->claim(), InstanceClaim::Claimed);
        const QByteArray name = named->name();
        named.reset();
        int ready[2];
        QVERIFY(::pipe(ready) == 0);
        const pid_t squatter = ::fork();
        if (squatter == 0) {
            sockaddr_un address{AF_UNIX, {}};
            std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            const bool taken =
                ::setresuid(65534, 65534, 65534) == 0 &&
                ::bind(fd, reinterpret_cast<sockaddr *>(&address),
                       socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size())) == 0 &&
                ::listen(fd, 4) == 0;
            [[maybe_unused]] const ssize_t told = ::write(ready[1], taken ? "y" : "n", 1);
            ::pause();
            ::_exit(0);
        }
        const auto end = qScopeGuard([&] {
            ::kill(squatter, SIGKILL);
            ::waitpid(squatter, nullptr, 0);
        });
        char taken = 0;
        QVERIFY(::read(ready[0], &taken, 1) == 1 && taken == 'y');
        UserInstanceGuard guard;
        QCOMPARE(guard.claim(), InstanceClaim::Unguarded);
    }
};

FWB_TEST_MAIN(QCoreApplication, TestLinuxFileSystem, [](const QByteArray &function) {
    // Only root can start a process of another user.
    return function == "instanceNameTakenByAnotherUser" && ::geteuid() != 0
               ? QStringLiteral("needs root")
               : QString();
})
#include "tst_linuxfilesystem.moc"
