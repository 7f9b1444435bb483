#include "TestSupport.h"
#include "countdown/frmBALLOON.h"
#include "monitor/DriveArrivals.h"
#include "monitor/NewDriveFound.h"
#include "notify/Notify.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"

#include <QTest>
#include <QTimer>

using namespace fwb;
using namespace Qt::StringLiterals;

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
        const auto row = [](const char *name, const QByteArray &previous, const QByteArray &added,
                            const QStringList &expected) {
            QTest::newRow(name) << previous << previous + added << expected;
        };
        const QByteArray usb = Desktop + stick(40, "8:17", "/media/u");
        row("new mount, escaped name", Desktop, stick(40, "7:5", "/media/USB\\040STICK"),
            {"/media/USB STICK/"});
        row("new mount at the root", Desktop, stick(40, "8:17", "/"), {"/"});
        row("device stacked on another", usb, stick(41, "8:33", "/media/u"), {"/media/u/"});
        row("device stacked on itself", usb, stick(41, "8:17", "/media/u"), {});
        row("new device at two places, one arrival at the first", Desktop,
            stick(40, "8:17", "/b") + stick(41, "8:17", "/a"), {"/b/"});
        row("only block devices", Desktop,
            "40 22 0:60 / /tmp/x rw - tmpfs tmpfs rw\n"
            "43 22 0:63 / /media/nas rw - fuse.sshfs anna@nas:/ rw\n"
            "44 27 8:33 / /media/Win rw - fuseblk /dev/sdc1 rw,allow_other\n",
            {"/media/Win/"});
        QTest::newRow("another device reusing the id")
            << usb << Desktop + stick(40, "8:33", "/media/u") << QStringList{"/media/u/"};
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

    // The entry of a new drive, then what its identity matched: in automatic mode every
    // matching trigger starts its set once, so a set triggered twice starts twice. Which
    // trigger matches which identity is the backup sets' test.
    void newDriveFound_data()
    {
        QTest::addColumn<QString>("volume");      // label|filesystem|id, empty: no answer
        QTest::addColumn<QByteArray>("triggers"); // ',' between fields, ';' between triggers
        QTest::addColumn<QString>("identity");    // label|serial as logged
        QTest::addColumn<int>("starts");
        const auto row = [](const char *name, const char *volume, const char *triggers,
                            const char *identity, int starts) {
            QTest::newRow(name) << QString::fromLatin1(volume) << QByteArray(triggers)
                                << QString::fromLatin1(identity) << starts;
        };
        const char *fat = "BACKUP|vfat|1a2b-3c4d", *id = "BACKUP|1A2B-3C4D";
        row("label and serial", fat, "x,1,BACKUP;y,0,1A2B-3C4D", id, 2);
        row("blank label", "   |exfat|0000-ffff", "x,1,[No label]", "[No label]|0000-FFFF", 1);
        row("spaces kept, NTFS", " My Disk |ntfs|0123456789abcdef", "x,1, My Disk ;y,1,Z",
            " My Disk |89AB-CDEF", 1);
        row("no serial", "Data|ext4|0a1b", "x,1,data", "Data|", 0);
        row("any drive, not queried", "", "x,1,\\trigger\\on\\any\\drive", "|", 1);
    }
    void newDriveFound()
    {
        QFETCH(QString, volume);
        QFETCH(QByteArray, triggers);
        QFETCH(QString, identity);
        QFETCH(int, starts);
        const QString root = u"/media/u/odd 'name' \"q\"/"_s;
        const QString set = m_dir->path() + u"/s.fwb"_s;
        const QStringList v = volume.split(u'|');
        if (!volume.isEmpty())
            m_platform->volumeQuery.volumes.insert(root, {v[0], v[1], v[2]});
        test::writeBackupSet(set, triggers);
        test::writeFile(appPaths().FwbExePath, "x");
        settings().BackupStartupMode = BackupStartup::Automatic;
        NewDriveFound(root);
        QStringList expected{"New drive found:\r\nDrive: " + root +
                             "\r\nLabel: " + identity.section(u'|', 0, 0) +
                             "\r\nSerial number: " + identity.section(u'|', 1)};
        for (int start = 0; start < starts; ++start)
            expected.append("Launching backup set: " + set);
        if (starts == 0)
            expected.append("No matching backup set found for new drive: " + root);
        QCOMPARE(m_log, expected);
        QCOMPARE(m_platform->programStarter.started.size(), starts);
        // One query serves both texts: on a slow stick each query reads the device.
        QCOMPARE(m_platform->volumeQuery.queried, QStringList{root});
    }

    // A drive whose label is unknown is named to the user who is not looking by its mount point.
    void unknownLabelNamedByMountPoint()
    {
        test::writeBackupSet(m_dir->path() + u"/s.fwb"_s, "x,1,\\trigger\\on\\any\\drive");
        settings().BackupStartupMode = BackupStartup::Confirm;
        QTimer cancel; // once the dialog is open
        cancel.callOnTimeout([] {
            if (frmBALLOON *dialog = frmBALLOON::openDialog())
                dialog->CB_Cancel_Click();
        });
        cancel.start(0);
        NewDriveFound(u"/media/u/x/"_s);
        QCOMPARE(m_platform->notifier.shown.value(0).notification.body.section(u'\n', 0, 0),
                 u"New drive found: /media/u/x/"_s);
    }

    // Arrivals reach the window, each followed by the flash, only while it is subclassed and
    // registered; a second subclassing or registration changes nothing.
    void notification()
    {
        const QString handle = u" &H"_s + QString::number(m_window->winId(), 16).toUpper();
        QVERIFY(!m_window->ActivateMonitoring());
        QVERIFY(!SubclassWindow(m_window.get()));
        QVERIFY(!RegisterDriveNotify(m_window.get()));
        QVERIFY(source().announce(u"/media/a/"_s));
        m_window->DeactivateMonitoring(); // the arrival still queued goes with it
        QCoreApplication::processEvents();
        QVERIFY(!DeregisterDriveNotify() && !UnsubclassWindow(m_window.get()));
        QVERIFY(!source().announce(u"/media/b/"_s));
        QVERIFY(m_log.isEmpty());

        QVERIFY(!m_window->ActivateMonitoring());
        QVERIFY(source().announce(u"/media/c/"_s));
        QVERIFY(m_log.isEmpty()); // posted, handled in the window's own turn
        QTRY_COMPARE(m_log.size(), 2);
        QVERIFY(m_log.last().endsWith(u"/media/c/"_s));
        QCOMPARE(source().starts, 2);

        // Six flashes 200 ms apart, however many events come meanwhile.
        auto *flash = m_window->findChild<QTimer *>(u"tmrFlashMe"_s);
        for (int tick = 1; tick <= 6; ++tick) {
            QVERIFY(flash->isActive());
            if (tick == 3) {
                ShellNotifyEvent another(0x8, u"/media/d/"_s);
                QCoreApplication::sendEvent(m_window.get(), &another);
            }
            QMetaObject::invokeMethod(flash, "timeout");
            QCOMPARE(flash->interval(), tick < 6 ? 200 : 1);
        }
        QVERIFY(!flash->isActive());
        QCOMPARE(m_log.size(), 2);

        m_window.reset(); // destroyed while subclassed
        QCOMPARE(test::shownBoxes(m_platform->boxes, BoxIcon::Stop),
                 (QStringList{
                     "FW Backup - Agent - Subclass Failed|Unable to successfully subclass" + handle,
                     "FW Backup Agent - WindowProc Error|Unexpected unsubclassed" + handle}));
    }
};

FWB_TEST_MAIN(QApplication, tst_Arrivals, fwb::test::runsEverywhere)
#include "tst_arrivals.moc"
