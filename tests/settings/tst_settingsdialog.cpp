#include "TestSupport.h"
#include "controls/Controls.h"
#include "controls/DialogFont.h"
#include "controls/Twips.h"
#include "jet/DataAccess.h"
#include "language/LanguagePack.h"
#include "platform/linux/XdgAutoStartStore.h"
#include "registration/AutoStart.h"
#include "settings/frmSETTINGS.h"
#include "store/AppPaths.h"
#include "store/MonitorLog.h"
#include "store/Settings.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTabBar>
#include <QTest>

using namespace fwb;
using Entry = AutoStartStore::Entry;
using Kind = Entry::Kind;
Q_DECLARE_METATYPE(Entry)

namespace {

const QString kAgent = QStringLiteral("/opt/Ferrow Backup/fwbagent");

} // namespace

// The settings dialog: the layout of its pages in each shipped language, what it shows at each
// opening, what OK keeps of the user's choices and Cancel, Esc and the close box drop; and the
// autostart entry as the desktop reads it, checked by its own validator.
class tst_SettingsDialog : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;
    std::unique_ptr<frmSETTINGS> m_dialog;

    QString entryPath() const
    {
        return m_dir->filePath(QStringLiteral("autostart/fwbagent.desktop"));
    }
    template <typename T> T *control(const char *name) const
    {
        return m_dialog->findChild<T *>(QLatin1String(name));
    }
    QRadioButton *option(int page, int index) const
    {
        static const char *const names[] = {"RB_AgentStartupMode", "RB_BackupStartupMode",
                                            "RB_MinimizeMode"};
        return m_dialog->findChildren<QRadioButton *>(names[page]).at(index);
    }
    QWidget *page(int index) const { return option(index, 0)->parentWidget(); }
    // Opens the dialog (again) on these stored modes: it shows its title, its version and the
    // first page, those modes selected (none for a value out of range).
    void load(const QList<int> &stored)
    {
        settings().AgentStartupMode = AgentStartup(stored[0]);
        settings().BackupStartupMode = BackupStartup(stored[1]);
        settings().MinimizeMode = MinimizeTo(stored[2]);
        if (!m_dialog)
            m_dialog = std::make_unique<frmSETTINGS>();
        m_dialog->Form_Load();
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
        QCOMPARE(m_dialog->windowTitle(), "FWB Agent - Settings");
        QCOMPARE(control<QLabel>("LB_Version")->text(), "[version " FWB_VERSION "]");
        QCOMPARE(control<QTabBar>("TS_Settings")->currentIndex(), 0);
        for (int p = 0; p < 3; ++p) {
            QCOMPARE(page(p)->isVisible(), p == 0);
            for (int index = 0; index < 3; ++index)
                QCOMPARE(option(p, index)->isChecked(), index == stored[p]);
        }
    }
    // The layout's rules, in twips to a pixel: the gaps, the pages' and the strip's sizes (the
    // strip's from the first page alone), the buttons' places and the dialog's size.
    QStringList ruleProblems() const
    {
        const QWidget *strip = control<QWidget>("TS_Settings"), *ok = control<QWidget>("CB_Ok"),
                      *cancel = control<QWidget>("CB_Cancel"),
                      *box = control<QWidget>("CH_AutoStartAgent");
        QList<std::tuple<QString, float, float>> rules{
            {"check box below the options", TopTwips(box), BottomOf(option(0, 2)) + 360},
            {"strip as tall as the first page", HeightTwips(strip), BottomOf(page(0)) + 120},
            {"strip as wide as the first page", WidthTwips(strip), RightOf(page(0)) + 100},
            {"Cancel below the strip", TopTwips(cancel), BottomOf(strip) + 120},
            {"OK below the strip", TopTwips(ok), BottomOf(strip) + 120},
            {"OK at the strip's right", RightOf(ok), RightOf(strip)},
            {"Cancel left of OK", RightOf(cancel), LeftTwips(ok) - 120},
            {"version beside Cancel", BottomOf(control<QWidget>("LB_Version")), BottomOf(cancel)},
            {"dialog width", WidthTwips(m_dialog.get()), RightOf(strip) + 300},
            {"dialog height", HeightTwips(m_dialog.get()) + 450, BottomOf(ok) + 700}};
        for (int p = 0; p < 3; ++p) {
            const QWidget *lowest = p == 0 ? box : option(p, 2);
            // The page's heading, bold, wraps in the options' column; they start below it.
            QFont bold = page(p)->font();
            bold.setBold(true);
            const QRect heading = QFontMetrics(bold).boundingRect(
                QRect(0, TwipsToPixels(50), TwipsToPixels(4245), 100000), Qt::TextWordWrap,
                static_cast<QGroupBox *>(page(p))->title());
            rules += {"first option below the heading", TopTwips(option(p, 0)),
                      float(PixelsToTwips(heading.bottom() + 1)) + 120};
            rules += {{"page top", TopTwips(page(p)), TopTwips(strip) + 500},
                      {"page left", LeftTwips(page(p)), LeftTwips(strip) + 250},
                      {"page height", HeightTwips(page(p)), BottomOf(lowest) + 300}};
            for (int i = 1; i < 3; ++i)
                rules += {"option below option", TopTwips(option(p, i)),
                          BottomOf(option(p, i - 1)) + 120};
        }
        QStringList problems;
        for (const auto &[rule, actual, expected] : rules)
            if (qAbs(actual - expected) >= 15)
                problems += rule + QStringLiteral(": %1, not %2").arg(actual).arg(expected);
        return problems;
    }
    QList<int> inMemory() const
    {
        return {int(settings().AgentStartupMode), int(settings().BackupStartupMode),
                int(settings().MinimizeMode)};
    }
    // Clicks an option on its page, at the end of its text.
    void choose(int page, int index)
    {
        control<QTabBar>("TS_Settings")->setCurrentIndex(page);
        QRadioButton *button = option(page, index);
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().bottomRight() - QPoint(1, 1));
    }
    void click(const char *name) { QTest::mouseClick(control<QWidget>(name), Qt::LeftButton); }

private Q_SLOTS:
    void initTestCase() { jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE)); }
    void init()
    {
        QApplication::setFont(DialogFont());
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<test::ScopedPlatform>();
        test::resetProgramState(m_dir->path());
        appPaths().AgentExePath = kAgent;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path()));
    }
    void cleanup()
    {
        m_dialog.reset();
        m_platform.reset();
    }

    // In English and in the shipped Swedish pack the dialog is laid out by its rules. Whether
    // the texts fit as drawn, in the program's type and in a desktop's, is the desktop test's
    // (tests/desktop/tst_captions.cpp).
    void layoutFollowsItsRules_data()
    {
        QTest::addColumn<QString>("pack");
        QTest::newRow("English") << QString();
        QTest::newRow("Swedish") << QStringLiteral(FWB_SWEDISH_PACK);
    }
    void layoutFollowsItsRules()
    {
        QFETCH(QString, pack);
        if (!pack.isEmpty()) {
            appPaths().LanguagePacksFolder = QFileInfo(pack).absolutePath() + u'/';
            settings().CurrentLanguage = QFileInfo(pack).fileName();
            QVERIFY2(OpenLanguagePack(), qPrintable(pack));
        }
        load({0, 2, 1});
        const QStringList problems = ruleProblems();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
        QVERIFY(m_platform->boxes.shown.isEmpty());
    }

    // OK keeps the options clicked, and an out-of-range value stays if none is chosen; Cancel,
    // Esc and the close box keep none. Enter on an option presses OK (on a focused button, the
    // count-down test's). The next opening shows what was kept.
    void closingKeepsOrDropsTheModes_data()
    {
        QTest::addColumn<QList<int>>("stored");
        QTest::addColumn<QList<int>>("clicks"); // per page, -1 for none
        QTest::addColumn<QList<int>>("result");
        QTest::addColumn<QString>("closing");
        QTest::newRow("all changed") << QList{0, 2, 1} << QList{2, 0, 0} << QList{2, 0, 0} << "OK";
        QTest::newRow("out of range kept")
            << QList{7, 2, 200} << QList{-1, 1, -1} << QList{7, 1, 200} << "OK";
        QTest::newRow("Return on an option")
            << QList{0, 2, 1} << QList{1, 1, 0} << QList{1, 1, 0} << "Return on an option";
        for (const char *closing : {"Cancel", "Esc", "close box"})
            QTest::newRow(closing) << QList{0, 2, 1} << QList{2, 1, 0} << QList{0, 2, 1} << closing;
    }
    void closingKeepsOrDropsTheModes()
    {
        QFETCH(QList<int>, stored);
        QFETCH(QList<int>, clicks);
        QFETCH(QList<int>, result);
        QFETCH(QString, closing);
        m_platform->autoStart.entry = {Kind::Program, kAgent};
        load(stored);
        for (int page = 0; page < 3; ++page) {
            if (clicks[page] >= 0)
                choose(page, clicks[page]);
        }
        QCOMPARE(inMemory(), stored);
        const bool stores = closing.contains("OK") || closing.endsWith("option");
        if (!stores)
            click("CH_AutoStartAgent");
        if (closing.contains(" on "))
            test::pressByKey(option(2, clicks[2]), QStringLiteral("Return"));
        else if (closing == "Esc")
            QTest::keyClick(m_dialog.get(), Qt::Key_Escape);
        else if (closing == "close box")
            m_dialog->close();
        else
            click(closing == "OK" ? "CB_Ok" : "CB_Cancel");
        QVERIFY(!m_dialog->isVisible());
        QCOMPARE(inMemory(), result);
        const QString written =
            QString::asprintf("[Options]\r\nGLO_AgentStartupMode=%d\r\nGLO_BackupStartupMode=%d\r\n"
                              "GLO_MinimizeMode=%d\r\n",
                              result[0], result[1], result[2]);
        QCOMPARE(test::readFile(appPaths().AgentIniPath),
                 stores ? written.toLatin1() : QByteArray());
        QVERIFY(m_platform->autoStart.changes.isEmpty());
        load(result);
    }

    // A setting the file cannot take is reported in the log, and holds for this run.
    void unsavedSettingLogged()
    {
        test::writeFile(m_dir->filePath(QStringLiteral("file")), {});
        appPaths().AgentIniPath = m_dir->filePath(QStringLiteral("file/fwbagent.ini"));
        load({0, 2, 1});
        choose(2, 0);
        click("CB_Ok");
        QCOMPARE(settings().MinimizeMode, MinimizeTo::TaskBar);
        QVERIFY2(MonitorLogText().contains("Could not save the setting: GLO_MinimizeMode=0 (" +
                                           appPaths().AgentIniPath + ")"),
                 qPrintable(MonitorLogText()));
    }

    // The box, checked only for an entry that starts this very program, is flipped: OK adds or
    // removes the entry; a change that did not take gets a Stop box; the modes are stored anyway.
    void okRegistersOrRemovesAutoStart_data()
    {
        QTest::addColumn<Entry>("entry");
        QTest::addColumn<QString>("changes");
        QTest::addColumn<QString>("box"); // also makes the store refuse changes
        const QString write = "write " + kAgent, none;
        QTest::newRow("add") << Entry{} << write << none;
        QTest::newRow("remove") << Entry{Kind::Program, kAgent} << "remove" << none;
        QTest::newRow("switched-off entry rewritten")
            << Entry{Kind::Other, kAgent} << write << none;
        QTest::newRow("add refused")
            << Entry{} << write
            << "The Agent could not be set up to start with Windows. You will have to add the "
               "Agent to the 'Startup' folder in the Start Menu manually.";
        QTest::newRow("remove refused")
            << Entry{Kind::Program, kAgent} << "remove"
            << "The Agent could not be removed from the list of application that are started "
               "with Windows. You will have to use the regedit or msconfig tools to remove it "
               "manually.";
    }
    void okRegistersOrRemovesAutoStart()
    {
        QFETCH(Entry, entry);
        QFETCH(QString, box);
        m_platform->autoStart.entry = entry;
        m_platform->autoStart.refuseWrites = m_platform->autoStart.refuseRemoves = !box.isEmpty();
        load({0, 2, 1});
        click("CH_AutoStartAgent");
        click("CB_Ok");
        QTEST(m_platform->autoStart.changes.join(u','), "changes");
        QCOMPARE(test::shownBoxes(m_platform->boxes, BoxIcon::Stop).join(u'\n'),
                 box.isEmpty() ? box : "FW Backup Agent - Auto-start Error|" + box);
        QVERIFY(test::readFile(appPaths().AgentIniPath).contains("GLO_MinimizeMode=1"));
    }

    // Whether an autostart entry is taken for this program's own (2: and it is what registering
    // writes, which the desktop's validator accepts); removing it, even twice, leaves none.
    void autoStartEntry_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QByteArray>("exec"); // the Exec value, and any lines after it
        QTest::addColumn<int>("registered");
        const auto row = [](const char *name, const char *program, const char *exec, int ours) {
            QTest::newRow(name) << QString::fromUtf8(program) << QByteArray(exec) << ours;
        };
        row("plain", "/opt/fwb/fwbagent", "/opt/fwb/fwbagent", 2);
        row("spaces", "/opt/F B/fwbagent", "\"/opt/F B/fwbagent\"", 2);
        row("quotes", "/opt/\"hi\"/a", "\"/opt/\\\\\"hi\\\\\"/a\"", 2);
        row("dollar", "/opt/$HOME/a", "\"/opt/\\\\$HOME/a\"", 2);
        row("backslash", "/opt/b\\s/a", "\"/opt/b\\\\\\\\s/a\"", 2);
        row("percent", "/opt/100%/a", "/opt/100%%/a", 2);
        row("quoted though plain", "/opt/fwb/fwbagent", "\"/opt/fwb/fwbagent\"", 1);
        row("path in quotes", "/opt/fwb/fwbagent", "\"\\\\\"/opt/fwb/fwbagent\\\\\"\"", 0);
        row("other letter case", "/opt/fwb/fwbagent", "/opt/fwb/FWBagent", 0);
        row("arguments", "/opt/fwb/fwbagent", "/opt/fwb/fwbagent --hidden", 0);
        row("field code", "/opt/1%/a", "/opt/1%f/a", 0);
        row("hidden", "/opt/fwb/fwbagent", "/opt/fwb/fwbagent\nHidden=true", 0);
        row("another group's", "/opt/fwb/fwbagent",
            "/x\n[Desktop Action a]\nExec=/opt/fwb/fwbagent", 0);
    }
    void autoStartEntry()
    {
        QFETCH(QString, program);
        QFETCH(QByteArray, exec);
        QFETCH(int, registered);
        XdgAutoStartStore store;
        platform().autoStart = &store;
        appPaths().AgentExePath = program;
        // An entry of an older version, named as the registry value, still starts the Agent.
        const QByteArray entry =
            "[Desktop Entry]\nType=Application\nName=Ferrow Backup Agent\nExec=" + exec + "\n";
        QVERIFY(!IsAutoStartRegistered());
        test::writeFile(entryPath(), entry);
        QCOMPARE(int(IsAutoStartRegistered()), std::min(registered, 1));
        for (int twice = 0; twice < 2; ++twice)
            UnregisterAutoStart();
        QVERIFY(!IsAutoStartRegistered() && !QFileInfo::exists(entryPath()));
        if (registered < 2)
            return;
        QVERIFY(QDir(m_dir->filePath(QStringLiteral("autostart"))).removeRecursively());
        RegisterAutoStart();
        QCOMPARE(test::readFile(entryPath()),
                 "[Desktop Entry]\nType=Application\nName=FWB Agent\nIcon=fwbagent\nTryExec=" +
                     program.toUtf8().replace('\\', "\\\\") + "\nExec=" + exec + "\n");
        QVERIFY(IsAutoStartRegistered());
        const QString validator =
            QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validator.isEmpty())
            QSKIP("desktop-file-validate is not installed (Debian: desktop-file-utils)");
        QProcess check;
        check.start(validator, {entryPath()});
        QVERIFY(check.waitForFinished());
        const QByteArray output = check.readAllStandardOutput() + check.readAllStandardError();
        QVERIFY2(check.exitCode() == 0 && !output.contains("error"), output.constData());
    }
};

FWB_TEST_MAIN(QApplication, tst_SettingsDialog, fwb::test::runsEverywhere)
#include "tst_settingsdialog.moc"
