#pragma once

namespace fwb {

// Lets the events that are already waiting run now, and returns once they have. The program
// works on the thread of its windows, so it does this after each monitor-log entry and before
// each step that may take a while: the entry shows at once, and the tray, the count-down and
// Quit keep answering while one drive's sets are found and started after another. Whatever
// runs meanwhile may log, decide or launch in turn, so a caller that still needs a shared
// value afterwards takes a copy first.
void LetPendingEventsRun();

} // namespace fwb
