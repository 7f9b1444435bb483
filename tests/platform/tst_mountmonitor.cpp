#include "MountLab.h"
#include "monitor/VolumeIdentityText.h"
#include "platform/linux/BlkidProbe.h"
#include "platform/linux/LinuxDriveArrivalSource.h"
#include "platform/linux/LinuxVolumeQuery.h"
#include "platform/linux/ProcMountInfo.h"
#include "platform/linux/VolumeLabelText.h"

#include <QSignalSpy>
#include <QTest>

using namespace fwb;
using fwb::test::findTool;
using fwb::test::MountLab;

namespace {

constexpr int ArrivalTimeoutMs = 10'000;

QStringList rootPaths(const QSignalSpy &spy)
{
    QStringList paths;
    for (const QList<QVariant> &arguments : spy)
        paths.append(arguments.at(0).toString());
    return paths;
}

QString rootOf(const QString &folder)
{
    return folder + u'/';
}

} // namespace

// Steps that prepare the machine rather than exercise the code: where they cannot be taken
// (no loop devices, no FUSE, a tool missing), the test cannot run here.
#define LAB_STEP(step)                                                                             \
    do {                                                                                           \
        if (!(step))                                                                               \
            QSKIP(qPrintable(QStringLiteral("cannot prepare volumes here: ") + lab.error()));      \
    } while (false)

class TestMountMonitor : public QObject
{
    Q_OBJECT

public:
    explicit TestMountMonitor(QString isolationProblem)
        : m_isolationProblem(std::move(isolationProblem))
    {}

private Q_SLOTS:
    void decodesUdevLabels_data();
    void decodesUdevLabels();
    void probesFatImage();
    void probesBlankAndMissingDevices();
    void queryWithoutBlockDevice_data();
    void queryWithoutBlockDevice();
    void sourceStartsAndStops();

    void bindAndSecondMountPointGiveNone();
    void remountGivesNone();
    void mountElsewhereAtOnceGivesOne();
    void stoppedSourceDeliversNothing();
    void stopInsideReceiverDropsTheRest();

private:
    // A freshly formatted ext4 volume on a loop device; the device node or the empty text.
    QString ext4Volume(MountLab &lab, const QString &name, const QStringList &options = {});
    // Mounts `fence`, a device not seen so far, and waits for its arrival. The source reports
    // changes in the order they happen, so everything it had to report for the steps before
    // has then been delivered. Answers the arrivals before the fence; nothing when the fence
    // did not arrive once, as the last.
    std::optional<QStringList> arrivalsBeforeFence(MountLab &lab, QSignalSpy &spy,
                                                   const QString &fence);

    QString m_isolationProblem;
};

QString TestMountMonitor::ext4Volume(MountLab &lab, const QString &name, const QStringList &options)
{
    const QString mkfs = findTool(QStringLiteral("mkfs.ext4"));
    const QString image = lab.makeImage(name + QStringLiteral(".img"), 8);
    if (image.isEmpty() || !lab.run(mkfs, QStringList{QStringLiteral("-q"), QStringLiteral("-F")} +
                                              options + QStringList{image}))
        return {};
    return lab.attach(image);
}

std::optional<QStringList> TestMountMonitor::arrivalsBeforeFence(MountLab &lab, QSignalSpy &spy,
                                                                 const QString &fence)
{
    const QString folder = lab.makeFolder(QStringLiteral("fence"));
    if (folder.isEmpty() || !lab.mount(fence, folder, QStringLiteral("ext4"))) {
        qWarning("%s", qPrintable(lab.error()));
        return std::nullopt;
    }
    const QString fenceRoot = rootOf(folder);
    if (!QTest::qWaitFor([&] { return rootPaths(spy).contains(fenceRoot); }, ArrivalTimeoutMs))
        return std::nullopt;
    QStringList arrived = rootPaths(spy);
    if (arrived.count(fenceRoot) != 1 || arrived.last() != fenceRoot)
        return std::nullopt;
    arrived.removeLast();
    return arrived;
}

void TestMountMonitor::decodesUdevLabels_data()
{
    QTest::addColumn<QByteArray>("encoded");
    QTest::addColumn<QString>("label");

    QTest::newRow("plain") << QByteArray("BACKUP") << QStringLiteral("BACKUP");
    QTest::newRow("spaces") << QByteArray("My\\x20Disk\\x20") << QStringLiteral("My Disk ");
    QTest::newRow("upper-case hex") << QByteArray("a\\x2Fb") << QStringLiteral("a/b");
    QTest::newRow("quotes and backslash")
        << QByteArray("\\x22C:\\x5c\\x22\\x27") << QStringLiteral("\"C:\\\"'");
    QTest::newRow("UTF-8 kept as is")
        << QByteArray("Sicherung\\x20Müller") << QStringLiteral("Sicherung Müller");
    QTest::newRow("escaped UTF-8 bytes")
        << QByteArray("M\\xc3\\xbcller") << QStringLiteral("Müller");
    QTest::newRow("Latin-1 bytes") << QByteArray("M\\xfcller") << QStringLiteral("Müller");
    QTest::newRow("not an escape") << QByteArray("a\\x2g\\y\\") << QStringLiteral("a\\x2g\\y\\");
    QTest::newRow("cut escape") << QByteArray("a\\x2") << QStringLiteral("a\\x2");
    QTest::newRow("empty") << QByteArray("") << QString();
}

void TestMountMonitor::decodesUdevLabels()
{
    QFETCH(QByteArray, encoded);
    QFETCH(QString, label);
    QCOMPARE(decodeUdevEncoded(encoded), label);
}

void TestMountMonitor::probesFatImage()
{
    // The FAT volume is probed as an image file: it needs no loop device, no mount and no
    // kernel support for FAT.
    REQUIRE_TOOL(mkfsFat, "mkfs.fat");
    MountLab lab;
    const QString image = lab.makeImage(QStringLiteral("fat.img"), 8);
    LAB_STEP(!image.isEmpty());
    LAB_STEP(lab.run(mkfsFat, {QStringLiteral("-i"), QStringLiteral("1A2B3C4D"),
                               QStringLiteral("-n"), QStringLiteral("MYDISK"), image}));

    const auto info = probeVolume(image);
    QVERIFY(info);
    QCOMPARE(info->fsType, QStringLiteral("vfat"));
    QCOMPARE(info->label, QStringLiteral("MYDISK"));
    QCOMPARE(serialTextFromFsId(info->fsType, info->uuid), QStringLiteral("1A2B-3C4D"));
}

void TestMountMonitor::probesBlankAndMissingDevices()
{
    MountLab lab;
    const QString blank = lab.makeImage(QStringLiteral("blank.img"), 4);
    LAB_STEP(!blank.isEmpty());
    // Readable, but no filesystem the probe knows: a volume without identity.
    QCOMPARE(probeVolume(blank), std::optional<VolumeInfo>(VolumeInfo{}));
    QCOMPARE(probeVolume(blank + QStringLiteral(".missing")), std::nullopt);
}

void TestMountMonitor::queryWithoutBlockDevice_data()
{
    QTest::addColumn<QString>("rootPath");
    QTest::newRow("no such folder") << QStringLiteral("/no/such/volume/");
    QTest::newRow("folder that is no mount point") << QStringLiteral("/proc/self/");
    QTest::newRow("pseudo filesystem") << QStringLiteral("/proc/");
    QTest::newRow("empty") << QString();
}

void TestMountMonitor::queryWithoutBlockDevice()
{
    QFETCH(QString, rootPath);
    QCOMPARE(LinuxVolumeQuery().query(rootPath), std::nullopt);
}

void TestMountMonitor::sourceStartsAndStops()
{
    LinuxDriveArrivalSource source;
    QVERIFY(!source.isRunning());
    QVERIFY(source.start());
    QVERIFY(source.isRunning());
    QVERIFY(source.start());
    source.stop();
    QVERIFY(!source.isRunning());
    source.stop();
    QVERIFY(source.start());
    QVERIFY(source.isRunning());
}

void TestMountMonitor::bindAndSecondMountPointGiveNone()
{
    REQUIRE_MOUNT_NAMESPACE();
    REQUIRE_TOOL(mkfs, "mkfs.ext4");
    MountLab lab;
    const QString device = ext4Volume(lab, QStringLiteral("disk"));
    const QString fence = ext4Volume(lab, QStringLiteral("fence"));
    const QString first = lab.makeFolder(QStringLiteral("first"));
    const QString second = lab.makeFolder(QStringLiteral("second"));
    const QString bound = lab.makeFolder(QStringLiteral("bound"));
    LAB_STEP(!device.isEmpty() && !fence.isEmpty() && !first.isEmpty() && !second.isEmpty() &&
             !bound.isEmpty());

    LinuxDriveArrivalSource source;
    QSignalSpy spy(&source, &DriveArrivalSource::driveArrived);
    QVERIFY(source.start());
    LAB_STEP(lab.mount(device, first, QStringLiteral("ext4")));
    QTRY_COMPARE_WITH_TIMEOUT(rootPaths(spy), QStringList{rootOf(first)}, ArrivalTimeoutMs);
    LAB_STEP(lab.bind(first, bound));
    LAB_STEP(lab.mount(device, second, QStringLiteral("ext4")));
    const auto arrived = arrivalsBeforeFence(lab, spy, fence);
    QVERIFY(arrived);
    QCOMPARE(*arrived, QStringList{rootOf(first)});
}

void TestMountMonitor::remountGivesNone()
{
    REQUIRE_MOUNT_NAMESPACE();
    REQUIRE_TOOL(mkfs, "mkfs.ext4");
    MountLab lab;
    const QString device = ext4Volume(lab, QStringLiteral("disk"));
    const QString fence = ext4Volume(lab, QStringLiteral("fence"));
    const QString folder = lab.makeFolder(QStringLiteral("disk"));
    LAB_STEP(!device.isEmpty() && !fence.isEmpty() && !folder.isEmpty());
    LAB_STEP(lab.mount(device, folder, QStringLiteral("ext4")));

    LinuxDriveArrivalSource source;
    QSignalSpy spy(&source, &DriveArrivalSource::driveArrived);
    QVERIFY(source.start());
    LAB_STEP(lab.remountReadOnly(folder));
    const auto arrived = arrivalsBeforeFence(lab, spy, fence);
    QVERIFY(arrived);
    QCOMPARE(*arrived, QStringList{});
}

void TestMountMonitor::mountElsewhereAtOnceGivesOne()
{
    REQUIRE_MOUNT_NAMESPACE();
    REQUIRE_TOOL(mkfs, "mkfs.ext4");
    MountLab lab;
    const QString device = ext4Volume(lab, QStringLiteral("disk"));
    const QString fence = ext4Volume(lab, QStringLiteral("fence"));
    const QString before = lab.makeFolder(QStringLiteral("before"));
    const QString after = lab.makeFolder(QStringLiteral("after"));
    LAB_STEP(!device.isEmpty() && !fence.isEmpty() && !before.isEmpty() && !after.isEmpty());
    LAB_STEP(lab.mount(device, before, QStringLiteral("ext4")));

    LinuxDriveArrivalSource source;
    QSignalSpy spy(&source, &DriveArrivalSource::driveArrived);
    QVERIFY(source.start());
    // Both before the source runs again, so one reading of the table sees both; the kernel
    // may even give the new mount the id the old one had.
    LAB_STEP(lab.unmount(before));
    LAB_STEP(lab.mount(device, after, QStringLiteral("ext4")));
    const auto arrived = arrivalsBeforeFence(lab, spy, fence);
    QVERIFY(arrived);
    QCOMPARE(*arrived, QStringList{rootOf(after)});
}

void TestMountMonitor::stoppedSourceDeliversNothing()
{
    REQUIRE_MOUNT_NAMESPACE();
    REQUIRE_TOOL(mkfs, "mkfs.ext4");
    MountLab lab;
    const QString device = ext4Volume(lab, QStringLiteral("disk"));
    const QString fence = ext4Volume(lab, QStringLiteral("fence"));
    const QString folder = lab.makeFolder(QStringLiteral("disk"));
    LAB_STEP(!device.isEmpty() && !fence.isEmpty() && !folder.isEmpty());

    LinuxDriveArrivalSource source;
    QSignalSpy spy(&source, &DriveArrivalSource::driveArrived);
    QVERIFY(source.start());
    source.stop();
    LAB_STEP(lab.mount(device, folder, QStringLiteral("ext4")));
    QCoreApplication::processEvents();
    QVERIFY(spy.isEmpty());
    // Mounted while the source was stopped: present at the start, so no arrival.
    QVERIFY(source.start());
    const auto arrived = arrivalsBeforeFence(lab, spy, fence);
    QVERIFY(arrived);
    QCOMPARE(*arrived, QStringList{});
}

void TestMountMonitor::stopInsideReceiverDropsTheRest()
{
    REQUIRE_MOUNT_NAMESPACE();
    REQUIRE_TOOL(mkfs, "mkfs.ext4");
    MountLab lab;
    QStringList devices;
    QStringList folders;
    for (int i = 0; i < 3; ++i) {
        devices.append(ext4Volume(lab, QStringLiteral("disk%1").arg(i)));
        folders.append(lab.makeFolder(QStringLiteral("disk%1").arg(i)));
        LAB_STEP(!devices.last().isEmpty() && !folders.last().isEmpty());
    }

    LinuxDriveArrivalSource source;
    QSignalSpy spy(&source, &DriveArrivalSource::driveArrived);
    connect(&source, &DriveArrivalSource::driveArrived, &source, &DriveArrivalSource::stop);
    QVERIFY(source.start());
    // Three arrivals in one reading of the table; the first receiver stops the source.
    for (int i = 0; i < 3; ++i)
        LAB_STEP(lab.mount(devices.at(i), folders.at(i), QStringLiteral("ext4")));
    QTRY_VERIFY_WITH_TIMEOUT(!spy.isEmpty(), ArrivalTimeoutMs);
    QCOMPARE(rootPaths(spy), QStringList{rootOf(folders.first())});
    QVERIFY(!source.isRunning());
}

int main(int argc, char *argv[])
{
    // Before QCoreApplication, while the process has one thread: a namespace change applies
    // to the calling thread only.
    const QString isolationProblem = fwb::test::enterPrivateMountNamespace();
    QCoreApplication app(argc, argv);
    TestMountMonitor test(isolationProblem);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mountmonitor.moc"
