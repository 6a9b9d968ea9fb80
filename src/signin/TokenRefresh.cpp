#include "signin/TokenRefresh.h"

using namespace Qt::StringLiterals;

TokenRefresh::TokenRefresh(OAuth2Client client, QNetworkAccessManager &network, QObject *parent)
    : QObject(parent), m_client(std::move(client)), m_post(network)
{
    connect(&m_post, &OAuth2Post::answered, this, &TokenRefresh::onAnswered);
    connect(&m_post, &OAuth2Post::failed, this, &TokenRefresh::failed);
}

void TokenRefresh::start(const QString &refreshToken)
{
    m_refreshToken = refreshToken;
    OAuth2Form form{{u"grant_type"_s, u"refresh_token"_s},
                    {u"refresh_token"_s, refreshToken},
                    {u"client_id"_s, m_client.clientId},
                    {u"scope"_s, m_client.provider.scope}};
    if (!m_client.clientSecret.isEmpty())
        form.append({u"client_secret"_s, m_client.clientSecret});
    m_post.post(m_client.provider.tokenUrl, form);
}

void TokenRefresh::onAnswered(const QJsonObject &answer)
{
    QString why;
    if (const std::optional<OAuth2Tokens> tokens =
            OAuth2Answers::tokensFrom(answer, m_refreshToken, &why))
        emit refreshed(*tokens);
    else
        emit failed({OAuth2FailureKind::Misconfigured, QString(), why});
}
