#pragma once

#include "jet/engine/OpenDatabases.h"

#include <QByteArray>

namespace fwb::jet::engine {

// Carries out one request payload and returns the answer payload. Every failure the engine
// can notice itself (a file that cannot be opened, an unknown table or column, memory running
// out) becomes a failed answer; with `testHooks`, Stall requests are honoured.
QByteArray answerRequest(const QByteArray &payload, OpenDatabases &databases, bool testHooks);

} // namespace fwb::jet::engine
