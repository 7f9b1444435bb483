#include "controls/FormControls.h"

#include "language/Translate.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

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
