#pragma once

#include <QFont>
#include <QSize>
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
// Bold, and otherwise the font the control inherits: a control set in it still follows a
// font the desktop changes later.
QFont BoldFont();
// The smallest size at which a push button shows its whole caption in its own font, the
// style's frame and margins included; no minimum width of the style's.
QSize ButtonTextSize(const QPushButton *button);
// Makes a control whose text wraps (a label, a wrapping option or check box) at least as tall
// as its text needs in its width, measured in its own font; it never shrinks. The layouts count
// lines of a fixed height and Qt may break a text into one line more than they count.
void GrowToText(QWidget *control);
// Makes a push button at least as large as its caption needs; it never shrinks.
void GrowButtonToText(QPushButton *button);

// What a screen reader says of a control, in the language of the pack: its name, where its
// caption is missing or is a sign ("||"), and what it is for. An empty name leaves the
// caption as the name, so that the name is what the user sees.
void SetAccessibleText(QWidget *control, const QString &englishName,
                       const QString &englishDescription);

} // namespace fwb
