#include "controls/DialogFont.h"

#include <QApplication>
#include <QStringList>

namespace fwb {

QFont DialogFont()
{
    QFont font;
    // Where Liberation Sans is missing, its metric twin Arimo, then the condensed DejaVu
    // (installed almost everywhere) keep the texts nearly as narrow.
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

} // namespace fwb

namespace fwb {

void UseDialogFont()
{
    QApplication::setFont(DialogFont());
}

} // namespace fwb
