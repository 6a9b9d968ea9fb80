#pragma once

#include "signin/LoopbackRedirect.h"
#include "signin/OAuth2Post.h"
#include "signin/OAuth2Provider.h"
#include "signin/OAuth2Tokens.h"

#include <QObject>
#include <QTimer>
#include <QUrl>
#include <chrono>

class QNetworkAccessManager;
class UrlOpener;

// Sign-in in the user's browser (RFC 6749 authorization code, RFC 8252 loopback redirect, RFC 7636
// PKCE with S256): the browser opens the provider's page, the provider sends it back to our
// listener on 127.0.0.1 with a code, and the code and its verifier buy the tokens. The address the
// browser gets holds the challenge, never the verifier. One sign-in per object; deleting it ends
// the sign-in quietly.
class LoopbackSignIn final : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds DefaultUserDeadline{5 * 60'000};

    LoopbackSignIn(OAuth2Client client, QNetworkAccessManager &network, UrlOpener &browser,
                   QObject *parent = nullptr);
    ~LoopbackSignIn() override;

    // How long the user has to finish in the browser.
    void setUserDeadline(std::chrono::milliseconds deadline) { m_userDeadline = deadline; }
    // How long the token endpoint has to answer.
    void setRequestDeadline(std::chrono::milliseconds deadline) { m_post.setDeadline(deadline); }

    // Listens, then opens the provider's page; loginHint (the mailbox's user name) preselects the
    // account there.
    void start(const QString &loginHint = QString());

signals:
    // The page was handed to the desktop; when it took none, the address is for the user to open.
    void browserOpened(const QUrl &address, bool desktopAccepted);
    void signedIn(const OAuth2Tokens &tokens);
    // Denied (the user said no), Expired (no answer within the deadline), Temporary or
    // Misconfigured.
    void failed(const OAuth2Failure &failure);

private:
    QUrl authorizationAddress(const QString &loginHint) const;
    void onCode(const QString &code);
    void onProviderError(const QString &error, const QString &description);
    void onAnswered(const QJsonObject &answer);
    void finish(const OAuth2Failure &failure);

    OAuth2Client m_client;
    UrlOpener &m_browser;
    LoopbackRedirect m_redirect;
    OAuth2Post m_post;
    QTimer m_userTimer;
    std::chrono::milliseconds m_userDeadline = DefaultUserDeadline;
    QString m_redirectUri; // the same in the browser's address and in the code exchange
    QByteArray m_state;
    QByteArray m_verifier;
    bool m_finished = false;
};
