#pragma once

#include <QDateTime>

namespace fwb {

// The time and the waits of the program, asked of one replaceable clock. The product keeps this
// real one; tests install a clock that moves on at once, so nothing in them waits on the wall.
class Clock
{
public:
    virtual ~Clock() = default;

    virtual QDateTime currentDateTime() const;
    virtual qint64 currentMSecsSinceEpoch() const;
    // Lets events run until the clock reads `endMs`.
    virtual void runEventsUntil(qint64 endMs);

    // The clock installed in the program state (program/ProgramState.h).
    static Clock &instance();
    // Installs `clock` (not owned); null puts the real clock back.
    static void setInstance(Clock *clock);
};

} // namespace fwb
