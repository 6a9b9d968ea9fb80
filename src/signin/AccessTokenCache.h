#pragma once

#include "signin/OAuth2Tokens.h"

#include <QDateTime>
#include <QString>
#include <chrono>

class Clock;

// The access token, in memory only, and until when it is good. Time comes from the wall clock, so
// that a machine waking from a long sleep sees its token as expired.
class AccessTokenCache
{
public:
    explicit AccessTokenCache(const Clock &clock);
    ~AccessTokenCache();
    AccessTokenCache(const AccessTokenCache &) = delete;
    AccessTokenCache &operator=(const AccessTokenCache &) = delete;

    // Keeps the access token of tokens just received; their lifetime runs from now.
    void store(const OAuth2Tokens &tokens);
    void clear();

    // Whether there is a token still good for at least margin from now: ask before each login with
    // a margin that covers the login itself, and refresh when it says no.
    bool isGoodFor(std::chrono::seconds margin) const;
    // The token; empty when there is none.
    QString accessToken() const { return m_accessToken; }

private:
    const Clock &m_clock;
    QString m_accessToken;
    QDateTime m_expiresAt;
};
