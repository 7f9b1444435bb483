#include "TestSupport.h"
#include "countdown/DecisionState.h"
#include "monitor/NewDriveFound.h"
#include "notify/Notify.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"
#include "store/Settings.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace fwb;

namespace {

// The monitor log's entries, newest first, without their time stamps.
QStringList entries(const frmMAIN &window)
{
    static const QRegularExpression stamp(QStringLiteral("^[^\r\n]*?\\d: "));
    QStringList texts;
    const QStringList parts = window.LogText().split(QStringLiteral("\r\n\r\n"));
    for (const QString &part : parts)
        if (!part.isEmpty())
            texts.append(QString(part).remove(stamp));
    return texts;
}

} // namespace

class tst_NewDrive : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;
    std::unique_ptr<frmMAIN> m_window;

    FakeDriveArrivalSource &source() { return m_platform->driveArrivals; }
    void clearLog()
    {
        m_window->findChild<QObject *>(QStringLiteral("TX_Log"))
            ->setProperty("plainText", QString());
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<test::ScopedPlatform>();
        test::resetProgramState(m_dir->path());
        QDir().mkpath(m_dir->path() + QStringLiteral("/Backup sets"));
        settings().BackupSetFolder = m_dir->path() + QStringLiteral("/Backup sets/");
        m_window = std::make_unique<frmMAIN>(m_dir->path());
        clearLog();
    }
    void cleanup()
    {
        m_window.reset();
        DeregisterDriveNotify();
        m_platform.reset();
    }

    void newDriveEntries_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<bool>("known");
        QTest::addColumn<VolumeInfo>("volume");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("serial");
        QTest::newRow("ntfs low half")
            << QStringLiteral("/mnt/x/") << true
            << VolumeInfo{QStringLiteral(" Data "), QStringLiteral("ntfs"),
                          QStringLiteral("0123456789ABCDEF")}
            << QStringLiteral(" Data ") << QStringLiteral("89AB-CDEF");
        QTest::newRow("ext4 without label")
            << QStringLiteral("/media/u/disk/") << true
            << VolumeInfo{QString(), QStringLiteral("ext4"), QStringLiteral("a-b-c")}
            << QStringLiteral("[No label]") << QString();
        QTest::newRow("cannot be queried") << QStringLiteral("/media/u/odd 'name' \"q\"/") << false
                                           << VolumeInfo{} << QString() << QString();
    }
    void newDriveEntries()
    {
        QFETCH(QString, root);
        QFETCH(bool, known);
        QFETCH(VolumeInfo, volume);
        QFETCH(QString, label);
        QFETCH(QString, serial);
        if (known)
            m_platform->volumeQuery.volumes.insert(root, volume);

        NewDriveFound(root);

        QCOMPARE(entries(*m_window),
                 (QStringList{QStringLiteral("No matching backup set found for new drive: ") + root,
                              QStringLiteral("New drive found:\r\nDrive: ") + root +
                                  QStringLiteral("\r\nLabel: ") + label +
                                  QStringLiteral("\r\nSerial number: ") + serial}));
        // One query serves both texts: on a slow stick each query reads the device.
        QCOMPARE(m_platform->volumeQuery.queried, QStringList{root});
    }

    void arrivalsReachTheWindowOnlyWhileActive()
    {
        QVERIFY(!m_window->ActivateMonitoring());
        QCOMPARE(m_window->MonitoringActive(), 1);
        QVERIFY(source().announce(QStringLiteral("/media/a/")));
        QVERIFY(entries(*m_window).isEmpty()); // posted, handled in the window's own turn
        QTRY_COMPARE(entries(*m_window).size(), 2);

        m_window->DeactivateMonitoring();
        QVERIFY(!source().isRunning());
        QVERIFY(!source().announce(QStringLiteral("/media/b/")));
        QCoreApplication::processEvents();
        QCOMPARE(entries(*m_window).size(), 2);
    }

    void arrivalQueuedBeforeDeactivationIsDropped()
    {
        m_window->ActivateMonitoring();
        source().announce(QStringLiteral("/media/a/"));
        m_window->DeactivateMonitoring();
        QCoreApplication::processEvents();
        QVERIFY(entries(*m_window).isEmpty());
    }

    void failedSourceMeansUnableToMonitor()
    {
        source().startSucceeds = false;
        QVERIFY(m_window->ActivateMonitoring());
        QCOMPARE(m_window->MonitoringActive(), 0);
        // The window stays subclassed, so a retry fails on subclassing, as it always has.
        source().startSucceeds = true;
        QVERIFY(m_window->ActivateMonitoring());
        QCOMPARE(m_platform->boxes.shown.size(), 1);
        m_window->DeactivateMonitoring();
        QVERIFY(!m_window->ActivateMonitoring());
        QCOMPARE(m_window->MonitoringActive(), 1);
    }

    void subclassingTwiceFails()
    {
        QVERIFY(SubclassWindow(m_window.get()));
        QVERIFY(!SubclassWindow(m_window.get()));
        QCOMPARE(m_platform->boxes.shown.size(), 1);
        const auto &box = m_platform->boxes.shown.first();
        QVERIFY(box.text.startsWith(QStringLiteral("Unable to successfully subclass &H")));
        QCOMPARE(box.title, QStringLiteral("FW Backup - Agent - Subclass Failed"));
        QCOMPARE(box.icon, BoxIcon::Stop);
        // The first subclass is still in place.
        QVERIFY(UnsubclassWindow(m_window.get()));
        QVERIFY(!UnsubclassWindow(m_window.get()));
    }

    void destroyedWhileSubclassed()
    {
        QVERIFY(SubclassWindow(m_window.get()));
        m_window.reset();
        QCOMPARE(m_platform->boxes.shown.size(), 1);
        const auto &box = m_platform->boxes.shown.first();
        QVERIFY(box.text.startsWith(QStringLiteral("Unexpected unsubclassed &H")));
        QCOMPARE(box.title, QStringLiteral("FW Backup Agent - WindowProc Error"));
        QCOMPARE(box.icon, BoxIcon::Stop);
    }

    void oneFlashCycleForTwoEvents()
    {
        auto *flash = m_window->findChild<QTimer *>(QStringLiteral("tmrFlashMe"));
        QSignalSpy ticks(flash, &QTimer::timeout);
        QVERIFY(SubclassWindow(m_window.get()));
        ShellNotifyEvent event(0x2, QString());
        QCoreApplication::sendEvent(m_window.get(), &event);
        QTRY_COMPARE(ticks.size(), 1);
        QCoreApplication::sendEvent(m_window.get(), &event);
        QTRY_VERIFY_WITH_TIMEOUT(!flash->isActive(), 3000);
        QCOMPARE(ticks.size(), 6);
        QCOMPARE(flash->interval(), 1); // back at rest
    }
};

QTEST_MAIN(tst_NewDrive)
#include "tst_newdrive.moc"
