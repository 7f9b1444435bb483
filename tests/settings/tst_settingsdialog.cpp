#include "TestSupport.h"
#include "controls/DialogFont.h"
#include "jet/DataAccess.h"
#include "language/LanguagePack.h"
#include "platform/linux/XdgAutoStartStore.h"
#include "settings/TabStrip.h"
#include "settings/frmSETTINGS.h"
#include "store/AppPaths.h"
#include "store/Settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QRadioButton>
#include <QStandardPaths>
#include <QStyle>
#include <QTabBar>
#include <QTest>

using namespace fwb;
using Entry = AutoStartStore::Entry;
using Kind = Entry::Kind;
Q_DECLARE_METATYPE(Entry)

namespace {

const QString kAgent = QStringLiteral("/opt/Ferrow Backup/fwbagent");

QSize textSize(const QWidget *control, QString text, int width, bool wrap)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const int flags = Qt::TextShowMnemonic | (wrap ? Qt::TextWordWrap : 0);
    return control->fontMetrics().boundingRect(QRect(0, 0, width, 100000), flags, text).size();
}

// What a control's text does not fit into, or nothing.
QString textProblem(const QWidget *control)
{
    using S = QStyle;
    const QStyle *style = control->style();
    QSize room = control->contentsRect().size();
    QSize needed;
    const bool radio = qobject_cast<const QRadioButton *>(control);
    if (radio || qobject_cast<const QCheckBox *>(control)) {
        room.rwidth() -=
            style->pixelMetric(radio ? S::PM_ExclusiveIndicatorWidth : S::PM_IndicatorWidth) +
            style->pixelMetric(radio ? S::PM_RadioButtonLabelSpacing : S::PM_CheckBoxLabelSpacing);
        needed = textSize(control, control->property("text").toString(), room.width(), true);
    } else if (auto *label = qobject_cast<const QLabel *>(control)) {
        needed = textSize(label, label->text(), room.width(), label->wordWrap());
    } else if (auto *tabs = qobject_cast<const QTabBar *>(control)) {
        const int padding = style->pixelMetric(S::PM_TabBarTabHSpace, nullptr, tabs);
        for (int i = 0; i < tabs->count(); ++i) {
            const int text = textSize(tabs, tabs->tabText(i), 100000, false).width();
            if (tabs->tabRect(i).right() >= tabs->width() ||
                text + padding > tabs->tabRect(i).width())
                return QStringLiteral("tab \"%1\" does not fit").arg(tabs->tabText(i));
        }
    }
    if (needed.width() <= room.width() && needed.height() <= room.height())
        return {};
    return QString::asprintf("text needs %dx%d px, has %dx%d", needed.width(), needed.height(),
                             room.width(), room.height());
}

// Every text fits its control, each control lies inside its parent, and no two controls of
// one level share a pixel, except a page's frame, which lies on the tab strip by design.
QStringList layoutProblems(const QWidget *parent)
{
    QStringList problems;
    QList<QWidget *> controls;
    for (QWidget *child : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (child->isVisible())
            controls.append(child);
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const QWidget *a = controls[i];
        if (const QString text = textProblem(a); !text.isEmpty())
            problems.append(a->objectName() + QStringLiteral(": ") + text);
        if (!parent->rect().contains(a->geometry()))
            problems.append(a->objectName() + QStringLiteral(" sticks out of ") +
                            parent->objectName());
        for (const QWidget *b : controls.mid(i + 1)) {
            const bool pageOnStrip =
                (qobject_cast<const QGroupBox *>(a) && qobject_cast<const QTabBar *>(b)) ||
                (qobject_cast<const QGroupBox *>(b) && qobject_cast<const QTabBar *>(a));
            if (!pageOnStrip && a->geometry().intersects(b->geometry()))
                problems.append(a->objectName() + QStringLiteral(" overlaps ") + b->objectName());
        }
        if (const auto *page = qobject_cast<const QGroupBox *>(a)) {
            problems += layoutProblems(page);
            // The page's heading, bold and wrapped to its controls' width, ends above them.
            QFont bold = page->font();
            bold.setBold(true);
            const QWidget *first = page->findChildren<QWidget *>().value(0);
            for (const QWidget *child : page->findChildren<QWidget *>())
                first = child->y() < first->y() ? child : first;
            const QRect column(first->x(), 0, first->width(), 100000);
            if (QFontMetrics(bold).boundingRect(column, Qt::TextWordWrap, page->title()).height() >=
                first->y())
                problems.append(page->title() + QStringLiteral(" runs into ") +
                                first->objectName());
        }
    }
    return problems;
}

} // namespace

// The settings dialog: the layout of its pages in each shipped language and what OK and Esc
// keep of the user's choices; and the autostart entry, checked by the desktop's validator.
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
    void load(const QList<int> &stored)
    {
        settings().AgentStartupMode = AgentStartup(stored[0]);
        settings().BackupStartupMode = BackupStartup(stored[1]);
        settings().MinimizeMode = MinimizeTo(stored[2]);
        m_dialog = std::make_unique<frmSETTINGS>();
        m_dialog->Form_Load();
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
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

    // Every page, in English and in the shipped Swedish pack, in the dialog's font and in a
    // desktop's wider one: each text fits its control and no control hides another.
    void everyPageFits_data()
    {
        QTest::addColumn<QString>("pack");
        QTest::addColumn<QFont>("font");
        const QString swedish = QStringLiteral(FWB_SWEDISH_PACK);
        const QFont wide(QStringLiteral("DejaVu Sans"), 8);
        QTest::newRow("English") << QString() << DialogFont();
        QTest::newRow("Swedish") << swedish << DialogFont();
        QTest::newRow("English, wide font") << QString() << wide;
        QTest::newRow("Swedish, wide font") << swedish << wide;
    }
    void everyPageFits()
    {
        QFETCH(QString, pack);
        QFETCH(QFont, font);
        QApplication::setFont(font);
        if (!pack.isEmpty()) {
            appPaths().LanguagePacksFolder = QFileInfo(pack).absolutePath() + u'/';
            settings().CurrentLanguage = QFileInfo(pack).fileName();
            QVERIFY2(OpenLanguagePack(), qPrintable(pack));
        }
        load({0, 2, 1});
        QStringList problems;
        for (int page = 0; page < 3; ++page) {
            control<QTabBar>("TS_Settings")->setCurrentIndex(page);
            for (const QString &problem : layoutProblems(m_dialog.get()))
                problems.append(QStringLiteral("page %1: ").arg(page + 1) + problem);
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
        QVERIFY(m_platform->boxes.shown.isEmpty());
    }

    // However long the translated captions, each tab can be brought into view.
    void everyTabWithinReach()
    {
        TabStrip tabs;
        tabs.resize(300, 30);
        for (const char *caption : {"&Programmstartseinstellungen", "&Sicherungsstarteinstellungen",
                                    "&Fenstereinstellungen"})
            tabs.addTab(QString::fromLatin1(caption).repeated(3));
        tabs.show();
        for (int i = 0; i < tabs.count(); ++i) {
            tabs.setCurrentIndex(i);
            QVERIFY2(tabs.rect().contains(tabs.tabRect(i).center()), qPrintable(tabs.tabText(i)));
        }
    }

    // The stored modes are selected (none where a value is out of range). OK keeps the
    // options clicked, and an out-of-range value stays if none is chosen; Esc keeps none.
    void closingKeepsOrDropsTheModes_data()
    {
        QTest::addColumn<QList<int>>("stored");
        QTest::addColumn<QList<int>>("clicks"); // per page, -1 for none
        QTest::addColumn<QList<int>>("result");
        QTest::addColumn<bool>("ok");
        QTest::newRow("all changed") << QList{0, 2, 1} << QList{2, 0, 0} << QList{2, 0, 0} << true;
        QTest::newRow("out of range kept")
            << QList{7, 2, 200} << QList{-1, 1, -1} << QList{7, 1, 200} << true;
        QTest::newRow("Esc") << QList{0, 2, 1} << QList{2, 1, 0} << QList{0, 2, 1} << false;
    }
    void closingKeepsOrDropsTheModes()
    {
        QFETCH(QList<int>, stored);
        QFETCH(QList<int>, clicks);
        QFETCH(QList<int>, result);
        QFETCH(bool, ok);
        m_platform->autoStart.entry = {Kind::Program, kAgent};
        load(stored);
        for (int page = 0; page < 3; ++page) {
            for (int index = 0; index < 3; ++index)
                QCOMPARE(option(page, index)->isChecked(), index == stored[page]);
            if (clicks[page] >= 0)
                choose(page, clicks[page]);
        }
        if (ok) {
            QCOMPARE(inMemory(), stored);
            click("CB_Ok");
        } else {
            click("CH_AutoStartAgent");
            QTest::keyClick(m_dialog.get(), Qt::Key_Escape);
        }
        QVERIFY(!m_dialog->isVisible());
        QCOMPARE(inMemory(), result);
        QCOMPARE(test::readFile(appPaths().AgentIniPath),
                 ok ? QString::asprintf(
                          "[Options]\r\nGLO_AgentStartupMode=%d\r\nGLO_BackupStartupMode=%d"
                          "\r\nGLO_MinimizeMode=%d\r\n",
                          result[0], result[1], result[2])
                          .toLatin1()
                    : QByteArray());
        QVERIFY(m_platform->autoStart.changes.isEmpty());
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
        QTest::newRow("moved program rewritten") << Entry{Kind::Program, "/old/a"} << write << none;
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
        QString shown;
        for (const FakeMessageBoxes::Box &b : m_platform->boxes.shown)
            shown += b.title + u'\n' + b.text + (b.icon == BoxIcon::Stop ? "" : " (not Stop)");
        QCOMPARE(shown, box.isEmpty() ? box : "FW Backup Agent - Auto-start Error\n" + box);
        QVERIFY(test::readFile(appPaths().AgentIniPath).contains("GLO_MinimizeMode=1"));
    }

    // Each kind of character a folder name can bring, and the Exec value it is written as.
    void writesQuotedAndReadsBack_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QByteArray>("exec");
        QTest::newRow("plain") << "/opt/fwb/fwbagent" << QByteArray("/opt/fwb/fwbagent");
        QTest::newRow("spaces") << "/opt/F B/fwbagent" << QByteArray("\"/opt/F B/fwbagent\"");
        QTest::newRow("quotes") << "/opt/\"hi\"/a" << QByteArray("\"/opt/\\\\\"hi\\\\\"/a\"");
        QTest::newRow("dollar") << "/opt/$HOME/a" << QByteArray("\"/opt/\\\\$HOME/a\"");
        QTest::newRow("backslash") << "/opt/b\\s/a" << QByteArray("\"/opt/b\\\\\\\\s/a\"");
    }
    void writesQuotedAndReadsBack()
    {
        QFETCH(QString, program);
        QFETCH(QByteArray, exec);
        XdgAutoStartStore store;
        // An entry of an older version, named as the registry value, still starts the Agent.
        test::writeFile(entryPath(), "[Desktop Entry]\nName=Ferrow Backup Agent\nExec=" + exec);
        QCOMPARE(store.read().program, program);
        QVERIFY(store.write(program));
        QCOMPARE(test::readFile(entryPath()),
                 "[Desktop Entry]\nType=Application\nName=FWB Agent\nIcon=fwbagent\nTryExec=" +
                     program.toUtf8().replace('\\', "\\\\") + "\nExec=" + exec + "\n");
        QCOMPARE(store.read().kind, Kind::Program);
        QCOMPARE(store.read().program, program);
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

QTEST_MAIN(tst_SettingsDialog)
#include "tst_settingsdialog.moc"
