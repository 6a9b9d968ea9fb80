#include "signin/AccessTokenCache.h"

#include "platform/Clock.h"

AccessTokenCache::AccessTokenCache(const Clock &clock) : m_clock(clock) {}

AccessTokenCache::~AccessTokenCache()
{
    clear();
}

void AccessTokenCache::store(const OAuth2Tokens &tokens)
{
    m_accessToken = tokens.accessToken;
    m_expiresAt = m_clock.now().addSecs(tokens.expiresIn.count());
}

void AccessTokenCache::clear()
{
    m_accessToken.clear();
    m_expiresAt = QDateTime();
}

bool AccessTokenCache::isGoodFor(std::chrono::seconds margin) const
{
    return !m_accessToken.isEmpty() && m_expiresAt.isValid() &&
           m_clock.now().addSecs(margin.count()) < m_expiresAt;
}
