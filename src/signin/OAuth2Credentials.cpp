#include "signin/OAuth2Credentials.h"

#include "signin/DeviceSignIn.h"
#include "signin/LoopbackSignIn.h"
#include "signin/TokenRefresh.h"
#include "wording/Wording.h"

#include <QNetworkAccessManager>

using namespace std::chrono_literals;

namespace
{
// A token that runs out during the login is no token.
constexpr std::chrono::seconds LoginMargin = 60s;
} // namespace

OAuth2Credentials::OAuth2Credentials(QNetworkAccessManager *network, UrlOpener &browser,
                                     SecretStore *store, const Clock &clock, QObject *parent)
    : QObject(parent), m_network(network), m_browser(browser), m_store(store), m_cache(clock)
{
    if (m_store)
        connect(m_store, &SecretStore::finished, this, &OAuth2Credentials::onStoreFinished);
}

QNetworkAccessManager &OAuth2Credentials::network()
{
    if (!m_network) {
        m_ownNetwork = std::make_unique<QNetworkAccessManager>();
        m_network = m_ownNetwork.get();
    }
    return *m_network;
}

OAuth2Credentials::~OAuth2Credentials() = default;

SecretKey OAuth2Credentials::key() const
{
    return SecretKey{m_server, m_user, SecretKind::OAuth2Refresh};
}

// Whatever was kept belongs to one server, user and client: other settings start afresh.
bool OAuth2Credentials::adopt(const MailboxSettings &mailbox)
{
    QString why;
    const auto client = oauth2ClientFromSettings(mailbox.oauth2, &why);
    if (!client) {
        m_client.reset();
        failAll(Wording::oauth2SettingsInvalid(why));
        return false;
    }
    const bool same = m_client && m_server == mailbox.server && m_user == mailbox.loginName &&
                      m_client->clientId == client->clientId &&
                      m_client->provider.tokenUrl == client->provider.tokenUrl;
    if (!same) {
        m_job.reset();
        m_cache.clear();
        m_refreshToken.clear();
        m_refreshTokenAsked = false;
        m_signInTried = false;
        m_server = mailbox.server;
        m_user = mailbox.loginName;
    }
    m_client = client;
    return true;
}

void OAuth2Credentials::request(const MailboxSettings &mailbox, Answer answer)
{
    m_waiting.append(std::move(answer));
    if (!adopt(mailbox))
        return;
    if (m_cache.isGoodFor(LoginMargin)) {
        const QList<Answer> waiting = std::exchange(m_waiting, {});
        for (const Answer &each : waiting)
            each(Credential{Credential::Kind::BearerToken, m_cache.accessToken()}, QString());
        return;
    }
    if (!m_job && !m_reading)
        proceed();
}

void OAuth2Credentials::refused(const MailboxSettings & /*mailbox*/)
{
    m_cache.clear();
}

void OAuth2Credentials::signInNow(const MailboxSettings &mailbox)
{
    if (!adopt(mailbox))
        return;
    m_job.reset();
    m_signInTried = true;
    signIn();
}

// The cheapest way to a token first: the refresh token (from the keyring, once), then a sign-in.
void OAuth2Credentials::proceed()
{
    if (!m_refreshTokenAsked && m_store) {
        m_refreshTokenAsked = true;
        m_reading = m_store->read(key());
        m_asked.insert(m_reading);
        return;
    }
    if (!m_refreshToken.isEmpty()) {
        refresh();
        return;
    }
    if (!m_signInTried && m_signInAllowed) {
        m_signInTried = true;
        signIn();
        return;
    }
    failAll(Wording::oauth2SignInNeeded());
}

void OAuth2Credentials::refresh()
{
    auto *job = new TokenRefresh(*m_client, network());
    m_job.reset(job);
    connect(job, &TokenRefresh::refreshed, this,
            [this](const OAuth2Tokens &tokens) { gotTokens(tokens, false); });
    connect(job, &TokenRefresh::failed, this, [this](const OAuth2Failure &failure) {
        m_job.release()->deleteLater();
        if (failure.kind != OAuth2FailureKind::InvalidGrant) {
            failAll(failure.logLine());
            return;
        }
        // The refresh token is dead: it goes, and the user is asked once to sign in again.
        m_refreshToken.clear();
        m_cache.clear();
        if (m_store)
            m_asked.insert(m_store->remove(key()));
        emit statusLine(failure.logLine());
        proceed();
    });
    job->start(m_refreshToken);
}

void OAuth2Credentials::signIn()
{
    if (m_client->flow == OAuth2Flow::Device) {
        auto *job = new DeviceSignIn(*m_client, network());
        m_job.reset(job);
        connect(job, &DeviceSignIn::codeReady, this, [this](const DeviceCode &code) {
            const QUrl address = code.verificationUriComplete.isEmpty()
                                     ? code.verificationUri
                                     : code.verificationUriComplete;
            emit statusLine(Wording::oauth2EnterDeviceCode(code.userCode, address.toString()));
            emit deviceCodeReady(code.userCode, address);
        });
        connect(job, &DeviceSignIn::signedIn, this,
                [this](const OAuth2Tokens &tokens) { gotTokens(tokens, true); });
        connect(job, &DeviceSignIn::failed, this, [this](const OAuth2Failure &failure) {
            m_job.release()->deleteLater();
            failAll(failure.logLine());
        });
        job->start();
        return;
    }
    auto *job = new LoopbackSignIn(*m_client, network(), m_browser);
    m_job.reset(job);
    connect(job, &LoopbackSignIn::browserOpened, this, [this](const QUrl &address, bool opened) {
        emit statusLine(opened ? Wording::oauth2BrowserSignInStarted()
                               : Wording::oauth2BrowserNotOpened(address.toString()));
    });
    connect(job, &LoopbackSignIn::signedIn, this,
            [this](const OAuth2Tokens &tokens) { gotTokens(tokens, true); });
    connect(job, &LoopbackSignIn::failed, this, [this](const OAuth2Failure &failure) {
        m_job.release()->deleteLater();
        failAll(failure.logLine());
    });
    job->start(m_user);
}

void OAuth2Credentials::gotTokens(const OAuth2Tokens &tokens, bool interactive)
{
    m_job.release()->deleteLater();
    m_cache.store(tokens);
    if (tokens.refreshToken != m_refreshToken)
        keep(tokens.refreshToken);
    if (interactive) {
        emit statusLine(Wording::oauth2SignedIn());
        emit signedIn();
    }
    const QList<Answer> waiting = std::exchange(m_waiting, {});
    for (const Answer &each : waiting)
        each(Credential{Credential::Kind::BearerToken, tokens.accessToken}, QString());
}

// Every new refresh token is kept: servers rotate them, and the old one then no longer works.
void OAuth2Credentials::keep(const QString &refreshToken)
{
    m_refreshToken = refreshToken;
    if (m_store && !refreshToken.isEmpty()) {
        m_asked.insert(m_store->write(key(), refreshToken));
        return;
    }
    if (!m_noKeyringTold) {
        m_noKeyringTold = true;
        emit statusLine(Wording::oauth2NoKeyring(QString()));
    }
}

void OAuth2Credentials::failAll(const QString &line)
{
    const QList<Answer> waiting = std::exchange(m_waiting, {});
    for (const Answer &each : waiting)
        each(std::nullopt, line);
}

void OAuth2Credentials::onStoreFinished(SecretStore::RequestId id, SecretStore::Request request,
                                        const SecretResult &result)
{
    if (!m_asked.remove(id))
        return;
    if (m_asked.isEmpty())
        emit keyringAnswered();
    if (result.status == SecretResult::Status::Problem && !m_noKeyringTold &&
        (request != SecretStore::Request::Read || id == m_reading)) {
        m_noKeyringTold = true;
        emit statusLine(secretProblemLine(result.problem, result.reason));
        emit statusLine(Wording::oauth2NoKeyring(result.reason));
    }
    if (request != SecretStore::Request::Read || id != m_reading)
        return;
    m_reading = 0;
    if (result.status == SecretResult::Status::Found)
        m_refreshToken = result.value;
    if (!m_waiting.isEmpty() && !m_job)
        proceed();
}
