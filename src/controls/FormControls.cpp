#include "controls/FormControls.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace fwb {

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &text)
{
    auto *button = new QPushButton(text, parent);
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
