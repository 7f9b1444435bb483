#pragma once

namespace fwb::jet::engine {

// Readies this process to serve requests: memory and core-dump limits, an end together with
// the program that started it, and libmdb's text settings. Moves standard output out of
// libmdb's reach (whatever it prints goes to stderr) and returns the descriptor answers are
// written to, or -1 when that fails.
int prepareEngineProcess();

} // namespace fwb::jet::engine
