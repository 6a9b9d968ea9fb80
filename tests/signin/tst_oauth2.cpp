// The parts of OAuth2 sign-in that need no server: PKCE, the SASL messages, the client the
// settings describe, reading token answers and their failures, and the access token's lifetime.
#include "platform/Clock.h"
#include "signin/AccessTokenCache.h"
#include "signin/OAuth2Provider.h"
#include "signin/OAuth2Tokens.h"
#include "signin/Pkce.h"
#include "signin/SaslOAuth.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(OAuth2FailureKind)
Q_DECLARE_METATYPE(OAuth2Flow)

namespace
{

class SetClock final : public Clock
{
public:
    QDateTime now() const override { return time; }
    QDateTime time = QDateTime(QDate(2026, 12, 8), QTime(9, 0), Qt::UTC);
};

} // namespace

class tst_OAuth2 : public QObject
{
    Q_OBJECT

private slots:
    void pkceChallengeAsRfc7636Shows();
    void freshVerifiersAndStates();
    void saslResponses_data();
    void saslResponses();
    void errorChallengeReplies();
    void clientFromSettings_data();
    void clientFromSettings();
    void tokenAnswers_data();
    void tokenAnswers();
    void failures_data();
    void failures();
    void accessTokenLifetime();
};

void tst_OAuth2::pkceChallengeAsRfc7636Shows()
{
    // RFC 7636, appendix B.
    QCOMPARE(Pkce::challenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
             QByteArray("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));
}

void tst_OAuth2::freshVerifiersAndStates()
{
    // The unreserved characters RFC 7636 allows a verifier, 43 to 128 of them.
    const QRegularExpression verifierSyntax(u"^[A-Za-z0-9\\-._~]{43,128}$"_s);
    const QByteArray verifier = Pkce::newVerifier();
    QVERIFY2(verifierSyntax.match(QString::fromLatin1(verifier)).hasMatch(), verifier.constData());
    QVERIFY(verifier != Pkce::newVerifier());
    const QByteArray state = Pkce::newState();
    QVERIFY(state.size() >= 32);
    QVERIFY(state != Pkce::newState());
}

void tst_OAuth2::saslResponses_data()
{
    QTest::addColumn<bool>("bearer");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QByteArray>("expected"); // base64; empty: refused

    // Google's own example of the XOAUTH2 format.
    QTest::newRow("XOAUTH2 as Google shows it")
        << false << u"someuser@example.com"_s << u"ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg"_s
        << QByteArray(
               "dXNlcj1zb21ldXNlckBleGFtcGxlLmNvbQFhdXRoPUJlYXJlciB5YTI5LnZGOWRmdDRxbVRjMk52Y"
               "jNSbGNrQmhkSFJoZG1semRHRXVZMjl0Q2cBAQ==");
    QTest::newRow("OAUTHBEARER as RFC 7628 shows it, without host and port")
        << true << u"user@example.com"_s << u"vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg=="_s
        << QByteArray("n,a=user@example.com,\x01"
                      "auth=Bearer vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg==\x01\x01")
               .toBase64();
    QTest::newRow("OAUTHBEARER escapes comma and equals in the user")
        << true << u"a,b=c"_s << u"t0k"_s
        << QByteArray("n,a=a=2Cb=3Dc,\x01"
                      "auth=Bearer t0k\x01\x01")
               .toBase64();
    QTest::newRow("a ^A in the user name is refused")
        << false << u"a"_s + QChar(0x01) + u"b"_s << u"t0k"_s << QByteArray();
    QTest::newRow("a line break in the token is refused")
        << true << u"user"_s << u"t0k\r\nQUIT"_s << QByteArray();
}

void tst_OAuth2::saslResponses()
{
    QFETCH(bool, bearer);
    QFETCH(QString, user);
    QFETCH(QString, token);
    QFETCH(QByteArray, expected);
    const std::optional<QByteArray> response =
        bearer ? SaslOAuth::oauthBearer(user, token) : SaslOAuth::xoauth2(user, token);
    QCOMPARE(response.value_or(QByteArray()), expected);
}

void tst_OAuth2::errorChallengeReplies()
{
    QCOMPARE(SaslOAuth::xoauth2ErrorReply(), QByteArray());
    QCOMPARE(SaslOAuth::oauthBearerErrorReply(), QByteArray("AQ=="));
    // Dovecot's challenge to an unknown token.
    QCOMPARE(SaslOAuth::errorChallengeText("eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0="),
             u"{\"status\":\"invalid_token\"}"_s);
    QCOMPARE(SaslOAuth::errorChallengeText("not*base64"), u"an undecodable challenge"_s);
}

void tst_OAuth2::clientFromSettings_data()
{
    QTest::addColumn<QString>("keys");  // key=value pairs split by "|", as Settings.inf holds them
    QTest::addColumn<QString>("error"); // part of the reason; empty: a client is expected
    QTest::addColumn<OAuth2Flow>("flow");
    QTest::addColumn<QString>("tokenUrl");
    QTest::addColumn<QString>("scope");

    const QString ms = u"https://login.microsoftonline.com/"_s;
    const QString msScope = u"https://outlook.office.com/POP.AccessAsUser.All "
                            "https://outlook.office.com/IMAP.AccessAsUser.All offline_access"_s;
    QTest::newRow("microsoft: the device flow and the Outlook scopes")
        << u"oauth2provider= Microsoft |oauth2clientid=id"_s << QString() << OAuth2Flow::Device
        << ms + u"common/oauth2/v2.0/token"_s << msScope;
    QTest::newRow("microsoft with a tenant of its own in the loopback flow")
        << u"oauth2provider=microsoft|oauth2clientid=id|oauth2flow=loopback|oauth2tokenurl="_s +
               ms + u"contoso/oauth2/v2.0/token"_s
        << QString() << OAuth2Flow::Loopback << ms + u"contoso/oauth2/v2.0/token"_s << msScope;
    QTest::newRow("google: the loopback flow, the mail scope, the secret kept")
        << u"oauth2provider=google|oauth2clientid=id|oauth2clientsecret=GOCSPX-x"_s << QString()
        << OAuth2Flow::Loopback << u"https://oauth2.googleapis.com/token"_s
        << u"https://mail.google.com/"_s;
    QTest::newRow("a custom provider from its keys alone")
        << u"oauth2clientid=id|oauth2tokenurl=https://a.example/t|oauth2deviceurl=https://"
           "a.example/d|oauth2scope=mail  offline|oauth2flow=DEVICE"_s
        << QString() << OAuth2Flow::Device << u"https://a.example/t"_s << u"mail offline"_s;
    QTest::newRow("google in the device flow is refused")
        << u"oauth2provider=google|oauth2clientid=id|oauth2flow=device"_s << u"Google"_s
        << OAuth2Flow::Device << QString() << QString();
    QTest::newRow("an http token address is refused")
        << u"oauth2provider=microsoft|oauth2clientid=id|oauth2tokenurl=http://a.example/t"_s
        << u"oauth2tokenurl must be an https address"_s << OAuth2Flow::Device << QString()
        << QString();
    QTest::newRow("no client id") << u"oauth2provider=microsoft|oauth2clientid= "_s
                                  << u"oauth2clientid"_s << OAuth2Flow::Device << QString()
                                  << QString();
}

void tst_OAuth2::clientFromSettings()
{
    QFETCH(QString, keys);
    QFETCH(QString, error);
    QFETCH(OAuth2Flow, flow);
    QFETCH(QString, tokenUrl);
    QFETCH(QString, scope);
    QHash<QString, QString> values;
    for (const QString &pair : keys.split(u'|'))
        values.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));

    QString why;
    const std::optional<OAuth2Client> client = oauth2ClientFromSettings(
        OAuth2SettingTexts::read([&](const QString &key) { return values.value(key); }), &why);
    if (!error.isEmpty()) {
        QVERIFY(!client);
        QVERIFY2(why.contains(error), qPrintable(why));
        return;
    }
    QVERIFY2(client, qPrintable(why));
    QCOMPARE(client->flow, flow);
    QCOMPARE(client->provider.tokenUrl.toString(), tokenUrl);
    QCOMPARE(client->provider.scope, scope);
    QCOMPARE(client->clientId, values.value(u"oauth2clientid"_s));
    QCOMPARE(client->clientSecret, values.value(u"oauth2clientsecret"_s));
    QVERIFY(!(flow == OAuth2Flow::Device ? client->provider.deviceAuthorizationUrl
                                         : client->provider.authorizationUrl)
                 .isEmpty());
}

void tst_OAuth2::tokenAnswers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<QString>("refreshToken"); // the one to keep; "old" was used for the request
    QTest::addColumn<qint64>("expiresIn");

    QTest::newRow("a new refresh token replaces the old")
        << QByteArray(R"({"access_token":"a1","token_type":"Bearer","refresh_token":"r2",
                          "expires_in":3599})")
        << true << u"r2"_s << qint64(3599);
    QTest::newRow("no refresh token keeps the old")
        << QByteArray(R"({"access_token":"a1","token_type":"bearer","expires_in":"60"})") << true
        << u"old"_s << qint64(60);
    QTest::newRow("a token of another type")
        << QByteArray(R"({"access_token":"a1","token_type":"mac"})") << false << QString()
        << qint64(0);
    QTest::newRow("an access token that would break a command line")
        << QByteArray(R"({"access_token":"a1\r\nQUIT"})") << false << QString() << qint64(0);
}

void tst_OAuth2::tokenAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, usable);
    QFETCH(QString, refreshToken);
    QFETCH(qint64, expiresIn);
    QString why;
    const std::optional<OAuth2Tokens> tokens =
        OAuth2Answers::tokensFrom(QJsonDocument::fromJson(answer).object(), u"old"_s, &why);
    QCOMPARE(tokens.has_value(), usable);
    if (!usable) {
        QVERIFY(!why.isEmpty());
        return;
    }
    QCOMPARE(tokens->accessToken, u"a1"_s);
    QCOMPARE(tokens->refreshToken, refreshToken);
    QCOMPARE(tokens->expiresIn.count(), expiresIn);
}

void tst_OAuth2::failures_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<OAuth2FailureKind>("kind");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("thai");

    QTest::newRow("invalid_grant: sign in again")
        << 400
        << QByteArray(R"({"error":"invalid_grant","error_description":"AADSTS70000: The grant )"
                      R"(is expired.\r\nTrace ID: 0c1f"})")
        << OAuth2FailureKind::InvalidGrant << u"invalid_grant: AADSTS70000: The grant is expired."_s
        << u"ลงชื่อเข้าใช้ใหม่"_s;
    QTest::newRow("invalid_client: the settings")
        << 401 << QByteArray(R"({"error":"invalid_client"})") << OAuth2FailureKind::Misconfigured
        << u"invalid_client"_s << u"การตั้งค่า OAuth2"_s;
    QTest::newRow("access_denied: the user said no")
        << 400 << QByteArray(R"({"error":"access_denied"})") << OAuth2FailureKind::Denied
        << u"access_denied"_s << u"ถูกปฏิเสธ"_s;
    QTest::newRow("expired_token: too late")
        << 400 << QByteArray(R"({"error":"expired_token"})") << OAuth2FailureKind::Expired
        << u"expired_token"_s << u"หมดเวลา"_s;
    QTest::newRow("HTTP 503 whatever the body says")
        << 503 << QByteArray(R"({"error":"invalid_grant"})") << OAuth2FailureKind::Temporary
        << u"invalid_grant"_s << u"ลองใหม่ภายหลัง"_s;
    QTest::newRow("HTTP 404 without JSON")
        << 404 << QByteArray("<html>not found</html>") << OAuth2FailureKind::Misconfigured
        << u"HTTP 404"_s << u"การตั้งค่า OAuth2"_s;
}

void tst_OAuth2::failures()
{
    QFETCH(int, status);
    QFETCH(QByteArray, answer);
    QFETCH(OAuth2FailureKind, kind);
    QFETCH(QString, reason);
    QFETCH(QString, thai);
    const OAuth2Failure failure =
        OAuth2Answers::failureFrom(status, QJsonDocument::fromJson(answer).object());
    QCOMPARE(failure.kind, kind);
    QCOMPARE(failure.reason, reason);
    const QString line = failure.logLine();
    QVERIFY2(line.contains(thai) && line.endsWith(u" : "_s + reason), qPrintable(line));
}

void tst_OAuth2::accessTokenLifetime()
{
    SetClock clock;
    AccessTokenCache cache(clock);
    QVERIFY(!cache.isGoodFor(std::chrono::seconds(0)));
    cache.store({u"a1"_s, u"r1"_s, std::chrono::seconds(3600)});
    QCOMPARE(cache.accessToken(), u"a1"_s);
    QVERIFY(cache.isGoodFor(std::chrono::seconds(60)));
    // A minute before the end no longer covers a minute's margin: time to refresh.
    clock.time = clock.time.addSecs(3540);
    QVERIFY(cache.isGoodFor(std::chrono::seconds(59)));
    QVERIFY(!cache.isGoodFor(std::chrono::seconds(60)));
    // Woken from a long sleep: the wall clock has moved on.
    clock.time = clock.time.addDays(1);
    QVERIFY(!cache.isGoodFor(std::chrono::seconds(0)));
    cache.store({u"a2"_s, u"r2"_s, std::chrono::seconds(3600)});
    QVERIFY(cache.isGoodFor(std::chrono::seconds(60)));
    cache.clear();
    QVERIFY(!cache.isGoodFor(std::chrono::seconds(0)));
    QVERIFY(cache.accessToken().isEmpty());
}

QTEST_GUILESS_MAIN(tst_OAuth2)
#include "tst_oauth2.moc"
