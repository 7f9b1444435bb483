#include "TestSupport.h"
#include "controls/Controls.h"
#include "controls/DialogFont.h"
#include "controls/Twips.h"
#include "language/LanguagePack.h"
#include "settings/frmSETTINGS.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"
#include "store/Settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>

using namespace fwb;

namespace {

using Kind = AutoStartStore::Entry::Kind;

const QString kAgent = QStringLiteral("/opt/Ferrow Backup/fwbagent");
const QString kBoxTitle = QStringLiteral("FW Backup Agent - Auto-start Error");
const QString kCannotAdd = QStringLiteral(
    "The Agent could not be set up to start with Windows. You will have to add the Agent to "
    "the 'Startup' folder in the Start Menu manually.");
const QString kCannotRemove = QStringLiteral(
    "The Agent could not be removed from the list of application that are started with "
    "Windows. You will have to use the regedit or msconfig tools to remove it manually.");

QList<int> modes(int agent, int backup, int minimize)
{
    return {agent, backup, minimize};
}

} // namespace

Q_DECLARE_METATYPE(Kind)

class tst_SettingsDialog : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;
    std::unique_ptr<frmSETTINGS> m_dialog;

    FakeAutoStartStore &store() { return m_platform->autoStart; }
    QString iniPath() const { return m_dir->filePath(QStringLiteral("fwbagent.ini")); }

    template <typename T> T *control(const char *name, int index = -1) const
    {
        for (T *found : m_dialog->findChildren<T *>(QLatin1String(name))) {
            const QVariant element = found->property("Index");
            if (index < 0 ? !element.isValid() : element.isValid() && element.toInt() == index)
                return found;
        }
        qFatal("no control %s(%d)", name, index);
    }
    QRadioButton *option(int array, int index) const
    {
        static const char *const names[] = {"RB_AgentStartupMode", "RB_BackupStartupMode",
                                            "RB_MinimizeMode"};
        return control<QRadioButton>(names[array], index);
    }
    QTabBar *tabs() const { return control<QTabBar>("TS_Settings"); }
    QGroupBox *frame(int index) const { return control<QGroupBox>("FR_Tabs", index); }
    QCheckBox *autoStart() const { return control<QCheckBox>("CH_AutoStartAgent"); }

    void load(const QList<int> &stored)
    {
        settings().AgentStartupMode = std::uint8_t(stored[0]);
        settings().BackupStartupMode = std::uint8_t(stored[1]);
        settings().MinimizeMode = std::uint8_t(stored[2]);
        m_dialog = std::make_unique<frmSETTINGS>();
        m_dialog->Form_Load();
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
    }
    QList<int> inMemory() const
    {
        return {settings().AgentStartupMode, settings().BackupStartupMode, settings().MinimizeMode};
    }
    // Clicks the option on whichever tab it is.
    void choose(int array, int index)
    {
        tabs()->setCurrentIndex(array);
        QRadioButton *button = option(array, index);
        QTest::mouseClick(button, Qt::LeftButton, {},
                          QPoint(button->width() - 2, button->height() - 2));
    }

private Q_SLOTS:
    void initTestCase() { QApplication::setFont(DialogFont()); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<test::ScopedPlatform>();
        test::resetProgramState(m_dir->path());
        appPaths().AgentIniPath = iniPath();
        appPaths().AgentExePath = kAgent;
    }
    void cleanup()
    {
        m_dialog.reset();
        m_platform.reset();
        m_dir.reset();
    }

    void captionsAndPages()
    {
        load(modes(0, 2, 1));
        QCOMPARE(m_dialog->windowTitle(), QStringLiteral("FWB Agent - Settings"));
        const QStringList captions{
            "Start normally",
            "Start minimized",
            "Start hidden (not shown in the task bar or in system tray)",
            "Start backup automatically",
            "Count down before backup start",
            "Do not run backup until it has been manually confirmed",
            "Minimize FWB Agent to task bar",
            "Minimize FWB Agent to system tray",
            "Hide FWB Agent when minimized (do not show in task bar or system tray)."};
        for (int array = 0; array < 3; ++array) {
            for (int index = 0; index < 3; ++index)
                QCOMPARE(option(array, index)->text(), captions[array * 3 + index]);
        }
        QCOMPARE(autoStart()->text(), QStringLiteral("Start FWB Agent when Windows starts"));
        QCOMPARE(control<QLabel>("LB_Version")->text(),
                 QStringLiteral("[version " FWB_VERSION_TEXT "]"));
        for (const int tab : {0, 2, 1, 0}) {
            QTest::mouseClick(tabs(), Qt::LeftButton, {}, tabs()->tabRect(tab).center());
            QCOMPARE(tabs()->currentIndex(), tab);
            for (int index = 0; index < 3; ++index) {
                QCOMPARE(frame(index)->isVisible(), index == tab);
                QCOMPARE(frame(index)->isEnabled(), index == tab);
            }
        }
    }

    void selectsTheStoredModes_data()
    {
        QTest::addColumn<QList<int>>("stored");
        QTest::newRow("defaults") << modes(0, 2, 1);
        QTest::newRow("others") << modes(2, 0, 0);
        QTest::newRow("out of range") << modes(3, 255, 2);
    }
    void selectsTheStoredModes()
    {
        QFETCH(QList<int>, stored);
        load(stored);
        for (int array = 0; array < 3; ++array) {
            for (int index = 0; index < 3; ++index)
                QCOMPARE(option(array, index)->isChecked(), index == stored[array]);
        }
    }

    void okStoresTheModes_data()
    {
        QTest::addColumn<QList<int>>("stored");
        QTest::addColumn<QList<int>>("clicks"); // per array, -1 for none
        QTest::addColumn<QList<int>>("result");
        QTest::newRow("all changed") << modes(0, 2, 1) << modes(2, 0, 0) << modes(2, 0, 0);
        QTest::newRow("out of range kept")
            << modes(7, 2, 200) << modes(-1, 1, -1) << modes(7, 1, 200);
        QTest::newRow("out of range replaced")
            << modes(7, 2, 1) << modes(1, -1, -1) << modes(1, 2, 1);
    }
    void okStoresTheModes()
    {
        QFETCH(QList<int>, stored);
        QFETCH(QList<int>, clicks);
        QFETCH(QList<int>, result);
        load(stored);
        for (int array = 0; array < 3; ++array) {
            if (clicks[array] >= 0)
                choose(array, clicks[array]);
        }
        QCOMPARE(inMemory(), stored); // nothing changes before OK
        QTest::mouseClick(control<QPushButton>("CB_Ok"), Qt::LeftButton);

        QCOMPARE(inMemory(), result);
        QCOMPARE(test::readFile(iniPath()),
                 QStringLiteral("[Options]\r\nGLO_AgentStartupMode=%1\r\nGLO_BackupStartupMode=%2"
                                "\r\nGLO_MinimizeMode=%3\r\n")
                     .arg(result[0])
                     .arg(result[1])
                     .arg(result[2])
                     .toLatin1());
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
        QVERIFY(!m_dialog->isVisible());
        QVERIFY(store().changes.isEmpty());
        QVERIFY(m_platform->boxes.shown.isEmpty());
    }

    void okRegistersOrRemovesAutoStart_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("check");
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<QString>("box");
        const QStringList none;
        const QStringList write{"write " + kAgent};
        const QStringList remove{"remove"};
        QTest::newRow("add") << Kind::Missing << QString() << true << false << write << QString();
        QTest::newRow("keep") << Kind::Program << kAgent << true << false << none << QString();
        QTest::newRow("remove") << Kind::Program << kAgent << false << false << remove << QString();
        QTest::newRow("moved program rewritten")
            << Kind::Program << "/old/place/fwbagent" << true << false << write << QString();
        // Only the own path, exactly as written, counts as registered.
        QTest::newRow("other letter case rewritten")
            << Kind::Program << kAgent.toUpper() << true << false << write << QString();
        QTest::newRow("quoted path rewritten")
            << Kind::Program << '"' + kAgent + '"' << true << false << write << QString();
        QTest::newRow("switched-off entry left alone")
            << Kind::Other << kAgent << false << false << none << QString();
        QTest::newRow("add refused")
            << Kind::Missing << QString() << true << true << write << kCannotAdd;
        QTest::newRow("remove refused")
            << Kind::Program << kAgent << false << true << remove << kCannotRemove;
    }
    void okRegistersOrRemovesAutoStart()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, program);
        QFETCH(bool, check);
        QFETCH(bool, refuse);
        QFETCH(QStringList, changes);
        QFETCH(QString, box);
        store().entry = {kind, program};
        store().refuseWrites = store().refuseRemoves = refuse;
        load(modes(0, 2, 1));
        if (autoStart()->isChecked() != check)
            QTest::mouseClick(autoStart(), Qt::LeftButton);
        QCOMPARE(autoStart()->isChecked(), check);
        QVERIFY(store().changes.isEmpty());

        m_platform->boxes.onShow = [this](const FakeMessageBoxes::Box &) {
            // The modes are stored only after the box is dismissed.
            QVERIFY(!QFileInfo::exists(iniPath()));
        };
        QTest::mouseClick(control<QPushButton>("CB_Ok"), Qt::LeftButton);

        QCOMPARE(store().changes, changes);
        if (box.isEmpty()) {
            QVERIFY(m_platform->boxes.shown.isEmpty());
        } else {
            QCOMPARE(m_platform->boxes.shown.size(), 1);
            QCOMPARE(m_platform->boxes.shown[0].text, box);
            QCOMPARE(m_platform->boxes.shown[0].title, kBoxTitle);
            QCOMPARE(m_platform->boxes.shown[0].icon, BoxIcon::Stop);
        }
        // Whatever became of the entry, the modes are stored and the dialog closes.
        QVERIFY(test::readFile(iniPath()).contains("GLO_MinimizeMode=1"));
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
    }

    void cancelDropsEverything_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "Cancel";
        QTest::newRow("close box") << "close";
        QTest::newRow("Esc") << "Esc";
    }
    void cancelDropsEverything()
    {
        QFETCH(QString, how);
        store().entry = {Kind::Program, kAgent};
        load(modes(0, 2, 1));
        choose(0, 2);
        choose(1, 0);
        choose(2, 2);
        tabs()->setCurrentIndex(0);
        QTest::mouseClick(autoStart(), Qt::LeftButton);
        QVERIFY(!autoStart()->isChecked());

        if (how == QLatin1String("Cancel"))
            QTest::mouseClick(control<QPushButton>("CB_Cancel"), Qt::LeftButton);
        else if (how == QLatin1String("close"))
            m_dialog->close();
        else
            QTest::keyClick(m_dialog.get(), Qt::Key_Escape);

        QVERIFY(!m_dialog->isVisible());
        QCOMPARE(m_dialog->result(), int(QDialog::Rejected));
        QCOMPARE(inMemory(), modes(0, 2, 1));
        QVERIFY(!QFileInfo::exists(iniPath()));
        QVERIFY(store().changes.isEmpty());
    }

    void settingsButtonOpensTheDialogModally()
    {
        frmMAIN window(m_dir->path());
        window.show();
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<frmSETTINGS *>(QApplication::activeModalWidget());
            seen = dialog && dialog->parentWidget() == &window &&
                   dialog->findChild<QTabBar *>(QStringLiteral("TS_Settings"))->count() == 3;
            if (dialog)
                dialog->findChild<QPushButton *>(QStringLiteral("CB_Cancel"))->click();
        });
        window.findChild<QPushButton *>(QStringLiteral("CB_Settings"))->click();
        QVERIFY(seen);
        QVERIFY(!window.findChild<frmSETTINGS *>());
    }
};

QTEST_MAIN(tst_SettingsDialog)
#include "tst_settingsdialog.moc"
