#pragma once

#include "signin/OAuth2Post.h"
#include "signin/OAuth2Provider.h"
#include "signin/OAuth2Tokens.h"

#include <QObject>

class QNetworkAccessManager;

// The refresh grant (RFC 6749 section 6): a fresh access token for a stored refresh token, without
// the user. The answer's refresh token is the one to keep from now on (servers may rotate it).
class TokenRefresh final : public QObject
{
    Q_OBJECT

public:
    TokenRefresh(OAuth2Client client, QNetworkAccessManager &network, QObject *parent = nullptr);

    void setDeadline(std::chrono::milliseconds deadline) { m_post.setDeadline(deadline); }
    // One refresh under way is abandoned for the new one.
    void start(const QString &refreshToken);
    bool isBusy() const { return m_post.isBusy(); }

signals:
    void refreshed(const OAuth2Tokens &tokens);
    // InvalidGrant: the refresh token is dead; drop it and sign in again.
    void failed(const OAuth2Failure &failure);

private:
    void onAnswered(const QJsonObject &answer);

    OAuth2Client m_client;
    OAuth2Post m_post;
    QString m_refreshToken;
};
