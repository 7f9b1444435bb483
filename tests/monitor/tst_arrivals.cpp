#include "TestSupport.h"
#include "monitor/DriveArrivals.h"
#include "monitor/NewDriveFound.h"
#include "notify/Notify.h"
#include "shell/frmMAIN.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"

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

    QStringList m_log;

    FakeDriveArrivalSource &source() { return m_platform->driveArrivals; }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<test::ScopedPlatform>();
        test::resetProgramState(m_dir->path());
        settings().BackupSetFolder = m_dir->path() + u'/';
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        m_log.clear();
        SetMonitorLogSink([this](const QString &text) { m_log.append(text); });
    }
    void cleanup()
    {
        SetMonitorLogSink({});
        m_window.reset();
        DeregisterDriveNotify();
        m_platform.reset();
    }

    // Tables no kernel can be made to show on demand; the rest is tested against the kernel.
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

    void volumeThatCannotBeQueried()
    {
        const QString root = QStringLiteral("/media/u/odd 'name' \"q\"/");
        NewDriveFound(root);
        QCOMPARE(m_log, (QStringList{"New drive found:\r\nDrive: " + root +
                                         "\r\nLabel: \r\nSerial number: ",
                                     "No matching backup set found for new drive: " + root}));
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
        QVERIFY(m_log.isEmpty()); // posted, handled in the window's own turn
        QTRY_COMPARE(m_log.size(), 2);
        QVERIFY(m_log.last().endsWith(QStringLiteral("/media/c/")));
        QVERIFY(m_window->findChild<QTimer *>(QStringLiteral("tmrFlashMe"))->isActive());
    }
};

QTEST_MAIN(tst_Arrivals)
#include "tst_arrivals.moc"
