#include "MountLab.h"
#include "TestSupport.h"
#include "monitor/VolumeIdentityText.h"
#include "platform/linux/BlkidProbe.h"
#include "platform/linux/LinuxDriveArrivalSource.h"
#include "platform/linux/LinuxVolumeQuery.h"
#include "platform/linux/VolumeLabelText.h"

#include <QDeadlineTimer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <sys/mount.h>

using namespace fwb;
using fwb::test::MountLab;
using Table = LinuxDriveArrivalSource::Table;

namespace {

enum class Change { Bind, Remount, Move, Elsewhere };

constexpr int ArrivalTimeoutMs = 10'000;
const QString kExt4 = QStringLiteral("ext4");
const char *const kNoUniqueIds = "this kernel has no unique mount ids (Linux 6.8 and later)";

QStringList rootPaths(const QSignalSpy &spy)
{
    QStringList paths;
    for (const QList<QVariant> &arguments : spy)
        paths.append(arguments.at(0).toString());
    return paths;
}

// Mounts `fence`, a device not seen so far, and answers the arrivals reported before it (the
// source keeps their order); nothing when the fence did not arrive once, as the last.
std::optional<QStringList> arrivalsBeforeFence(MountLab &lab, QSignalSpy &spy, const QString &fence)
{
    const QString folder = lab.makeFolder(QStringLiteral("fence"));
    if (folder.isEmpty() || !lab.mount(fence, folder, kExt4))
        return std::nullopt;
    const QString root = folder + u'/';
    if (!QTest::qWaitFor([&] { return rootPaths(spy).contains(root); }, ArrivalTimeoutMs))
        return std::nullopt;
    QStringList arrived = rootPaths(spy);
    if (arrived.count(root) != 1 || arrived.takeLast() != root)
        return std::nullopt;
    return arrived;
}

QString cannotRun(const QByteArray &function)
{
    static const QByteArrayList mounting{"mountChanges", "replugWhileBusy",
                                         "restartInsideReceiverDropsTheRest"};
    return mounting.contains(function) ? fwb::test::mountNamespaceProblem() : QString();
}

} // namespace

Q_DECLARE_METATYPE(Table)
Q_DECLARE_METATYPE(Change)

class TestMountMonitor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesUdevLabels_data();
    void decodesUdevLabels();
    void probesFatImage_data();
    void probesFatImage();
    void volumesWithoutIdentity();

    void mountChanges_data();
    void mountChanges();
    void replugWhileBusy();
    void restartInsideReceiverDropsTheRest();
};

void TestMountMonitor::decodesUdevLabels_data()
{
    QTest::addColumn<QByteArray>("encoded");
    QTest::addColumn<QByteArray>("fatLanguage"); // empty: not a FAT volume
    QTest::addColumn<QString>("label");
    const auto row = [](const char *name, const char *encoded, const char *label,
                        const char *fatLanguage = "") {
        QTest::newRow(name) << QByteArray(encoded) << QByteArray(fatLanguage)
                            << QString::fromUtf8(label);
    };
    row("quotes, backslash, either case", "\\x22C:\\x5C\\x22\\x2f", "\"C:\\\"/");
    row("escaped UTF-8", "M\\xc3\\xbcller", "Müller");
    row("escaped Latin-1", "M\\xfcller", "Müller");
    row("not escapes", "a\\x2g\\y\\x2", "a\\x2g\\y\\x2");
    // A FAT label is in the DOS code page of the writer's language.
    row("FAT in Swedish", "\\x9d\\x9b\\xc3\\xa9", "Øø├®", "sv_SE.UTF-8");
    row("FAT in British English", "\\x9d", "Ø", "en_GB.UTF-8:en");
    row("FAT in US English", "\\x9d\\x9b", "¥¢", "en_US.UTF-8");
}

void TestMountMonitor::decodesUdevLabels()
{
    QFETCH(QByteArray, encoded);
    QFETCH(QByteArray, fatLanguage);
    const auto restore = qScopeGuard([saved = qgetenv("LANGUAGE")] { qputenv("LANGUAGE", saved); });
    qputenv("LANGUAGE", fatLanguage);
    QTEST(decodeUdevEncoded(encoded, fatLanguage.isEmpty() ? QString() : QStringLiteral("vfat")),
          "label");
}

void TestMountMonitor::probesFatImage_data()
{
    QTest::addColumn<QString>("mountedAs");
    QTest::addColumn<QString>("serial"); // as mkfs.fat takes it
    QTest::newRow("not mounted") << QString() << "1A2B3C4D";
    // libblkid gives no id for the serial 0.
    QTest::newRow("through FUSE, serial 0") << QStringLiteral("fuseblk") << "00000000";
    // The table and the volume disagree: the type is looked for among all.
    QTest::newRow("named otherwise") << kExt4 << "1A2B3C4D";
}

// An image file needs no loop device, no mount and no kernel support for FAT. Its label is in a
// DOS code page, as Windows writes it: 0x8E is "Ä" in both 437 and 850.
void TestMountMonitor::probesFatImage()
{
    QFETCH(QString, mountedAs);
    QFETCH(QString, serial);
    MountLab lab;
    const QString image = lab.makeImage(QStringLiteral("fat.img"), 8);
    LAB_STEP(lab, !image.isEmpty() &&
                      lab.run(QStringLiteral("mkfs.fat"), {"-i", serial, "-n", "SXKER", image}));
    test::writeFile(image, test::readFile(image).replace("SXKER", "S\x8EKER"));
    const auto info = probeVolume(image, mountedAs);
    QVERIFY(info);
    QCOMPARE(info->fsType, QStringLiteral("vfat"));
    QCOMPARE(info->label, QStringLiteral("S\u00C4KER"));
    QCOMPARE(serialTextFromFsId(info->fsType, info->uuid), serial.left(4) + u'-' + serial.mid(4));
}

void TestMountMonitor::volumesWithoutIdentity()
{
    MountLab lab;
    const QString blank = lab.makeImage(QStringLiteral("blank.img"), 4);
    LAB_STEP(lab, !blank.isEmpty());
    // Readable, but no filesystem the probe knows: a volume without identity.
    QCOMPARE(probeVolume(blank), std::optional<VolumeInfo>(VolumeInfo{}));
    QCOMPARE(probeVolume(blank + QStringLiteral(".missing")), std::nullopt);
    for (const char *rootPath : {"/no/such/volume/", "/proc/self/", "/proc/", ""})
        QVERIFY2(!LinuxVolumeQuery().query(QString::fromUtf8(rootPath)), rootPath);
}

void TestMountMonitor::mountChanges_data()
{
    QTest::addColumn<Table>("table");
    QTest::addColumn<Change>("change");
    QTest::addColumn<bool>("arrives"); // at the second folder

    for (const Table table : {Table::Best, Table::MountInfo}) {
        const QByteArray name = table == Table::Best ? "unique ids: " : "mountinfo: ";
        const auto row = [&](const char *what, Change change, bool arrives) {
            QTest::newRow((name + what).constData()) << table << change << arrives;
        };
        row("bind mount", Change::Bind, false);
        row("remount read-only", Change::Remount, false);
        // Without unique ids a moved mount cannot be told from a new one.
        row("move", Change::Move, table == Table::MountInfo);
        row("unmount, mount elsewhere at once", Change::Elsewhere, true);
    }
}

void TestMountMonitor::mountChanges()
{
    QFETCH(Table, table);
    QFETCH(Change, change);
    QFETCH(bool, arrives);
    MountLab lab;
    const QString device = lab.ext4Volume(QStringLiteral("disk"));
    const QString fence = lab.ext4Volume(QStringLiteral("fence"));
    const QString first = lab.makeFolder(QStringLiteral("first"));
    const QString second = lab.makeFolder(QStringLiteral("second"));
    LAB_STEP(lab, !device.isEmpty() && !fence.isEmpty() && !first.isEmpty() && !second.isEmpty());
    LAB_STEP(lab, lab.mount(device, first, kExt4));

    LinuxDriveArrivalSource source(nullptr, table);
    QSignalSpy spy(&source, &DriveArrivalSource::driveArrived);
    QVERIFY(source.start());
    if (table == Table::Best && !source.usesUniqueMountIds())
        QSKIP(kNoUniqueIds);
    switch (change) {
    case Change::Bind:
        LAB_STEP(lab, lab.mount(first, second, {}, MS_BIND));
        break;
    case Change::Remount:
        LAB_STEP(lab, lab.mount({}, first, {}, MS_REMOUNT | MS_RDONLY));
        break;
    case Change::Move:
        LAB_STEP(lab, lab.mount(first, second, {}, MS_MOVE));
        break;
    case Change::Elsewhere:
        LAB_STEP(lab, lab.unmount(first) && lab.mount(device, second, kExt4));
        break;
    }
    const auto reported = arrivalsBeforeFence(lab, spy, fence);
    QVERIFY2(reported, qPrintable(lab.error()));
    QCOMPARE(*reported, arrives ? QStringList{second + u'/'} : QStringList{});
}

// This thread stands for a main window busy all along: it handles no event while the stick
// is pulled and plugged back at the same place a hundred times. Each plug stays until the
// source's own thread has found it, as a stick stays for longer than that.
void TestMountMonitor::replugWhileBusy()
{
    MountLab lab;
    const QString device = lab.ext4Volume(QStringLiteral("disk"));
    const QString fence = lab.ext4Volume(QStringLiteral("fence"));
    const QString folder = lab.makeFolder(QStringLiteral("stick"));
    LAB_STEP(lab, !device.isEmpty() && !fence.isEmpty() && !folder.isEmpty());
    LAB_STEP(lab, lab.mount(device, folder, kExt4));

    LinuxDriveArrivalSource source;
    QSignalSpy spy(&source, &DriveArrivalSource::driveArrived);
    QVERIFY(source.start());
    if (!source.usesUniqueMountIds())
        QSKIP(kNoUniqueIds);
    constexpr quint64 Cycles = 100;
    for (quint64 cycle = 1; cycle <= Cycles; ++cycle) {
        LAB_STEP(lab, lab.unmount(folder) && lab.mount(device, folder, kExt4));
        QDeadlineTimer deadline(ArrivalTimeoutMs);
        while (source.arrivalsFound() < cycle && !deadline.hasExpired())
            QThread::yieldCurrentThread();
        QCOMPARE(source.arrivalsFound(), cycle);
    }
    QVERIFY(spy.isEmpty());
    const auto reported = arrivalsBeforeFence(lab, spy, fence);
    QVERIFY2(reported, qPrintable(lab.error()));
    QCOMPARE(*reported, QStringList(Cycles, folder + u'/'));
}

// Three arrivals in one reading of the table; the first receiver restarts the source, which
// then counts them all as present, as it does with whatever was mounted while it was stopped.
void TestMountMonitor::restartInsideReceiverDropsTheRest()
{
    MountLab lab;
    QStringList devices;
    QStringList folders;
    for (const QString name : {"a", "b", "c", "fence"}) {
        devices.append(lab.ext4Volume(name));
        folders.append(lab.makeFolder(name));
        LAB_STEP(lab, !devices.last().isEmpty() && !folders.last().isEmpty());
    }
    LinuxDriveArrivalSource source;
    QSignalSpy spy(&source, &DriveArrivalSource::driveArrived);
    connect(&source, &DriveArrivalSource::driveArrived, &source, [&source] {
        source.stop();
        QVERIFY(source.start());
    });
    QVERIFY(source.start());
    for (int i = 0; i < 3; ++i) // all before the first is handled
        LAB_STEP(lab, lab.mount(devices.at(i), folders.at(i), kExt4));
    QTRY_VERIFY_WITH_TIMEOUT(!spy.isEmpty(), ArrivalTimeoutMs);
    const auto reported = arrivalsBeforeFence(lab, spy, devices.last());
    QVERIFY2(reported, qPrintable(lab.error()));
    QCOMPARE(*reported, QStringList{folders.first() + u'/'});
}

FWB_TEST_MAIN(QCoreApplication, TestMountMonitor, cannotRun, fwb::test::enterPrivateMountNamespace)
#include "tst_mountmonitor.moc"
