#pragma once

#include "signin/OAuth2Post.h"
#include "signin/OAuth2Provider.h"
#include "signin/OAuth2Tokens.h"

#include <QObject>
#include <QTimer>
#include <QUrl>
#include <chrono>

class QNetworkAccessManager;

// What the user is shown in the device flow.
struct DeviceCode {
    QString userCode;
    QUrl verificationUri;
    // The same page with the code filled in, when the provider offers one.
    QUrl verificationUriComplete;
    std::chrono::seconds expiresIn{0};
};

// Sign-in by a code typed on the provider's page (RFC 8628): asks for a device code, hands the
// user code and the page to the program, then polls the token endpoint at the interval the
// provider set, slower after slow_down, until the user has signed in, said no, or the code
// expired. One sign-in per object; deleting it ends the sign-in quietly.
class DeviceSignIn final : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::seconds DefaultInterval{5};
    static constexpr std::chrono::seconds SlowDownStep{5};
    // Bounds on what a provider may ask: never a tight loop, never an endless wait.
    static constexpr std::chrono::seconds ShortestInterval{1};
    static constexpr std::chrono::seconds LongestInterval{120};
    static constexpr std::chrono::seconds LongestLifetime{30 * 60};

    DeviceSignIn(OAuth2Client client, QNetworkAccessManager &network, QObject *parent = nullptr);
    ~DeviceSignIn() override;

    // How long each request may take.
    void setRequestDeadline(std::chrono::milliseconds deadline) { m_post.setDeadline(deadline); }
    void start();
    // The wait between two polls now.
    std::chrono::seconds pollInterval() const { return m_interval; }

signals:
    // Show this to the user: the code and where to type it.
    void codeReady(const DeviceCode &code);
    void signedIn(const OAuth2Tokens &tokens);
    // Denied (access_denied), Expired (expired_token, or the code's lifetime ran out), Temporary
    // (the device request got no answer) or Misconfigured.
    void failed(const OAuth2Failure &failure);

private:
    enum class Phase { Idle, AskingForCode, Polling, Finished };

    void onAnswered(const QJsonObject &answer);
    void onFailed(const OAuth2Failure &failure);
    void takeDeviceCode(const QJsonObject &answer);
    void poll();
    void finish(const OAuth2Failure &failure);

    OAuth2Client m_client;
    OAuth2Post m_post;
    QTimer m_pollTimer;
    QTimer m_lifetimeTimer;
    Phase m_phase = Phase::Idle;
    QString m_deviceCode;
    std::chrono::seconds m_interval = DefaultInterval;
};
