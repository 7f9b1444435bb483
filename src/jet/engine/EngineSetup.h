#pragma once

namespace fwb::jet::engine {

// Readies this process to serve requests: memory and core-dump limits, the processor-time
// alarm, and libmdb's text settings. The engine ends together with the program that started
// it through its requests: their end (of file) closes when that program goes, however it goes.
// Moves standard output out of libmdb's reach (whatever it prints goes to stderr) and returns the
// descriptor answers are written to, or -1 when that fails.
int prepareEngineProcess();

} // namespace fwb::jet::engine
