#pragma once

#include <QtGlobal>

namespace fwb::jet {

// The longest text or memo value, in UTF-16 code units, that the writer stores and the engine
// reads back; the engine fails a request that meets a longer one rather than return it cut.
// Access itself takes this much typed into a memo, far more than a trigger list or a
// translation needs.
constexpr qsizetype kMaxTextLength = 65535;

} // namespace fwb::jet
