#pragma once

#include "signin/AccessTokenCache.h"
#include "signin/CredentialSource.h"
#include "signin/OAuth2Provider.h"
#include "signin/OAuth2Tokens.h"
#include "signin/SecretStore.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>
#include <memory>

class Clock;
class QNetworkAccessManager;
class UrlOpener;
class TokenRefresh;

// The credential of a mailbox that signs in with OAuth2: an access token, held in memory and
// refreshed before it runs out, bought with the refresh token that the keyring keeps (in memory
// only where there is no keyring: the next start then signs in again, and says so). When no token
// can be had, it signs in by itself, in the browser or with a device code, once a run: a periodic
// check never opens a second browser window. A sign-in the user asks for always goes ahead.
class OAuth2Credentials final : public QObject, public CredentialSource
{
    Q_OBJECT

public:
    // `store` null: no keyring. `network` null: one is made when a token is first needed, so
    // that a password login never pays for it (about 1 MB resident).
    OAuth2Credentials(QNetworkAccessManager *network, UrlOpener &browser, SecretStore *store,
                      const Clock &clock, QObject *parent = nullptr);
    ~OAuth2Credentials() override;

    void request(const MailboxSettings &mailbox, Answer answer) override;
    // The mail server refused the token: the next login asks for a fresh one.
    void refused(const MailboxSettings &mailbox) override;
    // The user asked to sign in now.
    void signInNow(const MailboxSettings &mailbox);
    // Where no one can finish a sign-in (a check from the command line), none is started: a
    // token must come from the refresh token kept.
    void setSignInAllowed(bool allowed) { m_signInAllowed = allowed; }
    // A request to the keyring is unanswered: a refresh token the last refresh rotated may not be
    // kept yet, and the old one no longer works. A program that ends waits for keyringAnswered.
    bool keyringBusy() const { return !m_asked.isEmpty(); }

signals:
    void statusLine(const QString &line);
    // The device flow's code and page, for a box the user reads.
    void deviceCodeReady(const QString &userCode, const QUrl &address);
    // A sign-in has ended well, e.g. to tell the user who asked for it.
    void signedIn();
    // Every request to the keyring has its answer.
    void keyringAnswered();

private:
    bool adopt(const MailboxSettings &mailbox);
    void proceed();
    void refresh();
    void signIn();
    void gotTokens(const OAuth2Tokens &tokens, bool interactive);
    void failAll(const QString &line);
    void keep(const QString &refreshToken);
    void onStoreFinished(SecretStore::RequestId id, SecretStore::Request request,
                         const SecretResult &result);
    SecretKey key() const;
    QNetworkAccessManager &network();

    QNetworkAccessManager *m_network;
    std::unique_ptr<QNetworkAccessManager> m_ownNetwork;
    UrlOpener &m_browser;
    SecretStore *m_store;
    AccessTokenCache m_cache;
    std::optional<OAuth2Client> m_client;
    QString m_server;
    QString m_user;
    QString m_refreshToken;
    bool m_refreshTokenAsked = false;
    bool m_signInTried = false;
    bool m_signInAllowed = true;
    bool m_noKeyringTold = false;
    SecretStore::RequestId m_reading = 0;
    // The store is shared (the remembered password uses it too): only our own answers count.
    QSet<SecretStore::RequestId> m_asked;
    QList<Answer> m_waiting;
    std::unique_ptr<QObject> m_job; // the refresh or the sign-in under way
};
