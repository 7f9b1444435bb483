#include "MountLab.h"
#include "monitor/VolumeIdentityText.h"
#include "platform/linux/BlkidProbe.h"
#include "platform/linux/KernelMountList.h"
#include "platform/linux/LinuxDriveArrivalSource.h"
#include "platform/linux/LinuxVolumeQuery.h"
#include "platform/linux/ProcMountInfo.h"
#include "platform/linux/VolumeLabelText.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

using namespace fwb;
using fwb::test::findTool;
using fwb::test::MountLab;
using Table = LinuxDriveArrivalSource::Table;

namespace {

enum class Change { Bind, SecondMountPoint, Remount, Move, Elsewhere, SamePlace, WhileStopped };

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

Q_DECLARE_METATYPE(Table)
Q_DECLARE_METATYPE(Change)

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
    void probesFatImage_data();
    void probesFatImage();
    void probesBlankAndMissingDevices();
    void queryWithoutBlockDevice();

    void kernelListAgreesWithMountInfo();
    void mountChanges_data();
    void mountChanges();
    void replugWhileBusy();
    void stopInsideReceiverDropsTheRest();

private:
    // Mounts `fence`, a device not seen so far, and waits for its arrival. The source reports
    // changes in the order they happen, so everything it had to report for the steps before
    // has then been delivered. Answers the arrivals before the fence; nothing when the fence
    // did not arrive once, as the last.
    std::optional<QStringList> arrivalsBeforeFence(MountLab &lab, QSignalSpy &spy,
                                                   const QString &fence);

    QString m_isolationProblem;
};

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

    QTest::newRow("upper-case hex") << QByteArray("a\\x2Fb") << QStringLiteral("a/b");
    QTest::newRow("quotes and backslash")
        << QByteArray("\\x22C:\\x5c\\x22\\x27") << QStringLiteral("\"C:\\\"'");
    QTest::newRow("escaped UTF-8 bytes")
        << QByteArray("M\\xc3\\xbcller") << QStringLiteral("Müller");
    QTest::newRow("Latin-1 bytes") << QByteArray("M\\xfcller") << QStringLiteral("Müller");
    QTest::newRow("not an escape") << QByteArray("a\\x2g\\y\\") << QStringLiteral("a\\x2g\\y\\");
    QTest::newRow("cut escape") << QByteArray("a\\x2") << QStringLiteral("a\\x2");
}

void TestMountMonitor::decodesUdevLabels()
{
    QFETCH(QByteArray, encoded);
    QFETCH(QString, label);
    QCOMPARE(decodeUdevEncoded(encoded), label);
}

void TestMountMonitor::probesFatImage_data()
{
    QTest::addColumn<QString>("mountedAs");
    QTest::newRow("not mounted") << QString();
    QTest::newRow("through FUSE") << QStringLiteral("fuseblk");
    // The table and the volume disagree: the type is looked for among all.
    QTest::newRow("named otherwise") << QStringLiteral("ext4");
}

void TestMountMonitor::probesFatImage()
{
    QFETCH(QString, mountedAs);
    // The FAT volume is probed as an image file: it needs no loop device, no mount and no
    // kernel support for FAT.
    REQUIRE_TOOL(mkfsFat, "mkfs.fat");
    MountLab lab;
    const QString image = lab.makeImage(QStringLiteral("fat.img"), 8);
    LAB_STEP(lab, !image.isEmpty());
    LAB_STEP(lab, lab.run(mkfsFat, {QStringLiteral("-i"), QStringLiteral("1A2B3C4D"),
                                    QStringLiteral("-n"), QStringLiteral("MYDISK"), image}));

    const auto info = probeVolume(image, mountedAs);
    QVERIFY(info);
    QCOMPARE(info->fsType, QStringLiteral("vfat"));
    QCOMPARE(info->label, QStringLiteral("MYDISK"));
    QCOMPARE(serialTextFromFsId(info->fsType, info->uuid), QStringLiteral("1A2B-3C4D"));
}

void TestMountMonitor::probesBlankAndMissingDevices()
{
    MountLab lab;
    const QString blank = lab.makeImage(QStringLiteral("blank.img"), 4);
    LAB_STEP(lab, !blank.isEmpty());
    // Readable, but no filesystem the probe knows: a volume without identity.
    QCOMPARE(probeVolume(blank), std::optional<VolumeInfo>(VolumeInfo{}));
    QCOMPARE(probeVolume(blank + QStringLiteral(".missing")), std::nullopt);
}

void TestMountMonitor::queryWithoutBlockDevice()
{
    for (const char *rootPath : {"/no/such/volume/", "/proc/self/", "/proc/", ""})
        QVERIFY2(!LinuxVolumeQuery().query(QString::fromUtf8(rootPath)), rootPath);
}

void TestMountMonitor::mountChanges_data()
{
    QTest::addColumn<Table>("table");
    QTest::addColumn<Change>("change");
    QTest::addColumn<QStringList>("arrived"); // folder names, without the lab's path

    for (const Table table : {Table::Best, Table::MountInfo}) {
        const char *name = table == Table::Best ? "unique ids: " : "mountinfo: ";
        const auto row = [&](const char *what) {
            return &QTest::newRow((QByteArray(name) + what).constData());
        };
        *row("bind mount") << table << Change::Bind << QStringList{};
        *row("second mount point") << table << Change::SecondMountPoint << QStringList{};
        *row("remount read-only") << table << Change::Remount << QStringList{};
        // Present when the source starts again: no arrival.
        *row("mounted while stopped") << table << Change::WhileStopped << QStringList{};
        // Without unique ids a moved mount cannot be told from a new one.
        *row("move") << table << Change::Move
                     << (table == Table::Best ? QStringList{} : QStringList{"second"});
        *row("unmount, mount elsewhere at once")
            << table << Change::Elsewhere << QStringList{"second"};
        // The kernel may give the new mount the id the old one had: only the unique id tells
        // them apart when one reading of the table sees both.
        if (table == Table::Best)
            *row("unmount, mount at the same place at once")
                << table << Change::SamePlace << QStringList{"first"};
    }
}

void TestMountMonitor::mountChanges()
{
    QFETCH(Table, table);
    QFETCH(Change, change);
    QFETCH(QStringList, arrived);
    REQUIRE_MOUNT_NAMESPACE();
    MountLab lab;
    const QString device = lab.ext4Volume(QStringLiteral("disk"));
    const QString fence = lab.ext4Volume(QStringLiteral("fence"));
    const QString first = lab.makeFolder(QStringLiteral("first"));
    const QString second = lab.makeFolder(QStringLiteral("second"));
    LAB_STEP(lab, !device.isEmpty() && !fence.isEmpty() && !first.isEmpty() && !second.isEmpty());
    LAB_STEP(lab, lab.mount(device, first, QStringLiteral("ext4")));

    LinuxDriveArrivalSource source(nullptr, table);
    QSignalSpy spy(&source, &DriveArrivalSource::driveArrived);
    QVERIFY(source.start());
    if (table == Table::Best && !source.usesUniqueMountIds())
        QSKIP("this kernel has no unique mount ids (Linux 6.8 and later)");
    switch (change) {
    case Change::Bind:
        LAB_STEP(lab, lab.bind(first, second));
        break;
    case Change::SecondMountPoint:
        LAB_STEP(lab, lab.mount(device, second, QStringLiteral("ext4")));
        break;
    case Change::Remount:
        LAB_STEP(lab, lab.remountReadOnly(first));
        break;
    case Change::Move:
        LAB_STEP(lab, lab.move(first, second));
        break;
    case Change::Elsewhere:
        LAB_STEP(lab, lab.unmount(first) && lab.mount(device, second, QStringLiteral("ext4")));
        break;
    case Change::SamePlace:
        LAB_STEP(lab, lab.unmount(first) && lab.mount(device, first, QStringLiteral("ext4")));
        break;
    case Change::WhileStopped:
        source.stop();
        LAB_STEP(lab, lab.unmount(first) && lab.mount(device, second, QStringLiteral("ext4")));
        QCoreApplication::processEvents();
        QVERIFY(source.start());
        break;
    }
    const auto reported = arrivalsBeforeFence(lab, spy, fence);
    QVERIFY(reported);
    QStringList expected;
    for (const QString &name : arrived)
        expected.append(rootOf(name == u"first" ? first : second));
    QCOMPARE(*reported, expected);
}

void TestMountMonitor::replugWhileBusy()
{
    // This thread stands for a main window that is busy all along: it handles no event while
    // the stick is pulled and plugged back at the same place a hundred times. Each plug stays
    // until the source's own thread has found it, as a stick stays for longer than that.
    REQUIRE_MOUNT_NAMESPACE();
    MountLab lab;
    const QString device = lab.ext4Volume(QStringLiteral("disk"));
    const QString fence = lab.ext4Volume(QStringLiteral("fence"));
    const QString folder = lab.makeFolder(QStringLiteral("stick"));
    LAB_STEP(lab, !device.isEmpty() && !fence.isEmpty() && !folder.isEmpty());
    LAB_STEP(lab, lab.mount(device, folder, QStringLiteral("ext4")));

    LinuxDriveArrivalSource source;
    QSignalSpy spy(&source, &DriveArrivalSource::driveArrived);
    QVERIFY(source.start());
    if (!source.usesUniqueMountIds())
        QSKIP("this kernel has no unique mount ids (Linux 6.8 and later)");
    constexpr quint64 Cycles = 100;
    for (quint64 cycle = 1; cycle <= Cycles; ++cycle) {
        LAB_STEP(lab, lab.unmount(folder) && lab.mount(device, folder, QStringLiteral("ext4")));
        QDeadlineTimer deadline(ArrivalTimeoutMs);
        while (source.arrivalsFound() < cycle && !deadline.hasExpired())
            QThread::usleep(100);
        QCOMPARE(source.arrivalsFound(), cycle);
    }
    QVERIFY(spy.isEmpty());
    const auto reported = arrivalsBeforeFence(lab, spy, fence);
    QVERIFY(reported);
    QCOMPARE(*reported, QStringList(Cycles, rootOf(folder)));
}

void TestMountMonitor::kernelListAgreesWithMountInfo()
{
    const auto listed = listKernelMounts();
    if (!listed)
        QSKIP("this kernel has no unique mount ids (Linux 6.8 and later)");
    const auto proc = readProcessMountTable();
    QVERIFY(proc);
    QHash<int, MountEntry> byId;
    for (const MountEntry &entry : proc->entries())
        byId.insert(entry.mountId, entry);
    QSet<quint64> uniqueIds;
    for (const MountEntry &entry : listed->entries()) {
        QVERIFY(entry.uniqueId != 0);
        uniqueIds.insert(entry.uniqueId);
        const MountEntry same = byId.take(entry.mountId);
        QCOMPARE(entry.mountPoint, same.mountPoint);
        QCOMPARE(entry.parentId, same.parentId);
        QCOMPARE(entry.device, same.device);
        QCOMPARE(entry.root, same.root);
        QCOMPARE(entry.fsType, same.fsType);
    }
    QVERIFY(byId.isEmpty());
    QCOMPARE(uniqueIds.size(), listed->entries().size());
}

void TestMountMonitor::stopInsideReceiverDropsTheRest()
{
    REQUIRE_MOUNT_NAMESPACE();
    MountLab lab;
    QStringList devices;
    QStringList folders;
    for (int i = 0; i < 3; ++i) {
        devices.append(lab.ext4Volume(QStringLiteral("disk%1").arg(i)));
        folders.append(lab.makeFolder(QStringLiteral("disk%1").arg(i)));
        LAB_STEP(lab, !devices.last().isEmpty() && !folders.last().isEmpty());
    }

    LinuxDriveArrivalSource source;
    QSignalSpy spy(&source, &DriveArrivalSource::driveArrived);
    connect(&source, &DriveArrivalSource::driveArrived, &source, &DriveArrivalSource::stop);
    QVERIFY(source.start());
    // Three arrivals in one reading of the table; the first receiver stops the source.
    for (int i = 0; i < 3; ++i)
        LAB_STEP(lab, lab.mount(devices.at(i), folders.at(i), QStringLiteral("ext4")));
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
