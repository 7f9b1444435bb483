#pragma once

#include <QStringView>

namespace fwb {

// '*' and '?' as the Windows directory search reads them, without regard to letter case.
// Each '*' backtracks only to the latest one, so a pattern full of stars stays quick.
bool WildcardMatch(QStringView pattern, QStringView name);

} // namespace fwb
