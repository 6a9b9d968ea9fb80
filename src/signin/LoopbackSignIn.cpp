#include "signin/LoopbackSignIn.h"

#include "platform/UrlOpener.h"
#include "signin/Pkce.h"

#include <QJsonObject>

using namespace Qt::StringLiterals;

LoopbackSignIn::LoopbackSignIn(OAuth2Client client, QNetworkAccessManager &network,
                               UrlOpener &browser, QObject *parent)
    : QObject(parent), m_client(std::move(client)), m_browser(browser), m_post(network)
{
    m_userTimer.setSingleShot(true);
    connect(&m_userTimer, &QTimer::timeout, this, [this] {
        finish({OAuth2FailureKind::Expired, QString(),
                u"the browser did not come back within %1 min"_s.arg(
                    std::chrono::ceil<std::chrono::minutes>(m_userDeadline).count())});
    });
    connect(&m_redirect, &LoopbackRedirect::codeArrived, this, &LoopbackSignIn::onCode);
    connect(&m_redirect, &LoopbackRedirect::errorArrived, this, &LoopbackSignIn::onProviderError);
    connect(&m_post, &OAuth2Post::answered, this, &LoopbackSignIn::onAnswered);
    connect(&m_post, &OAuth2Post::failed, this, &LoopbackSignIn::finish);
}

LoopbackSignIn::~LoopbackSignIn() = default;

void LoopbackSignIn::start(const QString &loginHint)
{
    m_state = Pkce::newState();
    m_verifier = Pkce::newVerifier();
    QString why;
    if (!m_redirect.listen(m_state, &why)) {
        // Told from the event loop, as every other outcome is.
        QMetaObject::invokeMethod(
            this,
            [this, why] {
                finish({OAuth2FailureKind::Temporary, QString(), why});
            },
            Qt::QueuedConnection);
        return;
    }
    m_redirectUri = m_redirect.redirectUri();
    m_userTimer.start(m_userDeadline);
    const QUrl address = authorizationAddress(loginHint);
    const bool accepted = m_browser.open(address.toString(QUrl::FullyEncoded));
    emit browserOpened(address, accepted);
}

QUrl LoopbackSignIn::authorizationAddress(const QString &loginHint) const
{
    OAuth2Form query{{u"response_type"_s, u"code"_s},
                     {u"client_id"_s, m_client.clientId},
                     {u"redirect_uri"_s, m_redirectUri},
                     {u"scope"_s, m_client.provider.scope},
                     {u"state"_s, QString::fromLatin1(m_state)},
                     {u"code_challenge"_s, QString::fromLatin1(Pkce::challenge(m_verifier))},
                     {u"code_challenge_method"_s, u"S256"_s}};
    if (!loginHint.isEmpty())
        query.append({u"login_hint"_s, loginHint});
    QUrl address = m_client.provider.authorizationUrl;
    QByteArray encoded = address.query(QUrl::FullyEncoded).toLatin1();
    if (!encoded.isEmpty())
        encoded += '&';
    address.setQuery(QString::fromLatin1(encoded + OAuth2Post::encode(query)), QUrl::StrictMode);
    return address;
}

void LoopbackSignIn::onCode(const QString &code)
{
    m_userTimer.stop();
    m_redirect.close();
    OAuth2Form form{{u"grant_type"_s, u"authorization_code"_s},
                    {u"code"_s, code},
                    {u"redirect_uri"_s, m_redirectUri},
                    {u"client_id"_s, m_client.clientId},
                    {u"code_verifier"_s, QString::fromLatin1(m_verifier)}};
    if (!m_client.clientSecret.isEmpty())
        form.append({u"client_secret"_s, m_client.clientSecret});
    m_post.post(m_client.provider.tokenUrl, form);
}

void LoopbackSignIn::onProviderError(const QString &error, const QString &description)
{
    // The same codes as the token endpoint's, read the same way (access_denied: the user said no).
    finish(OAuth2Answers::failureFrom(
        400, QJsonObject{{u"error"_s, error}, {u"error_description"_s, description}}));
}

void LoopbackSignIn::onAnswered(const QJsonObject &answer)
{
    QString why;
    const std::optional<OAuth2Tokens> tokens = OAuth2Answers::tokensFrom(answer, QString(), &why);
    if (!tokens)
        return finish({OAuth2FailureKind::Misconfigured, QString(), why});
    if (m_finished)
        return;
    m_finished = true;
    m_userTimer.stop();
    m_redirect.close();
    emit signedIn(*tokens);
}

void LoopbackSignIn::finish(const OAuth2Failure &failure)
{
    if (m_finished)
        return;
    m_finished = true;
    m_userTimer.stop();
    m_redirect.close();
    emit failed(failure);
}
