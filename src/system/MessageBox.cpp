#include "system/MessageBox.h"

#include "platform/Platform.h"

namespace fwb {

void ShowMessageBox(const QString &text, const QString &title, BoxIcon icon)
{
    if (MessageBoxes *boxes = platform().messageBoxes)
        boxes->show(text, title, icon);
}

} // namespace fwb
