#include "MountLab.h"
#include "TestSupport.h"
#include "platform/linux/BlkidProbe.h"
#include "platform/linux/LinuxDriveArrivalSource.h"
#include "platform/linux/LinuxVolumeQuery.h"

#include <QSignalSpy>
#include <QTest>
#include <sys/mount.h>

using namespace fwb;
using fwb::test::MountLab;
using Table = LinuxDriveArrivalSource::Table;

namespace {

constexpr int ArrivalTimeoutMs = 10'000;
const QString kExt4 = QStringLiteral("ext4");

QStringList rootPaths(const QSignalSpy &spy)
{
    QStringList paths;
    for (const QList<QVariant> &arguments : spy)
        paths.append(arguments.at(0).toString());
    return paths;
}

// Mounts a new volume and answers the arrivals reported before it (the source keeps their
// order); nothing when the fence did not arrive once, as the last.
std::optional<QStringList> arrivalsBeforeFence(MountLab &lab, QSignalSpy &spy)
{
    const QString fence = lab.ext4Volume(QStringLiteral("fence"));
    const QString folder = lab.makeFolder(QStringLiteral("fence"));
    if (fence.isEmpty() || folder.isEmpty() || !lab.mount(fence, folder, kExt4))
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
    static const QByteArrayList mounting{"mountChanges", "restartInsideReceiverDropsTheRest"};
    return mounting.contains(function) ? fwb::test::mountNamespaceProblem() : QString();
}

} // namespace

Q_DECLARE_METATYPE(Table)

class TestMountMonitor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What the Agent itself reads from devices is tested on real mounts with the whole Agent; these
    // are the answers no drive shows there.
    void volumesWithoutIdentity()
    {
        MountLab lab;
        const QString blank = lab.makeImage(QStringLiteral("blank.img"), 4);
        const QString fat = lab.makeImage(QStringLiteral("fat.img"), 4);
        LAB_STEP(lab,
                 !blank.isEmpty() && !fat.isEmpty() && lab.run(QStringLiteral("mkfs.fat"), {fat}));
        // A mount table naming another filesystem than the volume's: every type is tried.
        QCOMPARE(probeVolume(fat, QStringLiteral("ext4")).value_or(VolumeInfo{}).fsType, u"vfat");
        // Readable, but no filesystem the probe knows: a volume without identity.
        QCOMPARE(probeVolume(blank), std::optional<VolumeInfo>(VolumeInfo{}));
        QCOMPARE(probeVolume(blank + QStringLiteral(".missing")), std::nullopt);
        for (const char *rootPath : {"/no/such/volume/", "/proc/self/", "/proc/", ""})
            QVERIFY2(!LinuxVolumeQuery().query(QString::fromUtf8(rootPath)), rootPath);
    }

    void mountChanges_data()
    {
        QTest::addColumn<Table>("table");
        QTest::addColumn<ulong>("flags");  // of mount(2); 0: unmount, mount elsewhere
        QTest::addColumn<bool>("arrives"); // at the second folder

        for (const Table table : {Table::Best, Table::MountInfo}) {
            const QByteArray name = table == Table::Best ? "unique ids: " : "mountinfo: ";
            const auto row = [&](const char *what, ulong flags, bool arrives) {
                QTest::newRow((name + what).constData()) << table << flags << arrives;
            };
            row("bind mount", MS_BIND, false);
            row("remount read-only", MS_REMOUNT | MS_RDONLY, false);
            // Without unique ids a moved mount cannot be told from a new one.
            row("move", MS_MOVE, table == Table::MountInfo);
            row("unmount, mount elsewhere at once", 0, true);
        }
    }

    void mountChanges()
    {
        QFETCH(Table, table);
        QFETCH(ulong, flags);
        QFETCH(bool, arrives);
        MountLab lab;
        const QString device = lab.ext4Volume(QStringLiteral("disk"));
        const QString first = lab.makeFolder(QStringLiteral("first"));
        const QString second = lab.makeFolder(QStringLiteral("second"));
        LAB_STEP(lab, !device.isEmpty() && !first.isEmpty() && !second.isEmpty());
        LAB_STEP(lab, lab.mount(device, first, kExt4));

        LinuxDriveArrivalSource source(nullptr, table);
        QSignalSpy spy(&source, &DriveArrivalSource::driveArrived);
        QVERIFY(source.start());
        if (table == Table::Best && !source.usesUniqueMountIds())
            QSKIP("this kernel has no unique mount ids (Linux 6.8 and later)");
        const bool remount = flags & MS_REMOUNT;
        if (flags == 0)
            LAB_STEP(lab, lab.unmount(first) && lab.mount(device, second, kExt4));
        else
            LAB_STEP(lab,
                     lab.mount(remount ? QString() : first, remount ? first : second, {}, flags));
        const auto reported = arrivalsBeforeFence(lab, spy);
        QVERIFY2(reported, qPrintable(lab.error()));
        QCOMPARE(*reported, arrives ? QStringList{second + u'/'} : QStringList{});
    }

    // Three arrivals in one reading of the table; the first receiver restarts the source, which
    // then counts them all as present, as it does with whatever was mounted while it was stopped.
    void restartInsideReceiverDropsTheRest()
    {
        MountLab lab;
        QStringList devices;
        QStringList folders;
        for (const QString name : {"a", "b", "c"}) {
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
        const auto reported = arrivalsBeforeFence(lab, spy);
        QVERIFY2(reported, qPrintable(lab.error()));
        QCOMPARE(*reported, QStringList{folders.first() + u'/'});
    }
};

FWB_TEST_MAIN(QCoreApplication, TestMountMonitor, cannotRun, fwb::test::enterPrivateMountNamespace)
#include "tst_mountmonitor.moc"
