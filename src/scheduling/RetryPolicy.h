#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstddef>
#include <optional>

enum class CheckOutcome;

// When to check besides the minute counter, and when to stop: a lost connection is tried again
// after a few seconds, then less and less often; a resume or a returning network brings a check
// within seconds; two refused logins in a row stop every automatic check, since providers lock
// accounts that keep trying; a server's LOGIN-DELAY keeps automatic checks apart. Driven by the
// one-second timer: one tick() is one second, so it needs no timer of its own and a test plays
// hours in a loop.
class RetryPolicy
{
public:
    // After a failed check, the waits before each new try; the try after the last one is the
    // interval's.
    static constexpr std::array<int, 4> Backoff{5, 15, 30, 60};
    // A resume or a returning network: a check this many seconds later, once the network has
    // had a moment to settle.
    static constexpr int AfterWake = 5;
    // A network that comes back within this of a good login waits for it: a link that flaps must
    // not drive a login every few seconds (some hosts refuse more than one a minute).
    static constexpr int NetworkSpacing = 60;
    // The longest LOGIN-DELAY honoured: the longest interval a user can set (99 minutes), so
    // that a server's slip cannot silence the checks for days.
    static constexpr int LongestLoginDelay = 99 * 60;

    struct Tick {
        bool checkNow = false;          // start a check (cmdCheckNow_Click)
        std::optional<QString> logLine; // a line for the status log
    };

    // One second of the timer. `periodicOn`: the every-N-minutes box is ticked; `periodicDue`:
    // the minute counter says a timed check is due.
    Tick tick(bool periodicOn, bool periodicDue);
    // How the check under way ended (the watcher's finished signal); returns a line for the
    // status log, if there is one to add.
    std::optional<QString> checkEnded(CheckOutcome outcome, const QString &reason);
    // The machine is back from a suspend, or the network is back. Only while periodic checks are
    // on: the user who turned them off checks by hand.
    void resumed();
    void networkReturned();
    // The user name, the password or the server changed: what was refused may now be accepted.
    void loginChanged();
    // The user asked for a check: it lifts a stop, and any check waiting is that one. Call it
    // before the check starts.
    void manualCheck();
    // What the server's CAPA asked for, in seconds (see loginDelayFromCapabilities).
    void setLoginDelay(std::optional<int> seconds);

    // After two refused logins: no automatic check until loginChanged() or manualCheck().
    bool stopped() const { return m_stopped; }

private:
    // Seconds still to wait since the last good login before an automatic check.
    int loginDelayLeft() const;
    void checkWithin(int seconds);

    std::optional<int> m_waiting;  // seconds until the next check the policy starts
    std::size_t m_backoffStep = 0; // tries of the backoff used since the last good check
    int m_refusalsInRow = 0;       // refused logins since the last good one
    bool m_stopped = false;
    bool m_periodicOn = false;
    std::optional<int> m_sinceLogin; // seconds since the last good check ended; none: long ago
    std::optional<int> m_loginDelay;
    std::optional<int> m_loginDelayTold; // the delay the log has been told of
};

// The LOGIN-DELAY a POP3 server's CAPA lines announce (RFC 2449), in seconds, at most
// RetryPolicy::LongestLoginDelay; none when absent, zero or not a number.
std::optional<int> loginDelayFromCapabilities(const QStringList &capabilities);
