#include "TestSupport.h"
#include "controls/DialogFont.h"
#include "jet/DataAccess.h"
#include "language/LanguagePack.h"
#include "settings/frmSETTINGS.h"
#include "store/AppPaths.h"
#include "store/Settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
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

} // namespace

// Renders every tab of the settings dialog in each shipped language and fails when a text
// does not fit its control or controls collide. The pictures are left in the working folder.
class tst_SettingsLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { jet::DataAccess::setEnginePath(QStringLiteral(FWB_JET_ENGINE)); }

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
        test::ScopedPlatform platform;
        settings() = {};
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
        QVERIFY(platform.boxes.shown.isEmpty());
    }
};

QTEST_MAIN(tst_SettingsLayout)
#include "tst_settingslayout.moc"
