#pragma once

#include <functional>

namespace fwb {

// Runs `work` on a thread of its own while the calling thread goes on handling its events, and
// returns when the work is done: for waits on files and on the data-access engine, which may
// take long, at points where the program lets events run anyway. Without an application object
// (a command-line tool) the work simply runs. When the application is told to quit meanwhile,
// the events stop and the rest of the work is waited for.
void RunWhileEventsRun(const std::function<void()> &work);

} // namespace fwb
