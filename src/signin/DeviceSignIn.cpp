#include "signin/DeviceSignIn.h"

#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace
{

constexpr qsizetype LongestDeviceCode = 4096;
constexpr qsizetype LongestUserCode = 64;

// Pages shown to the user, which the program may also open: https only.
QUrl httpsPage(const QJsonValue &value)
{
    const QUrl url(value.toString(), QUrl::StrictMode);
    return url.isValid() && url.scheme() == u"https"_s && !url.host().isEmpty() ? url : QUrl();
}

bool visibleAscii(const QString &text, qsizetype longest)
{
    return !text.isEmpty() && text.size() <= longest &&
           std::all_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7f; });
}

// The user code is shown and typed: short, nothing that could break a line or a message box.
bool shownCode(const QString &text)
{
    return !text.trimmed().isEmpty() && text.size() <= LongestUserCode &&
           std::none_of(text.cbegin(), text.cend(),
                        [](QChar c) { return c.category() == QChar::Other_Control; });
}

std::chrono::seconds secondsIn(const QJsonValue &value, std::chrono::seconds fallback,
                               std::chrono::seconds lowest, std::chrono::seconds highest)
{
    if (!value.isDouble() || !(value.toDouble() >= 0))
        return fallback;
    const auto given = std::chrono::seconds(static_cast<qint64>(std::min(value.toDouble(), 1e9)));
    return std::clamp(given, lowest, highest);
}

} // namespace

DeviceSignIn::DeviceSignIn(OAuth2Client client, QNetworkAccessManager &network, QObject *parent)
    : QObject(parent), m_client(std::move(client)), m_post(network)
{
    m_pollTimer.setSingleShot(true);
    m_lifetimeTimer.setSingleShot(true);
    connect(&m_pollTimer, &QTimer::timeout, this, &DeviceSignIn::poll);
    connect(&m_lifetimeTimer, &QTimer::timeout, this, [this] {
        finish(
            {OAuth2FailureKind::Expired, QString(), u"the code was not used before it expired"_s});
    });
    connect(&m_post, &OAuth2Post::answered, this, &DeviceSignIn::onAnswered);
    connect(&m_post, &OAuth2Post::failed, this, &DeviceSignIn::onFailed);
}

DeviceSignIn::~DeviceSignIn() = default;

void DeviceSignIn::start()
{
    m_phase = Phase::AskingForCode;
    OAuth2Form form{{u"client_id"_s, m_client.clientId}, {u"scope"_s, m_client.provider.scope}};
    if (!m_client.clientSecret.isEmpty())
        form.append({u"client_secret"_s, m_client.clientSecret});
    m_post.post(m_client.provider.deviceAuthorizationUrl, form);
}

void DeviceSignIn::onAnswered(const QJsonObject &answer)
{
    if (m_phase == Phase::AskingForCode)
        return takeDeviceCode(answer);
    if (m_phase != Phase::Polling)
        return;
    QString why;
    const std::optional<OAuth2Tokens> tokens = OAuth2Answers::tokensFrom(answer, QString(), &why);
    if (!tokens)
        return finish({OAuth2FailureKind::Misconfigured, QString(), why});
    m_phase = Phase::Finished;
    m_pollTimer.stop();
    m_lifetimeTimer.stop();
    emit signedIn(*tokens);
}

void DeviceSignIn::takeDeviceCode(const QJsonObject &answer)
{
    DeviceCode code;
    m_deviceCode = answer.value(u"device_code"_s).toString();
    code.userCode = answer.value(u"user_code"_s).toString();
    // Google names it verification_url.
    code.verificationUri =
        httpsPage(answer.contains(u"verification_uri"_s) ? answer.value(u"verification_uri"_s)
                                                         : answer.value(u"verification_url"_s));
    code.verificationUriComplete = httpsPage(answer.value(u"verification_uri_complete"_s));
    if (!visibleAscii(m_deviceCode, LongestDeviceCode) || !shownCode(code.userCode) ||
        code.verificationUri.isEmpty())
        return finish({OAuth2FailureKind::Misconfigured, QString(),
                       u"the device answer lacks a device_code, a user_code or an https "
                       "verification_uri"_s});
    code.expiresIn = secondsIn(answer.value(u"expires_in"_s), std::chrono::seconds(600),
                               std::chrono::seconds(1), LongestLifetime);
    m_interval =
        secondsIn(answer.value(u"interval"_s), DefaultInterval, ShortestInterval, LongestInterval);
    m_phase = Phase::Polling;
    m_lifetimeTimer.start(code.expiresIn);
    m_pollTimer.start(m_interval);
    emit codeReady(code);
}

void DeviceSignIn::poll()
{
    OAuth2Form form{{u"grant_type"_s, u"urn:ietf:params:oauth:grant-type:device_code"_s},
                    {u"device_code"_s, m_deviceCode},
                    {u"client_id"_s, m_client.clientId}};
    if (!m_client.clientSecret.isEmpty())
        form.append({u"client_secret"_s, m_client.clientSecret});
    m_post.post(m_client.provider.tokenUrl, form);
}

void DeviceSignIn::onFailed(const OAuth2Failure &failure)
{
    if (m_phase != Phase::Polling)
        return finish(failure);
    if (failure.error == u"authorization_pending"_s) {
        m_pollTimer.start(m_interval);
    } else if (failure.error == u"slow_down"_s) {
        m_interval = std::min(m_interval + SlowDownStep, LongestInterval);
        m_pollTimer.start(m_interval);
    } else if (failure.kind == OAuth2FailureKind::Temporary) {
        // No answer, or a server in trouble: back off (RFC 8628 section 3.5) while the code lives.
        m_interval = std::min(m_interval * 2, LongestInterval);
        m_pollTimer.start(m_interval);
    } else {
        finish(failure);
    }
}

void DeviceSignIn::finish(const OAuth2Failure &failure)
{
    if (m_phase == Phase::Finished)
        return;
    m_phase = Phase::Finished;
    m_pollTimer.stop();
    m_lifetimeTimer.stop();
    emit failed(failure);
}
