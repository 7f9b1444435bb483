#pragma once

#include <QStringList>
#include <cstdint>

namespace fwb {

// How the count-down dialog was closed, stored as these numbers.
enum class BalloonOutcome : std::uint8_t { Cancel = 0, CancelAndShowAgent = 1, Launch = 2 };

// What the count-down dialog decided, and whether it is open. Program-wide.
struct DecisionState
{
    bool BalloonOpen = false; // true while the count-down dialog is loaded
    BalloonOutcome BalloonResult = BalloonOutcome::Cancel;
    QStringList SetsToLaunch;
};

DecisionState &decision(); // kept in the program state (program/ProgramState.h)

} // namespace fwb
