// Every caption of the Agent's windows whole, as an X server draws them under a window manager:
// in English, in the shipped Swedish pack and in a pack of very long translations, in the
// program's own type and (with --theme) in a desktop's larger type and dark colours set through
// qt6ct. The windows run in this process on an X server of the test's own (xvfb-run) under
// openbox, so each control is measured in the font, style and resolution it was really drawn
// with; what a control needs is asked of its own font metrics and style, never of the layout's
// rules. FWB_CAPTIONS_THEME=qt6ct asks for the desktop's theme; FWB_SCREENSHOTS=FOLDER saves
// each window as PNG.

#include "Desktop.h"
#include "TestSupport.h"
#include "controls/DialogFont.h"
#include "countdown/frmBALLOON.h"
#include "jet/DataAccess.h"
#include "language/Translate.h"
#include "settings/frmSETTINGS.h"
#include "shell/frmMAIN.h"
#include "store/AppPaths.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStyleOptionButton>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <cmath>

using namespace fwb;

namespace {

const bool g_theme = qEnvironmentVariable("FWB_CAPTIONS_THEME") == u"qt6ct";
const QString kDarker = QStringLiteral("/usr/share/qt6ct/colors/darker.conf");

// A translation far longer than any real one: the Swedish text, then again in its longest
// words, so that captions need several lines or wider buttons.
QString longText(const QString &swedish)
{
    QString plain = swedish;
    plain.remove(u'&');
    return swedish + QStringLiteral(" (") + plain + QStringLiteral(" — utökad översättning)");
}

QString buildLongPack(const QString &folder)
{
    QFile source(QStringLiteral(FWB_SOURCE_DIR "/app/packs/Swedish.tsv"));
    if (!source.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(source.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QStringList fields = lines[i].split(u'\t');
        // The log's is a text, not a caption. A tab caption longer than the buttons below
        // the pages needs room of its own.
        if (fields.size() == 5 && fields[1] != QLatin1String("TX_Log"))
            fields[2] = longText(fields[2]);
        if (fields[1].startsWith(u'&') && fields[1].endsWith(QLatin1String(" settings")))
            fields[2] = longText(fields[2]);
        lines[i] = fields.join(u'\t');
    }
    const QString tsv = folder + QStringLiteral("/Long.tsv");
    const QString pack = folder + QStringLiteral("/Long.lng");
    test::writeFile(tsv, lines.join(u'\n').toUtf8() + '\n');
    QProcess tool;
    tool.start(QStringLiteral(FWB_JET_TOOL), {QStringLiteral("pack-build"), tsv, pack});
    return tool.waitForFinished(60'000) && tool.exitCode() == 0 ? pack : QString();
}

QSize textSize(const QFontMetrics &metrics, QString text, int width, bool wrap)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const int flags = Qt::TextShowMnemonic | (wrap ? Qt::TextWordWrap : 0);
    return metrics.boundingRect(QRect(0, 0, width, 100000), flags, text).size();
}

QString fits(const QSize &needed, const QRect &room)
{
    if (needed.width() <= room.width() && needed.height() <= room.height())
        return {};
    return QString::asprintf("text needs %dx%d px, has %dx%d", needed.width(), needed.height(),
                             room.width(), room.height());
}

double luminance(const QColor &color)
{
    const auto linear = [](double c) {
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(color.redF()) + 0.7152 * linear(color.greenF()) +
           0.0722 * linear(color.blueF());
}

// The text's colour against its background's, as readable as WCAG asks of large text.
QString contrastProblem(const QWidget *control)
{
    const bool editor = qobject_cast<const QAbstractScrollArea *>(control);
    const QPalette &palette = control->palette();
    const QColor text = palette.color(editor ? QPalette::Text : control->foregroundRole());
    const QColor back = palette.color(editor ? QPalette::Base : control->backgroundRole());
    const double a = luminance(text) + 0.05, b = luminance(back) + 0.05;
    if (std::max(a, b) / std::min(a, b) < 3)
        return QStringLiteral("text %1 on %2 is hard to read").arg(text.name(), back.name());
    // Light where the desktop is light, dark where it is dark: no colour of its own.
    const QColor window = QApplication::palette().color(QPalette::Window);
    if ((luminance(back) < 0.18) != (luminance(window) < 0.18))
        return QStringLiteral("its background %1 does not follow the desktop's %2")
            .arg(back.name(), window.name());
    return {};
}

// What the control's text does not fit into, as its style lays the control out, or nothing.
QString textProblem(const QWidget *control)
{
    using S = QStyle;
    const QStyle *style = control->style();
    const QFontMetrics metrics = control->fontMetrics();
    if (auto *push = qobject_cast<const QPushButton *>(control)) {
        QStyleOptionButton option;
        option.initFrom(push);
        option.text = push->text();
        const QRect room = style->subElementRect(S::SE_PushButtonContents, &option, push);
        return fits(textSize(metrics, push->text(), 100000, false), room);
    }
    const bool radio = qobject_cast<const QRadioButton *>(control);
    if (radio || qobject_cast<const QCheckBox *>(control)) {
        QStyleOptionButton option;
        option.initFrom(control);
        option.text = static_cast<const QAbstractButton *>(control)->text();
        const QRect room = style->subElementRect(
            radio ? S::SE_RadioButtonContents : S::SE_CheckBoxContents, &option, control);
        return fits(textSize(metrics, option.text, room.width(), true), room);
    }
    if (auto *label = qobject_cast<const QLabel *>(control)) {
        const QRect room = label->contentsRect();
        return fits(textSize(metrics, label->text(), room.width(), label->wordWrap()), room);
    }
    if (auto *tabs = qobject_cast<const QTabBar *>(control)) {
        // The tab in front, whole and clear of the scroll buttons, which stay in the tab row.
        const int i = tabs->currentIndex();
        QStyleOptionTab option;
        option.initFrom(tabs);
        option.shape = tabs->shape();
        option.text = tabs->tabText(i);
        option.rect = tabs->tabRect(i);
        const QRect room = style->subElementRect(S::SE_TabBarTabText, &option, tabs);
        int visibleRight = tabs->width();
        for (const QToolButton *arrow : tabs->findChildren<QToolButton *>()) {
            if (!arrow->isVisible())
                continue;
            visibleRight = std::min(visibleRight, arrow->x());
            if (arrow->geometry().bottom() > tabs->tabRect(0).bottom())
                return QStringLiteral("a scroll button reaches below the tab row");
        }
        if (option.rect.left() < 0 || option.rect.right() >= visibleRight)
            return QStringLiteral("tab \"%1\" is not wholly in view").arg(option.text);
        return fits(textSize(metrics, option.text, 100000, false), room);
    }
    return {};
}

// Every text of the window fits its control in the window's own type (no control set in a
// smaller one), each control lies inside its parent, and no two controls of one level share a
// pixel, except a page's frame, which lies on the tab strip by design.
QStringList captionProblems(const QWidget *parent)
{
    QStringList problems;
    const double type = QApplication::font().pointSizeF();
    QList<QWidget *> controls;
    for (QWidget *child : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (child->isVisible() && !child->isWindow() && !child->inherits("QScrollBar"))
            controls.append(child);
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const QWidget *a = controls[i];
        const QString name = a->objectName().isEmpty()
                                 ? QString::fromLatin1(a->metaObject()->className())
                                 : a->objectName();
        for (const QString &problem : {textProblem(a), contrastProblem(a)})
            if (!problem.isEmpty())
                problems.append(name + QStringLiteral(": ") + problem);
        if (a->font().pointSizeF() < type)
            problems.append(name + QStringLiteral(" is set in %1 pt, the program in %2 pt")
                                       .arg(a->font().pointSizeF())
                                       .arg(type));
        if (!parent->rect().contains(a->geometry()))
            problems.append(name + QStringLiteral(" sticks out of ") + parent->objectName());
        for (const QWidget *b : controls.mid(i + 1)) {
            const bool pageOnStrip =
                (qobject_cast<const QGroupBox *>(a) && qobject_cast<const QTabBar *>(b)) ||
                (qobject_cast<const QGroupBox *>(b) && qobject_cast<const QTabBar *>(a));
            if (!pageOnStrip && a->geometry().intersects(b->geometry()))
                problems.append(name + QStringLiteral(" overlaps ") + b->objectName());
            // A page lies on the strip's panel, below its tabs.
            const auto *tabs = qobject_cast<const QTabBar *>(
                pageOnStrip ? (a->inherits("QTabBar") ? a : b) : nullptr);
            const QWidget *page = tabs == a ? b : a;
            if (tabs && page->y() <= tabs->y() + tabs->tabRect(0).bottom())
                problems.append(page->objectName() + QStringLiteral(" covers the tabs"));
        }
        if (const auto *page = qobject_cast<const QGroupBox *>(a)) {
            problems += captionProblems(page);
            // The page's heading, bold and wrapped to its controls' width, ends above them.
            QFont bold = page->font();
            bold.setBold(true);
            const QWidget *first = page->findChildren<QWidget *>().value(0);
            int column = 0;
            for (const QWidget *child : page->findChildren<QWidget *>()) {
                first = child->y() < first->y() ? child : first;
                column = std::max(column, child->width());
            }
            if (textSize(QFontMetrics(bold), page->title(), column, true).height() >= first->y())
                problems.append(page->title() + QStringLiteral(" runs into ") +
                                first->objectName());
        }
    }
    return problems;
}

} // namespace

class tst_Captions : public QObject
{
    Q_OBJECT

    test::Desktop m_desktop;
    QTemporaryDir m_packs;
    QString m_longPack;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<test::ScopedPlatform> m_platform;
    std::unique_ptr<frmMAIN> m_main;
    QString m_pictures;

    QFont m_themeFont;
    QPalette m_themePalette;

    // The desktop's type and colours reach a running program after its windows are built, as
    // they do when a platform theme applies them once the event loop runs.
    void programDefaults()
    {
        if (!g_theme)
            return;
        UseDialogFont();
        QApplication::setPalette(QApplication::style()->standardPalette());
    }
    void themeArrives()
    {
        if (!g_theme)
            return;
        QApplication::setFont(m_themeFont);
        QApplication::setPalette(m_themePalette);
    }

    // Waits until the window manager has framed and drawn it, checks it and keeps a picture.
    void check(QWidget &window, const QString &picture)
    {
        themeArrives();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window, 30000));
        QTest::qWait(50);
        const QStringList problems = captionProblems(&window);
        if (!m_pictures.isEmpty()) {
            QDir().mkpath(m_pictures);
            QVERIFY(window.screen()
                        ->grabWindow(window.winId())
                        .save(m_pictures + u'/' + picture + QStringLiteral(".png")));
        }
        programDefaults();
        QVERIFY2(problems.isEmpty(), qPrintable(picture + QStringLiteral(":\n  ") +
                                                problems.join(QStringLiteral("\n  "))));
    }

private Q_SLOTS:
    void initTestCase()
    {
        UseDialogFont();
        const QString problem = m_desktop.startWindowManager();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE));
        if (g_theme)
            QVERIFY2(QTest::qWaitFor([] { return QApplication::font().pointSize() == 12; }),
                     "qt6ct does not set the desktop's type");
        m_themeFont = QApplication::font();
        m_themePalette = QApplication::palette();
        m_longPack = buildLongPack(m_packs.path());
        QVERIFY2(!m_longPack.isEmpty(), "fwb-jet pack-build did not build the long pack");
    }
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<test::ScopedPlatform>();
        test::resetProgramState(m_folder->path());
    }
    void cleanup()
    {
        m_main.reset();
        m_platform.reset();
    }

    void everyCaptionWhole_data()
    {
        QTest::addColumn<QString>("pack");
        QTest::addColumn<QString>("folder");
        QTest::newRow("English") << QString() << QString();
        QTest::newRow("Swedish") << QStringLiteral(FWB_SWEDISH_PACK) << QStringLiteral("sv");
        QTest::newRow("long texts") << m_longPack << QStringLiteral("long");
    }
    // The main window, the count-down and the confirmation dialog, and each page of Settings.
    void everyCaptionWhole()
    {
        QFETCH(QString, pack);
        QFETCH(QString, folder);
        const QString pictures = qEnvironmentVariable("FWB_SCREENSHOTS");
        m_pictures = pictures.isEmpty()
                         ? QString()
                         : pictures + (g_theme ? QStringLiteral("/qt6ct") : QString()) +
                               (folder.isEmpty() ? QString() : u'/' + folder);
        const QString programFolder = m_folder->path() + u'/';
        if (!pack.isEmpty()) {
            const QString packs = programFolder + QStringLiteral("Language Packs/");
            QVERIFY(QDir().mkpath(packs) && QFile::copy(pack, packs + QFileInfo(pack).fileName()));
            test::writeFile(
                programFolder + QStringLiteral("settings.ini"),
                "[Options]\r\nGLO_CurrentLanguage=" + QFileInfo(pack).fileName().toUtf8() + "\r\n");
        }
        programDefaults();
        m_main = std::make_unique<frmMAIN>(m_folder->path());
        QVERIFY(m_main->Form_Load());
        QCOMPARE(TranslateText(QStringLiteral("Count Down")) == QLatin1String("Count Down"),
                 pack.isEmpty());
        const auto line = [](const char *name, const char *value) {
            return TranslateText(QLatin1String(name)) + QLatin1String(value);
        };
        m_main->AddLogEntry(
            line("New drive found", ":\r\n") + line("Drive", ": /media/anna/BACKUPDISK/\r\n") +
            line("Label", ": BACKUPDISK\r\n") + line("Serial number", ": 1A2B-3C4D"));
        check(*m_main, QStringLiteral("main"));

        const QString sets = appPaths().DefaultBackupSetsFolder + u'/';
        for (const bool countDown : {true, false}) {
            frmBALLOON dialog;
            dialog.Form_Load();
            dialog.AddSet(sets + QStringLiteral("Documents.fwb"));
            dialog.AddSet(sets + QStringLiteral("Photos.fwb"));
            dialog.setWindowTitle(BoxTitle(countDown ? QStringLiteral("Count Down")
                                                     : QStringLiteral("Confirm Start-up")));
            if (countDown)
                dialog.StartCountDown();
            dialog.SetListHeight(countDown ? 1050 : 1410);
            check(dialog, countDown ? QStringLiteral("countdown") : QStringLiteral("confirm"));
            dialog.done(0);
        }

        frmSETTINGS settings(m_main.get());
        settings.Form_Load();
        auto *tabs = settings.findChild<QTabBar *>(QStringLiteral("TS_Settings"));
        for (int tab = 0; tab < 3; ++tab) {
            tabs->setCurrentIndex(tab);
            check(settings, QStringLiteral("settings-%1").arg(tab));
        }
        m_main->DeactivateMonitoring();
    }
};

namespace {

// The larger type and the darker colours a qt6ct user picks, in a home of the test's own, for
// the application to read as it starts.
QString prepare()
{
    if (!qEnvironmentVariableIsSet("DISPLAY")) // for the precondition to say so
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QTemporaryDir home;
    if (g_theme && home.isValid()) {
        test::writeFile(home.path() + QStringLiteral("/qt6ct/qt6ct.conf"),
                        "[Appearance]\n"
                        "color_scheme_path=" +
                            kDarker.toUtf8() +
                            "\n"
                            "custom_palette=true\n"
                            "style=Fusion\n"
                            "[Fonts]\n"
                            "general=\"DejaVu Sans,12,-1,5,400,0,0,0,0,0,0,0,0,0,0,1\"\n"
                            "fixed=\"DejaVu Sans Mono,12,-1,5,400,0,0,0,0,0,0,0,0,0,0,1\"\n");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
        qputenv("QT_QPA_PLATFORMTHEME", "qt6ct");
    }
    return {};
}

QString cannotRun(const QByteArray &)
{
    if (!qEnvironmentVariableIsSet("DISPLAY"))
        return QStringLiteral("no X server (xvfb-run is not installed)");
    for (const char *tool : {"openbox", "xprop"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QString::fromLatin1(tool) + QStringLiteral(" is not installed");
    return g_theme && !QFile::exists(kDarker) ? QStringLiteral("qt6ct is not installed")
                                              : QString();
}

} // namespace

FWB_TEST_MAIN(QApplication, tst_Captions, cannotRun, prepare)
#include "tst_captions.moc"
