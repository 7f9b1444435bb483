#include "TestSupport.h"
#include "controls/Controls.h"
#include "controls/DialogFont.h"
#include "controls/Twips.h"
#include "jet/DataAccess.h"
#include "language/LanguagePack.h"
#include "settings/frmSETTINGS.h"
#include "store/AppPaths.h"
#include "store/Settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSet>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTest>

using namespace fwb;

namespace {

constexpr int kUnbounded = 100000;

QString describe(const QWidget *control)
{
    const QVariant index = control->property("Index");
    return control->objectName() + (index.isValid() ? u'(' + index.toString() + u')' : QString());
}

// The room a text needs, wrapped to `width` when `wrap` is set.
QSize textSize(const QWidget *control, const QString &text, int width, bool wrap)
{
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const int flags = Qt::TextShowMnemonic | (wrap ? Qt::TextWordWrap : 0);
    return control->fontMetrics().boundingRect(QRect(0, 0, width, kUnbounded), flags, lines).size();
}

// What a control's text does not fit into, or nothing.
QString textProblem(const QWidget *control)
{
    const QStyle *style = control->style();
    QSize needed;
    QSize room;
    if (auto *box = qobject_cast<const QAbstractButton *>(control);
        box && (qobject_cast<const QRadioButton *>(box) || qobject_cast<const QCheckBox *>(box))) {
        const bool radio = qobject_cast<const QRadioButton *>(box);
        const int indicator = style->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorWidth
                                                       : QStyle::PM_IndicatorWidth,
                                                 nullptr, box) +
                              style->pixelMetric(radio ? QStyle::PM_RadioButtonLabelSpacing
                                                       : QStyle::PM_CheckBoxLabelSpacing,
                                                 nullptr, box);
        room = QSize(box->width() - indicator, box->height());
        needed = textSize(box, box->text(), room.width(), true);
    } else if (auto *button = qobject_cast<const QPushButton *>(control)) {
        const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                           style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        room = button->size() - QSize(2 * margin, 2 * margin);
        needed = textSize(button, button->text(), kUnbounded, false);
    } else if (auto *label = qobject_cast<const QLabel *>(control)) {
        room = label->contentsRect().size();
        needed = textSize(label, label->text(), room.width(), label->wordWrap());
    } else if (auto *tabs = qobject_cast<const QTabBar *>(control)) {
        const int padding = style->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, tabs);
        for (int i = 0; i < tabs->count(); ++i) {
            const QRect tab = tabs->tabRect(i);
            const int text = textSize(tabs, tabs->tabText(i), kUnbounded, false).width();
            if (tab.right() >= tabs->width() || text + padding > tab.width())
                return QStringLiteral("tab \"%1\" does not fit").arg(tabs->tabText(i));
        }
        return {};
    } else {
        return {};
    }
    if (needed.width() <= room.width() && needed.height() <= room.height())
        return {};
    return QStringLiteral("text needs %1x%2 px, has %3x%4")
        .arg(needed.width())
        .arg(needed.height())
        .arg(room.width())
        .arg(room.height());
}

QList<QWidget *> visibleChildren(const QWidget *parent)
{
    QList<QWidget *> shown;
    for (QWidget *child : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->isVisible())
            shown.append(child);
    }
    return shown;
}

// A page's frame lies on the tab strip by design; any other two controls of one level must
// not share a pixel, and each must lie inside its parent.
QStringList levelProblems(const QWidget *parent)
{
    QStringList problems;
    const QList<QWidget *> controls = visibleChildren(parent);
    for (qsizetype i = 0; i < controls.size(); ++i) {
        const QWidget *a = controls[i];
        if (const QString text = textProblem(a); !text.isEmpty())
            problems.append(describe(a) + QStringLiteral(": ") + text);
        if (!parent->rect().contains(a->geometry()))
            problems.append(describe(a) + QStringLiteral(" sticks out of ") + describe(parent));
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            const QWidget *b = controls[j];
            const bool pageOnStrip =
                (qobject_cast<const QGroupBox *>(a) && qobject_cast<const QTabBar *>(b)) ||
                (qobject_cast<const QGroupBox *>(b) && qobject_cast<const QTabBar *>(a));
            if (!pageOnStrip && a->geometry().intersects(b->geometry()))
                problems.append(describe(a) + QStringLiteral(" overlaps ") + describe(b));
        }
    }
    return problems;
}

QStringList layoutProblems(const QWidget *dialog)
{
    QStringList problems = levelProblems(dialog);
    for (const QGroupBox *frame : dialog->findChildren<QGroupBox *>()) {
        if (frame->isVisible())
            problems += levelProblems(frame);
    }
    return problems;
}

// The captions of the dialog's option buttons, check box, buttons and frames.
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

// The sizing rules are checked in this font, so the expected heights do not depend on the
// desktop's fonts.
QFont pinnedFont()
{
    return QFont(QStringLiteral("DejaVu Sans"), 8);
}

QWidget *makeControl(const QString &kind, QWidget *form)
{
    if (kind == QLatin1String("radio"))
        return new QRadioButton(form);
    if (kind == QLatin1String("check"))
        return new QCheckBox(form);
    return new QLabel(form);
}

double twips(int pixels)
{
    return PixelsToTwips(pixels);
}

} // namespace

// The sizing rules of captions, and the settings dialog they lay out: every tab is rendered in
// each shipped language and fails when a text does not fit its control or controls collide.
// The pictures are left in the working folder.
class tst_SettingsLayout : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::ScopedPlatform> m_platform;
    std::unique_ptr<QWidget> m_form;

    static void requirePinnedFont()
    {
        if (QFontInfo(pinnedFont()).family() != QLatin1String("DejaVu Sans"))
            QSKIP("DejaVu Sans is not installed (Debian: fonts-dejavu-core)");
    }

private Q_SLOTS:
    void initTestCase() { jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE)); }
    void init()
    {
        m_platform = std::make_unique<test::ScopedPlatform>();
        settings() = {};
        m_form = std::make_unique<QWidget>();
        m_form->setObjectName(QStringLiteral("frmTEST"));
        m_form->setFont(pinnedFont());
    }
    void cleanup()
    {
        m_form.reset();
        m_platform.reset();
    }

    // Each row sets IncreaseTextWidth so that the total width comes out at `widths` times the
    // control's width plus `offset` twips, computed with the allowances the row assumes (margin
    // plus box). Rows that assume a wrong allowance check that the code does not make that
    // mistake.
    void autoSizeHeight_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<double>("assumedAllowances");
        QTest::addColumn<double>("widths");
        QTest::addColumn<double>("offset");
        QTest::addColumn<int>("height");

        QTest::newRow("just below a line") << "radio" << false << 610.0 << 1.0 << -20.0 << 195;
        QTest::newRow("just above a line") << "radio" << false << 610.0 << 1.0 << 20.0 << 390;
        QTest::newRow("one and a half widths") << "radio" << false << 610.0 << 1.5 << 0.0 << 390;
        QTest::newRow("regular margin 310") << "label" << false << 310.0 << 1.0 << -20.0 << 195;
        QTest::newRow("bold margin more than 310")
            << "label" << true << 310.0 << 1.0 << -20.0 << 390;
        QTest::newRow("bold margin 350") << "label" << true << 350.0 << 1.0 << -20.0 << 195;
        QTest::newRow("check box has a box") << "check" << false << 310.0 << 1.0 << -20.0 << 390;
        QTest::newRow("box allowance 300") << "check" << false << 610.0 << 1.0 << -20.0 << 195;
    }
    void autoSizeHeight()
    {
        requirePinnedFont();
        QFETCH(QString, kind);
        QFETCH(bool, bold);
        QFETCH(double, assumedAllowances);
        QFETCH(double, widths);
        QFETCH(double, offset);
        QFETCH(int, height);

        const QString text = QStringLiteral("Count down before backup start");
        QWidget *control = makeControl(kind, m_form.get());
        control->setProperty("text", text);
        QFont font = control->font();
        font.setBold(bold);
        control->setFont(font);
        SetGeometryTwips(control, 225, 50, 4245, 600);
        const double width = 4245;
        const double natural =
            TextWidth(m_form.get(), text, bold) + assumedAllowances + text.size() / 1.8;
        settings().IncreaseTextWidth = float(width * widths + offset - natural);

        AutoSizeHeight(control);
        QCOMPARE(twips(control->height()), double(height));
        QCOMPARE(twips(control->width()), width);
    }
    // Every CRLF counts one whole line of the control's width on top of the widest line.
    void forcedLineBreaks()
    {
        requirePinnedFont();
        auto *label = new QLabel(QStringLiteral("one\r\ntwo\r\nthree"), m_form.get());
        SetGeometryTwips(label, 0, 0, 4245, 195);
        AutoSizeHeight(label);
        QCOMPARE(twips(label->height()), 585.0);

        label->setText(QStringLiteral("one\r\n\r\n\r\nfour"));
        AutoSizeHeight(label);
        QCOMPARE(twips(label->height()), 780.0);
    }
    void tallerThanTheScreenIsReportedAndSized_data()
    {
        QTest::addColumn<bool>("frame");
        QTest::addColumn<QString>("text");
        QTest::newRow("window") << false
                                << "Could not auto-size window height: frmTEST. Please report "
                                   "this error.";
        QTest::newRow("frame") << true
                               << "Could not auto-size frame height: FR_Test. Please report "
                                  "this error.";
    }
    void tallerThanTheScreenIsReportedAndSized()
    {
        requirePinnedFont();
        QFETCH(bool, frame);
        QFETCH(QString, text);
        const int screenPixels = m_form->screen()->geometry().height();
        auto *container = frame ? new QGroupBox(m_form.get()) : m_form.get();
        if (frame)
            container->setObjectName(QStringLiteral("FR_Test"));
        auto *lowest = new QLabel(container);
        // Its bottom plus the margin lands exactly on the screen's height: not less, so too tall.
        const double margin = frame ? 300 : 700;
        lowest->setGeometry(0, 0, 100, 13);
        lowest->move(0, screenPixels - 13 - int(margin / 15));
        if (frame)
            AutoSizeFrameHeight(container, lowest);
        else
            AutoSizeWindowHeight(container, lowest);

        QCOMPARE(m_platform->boxes.shown.size(), 1);
        QCOMPARE(m_platform->boxes.shown[0].text, text);
        QCOMPARE(m_platform->boxes.shown[0].title,
                 QStringLiteral("FW Backup Agent - Auto-size Error"));
        QCOMPARE(m_platform->boxes.shown[0].icon, BoxIcon::Stop);
        // A window's height, as measured against the screen, includes its title bar.
        const double outside = frame ? 0 : kWindowFrameHeight;
        QCOMPARE(container->height(), TwipsToPixels(BottomOf(lowest) + margin - outside));
        QVERIFY(container->height() + TwipsToPixels(outside) >= screenPixels);

        // One pixel less is not reported.
        m_platform->boxes.shown.clear();
        lowest->move(0, lowest->y() - 1);
        if (frame)
            AutoSizeFrameHeight(container, lowest);
        else
            AutoSizeWindowHeight(container, lowest);
        QVERIFY(m_platform->boxes.shown.isEmpty());
    }

    void everyTabFits_data()
    {
        QTest::addColumn<QString>("pack");
        QTest::addColumn<QString>("cancelCaption");
        QTest::addColumn<QFont>("font");
        const QString swedish = QStringLiteral(FWB_SWEDISH_PACK);
        QTest::newRow("English") << QString() << "&Cancel" << DialogFont();
        QTest::newRow("Swedish") << swedish << "&Avbryt" << DialogFont();
        // A desktop's wider default type: the auto-sizing must still make everything fit.
        const QFont wide(QStringLiteral("DejaVu Sans"), 8);
        QTest::newRow("English-wide") << QString() << "&Cancel" << wide;
        QTest::newRow("Swedish-wide") << swedish << "&Avbryt" << wide;
    }
    void everyTabFits()
    {
        QFETCH(QString, pack);
        QFETCH(QString, cancelCaption);
        QFETCH(QFont, font);
        QApplication::setFont(font);
        appPaths() = {};
        LanguagePack().clear();
        if (!pack.isEmpty()) {
            QVERIFY2(QFileInfo::exists(pack), qPrintable(pack));
            appPaths().LanguagePacksFolder = QFileInfo(pack).absolutePath() + u'/';
            settings().CurrentLanguage = QFileInfo(pack).fileName();
            QVERIFY(OpenLanguagePack());
        }

        frmSETTINGS dialog;
        dialog.Form_Load();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("CB_Cancel"))->text(),
                 cancelCaption);
        if (!pack.isEmpty()) {
            // Every caption of the pack found its control: none is left in English.
            frmSETTINGS english;
            const QStringList untranslated =
                QSet<QString>(captions(english)).intersect(captions(dialog)).values();
            QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join(u'|')));
        }
        auto *tabs = dialog.findChild<QTabBar *>(QStringLiteral("TS_Settings"));
        QStringList problems;
        for (int tab = 0; tab < tabs->count(); ++tab) {
            tabs->setCurrentIndex(tab);
            const QString picture = QStringLiteral("frmSETTINGS-%1-tab%2.png")
                                        .arg(QString::fromLatin1(QTest::currentDataTag()))
                                        .arg(tab + 1);
            QVERIFY(dialog.grab().save(QDir::current().filePath(picture)));
            for (const QString &problem : layoutProblems(&dialog))
                problems.append(QStringLiteral("tab %1: ").arg(tab + 1) + problem);
        }
        LanguagePack().clear();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("\n"))));
        QVERIFY(m_platform->boxes.shown.isEmpty());
    }
};

QTEST_MAIN(tst_SettingsLayout)
#include "tst_settingslayout.moc"
