#pragma once

#include <QFont>

namespace fwb {

// The type the Agent's windows are set in. Their layouts were drawn in twips around an
// 8-point Windows dialog font; a compact sans of that size (Liberation Sans, metric twin of
// Arial) keeps them close to that, and the caption auto-sizing copes with the difference.
QFont DialogFont();
// Makes it the program's type; run once the application exists.
void UseDialogFont();

} // namespace fwb
