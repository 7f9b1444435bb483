// The real Agent on the desktops its users run, its volumes on loop devices mounted in a private
// mount namespace (root). The desktop's daemons run over a /run of the namespace's own, so that
// nothing they record outlives the test: udevd; udisks2 on a system bus of the test's own; mutter
// with XWayland on a session bus carrying a StatusNotifierWatcher (the tray of KDE and GNOME).

#include "AgentProcess.h"
#include "TestSupport.h"
#include "platform/linux/KernelMountList.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace fwb::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int TimeoutMs = 20'000;
constexpr uint OrdinaryUser = 65534;
const QString kExt4 = QStringLiteral("ext4");
const QString kNewDrive = QStringLiteral("New drive found: Drive: ");
const QString kLabel = QStringLiteral(" Label: ");
const QString kNoMatch = QStringLiteral("No matching backup set found for new drive: ");
const QString kLaunching = QStringLiteral("Launching backup set: ");
const QString kItem = QStringLiteral("org.kde.StatusNotifierItem");
const QString kUdevd = QStringLiteral("/lib/systemd/systemd-udevd");
const QString kPolkitd = QStringLiteral("/usr/lib/polkit-1/polkitd");
const QString kUdisksd = QStringLiteral("/usr/libexec/udisks2/udisksd");
// A system bus on which anyone may own a name and call anyone.
const QByteArray kSystemBus =
    "<busconfig><type>system</type><auth>EXTERNAL</auth>"
    "<listen>unix:path=/run/dbus/system_bus_socket</listen><policy context=\"default\">"
    "<allow user=\"*\"/><allow own=\"*\"/><allow send_destination=\"*\"/>"
    "<allow receive_sender=\"*\"/></policy></busconfig>";
// What a desktop session's policy grants its user: mounting removable drives.
const QByteArray kMountRule =
    "polkit.addRule(function(action, subject) {\n"
    "  if (action.id.indexOf(\"org.freedesktop.udisks2.filesystem-\") == 0 &&\n"
    "      subject.user == \"nobody\") return polkit.Result.YES; });\n";

QString whyNot(const QStringList &tools)
{
    for (const QString &tool : tools)
        if (findTool(tool).isEmpty() && !QFile::exists(tool))
            return tool + QStringLiteral(" is not installed");
    return {};
}

} // namespace

// What a panel's tray offers items: they register here, and an item whose name has left the
// bus is gone.
class Watcher : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    explicit Watcher(QObject *panel) : QDBusAbstractAdaptor(panel) {}
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList registered;

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString &service, const QDBusMessage &message)
    {
        registered.append(service.startsWith(u'/') ? message.service() : service);
    }
};

class TestAgentE2E : public QObject, private Desktop
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void replugWhileStoppedGivesEveryArrival();
    void volumeIdentity_data();
    void volumeIdentity();
    void throughUdev_data() { volumeIdentity_data(); }
    void throughUdev() { volumeIdentity(); }
    void udisksMounts();
    void trayOverDBus_data();
    void trayOverDBus();
    void countDownDialogOnWayland();

public:
    // Daemons over a /run of this namespace's own; why one cannot start, or the empty text.
    QString startUdev();
    QString startUdisks();
    QString startWaylandSession();

private:
    QString window(const QString &name) const { return windowsNamed(name).value(0); }
    // Has udevd probe the device as it does when one is plugged in; its record.
    QString udevRecord(const QString &device) const;
    QString startAgent(const QByteArray &ini, const QString &startEntry);

    // The items registered and still on the bus.
    QStringList items() const;
    // A call on the session bus, as the desktop's panel makes it: its answer, in GVariant text.
    QString call(const QString &item, const QString &path, const QStringList &method) const
    {
        const QStringList to{"gdbus", "call", "--session", "-d", item, "-o", path, "-m"};
        return x(to + method.mid(0, 1) + QStringList{"--"} + method.mid(1));
    }
    // The menu the item exports, as the desktop reads it to draw it: each entry's id and text.
    QList<std::pair<QString, QString>> menu(const QString &item) const;
    bool click(const QString &item, const QString &label) const;
    QString waitForItem(const QString &other = {}) const;

    bool m_ownRun = false;
    std::optional<QTemporaryDir> m_runtime;
    std::optional<QDBusConnection> m_bus;
    std::unique_ptr<QObject> m_panel;
    Watcher *m_watcher = nullptr;
    std::optional<AgentRun> m_run;
};

void TestAgentE2E::init()
{
    m_run.emplace();
    QVERIFY2(m_run->folder.stage(), qPrintable(m_run->folder.error()));
    const QByteArray function = QTest::currentTestFunction();
    QString problem;
    if (function == "throughUdev" || function == "udisksMounts") {
        problem = startUdev();
        QVERIFY(m_run->folder.handTo(OrdinaryUser));
        m_run->agent.setUser(OrdinaryUser);
    }
    if (problem.isEmpty() && function == "udisksMounts")
        problem = startUdisks();
    if (function == "trayOverDBus" || function == "countDownDialogOnWayland") {
        problem = startWaylandSession();
        m_run->agent.setDesktop(environment);
    }
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

// The Agent and its volumes first (udevd still tidies up after the devices), the daemons in the
// reverse order of their start, the bus the test watches from last.
void TestAgentE2E::cleanup()
{
    m_run.reset();
    stop();
    if (std::exchange(m_ownRun, false))
        ::umount2("/run", MNT_DETACH);
    m_bus.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("panel"));
    m_panel.reset();
    m_runtime.reset();
    environment = QProcessEnvironment::systemEnvironment();
}

QString TestAgentE2E::startUdev()
{
    m_ownRun = ::mount("tmpfs", "/run", "tmpfs", 0, "mode=0755") == 0;
    if (!m_ownRun || !QDir().mkpath(QStringLiteral("/run/udev")))
        return QStringLiteral("no /run of its own");
    start(kUdevd, {});
    const auto answers = [this] {
        return !!run({"udevadm", "control", "--ping"});
    };
    return QTest::qWaitFor(answers, TimeoutMs) ? QString() : QStringLiteral("udevd does not start");
}

QString TestAgentE2E::udevRecord(const QString &device) const
{
    struct stat node = {};
    if (::stat(QFile::encodeName(device).constData(), &node) != 0 ||
        !run({"udevadm", "trigger", "--action=add", "--settle",
              "/sys/class/block/" + device.section(u'/', -1)}))
        return {};
    QFile data(u"/run/udev/data/b%1:%2"_s.arg(major(node.st_rdev)).arg(minor(node.st_rdev)));
    return data.open(QIODevice::ReadOnly) ? QString::fromUtf8(data.readAll()) : QString();
}

// polkitd with a desktop session's rule, then udisksd, which asks it.
QString TestAgentE2E::startUdisks()
{
    MountLab &lab = m_run->lab;
    const QString folder = lab.makeFolder(QStringLiteral("configuration"));
    if (folder.isEmpty() || !QDir().mkpath(QStringLiteral("/run/dbus")) ||
        !writeBytes(folder + "/bus.conf", kSystemBus) ||
        !writeBytes(folder + "/rules.d/50-session.rules", kMountRule) ||
        !lab.mount(folder + "/rules.d", QStringLiteral("/etc/polkit-1/rules.d"), {}, MS_BIND) ||
        !lab.mount(QStringLiteral("tmpfs"), QStringLiteral("/media"), QStringLiteral("tmpfs")))
        return QStringLiteral("cannot prepare the system bus: ") + lab.error();
    start(QStringLiteral("dbus-daemon"), {"--nofork", "--config-file=" + folder + "/bus.conf"});
    start(kPolkitd, {"--no-debug"});
    if (!awaitName(QStringLiteral("org.freedesktop.PolicyKit1"), "--system"))
        return QStringLiteral("the system bus or polkitd does not start");
    start(kUdisksd, {});
    return awaitName(QStringLiteral("org.freedesktop.UDisks2"), "--system")
               ? QString()
               : QStringLiteral("udisksd does not start");
}

// A session bus with the watcher on it, and mutter with its XWayland on that bus.
QString TestAgentE2E::startWaylandSession()
{
    m_runtime.emplace();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime->path());
    environment.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
    if (const QString problem = startSessionBus(); !problem.isEmpty())
        return problem;
    m_bus = QDBusConnection::connectToBus(
        environment.value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")), QStringLiteral("panel"));
    m_panel = std::make_unique<QObject>();
    m_watcher = new Watcher(m_panel.get());
    if (!m_bus->registerObject(QStringLiteral("/StatusNotifierWatcher"), m_panel.get()) ||
        !m_bus->registerService(QStringLiteral("org.kde.StatusNotifierWatcher")))
        return QStringLiteral("the watcher cannot register");

    QProcess &mutter = start(QStringLiteral("mutter"),
                             {"--wayland", "--headless", "--virtual-monitor", "1280x1024",
                              "--wayland-display", "wayland-fwb"},
                             true);
    QString log;
    const QRegularExpression display(QStringLiteral("public X11 display (:\\d+)"));
    if (!QTest::qWaitFor([&] { return display.match(log += mutter.readAll()).hasMatch(); },
                         TimeoutMs))
        return QStringLiteral("mutter does not come up: ") + log;
    const QDir runtime(m_runtime->path());
    environment.insert(QStringLiteral("DISPLAY"), display.match(log).captured(1));
    environment.insert(
        QStringLiteral("XAUTHORITY"),
        runtime.filePath(
            runtime.entryList({".mutter-Xwaylandauth.*"}, QDir::Files | QDir::Hidden).value(0)));
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), runtime.filePath("wayland-fwb"));
    environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    return QTest::qWaitFor([this] { return !numbers({}, "_NET_WORKAREA").isEmpty(); }, TimeoutMs)
               ? QString()
               : QStringLiteral("XWayland does not answer");
}

// The main window's id on the X display, where the Agent shows it when it went to XWayland.
QString TestAgentE2E::startAgent(const QByteArray &ini, const QString &startEntry)
{
    QString id;
    m_run->start(ini, startEntry);
    if (!QTest::qWaitFor([&] { return isViewable(id = window("FW(B| Backup) Agent")); }, TimeoutMs))
        id.clear();
    return id;
}

QStringList TestAgentE2E::items() const
{
    QStringList live = m_watcher->registered;
    live.removeIf([this](const QString &item) {
        return !m_bus->interface()->isServiceRegistered(item).value();
    });
    return live;
}

QList<std::pair<QString, QString>> TestAgentE2E::menu(const QString &item) const
{
    const QString path =
        call(item, "/StatusNotifierItem", {"org.freedesktop.DBus.Properties.Get", kItem, "Menu"})
            .section(u'\'', 1, 1);
    static const QRegularExpression entry(u"<\\((\\d+), \\{[^{}]*'label': <'([^']*)'>"_s);
    QList<std::pair<QString, QString>> entries;
    const QString layout =
        call(item, path, {"com.canonical.dbusmenu.GetLayout", "0", "-1", "@as []"});
    for (auto it = entry.globalMatch(layout); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        entries.append({match.captured(1), match.captured(2)});
    }
    return entries;
}

// The user picks an entry of the menu the desktop drew.
bool TestAgentE2E::click(const QString &item, const QString &label) const
{
    for (const auto &[id, text] : menu(item))
        if (text == label)
            return !call(item, "/MenuBar",
                         {"com.canonical.dbusmenu.Event", id, "clicked", "<0>", "0"})
                        .isEmpty();
    return false;
}

// The one item there is, once it is not `other`.
QString TestAgentE2E::waitForItem(const QString &other) const
{
    QStringList live;
    return QTest::qWaitFor([&] { return (live = items()).size() == 1 && live[0] != other; },
                           TimeoutMs)
               ? live[0]
               : QString();
}

// The whole Agent is stopped across each unplug and plug, so no reading of the mount table
// falls between them, and the kernel gives the new mount the id the old one had. Two sticks
// take turns at the same place, each plugged twice in a row, so each entry shows its plug.
void TestAgentE2E::replugWhileStoppedGivesEveryArrival()
{
    const QStringList labels{QStringLiteral("ALPHA"), QStringLiteral("BRAVO")};
    MountLab &lab = m_run->lab;
    const QStringList devices{lab.ext4Volume(labels[0], labels[0]),
                              lab.ext4Volume(labels[1], labels[1]), lab.ext4Volume("fence")};
    const QString folder = lab.makeFolder(QStringLiteral("stick"));
    const QString fence = lab.makeFolder(QStringLiteral("fence"));
    LAB_STEP(lab, !devices.contains(QString()) && !folder.isEmpty() && !fence.isEmpty());
    QVERIFY(m_run->startWatching());
    if (!fwb::kernelHasUniqueMountIds())
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
    // Arrivals are reported in the order the kernel made them: once a later mount is reported,
    // all the plugs have been.
    QVERIFY(lab.mount(devices[2], fence, kExt4));
    QTRY_VERIFY_WITH_TIMEOUT(!m_run->agent.entries().filter(kNewDrive + fence).isEmpty(),
                             TimeoutMs);
    QCOMPARE(reportedLabels(), expected);
}

void TestAgentE2E::volumeIdentity_data()
{
    QTest::addColumn<QList<QStringList>>("format"); // programs and arguments, before the image
    QTest::addColumn<QByteArray>("labelBytes");     // put in place of the last argument above
    QTest::addColumn<QString>("kernelType");        // mounted by the kernel where it has it,
    QTest::addColumn<QStringList>("fuse");          // else through FUSE: program and options
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<QString>("identity");
    // ext4 has no serial number of the kind the backup program knows. udev escapes blanks,
    // quotes, backslashes and bytes that are not UTF-8, which are read as Latin-1 here.
    QTest::newRow("ext4, odd label")
        << QList<QStringList>{{"mkfs.ext4", "-q", "-O", "^metadata_csum", "-L", "My \"DXsk\" $1\\"}}
        << QByteArray("My \"D\xFCsk\" $1\\") << kExt4 << QStringList() << QByteArray()
        << QStringLiteral("My \"Düsk\" $1\\ Serial number: ");
    // FAT keeps its label in the DOS code page of the Windows that wrote it: 0x9D is "Ø" in the
    // Western European one, "¥" in the American one.
    const QList<QStringList> fat{{"mkfs.fat", "-i", "1A2B3C4D", "-n", "SXKER"}};
    const QStringList fusefat{"fusefat", "-o", "ro,blkdev,fsname=DEVICE"};
    const QByteArray dosLabel = QByteArray("S\x9D") + "KER";
    QTest::newRow("FAT, Swedish") << fat << dosLabel << "vfat" << fusefat
                                  << QByteArray("sv_SE.UTF-8")
                                  << QStringLiteral("SØKER Serial number: 1A2B-3C4D");
    QTest::newRow("FAT, American English")
        << fat << dosLabel << "vfat" << fusefat << QByteArray("en_US.UTF-8")
        << QStringLiteral("S¥KER Serial number: 1A2B-3C4D");
    // udev records no id for the serial 0, and only root may read the boot sector.
    QTest::newRow("FAT, serial 0")
        << QList<QStringList>{{"mkfs.fat", "-i", "0", "-n", "ZERO"}} << QByteArray() << "vfat"
        << fusefat << QByteArray() << QStringLiteral("ZERO Serial number: 0000-0000");
    QTest::newRow("exFAT") << QList<QStringList>{{"mkfs.exfat", "-L", "Ex Disk ü"},
                                                 {"tune.exfat", "-I", "0x1A2B3C4D"}}
                           << QByteArray() << "exfat" << QStringList{"mount.exfat-fuse"}
                           << QByteArray() << QStringLiteral("Ex Disk ü Serial number: 1A2B-3C4D");
    QTest::newRow("NTFS") << QList<QStringList>{{"mkntfs", "-F", "-Q", "-L", "Family Backup"},
                                                {"ntfslabel", "--new-serial=0123456789ABCDEF"}}
                          << QByteArray() << "ntfs3" << QStringList{"ntfs-3g"} << QByteArray()
                          << QStringLiteral("Family Backup Serial number: 89AB-CDEF");
}

// Root's Agent reads the device itself. In throughUdev an ordinary user's Agent, which may not,
// gets the same identity from udev's record, where the label is escaped (ID_FS_LABEL_ENC)
// beside a copy with blanks and odd characters replaced (ID_FS_LABEL).
void TestAgentE2E::volumeIdentity()
{
    QFETCH(QList<QStringList>, format);
    QFETCH(QByteArray, labelBytes);
    QFETCH(QString, kernelType);
    QFETCH(QStringList, fuse);
    QFETCH(QByteArray, language);
    QFETCH(QString, identity);
    MountLab &lab = m_run->lab;
    const QString image = lab.makeImage(QStringLiteral("disk.img"), 16);
    LAB_STEP(lab, !image.isEmpty());
    for (QStringList step : format)
        LAB_STEP(lab, lab.run(step.takeFirst(), step << image));
    if (!labelBytes.isEmpty())
        writeFile(image, readFile(image).replace(format[0].last().toLatin1(), labelBytes));
    const QString device = lab.attach(image);
    const QString folder = lab.makeFolder(QStringLiteral("My Disk"));
    LAB_STEP(lab, !device.isEmpty() && !folder.isEmpty());
    if (QTest::currentTestFunction() == QByteArrayLiteral("throughUdev")) {
        QVERIFY(udevRecord(device).contains(u"ID_FS_TYPE="));
        identity.replace(QStringLiteral("0000-0000"), QString());
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("LANGUAGE"), QString::fromLatin1(language));
    m_run->agent.setDesktop(environment);
    QVERIFY(m_run->startWatching());

    QFile filesystems(QStringLiteral("/proc/filesystems"));
    const bool inKernel = filesystems.open(QIODevice::ReadOnly) &&
                          filesystems.readAll().contains('\t' + kernelType.toLatin1() + '\n');
    LAB_STEP(lab, inKernel || !findTool(fuse.value(0)).isEmpty());
    const auto mount = [&] {
        return inKernel ? lab.mount(device, folder, kernelType)
                        : lab.mountWith(fuse[0], device, folder,
                                        fuse.mid(1).replaceInStrings("DEVICE", device));
    };
    QVERIFY2(m_run->mountedUntilReported(mount, folder), qPrintable(lab.error()));
    const QString root = folder + u'/';
    QTRY_VERIFY_WITH_TIMEOUT(m_run->agent.entries().contains(kNoMatch + root), TimeoutMs);
    const QStringList entries = m_run->agent.entries();
    const qsizetype found = entries.indexOf(kNewDrive + root + kLabel + identity);
    QVERIFY2(found >= 0 && found < entries.indexOf(kNoMatch + root),
             qPrintable(entries.join(u'\n')));
    qInfo("%s", qPrintable(entries[found]));
}

// A desktop's automounter has udisks2 mount each drive as the user, under /media/USER/LABEL:
// each mount is one arrival, identified, matched and launched; an unmount is none.
void TestAgentE2E::udisksMounts()
{
    MountLab &lab = m_run->lab;
    const QString label = QStringLiteral("Family Photos");
    const QString device = lab.ext4Volume(QStringLiteral("photos"), label);
    LAB_STEP(lab, !device.isEmpty());
    QVERIFY(udevRecord(device).contains(u"ID_FS_USAGE=filesystem"));
    const ProgramFolder &programs = m_run->folder;
    QVERIFY(writeBytes(programs.filePath(QStringLiteral("fwbagent.ini")),
                       optionsIni({QStringLiteral("GLO_BackupStartupMode=0")})));
    const QString set = programs.defaultBackupSetsFolder() + QStringLiteral("/Photos.fwb");
    QVERIFY(writeBytes(set, iniBackupSet(triggersOnLabel(label))));
    QVERIFY(m_run->startWatching());

    const auto count = [this](const QString &entry) {
        return m_run->agent.entries()
            .filter(QRegularExpression(u'^' + QRegularExpression::escape(entry)))
            .size();
    };
    for (qsizetype mounts = 1; mounts <= 2; ++mounts) {
        const auto mounted =
            run({"udisksctl", "mount", "-b", device, "--no-user-interaction"}, OrdinaryUser);
        QVERIFY(mounted && mounted->contains(" at /media/nobody/Family Photos"));
        qInfo("udisksctl: %s", mounted->trimmed().constData());
        QTRY_COMPARE_WITH_TIMEOUT(count(kLaunching + set), mounts, TimeoutMs);
        QCOMPARE(count(kNewDrive + "/media/nobody/Family Photos/" + kLabel + label + " Serial"),
                 mounts);
        QVERIFY(run({"udisksctl", "unmount", "-b", device, "--no-user-interaction"}, OrdinaryUser));
    }
    // fwb writes its log after the Agent has logged the launch.
    QTRY_COMPARE_WITH_TIMEOUT(
        readFile(programs.backupProgramLog()).count("with backup set: " + set.toUtf8()), 2,
        TimeoutMs);
    qInfo("%s", qPrintable(m_run->agent.entries().filter(u"/media/"_s).join(u'\n')));
}

void TestAgentE2E::trayOverDBus_data()
{
    QTest::addColumn<QString>("pack");
    // The start-up entry, the menu when active, then the toggle's text when not.
    QTest::addColumn<QStringList>("texts");
    const QStringList english{"Program start-up. ",  "Open", "Deactivate agent",
                              "Start Ferrow Backup", "Quit", "Activate agent"};
    QTest::newRow("English") << QString() << english;
    QTest::newRow("Swedish") << FWB_SWEDISH_PACK
                             << QStringList{
                                    "Programmet har startat. ", "Öppna",   "Inaktivera agenten",
                                    "Starta Ferrow Backup",     "Avsluta", "Aktivera agenten"};
}

// The tray of KDE Plasma and of GNOME with AppIndicator support: the item registers only once
// the window goes to the tray, the desktop draws its menu from what the Agent exports, its image
// follows the monitoring state, activating it brings the window back, and Quit quits.
void TestAgentE2E::trayOverDBus()
{
    QFETCH(QString, pack);
    QFETCH(QStringList, texts);
    QVERIFY(pack.isEmpty() || m_run->folder.useLanguagePack(pack));
    const QString main = startAgent(optionsIni({"GLO_MinimizeMode=1"}), texts[0]);
    QVERIFY(!main.isEmpty() && m_watcher->registered.isEmpty());
    x({"xdotool", "windowminimize", main});
    const QString active = waitForItem();
    QVERIFY(!active.isEmpty() && !isViewable(main));
    QStringList labels;
    for (const auto &entry : menu(active))
        labels.append(entry.second);
    QCOMPARE(labels, texts.mid(1, 4));
    qInfo("the panel's menu: %s", qPrintable(labels.join(QStringLiteral(" | "))));
    // Every size of the item's image, as the desktop gets it.
    const auto image = [this](const QString &item) {
        return call(item, "/StatusNotifierItem",
                    {"org.freedesktop.DBus.Properties.Get", kItem, "IconPixmap"});
    };
    const QString activeImage = image(active);

    // Deactivated from the menu, the item gives way to one with the other image; activated
    // again, the first image comes back.
    QVERIFY(click(active, texts[2]));
    const QString inactive = waitForItem(active);
    QVERIFY(!inactive.isEmpty() && !activeImage.isEmpty() && image(inactive) != activeImage);
    QVERIFY(click(inactive, texts[5]));
    const QString reactivated = waitForItem(inactive);
    QVERIFY(!reactivated.isEmpty());
    QCOMPARE(image(reactivated), activeImage);

    // A left click on the item brings the window back and takes the item away.
    QVERIFY(!call(reactivated, "/StatusNotifierItem", {kItem + ".Activate", "0", "0"}).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(isViewable(main) && items().isEmpty(), TimeoutMs);
    x({"xdotool", "windowminimize", main});
    QVERIFY(click(waitForItem(), texts[4]));
    QTRY_VERIFY_WITH_TIMEOUT(!m_run->agent.isRunning(), TimeoutMs);
}

// A drive triggers a backup set. A Wayland client can neither place its windows nor keep one on
// top, so the Agent goes to XWayland, where the compositor honours both: the dialog stands at
// the top right of the work area, 50 twips from its right edge and 380 below its top (3 and 25
// pixels at 96 dpi), frame and all, and stays above a window the user brings to the front
// later.
void TestAgentE2E::countDownDialogOnWayland()
{
    const QString label = QStringLiteral("WAYLAND DISK");
    QVERIFY(writeBytes(m_run->folder.defaultBackupSetsFolder() + QStringLiteral("/Nightly.fwb"),
                       iniBackupSet(triggersOnLabel(label))));
    MountLab &lab = m_run->lab;
    const QString device = lab.ext4Volume(QStringLiteral("disk"), label);
    const QString folder = lab.makeFolder(QStringLiteral("disk"));
    LAB_STEP(lab, !device.isEmpty() && !folder.isEmpty());
    QVERIFY(!startAgent(optionsIni({}), "Program start-up. ").isEmpty());
    QVERIFY2(m_run->mountedUntilReported([&] { return lab.mount(device, folder, kExt4); }, folder),
             qPrintable(lab.error()));
    QString dialog;
    QTRY_VERIFY_WITH_TIMEOUT(isViewable(dialog = window("FW Backup Agent - Confirm Start-up")),
                             TimeoutMs);
    const QList<int> area = numbers({}, "_NET_WORKAREA");
    const QList<int> frame = numbers(dialog, "_NET_FRAME_EXTENTS"); // left, right, top, bottom
    QVERIFY(area.size() >= 4 && frame.size() == 4);
    const QString info = x({"xwininfo", "-id", dialog});
    const auto number = [&](const char *key) {
        return QRegularExpression(QString::fromLatin1(key) + QStringLiteral(":\\s*(-?\\d+)"))
            .match(info)
            .captured(1)
            .toInt();
    };
    QCOMPARE(number("Absolute upper-left X") + number("Width") - 1 + frame[1],
             area[0] + area[2] - 1 - 3);
    QCOMPARE(number("Absolute upper-left Y") - frame[2], area[1] + 25);

    // Another program's window over the dialog's place, brought to the front by the user.
    start(QStringLiteral("xmessage"), {"-geometry", "600x400+600+0", "-name", "other", "other"});
    QString other;
    QTRY_VERIFY_WITH_TIMEOUT(!(other = window("other")).isEmpty(), TimeoutMs);
    x({"xdotool", "windowactivate", "--sync", other});
    QTRY_COMPARE_WITH_TIMEOUT(numbers({}, "_NET_ACTIVE_WINDOW").value(0), other.toInt(), TimeoutMs);
    const QList<int> stacking = numbers({}, "_NET_CLIENT_LIST_STACKING");
    QVERIFY(stacking.indexOf(dialog.toInt()) > stacking.indexOf(other.toInt()));
}

// Why a function cannot run here: what its tier needs and this machine lacks.
QString whyNotHere(const QByteArray &function)
{
    const bool udev = function == "throughUdev" || function == "udisksMounts";
    const bool wayland = function == "trayOverDBus" || function == "countDownDialogOnWayland";
    // The tray needs no drive: it runs for any user.
    QString why = function == "trayOverDBus" ? QString() : mountNamespaceProblem();
    if (why.isEmpty() && (udev || function == "volumeIdentity"))
        why = whyNot({"mkfs.fat", "mkfs.exfat", "mkntfs"});
    if (why.isEmpty() && udev)
        why = whyNot({kUdevd, "udevadm"});
    if (why.isEmpty() && function == "udisksMounts")
        why = whyNot({"dbus-daemon", "udisksctl", kPolkitd, kUdisksd});
    if (why.isEmpty() && wayland)
        why = whyNot(
            {"dbus-daemon", "mutter", "Xwayland", "xdotool", "xprop", "xwininfo", "xmessage"});
    // Where udevd cannot run (no netlink, a read-only /sys), nothing that needs it can.
    if (why.isEmpty() && udev) {
        TestAgentE2E probe;
        why = probe.startUdev();
        QMetaObject::invokeMethod(&probe, "cleanup");
    }
    return why;
}

FWB_TEST_MAIN(QCoreApplication, TestAgentE2E, whyNotHere, enterPrivateMountNamespace)

#include "tst_agent_e2e.moc"
