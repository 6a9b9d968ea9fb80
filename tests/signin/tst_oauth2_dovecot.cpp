// Logins with a token against a real Dovecot, run inside tests/support/pop3-sandbox --oauth2 (see
// CMakeLists.txt): tokens come from the sandbox's authorization server through our own browser
// sign-in and refresh, and go to port 110 as the SASL messages a POP3 session will send.
#include "signin/LoopbackSignIn.h"
#include "signin/SaslOAuth.h"
#include "signin/TokenRefresh.h"
#include "support/BrowserStandIn.h"
#include "support/OAuth2TestServer.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

// A bare POP3 dialogue: one line sent, one line read.
struct Pop3Line {
    QTcpSocket socket;

    [[nodiscard]] bool connect()
    {
        socket.connectToHost(QHostAddress::LocalHost, 110);
        return read().startsWith("+OK");
    }
    QByteArray read()
    {
        if (!QTest::qWaitFor([this] { return socket.canReadLine(); }, 20'000))
            return "(no answer)";
        return socket.readLine().trimmed();
    }
    QByteArray ask(const QByteArray &line)
    {
        socket.write(line + "\r\n");
        return read();
    }
};

} // namespace

class tst_OAuth2Dovecot : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void login_data();
    void login();

private:
    OAuth2TestServer m_server;
    QNetworkAccessManager m_network;
    QString m_user;
    OAuth2Tokens m_signedIn;
    OAuth2Tokens m_refreshed;
};

void tst_OAuth2Dovecot::initTestCase()
{
    QVERIFY2(m_server.useSandbox(), "run inside tests/support/pop3-sandbox --oauth2");
    m_user = qEnvironmentVariable("LARKSPUR_POP3_USER");
    OAuth2SettingTexts texts;
    texts.clientId = qEnvironmentVariable("LARKSPUR_OAUTH2_CLIENT_ID");
    texts.authUrl = m_server.url() + u"/authorize"_s;
    texts.tokenUrl = m_server.url() + u"/token"_s;
    texts.scope = u"mail"_s;
    const std::optional<OAuth2Client> client = oauth2ClientFromSettings(texts);
    QVERIFY(client);

    BrowserStandIn browser;
    LoopbackSignIn signIn(*client, m_network, browser);
    QSignalSpy signedIn(&signIn, &LoopbackSignIn::signedIn);
    signIn.start(m_user);
    QVERIFY(signedIn.wait(20'000));
    m_signedIn = signedIn.at(0).at(0).value<OAuth2Tokens>();

    TokenRefresh refresh(*client, m_network);
    QSignalSpy refreshed(&refresh, &TokenRefresh::refreshed);
    refresh.start(m_signedIn.refreshToken);
    QVERIFY(refreshed.wait(20'000));
    m_refreshed = refreshed.at(0).at(0).value<OAuth2Tokens>();
}

void tst_OAuth2Dovecot::cleanup()
{
    m_server.post(u"/admin/up"_s);
}

void tst_OAuth2Dovecot::login_data()
{
    QTest::addColumn<QString>("mechanism");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QByteArray>("answer"); // how the server ends the exchange
    QTest::addColumn<QString>("challenge"); // in the error challenge; empty: none expected

    QTest::newRow("XOAUTH2 in two lines with the signed-in token")
        << u"XOAUTH2"_s << u"signed in"_s << QByteArray("+OK") << QString();
    QTest::newRow("OAUTHBEARER with an initial response and the refreshed token")
        << u"OAUTHBEARER"_s << u"refreshed"_s << QByteArray("+OK") << QString();
    QTest::newRow("XOAUTH2 unknown token: error challenge, our reply, refusal")
        << u"XOAUTH2"_s << u"unknown"_s << QByteArray("-ERR [AUTH]") << u"401"_s;
    QTest::newRow("OAUTHBEARER unknown token: error challenge, our reply, refusal")
        << u"OAUTHBEARER"_s << u"unknown"_s << QByteArray("-ERR [AUTH]") << u"invalid_token"_s;
    QTest::newRow("authorization server down: a temporary failure, no challenge")
        << u"XOAUTH2"_s << u"server down"_s << QByteArray("-ERR [SYS/TEMP]") << QString();
}

void tst_OAuth2Dovecot::login()
{
    QFETCH(QString, mechanism);
    QFETCH(QString, token);
    QFETCH(QByteArray, answer);
    QFETCH(QString, challenge);

    QString accessToken = m_signedIn.accessToken;
    if (token == u"refreshed"_s) {
        accessToken = m_refreshed.accessToken;
    } else if (token == u"unknown"_s) {
        accessToken = u"no-such-token"_s;
    } else if (token == u"server down"_s) {
        m_server.post(u"/admin/down"_s);
    }
    QVERIFY(!accessToken.isEmpty());

    Pop3Line pop3;
    QVERIFY(pop3.connect());
    QByteArray reply;
    if (mechanism == u"XOAUTH2"_s) {
        // Microsoft's form: the command alone, the response after the server's "+".
        QCOMPARE(pop3.ask("AUTH XOAUTH2"), QByteArray("+"));
        reply = pop3.ask(SaslOAuth::xoauth2(m_user, accessToken).value());
    } else {
        reply = pop3.ask("AUTH OAUTHBEARER " + SaslOAuth::oauthBearer(m_user, accessToken).value());
    }
    // Dovecot ends the exchange after any reply to its error challenge; the replies' exact bytes
    // (an empty line, ^A) are what other servers expect, and tst_oauth2 pins them.
    if (!challenge.isEmpty()) {
        QVERIFY2(reply.startsWith("+ "), reply.constData());
        QVERIFY2(SaslOAuth::errorChallengeText(reply.mid(2)).contains(challenge),
                 reply.constData());
        reply = pop3.ask(mechanism == u"XOAUTH2"_s ? SaslOAuth::xoauth2ErrorReply()
                                                   : SaslOAuth::oauthBearerErrorReply());
    }
    QVERIFY2(reply.startsWith(answer), reply.constData());
    if (answer == "+OK")
        QVERIFY(pop3.ask("STAT").startsWith("+OK 3 "));
    pop3.ask("QUIT");
}

QTEST_GUILESS_MAIN(tst_OAuth2Dovecot)
#include "tst_oauth2_dovecot.moc"
