// The real Agent against real mounts: volumes are formatted, attached to loop devices and
// mounted in a private mount namespace, which the Agent started from here shares. Needs root.

#include "AgentProcess.h"
#include "TestSupport.h"
#include "platform/linux/KernelMountList.h"

#include <QFile>
#include <QScopeGuard>
#include <QTest>
#include <optional>

using namespace fwb;
using namespace fwb::test;

namespace {

constexpr int TimeoutMs = 20'000;
const QString kExt4 = QStringLiteral("ext4");
const QString kNewDrive = QStringLiteral("New drive found: Drive: ");
const QString kLabel = QStringLiteral(" Label: ");

const QString kNoMatch = QStringLiteral("No matching backup set found for new drive: ");
const QString kLaunching = QStringLiteral("Launching backup set: ");

QStringList backupProgramStarts(const QString &log)
{
    QFile file(log);
    QStringList starts;
    if (file.open(QIODevice::ReadOnly))
        for (const QString &line :
             QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts))
            starts.append(line.section(QStringLiteral(" started "), 1));
    return starts;
}

} // namespace

class TestAgentE2E : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { m_run.reset(); }

    void volumeIdentity_data();
    void volumeIdentity();
    void replugWhileStoppedGivesEveryArrival();
    void automaticModeLaunchesTriggeredSet();

private:
    // Starts the Agent and mounts a volume until the Agent reports it: the start-up entry comes
    // just before monitoring starts, so a mount made at once could count as present at start.
    bool startWatchingAgent();
    // Mounts a volume not seen so far and waits for its entry. The Agent reports arrivals in
    // the order the kernel made them, so it has then written whatever the steps before gave.
    bool fenceReported();
    bool waitForNewDrive(const QString &folder, int timeoutMs) const;

    std::optional<AgentRun> m_run;
    QString m_watching[2];
    QString m_fence[2];
};

void TestAgentE2E::init()
{
    m_run.emplace();
    QVERIFY2(m_run->folder.stage(), qPrintable(m_run->folder.error()));
    MountLab &lab = m_run->lab;
    m_watching[0] = lab.ext4Volume(QStringLiteral("watching"));
    m_watching[1] = lab.makeFolder(QStringLiteral("watching"));
    m_fence[0] = lab.ext4Volume(QStringLiteral("fence"));
    m_fence[1] = lab.makeFolder(QStringLiteral("fence"));
    LAB_STEP(lab, !m_watching[0].isEmpty() && !m_watching[1].isEmpty() && !m_fence[0].isEmpty() &&
                      !m_fence[1].isEmpty());
}

bool TestAgentE2E::startWatchingAgent()
{
    if (!m_run->agent.start(m_run->folder.agentPath(), TimeoutMs)) {
        qWarning("%s", qPrintable(m_run->agent.error()));
        return false;
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!m_run->lab.mount(m_watching[0], m_watching[1], kExt4))
            return false;
        if (waitForNewDrive(m_watching[1], TimeoutMs / 3))
            return true;
        m_run->lab.unmount(m_watching[1]);
    }
    return false;
}

bool TestAgentE2E::fenceReported()
{
    return m_run->lab.mount(m_fence[0], m_fence[1], kExt4) &&
           waitForNewDrive(m_fence[1], TimeoutMs);
}

bool TestAgentE2E::waitForNewDrive(const QString &folder, int timeoutMs) const
{
    const QString entry = kNewDrive + folder + u'/' + kLabel;
    return QTest::qWaitFor([&] { return !m_run->agent.entries().filter(entry).isEmpty(); },
                           timeoutMs);
}

void TestAgentE2E::volumeIdentity_data()
{
    QTest::addColumn<QList<QStringList>>("format"); // programs and arguments, before the image
    QTest::addColumn<QString>("fuseHelper");        // none: the kernel mounts it
    QTest::addColumn<QString>("identity");
    // ext4 has no serial number of the kind the backup program knows: the serial stays empty.
    QTest::newRow("ext4, odd label")
        << QList<QStringList>{{"mkfs.ext4", "-q", "-L", "My \"Disk\" $1"}} << QString()
        << QStringLiteral("My \"Disk\" $1 Serial number: ");
    QTest::newRow("ext4, no label") << QList<QStringList>{{"mkfs.ext4", "-q"}} << QString()
                                    << QStringLiteral("[No label] Serial number: ");
    QTest::newRow("exFAT") << QList<QStringList>{{"mkfs.exfat", "-L", "EX DISK"},
                                                 {"tune.exfat", "-I", "0x1A2B3C4D"}}
                           << QStringLiteral("mount.exfat-fuse")
                           << QStringLiteral("EX DISK Serial number: 1A2B-3C4D");
    QTest::newRow("NTFS") << QList<QStringList>{{"mkntfs", "-F", "-Q", "-L", "Family Backup"},
                                                {"ntfslabel", "--new-serial=0123456789ABCDEF"}}
                          << QStringLiteral("ntfs-3g")
                          << QStringLiteral("Family Backup Serial number: 89AB-CDEF");
}

void TestAgentE2E::volumeIdentity()
{
    QFETCH(QList<QStringList>, format);
    QFETCH(QString, fuseHelper);
    QFETCH(QString, identity);
    MountLab &lab = m_run->lab;
    const QString image = lab.makeImage(QStringLiteral("disk.img"), 16);
    LAB_STEP(lab, !image.isEmpty());
    for (QStringList step : format)
        LAB_STEP(lab, lab.run(step.takeFirst(), step << image));
    const QString device = lab.attach(image);
    const QString folder = lab.makeFolder(QStringLiteral("My Disk"));
    LAB_STEP(lab, !device.isEmpty() && !folder.isEmpty() &&
                      (fuseHelper.isEmpty() || !findTool(fuseHelper).isEmpty()));
    QVERIFY(startWatchingAgent());

    LAB_STEP(lab, fuseHelper.isEmpty() ? lab.mount(device, folder, kExt4)
                                       : lab.mountWith(fuseHelper, device, folder));
    const QString root = folder + u'/';
    QTRY_VERIFY_WITH_TIMEOUT(m_run->agent.entries().contains(kNoMatch + root), TimeoutMs);
    const QStringList entries = m_run->agent.entries();
    const qsizetype found = entries.indexOf(kNewDrive + root + kLabel + identity);
    QVERIFY2(found >= 0, qPrintable(entries.join(u'\n')));
    QVERIFY(found < entries.indexOf(kNoMatch + root));
}

// The whole Agent is stopped across each unplug and plug, so no reading of the mount table
// falls between them, and the kernel gives the new mount the id the old one had. Two sticks
// take turns at the same place, each plugged twice in a row, so each entry shows its plug.
void TestAgentE2E::replugWhileStoppedGivesEveryArrival()
{
    const QStringList labels{QStringLiteral("ALPHA"), QStringLiteral("BRAVO")};
    MountLab &lab = m_run->lab;
    const QStringList devices{lab.ext4Volume(labels[0], labels[0]),
                              lab.ext4Volume(labels[1], labels[1])};
    const QString folder = lab.makeFolder(QStringLiteral("stick"));
    LAB_STEP(lab, !devices.contains(QString()) && !folder.isEmpty());
    QVERIFY(startWatchingAgent());
    if (!kernelHasUniqueMountIds())
        QSKIP("this kernel has no unique mount ids (Linux 6.8 and later)");

    const QString entry = kNewDrive + folder + u'/' + kLabel;
    const auto reportedLabels = [&] {
        QStringList found;
        for (const QString &e : m_run->agent.entries())
            if (e.startsWith(entry))
                found.append(e.mid(entry.size()).section(u' ', 0, 0));
        return found;
    };
    // A step that ends the test half-way must not leave the Agent stopped.
    const auto resume = qScopeGuard([this] { m_run->agent.resume(); });
    QStringList expected;
    for (int plug = 0; plug < 101; ++plug) {
        QVERIFY(m_run->agent.suspend());
        LAB_STEP(lab, plug == 0 || lab.unmount(folder));
        LAB_STEP(lab, lab.mount(devices.at(plug / 2 % 2), folder, kExt4));
        m_run->agent.resume();
        expected.append(labels.at(plug / 2 % 2));
        QVERIFY2(
            QTest::qWaitFor([&] { return reportedLabels().size() >= expected.size(); }, TimeoutMs),
            qPrintable(QStringLiteral("plug %1 not reported").arg(plug)));
    }
    QVERIFY(fenceReported());
    QCOMPARE(reportedLabels(), expected);
}

void TestAgentE2E::automaticModeLaunchesTriggeredSet()
{
    const ProgramFolder &programs = m_run->folder;
    QVERIFY(writeBytes(programs.filePath(QStringLiteral("fwbagent.ini")),
                       optionsIni({QStringLiteral("GLO_BackupStartupMode=0")})));
    const QString setPath = programs.defaultBackupSetsFolder() + QStringLiteral("/My job.fwb");
    const QString otherPath = programs.defaultBackupSetsFolder() + QStringLiteral("/Other job.fwb");
    QVERIFY(writeBytes(setPath, iniBackupSet(triggersOnLabel(QStringLiteral("AUTOJOB")))));
    QVERIFY(writeBytes(otherPath, iniBackupSet(triggersOnLabel(QStringLiteral("OTHERDISK")))));
    // A damaged database set only says so; the others still start.
    const QString damagedPath = programs.defaultBackupSetsFolder() + QStringLiteral("/Cut job.fwb");
    QVERIFY(
        writeBytes(damagedPath, QByteArray("\0\1\0\0Standard Jet DB\0", 20).leftJustified(5000)));
    MountLab &lab = m_run->lab;
    const QString device = lab.ext4Volume(QStringLiteral("disk"), QStringLiteral("AUTOJOB"));
    const QString folder = lab.makeFolder(QStringLiteral("disk"));
    LAB_STEP(lab, !device.isEmpty() && !folder.isEmpty());
    QVERIFY(startWatchingAgent());

    LAB_STEP(lab, lab.mount(device, folder, kExt4));
    const QStringList started{QStringLiteral("with backup set: ") + setPath};
    QTRY_COMPARE_WITH_TIMEOUT(backupProgramStarts(programs.backupProgramLog()), started, TimeoutMs);
    QVERIFY(fenceReported());
    const QStringList entries = m_run->agent.entries();
    QCOMPARE(entries.count(kLaunching + setPath), 1);
    QVERIFY(entries.contains(QStringLiteral("The backup set could not be read: ") + damagedPath));
    QVERIFY(!entries.contains(kLaunching + otherPath));
    QVERIFY(!entries.contains(kNoMatch + folder + u'/'));
    QCOMPARE(backupProgramStarts(programs.backupProgramLog()), started);
}

FWB_TEST_MAIN(
    QCoreApplication, TestAgentE2E, [](const QByteArray &) { return mountNamespaceProblem(); },
    enterPrivateMountNamespace)
#include "tst_agent_e2e.moc"
