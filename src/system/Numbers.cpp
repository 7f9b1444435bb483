#include "system/Numbers.h"

#include <cmath>

namespace fwb {

std::optional<qint64> RoundedWhole(double value, qint64 minimum, qint64 maximum)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double whole = std::nearbyint(value);
    if (whole < double(minimum) || whole > double(maximum))
        return std::nullopt;
    return static_cast<qint64>(whole);
}

} // namespace fwb
