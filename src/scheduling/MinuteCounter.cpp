#include "scheduling/MinuteCounter.h"

#include "settings/NumberRules.h"

bool MinuteCounter::tick(int everyState, const QString &minutesText)
{
    if (everyState != 1) {
        SecondsCount = 0;
        MinutesCount = 0;
        return false;
    }
    ++SecondsCount;
    if (SecondsCount >= 60) {
        SecondsCount = 0;
        ++MinutesCount;
    }
    // An interval that is not a number, or not above zero (a refused one, while its warning is
    // still open), starts nothing and leaves the minutes as they are: "-5" would otherwise be due
    // at every tick.
    double minutes = 0;
    if (!parseNumber(minutesText, &minutes) || !(minutes > 0))
        return false;
    return minutes <= MinutesCount;
}
