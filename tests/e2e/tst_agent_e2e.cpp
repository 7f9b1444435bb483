// The real Agent against real mounts: volumes are formatted, attached to loop devices and
// mounted in a private mount namespace, which the Agent started from here shares. Needs root.

#include "AgentProcess.h"
#include "MountLab.h"
#include "ProgramFolder.h"
#include "countdown/frmBALLOON.h"
#include "jet/DataAccess.h"
#include "jet/writer/JetWriter.h"
#include "platform/linux/KernelMountList.h"
#include "platform/linux/LinuxPlatform.h"
#include "shell/frmMAIN.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <memory>

using namespace fwb;
using fwb::test::AgentProcess;
using fwb::test::findTool;
using fwb::test::MountLab;
using fwb::test::ProgramFolder;
using fwb::test::writeBytes;

namespace {

constexpr int StartTimeoutMs = 20'000;
constexpr int EntryTimeoutMs = 20'000;

const QString kNewDrive = QStringLiteral("New drive found: Drive: ");
const QString kLabel = QStringLiteral(" Label: ");

QString rootOf(const QString &folder)
{
    return folder + u'/';
}

QString newDriveEntry(const QString &root, const QString &label, const QString &serial)
{
    return kNewDrive + root + kLabel + label + QStringLiteral(" Serial number: ") + serial;
}

QString noMatchEntry(const QString &root)
{
    return QStringLiteral("No matching backup set found for new drive: ") + root;
}

QString launchingEntry(const QString &setPath)
{
    return QStringLiteral("Launching backup set: ") + setPath;
}

// A trigger on a volume label, behind one on a serial number no test volume has.
QString triggersOnLabel(const QString &label)
{
    const QChar field(2);
    const QChar next(1);
    return QStringList{QStringLiteral("x"), QStringLiteral("0"), QStringLiteral("DEAD-BEEF")}.join(
               field) +
           next + QStringList{QStringLiteral("x"), QStringLiteral("1"), label}.join(field);
}

QByteArray iniBackupSet(const QString &triggers)
{
    return "[General]\r\nGEN_Version=27\r\nGEN_Description=Nightly\r\n[Settings]\r\n"
           "OPT_AutoRunTriggerDrives=" +
           triggers.toUtf8() + "\r\n";
}

// Table "1" holds the set's settings; its first row's column "16" is the trigger list.
bool writeDatabaseSet(const QString &path, const QString &triggers)
{
    const jet::TableData settingsTable{QStringLiteral("1"),
                                       {{QStringLiteral("15"), jet::ColumnType::Text},
                                        {QStringLiteral("16"), jet::ColumnType::Memo}},
                                       {{QStringLiteral("Nightly"), triggers}}};
    return jet::writeDatabase(path, {settingsTable});
}

QByteArray optionsIni(const QByteArray &key, const QByteArray &value)
{
    return "[Options]\r\n" + key + '=' + value + "\r\n";
}

// What the example backup program was started with, one line per start.
QStringList backupProgramStarts(const QString &log)
{
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList starts;
    const QString marker = QStringLiteral(" started ");
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line);
        if (const qsizetype at = text.indexOf(marker); at >= 0)
            starts.append(text.mid(at + 1));
    }
    return starts;
}

// Where a preparing step ended: done, impossible on this machine, or failed by the Agent.
struct Step
{
    enum Kind { Done, Unavailable, Failed } kind = Done;
    QString why;
};

Step unavailable(const QString &why)
{
    return {Step::Unavailable, QStringLiteral("cannot prepare volumes here: ") + why};
}

Step failed(const QString &why)
{
    return {Step::Failed, why};
}

} // namespace

#define REQUIRE_STEP(expression)                                                                   \
    do {                                                                                           \
        const Step step_ = (expression);                                                           \
        if (step_.kind == Step::Unavailable)                                                       \
            QSKIP(qPrintable(step_.why));                                                          \
        if (step_.kind == Step::Failed)                                                            \
            QFAIL(qPrintable(step_.why));                                                          \
    } while (false)

class TestAgentE2E : public QObject
{
    Q_OBJECT

public:
    explicit TestAgentE2E(QString isolationProblem)
        : m_isolationProblem(std::move(isolationProblem))
    {}

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void volumeIdentity_data();
    void volumeIdentity();
    void replugWhileStoppedGivesEveryArrival();
    void automaticModeLaunchesTriggeredSet_data();
    void automaticModeLaunchesTriggeredSet();
    void countDownModeAsksFirst();

private:
    // Starts the Agent from the program folder and makes sure it watches the mount table.
    Step startWatchingAgent();
    // Mounts an ext4 volume not seen so far and waits for its entry. The Agent reports
    // arrivals in the order the kernel made them, so by then it has written whatever the
    // steps before gave.
    Step mountFence();
    // The roots of the new drives the Agent reported, the one that showed it watches left out.
    QStringList reportedRoots() const;

    QString m_isolationProblem;
    std::unique_ptr<MountLab> m_lab;
    std::unique_ptr<ProgramFolder> m_folder;
    std::unique_ptr<AgentProcess> m_agent;
    QString m_watchingRoot;
};

void TestAgentE2E::initTestCase()
{
    jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE));
}

void TestAgentE2E::init()
{
    m_lab = std::make_unique<MountLab>();
    m_folder = std::make_unique<ProgramFolder>();
    m_agent = std::make_unique<AgentProcess>();
    m_watchingRoot.clear();
    QVERIFY2(m_folder->stage(), qPrintable(m_folder->error()));
}

void TestAgentE2E::cleanup()
{
    m_agent->stop();
    if (QTest::currentTestFailed())
        qInfo("The Agent wrote:\n%s", qPrintable(m_agent->standardError()));
    // The Agent goes before its volumes: it must not see them leave half-way.
    m_agent.reset();
    m_lab.reset();
    m_folder.reset();
}

Step TestAgentE2E::startWatchingAgent()
{
    const QString device = m_lab->ext4Volume(QStringLiteral("watching"));
    const QString folder = m_lab->makeFolder(QStringLiteral("watching"));
    if (device.isEmpty() || folder.isEmpty())
        return unavailable(m_lab->error());
    if (!m_agent->start(m_folder->agentPath(), StartTimeoutMs))
        return failed(m_agent->error());

    // The start-up entry comes just before monitoring starts, so a mount made at once could
    // be taken as present at start. Mounting until the Agent reports it settles that.
    m_watchingRoot = rootOf(folder);
    const QString entry = kNewDrive + m_watchingRoot + kLabel;
    const auto reported = [&] {
        const QStringList entries = m_agent->entries();
        return std::any_of(entries.cbegin(), entries.cend(),
                           [&](const QString &e) { return e.startsWith(entry); });
    };
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!m_lab->mount(device, folder, QStringLiteral("ext4")))
            return unavailable(m_lab->error());
        if (QTest::qWaitFor(reported, EntryTimeoutMs / 3))
            return {};
        if (!m_lab->unmount(folder))
            return unavailable(m_lab->error());
    }
    return failed(QStringLiteral("the Agent reports no new drive"));
}

Step TestAgentE2E::mountFence()
{
    const QString device = m_lab->ext4Volume(QStringLiteral("fence"));
    const QString folder = m_lab->makeFolder(QStringLiteral("fence"));
    if (device.isEmpty() || folder.isEmpty() ||
        !m_lab->mount(device, folder, QStringLiteral("ext4")))
        return unavailable(m_lab->error());
    if (!QTest::qWaitFor([&] { return reportedRoots().contains(rootOf(folder)); }, EntryTimeoutMs))
        return failed(QStringLiteral("the Agent does not report the fence volume"));
    return {};
}

QStringList TestAgentE2E::reportedRoots() const
{
    QStringList roots;
    for (const QString &entry : m_agent->entries()) {
        if (!entry.startsWith(kNewDrive))
            continue;
        const QString root = entry.mid(kNewDrive.size()).section(kLabel, 0, 0);
        if (root != m_watchingRoot)
            roots.append(root);
    }
    return roots;
}

void TestAgentE2E::volumeIdentity_data()
{
    QTest::addColumn<QStringList>("format"); // a program and its arguments, before the image
    QTest::addColumn<QStringList>("setSerial");
    QTest::addColumn<QString>("fuseHelper"); // none: the kernel mounts it
    QTest::addColumn<QString>("labelText");
    QTest::addColumn<QString>("serialText");

    // ext4 has no serial number of the kind the backup program knows: the serial stays empty.
    QTest::newRow("ext4, odd label")
        << QStringList{"mkfs.ext4", "-q", "-L", "My \"Disk\" $1"} << QStringList{} << QString()
        << QStringLiteral("My \"Disk\" $1") << QString();
    QTest::newRow("ext4, no label") << QStringList{"mkfs.ext4", "-q"} << QStringList{} << QString()
                                    << QStringLiteral("[No label]") << QString();
    QTest::newRow("exFAT") << QStringList{"mkfs.exfat", "-L", "EX DISK"}
                           << QStringList{"tune.exfat", "-I", "0x1A2B3C4D"}
                           << QStringLiteral("mount.exfat-fuse") << QStringLiteral("EX DISK")
                           << QStringLiteral("1A2B-3C4D");
    QTest::newRow("NTFS") << QStringList{"mkntfs", "-F", "-Q", "-L", "Family Backup"}
                          << QStringList{"ntfslabel", "--new-serial=0123456789ABCDEF"}
                          << QStringLiteral("ntfs-3g") << QStringLiteral("Family Backup")
                          << QStringLiteral("89AB-CDEF");
}

void TestAgentE2E::volumeIdentity()
{
    QFETCH(QStringList, format);
    QFETCH(QStringList, setSerial);
    QFETCH(QString, fuseHelper);
    QFETCH(QString, labelText);
    QFETCH(QString, serialText);
    REQUIRE_MOUNT_NAMESPACE();
    const QString image = m_lab->makeImage(QStringLiteral("disk.img"), 16);
    const QString fuseMount = fuseHelper.isEmpty() ? QString() : findTool(fuseHelper);
    LAB_STEP(*m_lab, !image.isEmpty());
    for (QStringList step : {format, setSerial}) {
        if (step.isEmpty())
            continue;
        const QString tool = findTool(step.takeFirst());
        if (tool.isEmpty() || (fuseMount.isEmpty() && !fuseHelper.isEmpty()))
            QSKIP("the tools of this filesystem are not installed");
        LAB_STEP(*m_lab, m_lab->run(tool, step << image));
    }
    const QString device = m_lab->attach(image);
    const QString folder = m_lab->makeFolder(QStringLiteral("My Disk"));
    LAB_STEP(*m_lab, !device.isEmpty() && !folder.isEmpty());
    REQUIRE_STEP(startWatchingAgent());

    LAB_STEP(*m_lab, fuseMount.isEmpty() ? m_lab->mount(device, folder, QStringLiteral("ext4"))
                                         : m_lab->mountWith(fuseMount, device, folder));
    const QString root = rootOf(folder);
    QTRY_VERIFY_WITH_TIMEOUT(m_agent->entries().contains(noMatchEntry(root)), EntryTimeoutMs);
    const QStringList entries = m_agent->entries();
    const qsizetype found = entries.indexOf(newDriveEntry(root, labelText, serialText));
    QVERIFY2(found >= 0, qPrintable(entries.join(u'\n')));
    QVERIFY(found < entries.indexOf(noMatchEntry(root)));
}

void TestAgentE2E::replugWhileStoppedGivesEveryArrival()
{
    // The whole Agent is stopped across each unplug and plug, so no reading of the mount table
    // falls between them, and the kernel gives the new mount the id the old one had. Two
    // sticks take turns at the same place, each plugged twice in a row, so each entry shows
    // which plug it stands for.
    REQUIRE_MOUNT_NAMESPACE();
    const QStringList labels{QStringLiteral("ALPHA"), QStringLiteral("BRAVO")};
    QStringList devices;
    for (const QString &label : labels)
        devices.append(m_lab->ext4Volume(label, label));
    const QString folder = m_lab->makeFolder(QStringLiteral("stick"));
    LAB_STEP(*m_lab, !devices.contains(QString()) && !folder.isEmpty());
    REQUIRE_STEP(startWatchingAgent());
    if (!kernelHasUniqueMountIds())
        QSKIP("this kernel has no unique mount ids (Linux 6.8 and later)");

    const QString entry = kNewDrive + rootOf(folder) + kLabel;
    const auto reportedLabels = [&] {
        QStringList found;
        for (const QString &e : m_agent->entries())
            if (e.startsWith(entry))
                found.append(e.mid(entry.size()).section(u' ', 0, 0));
        return found;
    };
    // A step that ends the test half-way must not leave the Agent stopped.
    const auto resume = qScopeGuard([this] { m_agent->resume(); });
    QStringList expected;
    constexpr int Plugs = 101;
    for (int plug = 0; plug < Plugs; ++plug) {
        QVERIFY(m_agent->suspend());
        if (plug > 0)
            LAB_STEP(*m_lab, m_lab->unmount(folder));
        const int stick = plug / 2 % 2;
        LAB_STEP(*m_lab, m_lab->mount(devices.at(stick), folder, QStringLiteral("ext4")));
        m_agent->resume();
        expected.append(labels.at(stick));
        QVERIFY2(QTest::qWaitFor([&] { return reportedLabels().size() >= expected.size(); },
                                 EntryTimeoutMs),
                 qPrintable(QStringLiteral("plug %1 not reported").arg(plug)));
    }
    REQUIRE_STEP(mountFence());
    QCOMPARE(reportedLabels(), expected);
}

void TestAgentE2E::automaticModeLaunchesTriggeredSet_data()
{
    QTest::addColumn<bool>("database");
    QTest::addColumn<QString>("label");

    QTest::newRow("ini set in the default folder") << false << QStringLiteral("AUTOJOB");
    QTest::newRow("database set in the folder of settings.ini") << true << QStringLiteral("DBJOB");
}

void TestAgentE2E::automaticModeLaunchesTriggeredSet()
{
    QFETCH(bool, database);
    QFETCH(QString, label);
    REQUIRE_MOUNT_NAMESPACE();

    QString setsFolder = m_folder->defaultBackupSetsFolder();
    if (database) {
        setsFolder = m_folder->scratchPath(QStringLiteral("Shared sets"));
        QVERIFY(QDir().mkpath(setsFolder));
        QVERIFY(writeBytes(m_folder->filePath(QStringLiteral("settings.ini")),
                           optionsIni("LastOpenedDir", setsFolder.toUtf8())));
    }
    QVERIFY(writeBytes(m_folder->filePath(QStringLiteral("fwbagent.ini")),
                       optionsIni("GLO_BackupStartupMode", "0")));
    const QString setPath = setsFolder + QStringLiteral("/My job.fwb");
    const QString otherPath = setsFolder + QStringLiteral("/Other job.fwb");
    if (database) {
        QVERIFY(writeDatabaseSet(setPath, triggersOnLabel(label)));
        QVERIFY(writeDatabaseSet(otherPath, triggersOnLabel(QStringLiteral("OTHERDISK"))));
    } else {
        QVERIFY(writeBytes(setPath, iniBackupSet(triggersOnLabel(label))));
        QVERIFY(writeBytes(otherPath, iniBackupSet(triggersOnLabel(QStringLiteral("OTHERDISK")))));
    }
    const QString device = m_lab->ext4Volume(QStringLiteral("disk"), label);
    const QString folder = m_lab->makeFolder(QStringLiteral("disk"));
    LAB_STEP(*m_lab, !device.isEmpty() && !folder.isEmpty());
    REQUIRE_STEP(startWatchingAgent());

    LAB_STEP(*m_lab, m_lab->mount(device, folder, QStringLiteral("ext4")));
    QTRY_VERIFY_WITH_TIMEOUT(m_agent->entries().contains(launchingEntry(setPath)), EntryTimeoutMs);
    const QString started = QStringLiteral("started with backup set: ") + setPath;
    QTRY_COMPARE_WITH_TIMEOUT(backupProgramStarts(m_folder->backupProgramLog()),
                              QStringList{started}, EntryTimeoutMs);
    REQUIRE_STEP(mountFence());
    const QStringList entries = m_agent->entries();
    QCOMPARE(entries.count(launchingEntry(setPath)), 1);
    QVERIFY(!entries.contains(launchingEntry(otherPath)));
    QVERIFY(!entries.contains(noMatchEntry(rootOf(folder))));
    QCOMPARE(backupProgramStarts(m_folder->backupProgramLog()), QStringList{started});
}

void TestAgentE2E::countDownModeAsksFirst()
{
    // The dialog cannot be seen in another process, so the Agent runs in this one: the same
    // main window on the same Linux services, only without main().
    REQUIRE_MOUNT_NAMESPACE();
    QVERIFY(writeBytes(m_folder->filePath(QStringLiteral("fwbagent.ini")),
                       optionsIni("GLO_BackupStartupMode", "1")));
    const QString setPath = m_folder->defaultBackupSetsFolder() + QStringLiteral("/Count job.fwb");
    QVERIFY(writeBytes(setPath, iniBackupSet(triggersOnLabel(QStringLiteral("COUNTDOWN")))));
    const QString device = m_lab->ext4Volume(QStringLiteral("disk"), QStringLiteral("COUNTDOWN"));
    const QString folder = m_lab->makeFolder(QStringLiteral("disk"));
    LAB_STEP(*m_lab, !device.isEmpty() && !folder.isEmpty());

    const QTemporaryDir runtimeFolder;
    QVERIFY(runtimeFolder.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder.path()));
    LinuxPlatform linuxPlatform;
    frmMAIN window(m_folder->path());
    QVERIFY(window.Form_Load());
    // A main window destroyed while it still watches reports that in a message box of its
    // own, which would wait here for ever: whatever way the test ends, it stops watching first.
    const auto stopWatching = qScopeGuard([&window] { window.DeactivateMonitoring(); });
    QCOMPARE(window.MonitoringActive(), 1);

    // The dialog runs its own modal loop, inside the handling of the arrival: it is looked at
    // from a timer of that loop, and closed there.
    QString dialogName;
    QStringList listedSets;
    bool closed = false;
    QTimer watcher;
    connect(&watcher, &QTimer::timeout, this, [&] {
        QDialog *dialog = frmBALLOON::openDialog();
        if (!dialog || closed)
            return;
        dialogName = dialog->objectName();
        if (const auto *list = dialog->findChild<QListWidget *>(QStringLiteral("LV_Sets")))
            for (int row = 0; row < list->count(); ++row)
                listedSets.append(list->item(row)->data(frmBALLOON::PathRole).toString());
        closed = true;
        dialog->reject();
    });
    watcher.start(20);

    LAB_STEP(*m_lab, m_lab->mount(device, folder, QStringLiteral("ext4")));
    QTRY_VERIFY_WITH_TIMEOUT(closed, EntryTimeoutMs);
    QCOMPARE(dialogName, QStringLiteral("frmBALLOON"));
    QCOMPARE(listedSets, QStringList{setPath});
    QTRY_VERIFY_WITH_TIMEOUT(
        window.LogText().contains(QStringLiteral("User cancelled triggered backups.")),
        EntryTimeoutMs);
    QVERIFY(!window.LogText().contains(launchingEntry(setPath)));
    QVERIFY(!QFile::exists(m_folder->backupProgramLog()));
}

int main(int argc, char *argv[])
{
    // Before QApplication, while the process has one thread: a namespace change applies to
    // the calling thread only, and the Agents started later inherit it.
    const QString isolationProblem = fwb::test::enterPrivateMountNamespace();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestAgentE2E test(isolationProblem);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_agent_e2e.moc"
