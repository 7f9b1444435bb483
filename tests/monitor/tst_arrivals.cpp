#include "TestSupport.h"
#include "monitor/DriveArrivals.h"
#include "monitor/NewDriveFound.h"
#include "monitor/VolumeIdentityText.h"
#include "notify/Notify.h"
#include "shell/frmMAIN.h"
#include "store/Settings.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace fwb;

namespace {

// The mounts of a desktop at rest: root, a pseudo filesystem, /home.
const QByteArray Desktop = "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw\n"
                           "27 22 0:24 / /run rw,nosuid shared:10 - tmpfs tmpfs rw,mode=755\n"
                           "30 22 259:3 / /home rw,relatime shared:31 - ext4 /dev/nvme0n1p3 rw\n";

QByteArray stick(int mountId, const QByteArray &device, const QByteArray &mountPoint)
{
    return QByteArray::number(mountId) + " 27 " + device + " / " + mountPoint +
           " rw,nosuid shared:429 master:1 - ext4 /dev/sdx1 rw\n";
}

} // namespace

class tst_Arrivals : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;
    std::unique_ptr<frmMAIN> m_window;

    FakeDriveArrivalSource &source() { return m_platform->driveArrivals; }
    // The monitor log's entries, newest first, without their time stamps.
    QStringList entries() const
    {
        static const QRegularExpression stamp(QStringLiteral("^[^\r\n]*?\\d: "));
        QStringList texts =
            m_window->LogText().split(QStringLiteral("\r\n\r\n"), Qt::SkipEmptyParts);
        for (QString &text : texts)
            text.remove(stamp);
        return texts;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<test::ScopedPlatform>();
        test::resetProgramState(m_dir->path());
        settings().BackupSetFolder = m_dir->path() + u'/';
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        m_window->findChild<QObject *>(QStringLiteral("TX_Log"))->setProperty("plainText", {});
    }
    void cleanup()
    {
        m_window.reset();
        DeregisterDriveNotify();
        m_platform.reset();
    }

    void visibleMountIsTopOfStack()
    {
        const MountTable stacked = MountTable::parse(Desktop + stick(40, "8:17", "/media/u") +
                                                     stick(41, "8:33", "/media/u"));
        QCOMPARE(stacked.visibleAt(QStringLiteral("/media/u"))->mountId, 41);
    }

    // What the kernel does to mounts is tested against the kernel; these are tables no test
    // can make it show on demand.
    void diff_data()
    {
        QTest::addColumn<QByteArray>("previous");
        QTest::addColumn<QByteArray>("current");
        QTest::addColumn<QStringList>("expected");
        const QByteArray usb = Desktop + stick(40, "8:17", "/media/u");
        QTest::newRow("new mount, escaped name")
            << Desktop << Desktop + stick(40, "7:5", "/media/USB\\040STICK")
            << QStringList{"/media/USB STICK/"};
        QTest::newRow("new mount at the root")
            << Desktop << Desktop + stick(40, "8:17", "/") << QStringList{"/"};
        QTest::newRow("device stacked on another")
            << usb << usb + stick(41, "8:33", "/media/u") << QStringList{"/media/u/"};
        QTest::newRow("device stacked on itself")
            << usb << usb + stick(41, "8:17", "/media/u") << QStringList{};
        QTest::newRow("another device reusing the id")
            << usb << Desktop + stick(40, "8:33", "/media/u") << QStringList{"/media/u/"};
        QTest::newRow("new device at two places, one arrival at the first")
            << Desktop << Desktop + stick(40, "8:17", "/b") + stick(41, "8:17", "/a")
            << QStringList{"/b/"};
        QTest::newRow("only block devices")
            << Desktop
            << Desktop + "40 22 0:60 / /tmp/x rw - tmpfs tmpfs rw\n"
                         "43 22 0:63 / /media/nas rw - fuse.sshfs anna@nas:/ rw\n"
                         "44 27 8:33 / /media/Win rw - fuseblk /dev/sdc1 rw,allow_other\n"
            << QStringList{"/media/Win/"};
    }
    void diff()
    {
        QFETCH(QByteArray, previous);
        QFETCH(QByteArray, current);
        QStringList roots;
        for (const DriveArrival &arrival :
             diffArrivals(MountTable::parse(previous), MountTable::parse(current)))
            roots.append(arrival.rootPath);
        QTEST(roots, "expected");
    }

    void identityTexts()
    {
        const QList<std::pair<QStringList, QString>> serials{
            {{"vfat", "1a2b-3c4d"}, "1A2B-3C4D"},
            {{"ntfs", "799576f7645c2394"}, "645C-2394"},
            {{"ext4", "3e6be9de-8139-11d1-9106-a43f08d823a6"}, ""},
            {{"fuseblk", "1A2B-3C4D"}, ""},
            {{"vfat", "1A2B3C4D"}, ""},
            {{"exfat", "1A2B-3C4D\n"}, ""},
            {{"ntfs", "0123456789ABCDEX"}, ""}};
        for (const auto &[fsId, serial] : serials)
            QCOMPARE(serialTextFromFsId(fsId[0], fsId[1]), serial);
        const QList<std::pair<QString, QString>> labels{
            {"  My Disk ", "  My Disk "}, {QString::fromUtf16(u"  \0USB", 6), "[-]"}, {"\t", "\t"}};
        for (const auto &[raw, text] : labels)
            QCOMPARE(labelTextFor(raw, QStringLiteral("-")), text);
    }

    void volumeThatCannotBeQueried()
    {
        const QString root = QStringLiteral("/media/u/odd 'name' \"q\"/");
        NewDriveFound(root);
        QCOMPARE(entries(), (QStringList{"No matching backup set found for new drive: " + root,
                                         "New drive found:\r\nDrive: " + root +
                                             "\r\nLabel: \r\nSerial number: "}));
        // One query serves both texts: on a slow stick each query reads the device.
        QCOMPARE(m_platform->volumeQuery.queried, QStringList{root});
    }

    void arrivalsReachTheWindowOnlyWhileActive()
    {
        QVERIFY(!m_window->ActivateMonitoring());
        QVERIFY(source().announce(QStringLiteral("/media/a/")));
        m_window->DeactivateMonitoring(); // the arrival still queued goes with it
        QCoreApplication::processEvents();
        QVERIFY(!source().announce(QStringLiteral("/media/b/")));

        QVERIFY(!m_window->ActivateMonitoring());
        QVERIFY(source().announce(QStringLiteral("/media/c/")));
        QVERIFY(entries().isEmpty()); // posted, handled in the window's own turn
        QTRY_COMPARE(entries().size(), 2);
        QVERIFY(entries().first().endsWith(QStringLiteral("/media/c/")));
    }

    // A failed start leaves the window subclassed, so a retry fails on subclassing.
    void failedStartThenRetry()
    {
        source().startSucceeds = false;
        QVERIFY(m_window->ActivateMonitoring());
        QCOMPARE(m_window->MonitoringActive(), 0);
        source().startSucceeds = true;
        QVERIFY(m_window->ActivateMonitoring());
        QCOMPARE(m_platform->boxes.shown.size(), 1);
        QVERIFY(m_platform->boxes.shown[0].text.startsWith("Unable to successfully subclass &H"));
        QCOMPARE(m_platform->boxes.shown[0].title,
                 QStringLiteral("FW Backup - Agent - Subclass Failed"));
    }

    void oneFlashCycleForTwoEvents()
    {
        auto *flash = m_window->findChild<QTimer *>(QStringLiteral("tmrFlashMe"));
        QSignalSpy ticks(flash, &QTimer::timeout);
        QVERIFY(SubclassWindow(m_window.get()));
        ShellNotifyEvent event(ShellNotifyEvent::SHCNE_DRIVEADD, QString());
        QCoreApplication::sendEvent(m_window.get(), &event);
        QTRY_COMPARE(ticks.size(), 1);
        QCoreApplication::sendEvent(m_window.get(), &event);
        QTRY_VERIFY_WITH_TIMEOUT(!flash->isActive(), 3000);
        QCOMPARE(ticks.size(), 6);
    }
};

QTEST_MAIN(tst_Arrivals)
#include "tst_arrivals.moc"
