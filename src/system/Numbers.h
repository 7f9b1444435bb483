#pragma once

#include <QtGlobal>
#include <optional>

namespace fwb {

// The whole number nearest to `value`, a half going to the even neighbour as the backup
// program's own conversions round; nothing when that lies outside [minimum, maximum] or
// `value` is not finite.
std::optional<qint64> RoundedWhole(double value, qint64 minimum, qint64 maximum);

} // namespace fwb
