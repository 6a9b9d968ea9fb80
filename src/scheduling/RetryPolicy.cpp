#include "scheduling/RetryPolicy.h"

#include "mailcheck/CheckOutcome.h"
#include "wording/Wording.h"

#include <algorithm>

using namespace Qt::StringLiterals;

RetryPolicy::Tick RetryPolicy::tick(bool periodicOn, bool periodicDue)
{
    m_periodicOn = periodicOn;
    // Counted no further than any wait it is compared with.
    if (m_sinceLogin && *m_sinceLogin < LongestLoginDelay)
        ++*m_sinceLogin;
    if (m_waiting)
        --*m_waiting;
    Tick result;
    if (m_stopped)
        return result;
    if (periodicDue) {
        const int left = loginDelayLeft();
        if (left > 0 && m_loginDelayTold != m_loginDelay) {
            result.logLine = Wording::loginDelayHonoured(*m_loginDelay);
            m_loginDelayTold = m_loginDelay;
        }
        checkWithin(left);
    }
    if (m_waiting && *m_waiting <= 0) {
        m_waiting.reset();
        result.checkNow = true;
    }
    return result;
}

std::optional<QString> RetryPolicy::checkEnded(CheckOutcome outcome, const QString &reason)
{
    switch (outcome) {
    case CheckOutcome::NewMail:
    case CheckOutcome::NoNewMail:
        m_backoffStep = 0;
        m_refusalsInRow = 0;
        m_sinceLogin = 0;
        return std::nullopt;
    case CheckOutcome::LoginRefused:
        // The server answered: the connection is fine, and trying again soon only brings a lock
        // nearer. The next timed check is the second try.
        m_backoffStep = 0;
        if (++m_refusalsInRow < 2)
            return std::nullopt;
        m_stopped = true;
        m_waiting.reset();
        return Wording::stoppedAfterRefusals(reason);
    case CheckOutcome::Failed:
        // A refused certificate or a broken protocol is the same a few seconds later; the next
        // timed check tries again.
        return std::nullopt;
    case CheckOutcome::Unreachable:
        // A check that was under way when the logins were stopped stays stopped.
        if (m_stopped)
            return std::nullopt;
        if (m_backoffStep >= Backoff.size()) {
            if (m_periodicOn)
                return Wording::retriesUsedUp();
            return std::nullopt;
        }
        checkWithin(std::max(Backoff[m_backoffStep++], loginDelayLeft()));
        return Wording::retryingIn(*m_waiting);
    }
    return std::nullopt;
}

void RetryPolicy::resumed()
{
    if (!m_periodicOn || m_stopped)
        return;
    // The time asleep counts towards a LOGIN-DELAY; the check just after counts as the first
    // try of a fresh backoff, since the network is often not back yet.
    m_sinceLogin.reset();
    m_backoffStep = 1;
    checkWithin(AfterWake);
}

void RetryPolicy::networkReturned()
{
    if (!m_periodicOn || m_stopped)
        return;
    int wait = std::max(AfterWake, loginDelayLeft());
    if (m_sinceLogin)
        wait = std::max(wait, NetworkSpacing - *m_sinceLogin);
    // A network that keeps coming and going moves the next try nearer, but never starts the
    // backoff over.
    m_backoffStep = std::max<std::size_t>(m_backoffStep, 1);
    checkWithin(wait);
}

void RetryPolicy::loginChanged()
{
    m_stopped = false;
    m_refusalsInRow = 0;
}

void RetryPolicy::manualCheck()
{
    // The refusals still count: one more refused login stops the checks again at once.
    m_stopped = false;
    m_waiting.reset();
}

void RetryPolicy::setLoginDelay(std::optional<int> seconds)
{
    if (seconds && *seconds > 0)
        m_loginDelay = std::min(*seconds, LongestLoginDelay);
    else
        m_loginDelay.reset();
}

int RetryPolicy::loginDelayLeft() const
{
    if (!m_loginDelay || !m_sinceLogin)
        return 0;
    return std::max(0, *m_loginDelay - *m_sinceLogin);
}

void RetryPolicy::checkWithin(int seconds)
{
    m_waiting = m_waiting ? std::min(*m_waiting, seconds) : seconds;
}

std::optional<int> loginDelayFromCapabilities(const QStringList &capabilities)
{
    // "LOGIN-DELAY 900", or "LOGIN-DELAY 900 USER" before the login when it differs per user.
    for (const QString &line : capabilities) {
        const QStringList words = line.simplified().split(u' ');
        if (words.size() < 2 || words[0].compare(u"LOGIN-DELAY"_s, Qt::CaseInsensitive) != 0)
            continue;
        bool ok = false;
        const qulonglong seconds = words[1].toULongLong(&ok);
        if (!ok || seconds == 0)
            return std::nullopt;
        return static_cast<int>(
            std::min(seconds, static_cast<qulonglong>(RetryPolicy::LongestLoginDelay)));
    }
    return std::nullopt;
}
