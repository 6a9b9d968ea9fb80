#pragma once

#include <QString>
#include <QStringView>

class Prompt;

// What the interval text of txtMinutes is worth.
enum class IntervalClass {
    EmptyOrZero, // "" or a number equal to zero: reset to "15" first, then say so
    Refused,     // not a number, or below 0 or above 99: say so first, then reset to "15"
    Accepted,    // 0 < number <= 99, fractions allowed
};

IntervalClass classifyInterval(QStringView text);

// The parts of the main window that the interval validation reads and writes. Setting the text
// is a change like a user's: a real view runs txtMinutes_Change again from inside setMinutesText.
class IntervalView
{
public:
    virtual ~IntervalView() = default;
    virtual QString minutesText() const = 0;              // txtMinutes
    virtual void setMinutesText(const QString &text) = 0; // txtMinutes, fires its change
    // Rewrites Settings.inf; on failure it has told the user in txtStatus and returns false.
    virtual bool SaveSettings() = 0;
};

// The change handler of txtMinutes: validates the text, resets a refused one to "15" with its
// message, and saves in every case.
void txtMinutes_Change(IntervalView &view, Prompt &prompt);
