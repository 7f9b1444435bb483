#include "controls/FormControls.h"

#include "language/Translate.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

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
        label->setFont(BoldFont(label->font()));
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

QFont BoldFont(QFont font)
{
    font.setBold(true);
    return font;
}

} // namespace fwb
