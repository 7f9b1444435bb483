#include "controls/FormControls.h"

#include "language/Translate.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace fwb {
namespace {

// Enter presses the button that has the focus, in every window and whether or not the window
// has a default button, as Space does. Qt leaves Enter to the dialog's default button unless
// the focused one is an auto-default button, and auto-default buttons make the first of them
// the default when the window has none.
class PushButton : public QPushButton
{
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
            modifiers == Qt::NoModifier) {
            click();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

} // namespace

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &text)
{
    auto *button = new PushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, bool bold)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (bold)
        label->setFont(BoldFont());
    return label;
}

void SetAccessibleText(QWidget *control, const QString &englishName,
                       const QString &englishDescription)
{
    if (!englishName.isEmpty())
        control->setAccessibleName(TranslateText(englishName));
    control->setAccessibleDescription(TranslateText(englishDescription));
}

QAction *MakeAction(QMenu *menu, const char *name, const QString &text)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(QLatin1String(name));
    return action;
}

QFont BoldFont()
{
    QFont font;
    font.setResolveMask(0);
    font.setBold(true);
    return font;
}

QSize ButtonTextSize(const QPushButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.rect = button->rect();
    const QRect contents =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
    // The style's focus frame and a little air either side of the caption.
    constexpr int kAir = 4;
    return text + QSize(button->width() - contents.width() + 2 * kAir,
                        button->height() - contents.height() + kAir);
}

void GrowToText(QWidget *control)
{
    const int needed = control->hasHeightForWidth() ? control->heightForWidth(control->width())
                                                    : control->sizeHint().height();
    if (needed > control->height())
        control->resize(control->width(), needed);
}

void GrowButtonToText(QPushButton *button)
{
    button->resize(button->size().expandedTo(ButtonTextSize(button)));
}

} // namespace fwb
