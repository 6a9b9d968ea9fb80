#pragma once

#include <QString>

// The minute counting of the periodic check. One call is one tick of the one-second timer:
// the schedule is measured in ticks delivered, not in clock time.
class MinuteCounter
{
public:
    // Counts one tick. Returns true when a check is due; the caller then runs the check and
    // calls checkStarted(). `everyState` is the state of the periodic-check box (1 ticked),
    // `minutesText` the interval box as the user left it.
    bool tick(int everyState, const QString &minutesText);
    void checkStarted() { MinutesCount = 0; }

    qint32 SecondsCount = 0;
    qint32 MinutesCount = 0;
};
