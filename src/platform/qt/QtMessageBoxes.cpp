#include "platform/qt/QtMessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

namespace fwb {

void QtMessageBoxes::show(const QString &text, const QString &title, BoxIcon icon)
{
    QMessageBox box(QApplication::activeWindow());
    // A box holds up the window it speaks for, not the whole program: a count-down dialog that
    // opens while it waits must take the user's input.
    box.setWindowModality(Qt::WindowModal);
    box.setWindowTitle(title);
    // Texts carry CRLF line breaks; a lone CR would show as a stray glyph.
    box.setText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    box.setIcon(icon == BoxIcon::Information ? QMessageBox::Information
                : icon == BoxIcon::Stop      ? QMessageBox::Critical
                                             : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

} // namespace fwb
