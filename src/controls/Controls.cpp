#include "controls/Controls.h"

#include "controls/Twips.h"
#include "language/Translate.h"
#include "store/Settings.h"
#include "system/MessageBox.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScreen>
#include <QTextEdit>
#include <QWidget>
#include <cmath>
#include <cstdint>
#include <limits>

namespace fwb {
namespace {

const QString kCrLf = QStringLiteral("\r\n");

// A window of fixed size keeps its width fixed and takes the new height as fixed too.
void setHeight(QWidget *w, float twips)
{
    const int pixels = TwipsToPixels(w->isWindow() ? twips - kWindowFrameHeight : twips);
    if (w->isWindow() && w->minimumHeight() == w->maximumHeight())
        w->setFixedHeight(pixels);
    else
        w->resize(w->width(), pixels);
}

const char *textProperty(const QObject *control)
{
    if (qobject_cast<const QLineEdit *>(control))
        return "text";
    if (qobject_cast<const QPlainTextEdit *>(control) || qobject_cast<const QTextEdit *>(control))
        return "plainText";
    if (qobject_cast<const QComboBox *>(control))
        return "currentText";
    return nullptr;
}

const char *captionProperty(const QObject *control)
{
    if (textProperty(control))
        return nullptr;
    if (qobject_cast<const QGroupBox *>(control))
        return "title";
    if (qobject_cast<const QLabel *>(control) || qobject_cast<const QAbstractButton *>(control))
        return "text";
    if (control->isWidgetType() && static_cast<const QWidget *>(control)->isWindow())
        return "windowTitle";
    return nullptr;
}

// A control without either reads as an empty text.
QString captionOrText(const QWidget *control)
{
    const char *property = HasCaption(control) ? captionProperty(control) : textProperty(control);
    return property ? control->property(property).toString() : QString();
}

bool fitsScreen(const QWidget *widget, float height)
{
    const QScreen *screen = widget->window()->screen();
    return !screen || height < static_cast<float>(PixelsToTwips(screen->geometry().height()));
}

void reportAutoSizeError(const QString &problem, const QWidget *container)
{
    ShowMessageBox(problem + QStringLiteral(": ") + container->objectName() + QStringLiteral(". ") +
                       TranslateText(QStringLiteral("Please report this error.")),
                   BoxTitle(QStringLiteral("Auto-size Error")), BoxIcon::Stop);
}

} // namespace

bool HasCaption(const QObject *control)
{
    return control && captionProperty(control);
}

bool HasValue(const QObject *control)
{
    return qobject_cast<const QRadioButton *>(control) || qobject_cast<const QCheckBox *>(control);
}

float TextWidth(const QWidget *form, const QString &text, bool bold)
{
    QFont font = form ? form->font() : QFont();
    font.setBold(bold);
    const QFontMetrics metrics(font);
    QString lines = text;
    lines.replace(kCrLf, QStringLiteral("\n")).replace(u'\r', u'\n');
    return static_cast<float>(PixelsToTwips(metrics.size(0, lines).width()));
}

int CountOccurrences(const QString &text, const QString &search)
{
    // An empty search text is found at every position of the text.
    if (search.isEmpty())
        return static_cast<int>(text.size());
    int count = 0;
    for (qsizetype at = text.indexOf(search); at >= 0; at = text.indexOf(search, at + 1))
        ++count;
    return count;
}

double RoundUpLines(double value)
{
    if (value == std::floor(value))
        return value;
    const double sixDecimals = std::round(value * 1e6) / 1e6;
    return std::floor(sixDecimals) + 1;
}

void AutoSizeHeight(QWidget *control)
{
    if (!control)
        return;
    const QString text = captionOrText(control);
    if (text.isEmpty()) {
        setHeight(control, kLineHeight);
        return;
    }
    const bool bold = control->font().bold();
    const float width = WidthTwips(control);
    float total = TextWidth(control->window(), text, bold);
    // Each forced line break costs a whole line.
    total += static_cast<float>(CountOccurrences(text, kCrLf)) * width;
    total += bold ? kBoldMargin : kRegularMargin;
    total += static_cast<float>(text.size()) / kLengthDivisor;
    total += settings().IncreaseTextWidth;
    if (HasValue(control))
        total += kBoxAllowance;
    if (width == 0)
        return;
    const float quotient = total / width;
    // Only a large negative IncreaseTextWidth gets here.
    if (!(quotient > 0))
        return;
    const double lines = RoundUpLines(quotient);
    if (lines > std::numeric_limits<std::int16_t>::max())
        return;
    const std::int32_t twips =
        static_cast<std::int32_t>(lines) * static_cast<std::int32_t>(kLineHeight);
    setHeight(control, static_cast<float>(twips));
}

void PlaceBelow(QWidget *reference, QWidget *target, bool largeGap)
{
    if (!reference || !target)
        return;
    SetTopTwips(target,
                TopTwips(reference) + HeightTwips(reference) + (largeGap ? kLargeGap : kSmallGap));
}

void AlignBottom(QWidget *reference, QWidget *target)
{
    if (!target)
        return;
    SetTopTwips(target, BottomOf(reference) - HeightTwips(target));
}

void AlignRight(QWidget *reference, QWidget *target)
{
    if (!target)
        return;
    SetLeftTwips(target, RightOf(reference) - WidthTwips(target));
}

float BottomOf(const QWidget *control)
{
    return control ? TopTwips(control) + HeightTwips(control) : 0;
}

float RightOf(const QWidget *control)
{
    return control ? LeftTwips(control) + WidthTwips(control) : 0;
}

namespace {

// A frame or window taller than the screen is a layout fault worth reporting, but cutting it
// short would hide controls, so it gets its height all the same.
void autoSizeContainerHeight(QWidget *container, QWidget *lowest, float margin,
                             const QString &translatedProblem)
{
    if (!container)
        return;
    const float height = BottomOf(lowest) + margin;
    if (!fitsScreen(container, height))
        reportAutoSizeError(translatedProblem, container);
    setHeight(container, height);
}

} // namespace

void AutoSizeFrameHeight(QWidget *frame, QWidget *lowest)
{
    autoSizeContainerHeight(frame, lowest, kFrameBottomMargin,
                            TranslateText(QStringLiteral("Could not auto-size frame height")));
}

void AutoSizeWindowHeight(QWidget *form, QWidget *lowest)
{
    autoSizeContainerHeight(form, lowest, kWindowBottomMargin,
                            TranslateText(QStringLiteral("Could not auto-size window height")));
}

} // namespace fwb
