#pragma once

#include <QStringList>

namespace fwb {

// What the count-down dialog decided, and whether it is open. Program-wide.
struct DecisionState
{
    bool BalloonOpen = false; // true while the count-down dialog is loaded
    int BalloonResult = 0;    // 0 cancelled, 1 cancelled and show the Agent, 2 launch
    QStringList SetsToLaunch;
};

DecisionState &decision();

} // namespace fwb
