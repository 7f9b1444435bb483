#pragma once

#include "platform/MessageBoxes.h"

namespace fwb {

// Every message box of the program goes through here, so tests can record them.
void ShowMessageBox(const QString &text, const QString &title, BoxIcon icon);

} // namespace fwb
