#include "monitor/DriveArrivals.h"
#include "monitor/MountTable.h"
#include "monitor/VolumeIdentityText.h"

#include <QTest>

using namespace fwb;

namespace {

// The mounts of a desktop at rest: root, pseudo filesystems, an EFI partition, /home, a snap.
const QByteArray Desktop =
    "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw,errors=remount-ro\n"
    "23 22 0:22 / /sys rw,nosuid,nodev,noexec,relatime shared:2 - sysfs sysfs rw\n"
    "24 22 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "27 22 0:24 / /run rw,nosuid,nodev,noexec,relatime shared:10 - tmpfs tmpfs rw,mode=755\n"
    "29 22 259:1 / /boot/efi rw,relatime shared:30 - vfat /dev/nvme0n1p1 rw,fmask=0077\n"
    "30 22 259:3 / /home rw,relatime shared:31 - ext4 /dev/nvme0n1p3 rw\n"
    "31 22 7:3 / /snap/core22/1033 ro,nodev,relatime shared:400 - squashfs /dev/loop3 ro\n";

QByteArray usbStick(int mountId, const QByteArray &device, const QByteArray &mountPoint)
{
    return QByteArray::number(mountId) + " 27 " + device + " / " + mountPoint +
           " rw,nosuid,nodev,relatime shared:429 master:1 - ext4 /dev/sdx1 rw\n";
}

// The table as statmount() gives it: the same mounts, each with its unique id.
MountTable withUniqueIds(const QByteArray &text, const QList<quint64> &ids)
{
    QList<MountEntry> entries = MountTable::parse(text).entries();
    for (qsizetype i = 0; i < entries.size(); ++i)
        entries[i].uniqueId = ids.value(i);
    return MountTable(entries);
}

QStringList rootPaths(const QList<DriveArrival> &arrivals)
{
    QStringList paths;
    for (const DriveArrival &arrival : arrivals)
        paths.append(arrival.rootPath);
    return paths;
}

} // namespace

class TestMountTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesEscapes_data();
    void decodesEscapes();
    void skipsMalformedLines_data();
    void skipsMalformedLines();
    void visibleMountIsTopOfStack();

    void arrivals_data();
    void arrivals();
    void arrivalsByUniqueId_data();
    void arrivalsByUniqueId();

    void serialText_data();
    void serialText();
    void labelText_data();
    void labelText();
};

void TestMountTable::decodesEscapes_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("decoded");

    QTest::newRow("tab, newline, backslash")
        << QByteArray("/a\\011b\\012c\\134d") << QStringLiteral("/a\tb\nc\\d");
    QTest::newRow("escape at the end") << QByteArray("/x\\040") << QStringLiteral("/x ");
    QTest::newRow("escaped UTF-8 bytes") << QByteArray("/m\\303\\274") << QStringLiteral("/mü");
    QTest::newRow("not octal") << QByteArray("/a\\09x") << QStringLiteral("/a\\09x");
    QTest::newRow("lone backslash") << QByteArray("/a\\") << QStringLiteral("/a\\");
}

void TestMountTable::decodesEscapes()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, decoded);
    QCOMPARE(decodeMountInfoField(field), decoded);
}

void TestMountTable::skipsMalformedLines_data()
{
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("no separator") << QByteArray(
        "40 22 8:17 / /media/a rw shared:1 ext4 /dev/sdb1 rw");
    QTest::newRow("too few fields") << QByteArray("40 22 8:17 / - ext4 /dev/sdb1 rw");
    QTest::newRow("no super options") << QByteArray("40 22 8:17 / /media/a rw - ext4 /dev/sdb1");
    QTest::newRow("mount id not a number")
        << QByteArray("4x 22 8:17 / /media/a rw - ext4 /dev/sdb1 rw");
    QTest::newRow("device without colon")
        << QByteArray("40 22 8-17 / /media/a rw - ext4 /dev/sdb1 rw");
    QTest::newRow("binary") << QByteArray("\x01\xff\x00garbage", 10);
}

void TestMountTable::skipsMalformedLines()
{
    QFETCH(QByteArray, line);
    const QByteArray text = "22 1 259:2 / / rw - ext4 /dev/nvme0n1p2 rw\n" + line +
                            "\n41 22 8:33 / /media/b rw - vfat /dev/sdc1 rw";
    const MountTable table = MountTable::parse(text);
    QCOMPARE(table.entries().size(), 2);
    QCOMPARE(table.entries().at(0).mountPoint, QStringLiteral("/"));
    QCOMPARE(table.entries().at(1).mountPoint, QStringLiteral("/media/b"));
}

void TestMountTable::visibleMountIsTopOfStack()
{
    const MountTable table = MountTable::parse(Desktop + usbStick(40, "8:17", "/media/usb") +
                                               usbStick(41, "8:33", "/media/usb"));
    QVERIFY(table.visibleAt(QStringLiteral("/media/usb")));
    QCOMPARE(table.visibleAt(QStringLiteral("/media/usb"))->mountId, 41);
    QCOMPARE(table.visibleAt(QStringLiteral("/"))->mountId, 22);
    QVERIFY(!table.visibleAt(QStringLiteral("/media")));
}

void TestMountTable::arrivals_data()
{
    QTest::addColumn<QByteArray>("previous");
    QTest::addColumn<QByteArray>("current");
    QTest::addColumn<QStringList>("expected");

    const QByteArray stick = usbStick(40, "8:17", "/media/usb");

    QTest::newRow("nothing changed") << Desktop << Desktop << QStringList{};
    QTest::newRow("new loop mount")
        << Desktop << Desktop + usbStick(40, "7:5", "/media/anna/USB\\040STICK")
        << QStringList{"/media/anna/USB STICK/"};
    QTest::newRow("new mount at the root of the tree")
        << Desktop << Desktop + usbStick(40, "8:17", "/") << QStringList{"/"};
    QTest::newRow("unmount") << Desktop + stick << Desktop << QStringList{};
    QTest::newRow("device stacked on another")
        << Desktop + stick << Desktop + stick + usbStick(41, "8:33", "/media/usb")
        << QStringList{"/media/usb/"};
    QTest::newRow("device stacked on itself")
        << Desktop + stick << Desktop + stick + usbStick(41, "8:17", "/media/usb") << QStringList{};
    QTest::newRow("unmount and mount of another device reusing the id")
        << Desktop + stick << Desktop + usbStick(40, "8:33", "/media/usb")
        << QStringList{"/media/usb/"};
    QTest::newRow("same device elsewhere, reusing the id")
        << Desktop + stick << Desktop + usbStick(40, "8:17", "/media/other")
        << QStringList{"/media/other/"};
    QTest::newRow("one of two mount points moved")
        << Desktop + stick + usbStick(41, "8:17", "/mnt/a")
        << Desktop + stick + usbStick(42, "8:17", "/mnt/b") << QStringList{};
    QTest::newRow("new device at two places, one arrival at the first")
        << Desktop << Desktop + usbStick(40, "8:17", "/media/b") + usbStick(41, "8:17", "/media/a")
        << QStringList{"/media/b/"};
    QTest::newRow("new device and a bind of it")
        << Desktop
        << Desktop + stick +
               "41 22 8:17 /photos /home/anna/photos rw,relatime - ext4 /dev/sdx1 rw\n"
        << QStringList{"/media/usb/"};

    QTest::newRow("tmpfs, proc, overlay and FUSE are not drives")
        << Desktop
        << Desktop + "40 22 0:60 / /tmp/scratch rw - tmpfs tmpfs rw\n"
                     "41 22 0:61 / /var/chroot/proc rw - proc proc rw\n"
                     "42 22 0:62 / /var/lib/containers/merged rw - overlay overlay rw\n"
                     "43 22 0:63 / /media/nas rw - fuse.sshfs anna@nas:/ rw\n"
        << QStringList{};
    QTest::newRow("fuseblk counts")
        << Desktop
        << Desktop + "40 27 8:33 / /media/anna/WinDisk rw,nosuid,nodev,relatime shared:431 - "
                     "fuseblk /dev/sdc1 rw,user_id=0,group_id=0,allow_other,blksize=4096\n"
        << QStringList{"/media/anna/WinDisk/"};
}

void TestMountTable::arrivals()
{
    QFETCH(QByteArray, previous);
    QFETCH(QByteArray, current);
    QFETCH(QStringList, expected);
    const auto arrivals = diffArrivals(MountTable::parse(previous), MountTable::parse(current));
    QCOMPARE(rootPaths(arrivals), expected);
}

void TestMountTable::arrivalsByUniqueId_data()
{
    QTest::addColumn<QByteArray>("previous");
    QTest::addColumn<quint64>("previousId");
    QTest::addColumn<QByteArray>("current");
    QTest::addColumn<quint64>("currentId");
    QTest::addColumn<QStringList>("expected");

    const QByteArray stick = Desktop + usbStick(40, "8:17", "/media/usb");
    QTest::newRow("replugged at the same place, the mount id reused")
        << stick << quint64(900) << stick << quint64(901) << QStringList{"/media/usb/"};
    QTest::newRow("moved") << stick << quint64(900)
                           << Desktop + usbStick(40, "8:17", "/media/other") << quint64(900)
                           << QStringList{};
    QTest::newRow("remounted") << stick << quint64(900)
                               << Desktop + "40 27 8:17 / /media/usb ro - ext4 /dev/sdx1 ro\n"
                               << quint64(900) << QStringList{};
}

void TestMountTable::arrivalsByUniqueId()
{
    QFETCH(QByteArray, previous);
    QFETCH(quint64, previousId);
    QFETCH(QByteArray, current);
    QFETCH(quint64, currentId);
    QFETCH(QStringList, expected);
    // The desktop's mounts keep their ids 1 to 7; the stick's is the row's.
    const QList<quint64> desktop{1, 2, 3, 4, 5, 6, 7};
    const auto arrivals = diffArrivals(withUniqueIds(previous, desktop + QList{previousId}),
                                       withUniqueIds(current, desktop + QList{currentId}));
    QCOMPARE(rootPaths(arrivals), expected);
}

void TestMountTable::serialText_data()
{
    QTest::addColumn<QString>("fsType");
    QTest::addColumn<QString>("uuid");
    QTest::addColumn<QString>("serial");

    const auto row = [](const char *name, const char *fsType, const char *uuid,
                        const char *serial) {
        QTest::newRow(name) << QString::fromLatin1(fsType) << QString::fromLatin1(uuid)
                            << QString::fromLatin1(serial);
    };
    row("vfat, lower case", "vfat", "1a2b-3c4d", "1A2B-3C4D");
    row("msdos", "msdos", "0A12-F3C4", "0A12-F3C4");
    row("exfat", "exfat", "8001-0000", "8001-0000");
    row("ntfs, low half, lower case", "ntfs", "799576f7645c2394", "645C-2394");
    row("ext4", "ext4", "3e6be9de-8139-11d1-9106-a43f08d823a6", "");
    row("fuseblk", "fuseblk", "1A2B-3C4D", "");
    row("vfat, no dash", "vfat", "1A2B3C4D", "");
    row("vfat, not hex", "vfat", "1A2G-3C4D", "");
    row("vfat, trailing text", "vfat", "1A2B-3C4D\n", "");
    row("exfat, too long", "exfat", "1A2B-3C4D5", "");
    row("ntfs, too short", "ntfs", "0123456789ABCDE", "");
    row("ntfs, not hex", "ntfs", "0123456789ABCDEX", "");
}

void TestMountTable::serialText()
{
    QFETCH(QString, fsType);
    QFETCH(QString, uuid);
    QFETCH(QString, serial);
    QCOMPARE(serialTextFromFsId(fsType, uuid), serial);
}

void TestMountTable::labelText_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("noLabel");
    QTest::addColumn<QString>("text");

    const QString none = QStringLiteral("No label");
    QTest::newRow("translated") << QString() << QStringLiteral("Kein Name")
                                << QStringLiteral("[Kein Name]");
    QTest::newRow("spaces only") << QStringLiteral("    ") << none << QStringLiteral("[No label]");
    QTest::newRow("spaces kept") << QStringLiteral("  My Disk ") << none
                                 << QStringLiteral("  My Disk ");
    QTest::newRow("cut at NUL") << QString::fromUtf16(u"USB\0junk", 8) << none
                                << QStringLiteral("USB");
    QTest::newRow("spaces before NUL")
        << QString::fromUtf16(u"  \0USB", 6) << none << QStringLiteral("[No label]");
    QTest::newRow("tab is not a space") << QStringLiteral("\t") << none << QStringLiteral("\t");
}

void TestMountTable::labelText()
{
    QFETCH(QString, raw);
    QFETCH(QString, noLabel);
    QFETCH(QString, text);
    QCOMPARE(labelTextFor(raw, noLabel), text);
}

QTEST_GUILESS_MAIN(TestMountTable)
#include "tst_mounttable.moc"
