#include "TestSupport.h"
#include "controls/Controls.h"
#include "controls/DialogFont.h"
#include "controls/Twips.h"
#include "jet/DataAccess.h"
#include "language/LanguagePack.h"
#include "settings/frmSETTINGS.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"
#include "store/Settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QStyle>
#include <QTabBar>
#include <QTest>
#include <QTimer>

using namespace fwb;
using Kind = AutoStartStore::Entry::Kind;
Q_DECLARE_METATYPE(Kind)

namespace {

const QString kAgent = QStringLiteral("/opt/Ferrow Backup/fwbagent");

QString describe(const QWidget *control)
{
    const QVariant index = control->property("Index");
    return control->objectName() + (index.isValid() ? u'(' + index.toString() + u')' : QString());
}

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
    } else if (auto *button = qobject_cast<const QPushButton *>(control)) {
        const int margin = style->pixelMetric(S::PM_ButtonMargin, nullptr, button) +
                           style->pixelMetric(S::PM_DefaultFrameWidth, nullptr, button);
        room -= QSize(2 * margin, 2 * margin);
        needed = textSize(button, button->text(), 100000, false);
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
            problems.append(describe(a) + QStringLiteral(": ") + text);
        if (!parent->rect().contains(a->geometry()))
            problems.append(describe(a) + QStringLiteral(" sticks out of ") + describe(parent));
        for (const QWidget *b : controls.mid(i + 1)) {
            const bool pageOnStrip =
                (qobject_cast<const QGroupBox *>(a) && qobject_cast<const QTabBar *>(b)) ||
                (qobject_cast<const QGroupBox *>(b) && qobject_cast<const QTabBar *>(a));
            if (!pageOnStrip && a->geometry().intersects(b->geometry()))
                problems.append(describe(a) + QStringLiteral(" overlaps ") + describe(b));
        }
        if (qobject_cast<const QGroupBox *>(a))
            problems += layoutProblems(a);
    }
    return problems;
}

QSet<QString> captions(const QWidget &dialog)
{
    QSet<QString> texts;
    for (const QAbstractButton *button : dialog.findChildren<QAbstractButton *>())
        texts.insert(button->text());
    for (const QGroupBox *frame : dialog.findChildren<QGroupBox *>())
        texts.insert(frame->title());
    texts.remove(QString()); // the tab strip's own arrow buttons
    return texts;
}

} // namespace

// The settings dialog: its captions' sizing rules and the layout they give in each shipped
// language, and what OK and Cancel keep of the user's choices.
class tst_SettingsDialog : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::ScopedPlatform> m_platform;
    std::unique_ptr<frmSETTINGS> m_dialog;

    FakeAutoStartStore &store() { return m_platform->autoStart; }
    QString iniPath() const { return appPaths().AgentIniPath; }
    template <typename T> T *control(const char *name) const
    {
        return m_dialog->findChild<T *>(QLatin1String(name));
    }
    QRadioButton *option(int page, int index) const
    {
        static const char *const names[] = {"RB_AgentStartupMode", "RB_BackupStartupMode",
                                            "RB_MinimizeMode"};
        for (QRadioButton *found : m_dialog->findChildren<QRadioButton *>(names[page]))
            if (found->property("Index").toInt() == index)
                return found;
        qFatal("no option %s(%d)", names[page], index);
    }
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
    }
    void cleanup()
    {
        m_dialog.reset();
        m_platform.reset();
    }

    // IncreaseTextWidth is set so that the text's room, with the allowances `kind` has, comes
    // out 20 twips short of or over the control's width.
    void autoSizeHeight_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("allowance");
        QTest::addColumn<double>("offset");
        QTest::addColumn<int>("height");
        QTest::newRow("radio, just below a line") << "radio" << 610.0 << -20.0 << 195;
        QTest::newRow("radio, just above a line") << "radio" << 610.0 << 20.0 << 390;
        QTest::newRow("bold needs more margin") << "bold" << 310.0 << -20.0 << 390;
        QTest::newRow("check box has a box") << "check" << 310.0 << -20.0 << 390;
        QTest::newRow("a line per forced break") << "breaks" << 310.0 << -20.0 << 585;
    }
    void autoSizeHeight()
    {
        QFETCH(QString, kind);
        QFETCH(double, allowance);
        QFETCH(double, offset);
        QWidget form;
        form.setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
        if (QFontInfo(form.font()).family() != QLatin1String("DejaVu Sans"))
            QSKIP("DejaVu Sans is not installed (Debian: fonts-dejavu-core)");
        const QString text = kind == QLatin1String("breaks")
                                 ? QStringLiteral("one\r\ntwo\r\nthree")
                                 : QStringLiteral("Count down before backup start");
        QWidget *control = kind == QLatin1String("radio") ? new QRadioButton(&form)
                           : kind == QLatin1String("check")
                               ? new QCheckBox(&form)
                               : static_cast<QWidget *>(new QLabel(&form));
        control->setProperty("text", text);
        QFont font = control->font();
        font.setBold(kind == QLatin1String("bold"));
        control->setFont(font);
        SetGeometryTwips(control, 225, 50, 4245, 600);
        const double natural = TextWidth(&form, text, font.bold()) + allowance + text.size() / 1.8;
        settings().IncreaseTextWidth = float(4245 + offset - natural);

        AutoSizeHeight(control);
        QTEST(int(PixelsToTwips(control->height())), "height");
        QCOMPARE(PixelsToTwips(control->width()), 4245.0);
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
        if (!pack.isEmpty()) {
            const QStringList untranslated =
                captions(frmSETTINGS()).intersect(captions(*m_dialog)).values();
            QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join(u'|')));
        }
        QStringList problems;
        for (int page = 0; page < 3; ++page) {
            control<QTabBar>("TS_Settings")->setCurrentIndex(page);
            for (const QString &problem : layoutProblems(m_dialog.get()))
                problems.append(QStringLiteral("page %1: ").arg(page + 1) + problem);
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
        QVERIFY(m_platform->boxes.shown.isEmpty());
    }

    // The stored modes are selected (none where a value is out of range); OK keeps the options
    // clicked, and a value no option stands for stays unless one is chosen.
    void okStoresTheModes_data()
    {
        QTest::addColumn<QList<int>>("stored");
        QTest::addColumn<QList<int>>("clicks"); // per page, -1 for none
        QTest::addColumn<QList<int>>("result");
        QTest::newRow("all changed") << QList{0, 2, 1} << QList{2, 0, 0} << QList{2, 0, 0};
        QTest::newRow("out of range kept")
            << QList{7, 2, 200} << QList{-1, 1, -1} << QList{7, 1, 200};
        QTest::newRow("out of range replaced")
            << QList{3, 255, 1} << QList{1, 0, -1} << QList{1, 0, 1};
    }
    void okStoresTheModes()
    {
        QFETCH(QList<int>, stored);
        QFETCH(QList<int>, clicks);
        QFETCH(QList<int>, result);
        load(stored);
        for (int page = 0; page < 3; ++page) {
            for (int index = 0; index < 3; ++index)
                QCOMPARE(option(page, index)->isChecked(), index == stored[page]);
            if (clicks[page] >= 0)
                choose(page, clicks[page]);
        }
        QCOMPARE(inMemory(), stored);
        click("CB_Ok");

        QCOMPARE(inMemory(), result);
        QCOMPARE(test::readFile(iniPath()),
                 QStringLiteral("[Options]\r\nGLO_AgentStartupMode=%1\r\nGLO_BackupStartupMode=%2"
                                "\r\nGLO_MinimizeMode=%3\r\n")
                     .arg(result[0])
                     .arg(result[1])
                     .arg(result[2])
                     .toLatin1());
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
        QVERIFY(store().changes.isEmpty());
    }

    void okRegistersOrRemovesAutoStart_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("check");
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("box");
        const QString write = "write " + kAgent;
        const QString cannotAdd = QStringLiteral(
            "The Agent could not be set up to start with Windows. You will have to add the Agent "
            "to the 'Startup' folder in the Start Menu manually.");
        const QString cannotRemove = QStringLiteral(
            "The Agent could not be removed from the list of application that are started with "
            "Windows. You will have to use the regedit or msconfig tools to remove it manually.");
        QTest::newRow("add") << Kind::Missing << "" << true << false << write << "";
        QTest::newRow("keep") << Kind::Program << kAgent << true << false << ""
                              << "";
        QTest::newRow("remove") << Kind::Program << kAgent << false << false << "remove"
                                << "";
        // Only the own path, exactly as written, counts as registered.
        QTest::newRow("letter case")
            << Kind::Program << kAgent.toUpper() << true << false << write << "";
        QTest::newRow("switched off") << Kind::Other << kAgent << false << false << ""
                                      << "";
        QTest::newRow("add refused") << Kind::Missing << "" << true << true << write << cannotAdd;
        QTest::newRow("remove refused")
            << Kind::Program << kAgent << false << true << "remove" << cannotRemove;
    }
    void okRegistersOrRemovesAutoStart()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, program);
        QFETCH(bool, check);
        QFETCH(bool, refuse);
        QFETCH(QString, change);
        QFETCH(QString, box);
        store().entry = {kind, program};
        store().refuseWrites = store().refuseRemoves = refuse;
        load({0, 2, 1});
        auto *autoStart = control<QCheckBox>("CH_AutoStartAgent");
        if (autoStart->isChecked() != check)
            click("CH_AutoStartAgent");
        QCOMPARE(autoStart->isChecked(), check);
        m_platform->boxes.onShow = [this](const FakeMessageBoxes::Box &) {
            QVERIFY(!QFileInfo::exists(iniPath())); // the modes are stored after the box
        };
        click("CB_Ok");

        QCOMPARE(store().changes, change.isEmpty() ? QStringList() : QStringList{change});
        QCOMPARE(m_platform->boxes.shown.size(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty()) {
            QCOMPARE(m_platform->boxes.shown[0].text, box);
            QCOMPARE(m_platform->boxes.shown[0].title,
                     QStringLiteral("FW Backup Agent - Auto-start Error"));
            QCOMPARE(m_platform->boxes.shown[0].icon, BoxIcon::Stop);
        }
        QVERIFY(test::readFile(iniPath()).contains("GLO_MinimizeMode=1"));
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
    }

    void cancelDropsEverything()
    {
        store().entry = {Kind::Program, kAgent};
        load({0, 2, 1});
        for (int page = 0; page < 3; ++page)
            choose(page, 2 - page);
        click("CH_AutoStartAgent");
        QTest::keyClick(m_dialog.get(), Qt::Key_Escape);

        QVERIFY(!m_dialog->isVisible());
        QCOMPARE(inMemory(), (QList{0, 2, 1}));
        QVERIFY(!QFileInfo::exists(iniPath()));
        QVERIFY(store().changes.isEmpty());
    }

    void settingsButtonOpensTheDialogModally()
    {
        frmMAIN window(m_dir->path());
        window.show();
        QString version;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<frmSETTINGS *>(QApplication::activeModalWidget());
            QVERIFY(dialog && dialog->parentWidget() == &window);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("FWB Agent - Settings"));
            version = dialog->findChild<QLabel *>(QStringLiteral("LB_Version"))->text();
            dialog->findChild<QPushButton *>(QStringLiteral("CB_Cancel"))->click();
        });
        window.findChild<QPushButton *>(QStringLiteral("CB_Settings"))->click();
        QCOMPARE(version, QStringLiteral("[version " FWB_VERSION_TEXT "]"));
        QVERIFY(!window.findChild<frmSETTINGS *>());
    }
};

QTEST_MAIN(tst_SettingsDialog)
#include "tst_settingsdialog.moc"
