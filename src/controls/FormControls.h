#pragma once

#include <QFont>
#include <QString>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QWidget;

namespace fwb {

// Controls of the three windows, named as the language packs address them.

// A push button that Enter and Space press while it has the focus. It is never the default
// button: Enter elsewhere in the window does not press it by surprise.
QPushButton *MakeButton(QWidget *parent, const char *name, const QString &text);
// A label whose text starts at its top left, as the designed layouts expect.
QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text, bool bold = false);
QAction *MakeAction(QMenu *menu, const char *name, const QString &text);
QFont BoldFont(QFont font);

// What a screen reader says of a control, in the language of the pack: its name, where its
// caption is missing or is a sign ("||"), and what it is for. An empty name leaves the
// caption as the name, so that the name is what the user sees.
void SetAccessibleText(QWidget *control, const QString &englishName,
                       const QString &englishDescription);

} // namespace fwb
