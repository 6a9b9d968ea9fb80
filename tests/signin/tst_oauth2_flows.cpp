// Sign-in and refresh against tests/support/oauth2-server, started for this test over HTTPS with
// a test CA: the browser flow with a stand-in browser, the device flow, refresh with rotation, and
// the failures a user can meet (refused, too slow, revoked, server down, no answer).
#include "signin/DeviceSignIn.h"
#include "signin/LoopbackSignIn.h"
#include "signin/OAuth2Provider.h"
#include "signin/TokenRefresh.h"
#include "support/BrowserStandIn.h"
#include "support/OAuth2TestServer.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUrlQuery>
#include <memory>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(OAuth2FailureKind)

namespace
{

OAuth2Failure failureIn(const QSignalSpy &spy)
{
    return spy.isEmpty() ? OAuth2Failure{} : spy.at(0).at(0).value<OAuth2Failure>();
}

QString queryValue(const QUrl &url, const QString &key)
{
    return QUrlQuery(url).queryItemValue(key, QUrl::FullyDecoded);
}

} // namespace

class tst_OAuth2Flows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void browserSignIn();
    void browserSignInIgnoresStrangers();
    void browserSignInRefused();
    void browserSignInTooSlow();
    void deviceSignIn_data();
    void deviceSignIn();
    void deviceSlowDownWaitsFiveSecondsMore();
    void refreshRotates();
    void refreshFails_data();
    void refreshFails();

private:
    OAuth2Client client(const QString &flow, const QString &tokenUrl = QString()) const;
    QString introspectedUser(const QString &accessToken);

    OAuth2TestServer m_server;
    QNetworkAccessManager m_network;
};

void tst_OAuth2Flows::initTestCase()
{
    QVERIFY(m_server.start({u"--user"_s, u"demo"_s}));
}

void tst_OAuth2Flows::cleanup()
{
    int status = 0;
    m_server.post(u"/admin/up"_s, {}, &status);
    QCOMPARE(status, 200);
    m_server.post(u"/admin/device-script"_s, {{u"answers"_s, u"authorization_pending"_s}});
}

OAuth2Client tst_OAuth2Flows::client(const QString &flow, const QString &tokenUrl) const
{
    OAuth2SettingTexts texts;
    texts.provider = u"custom"_s;
    texts.clientId = u"larkspur-test"_s;
    texts.authUrl = m_server.url() + u"/authorize"_s;
    texts.tokenUrl = tokenUrl.isEmpty() ? m_server.url() + u"/token"_s : tokenUrl;
    texts.deviceUrl = m_server.url() + u"/device"_s;
    texts.scope = u"mail"_s;
    texts.flow = flow;
    QString why;
    const std::optional<OAuth2Client> built = oauth2ClientFromSettings(texts, &why);
    if (!built)
        qFatal("no client: %s", qPrintable(why));
    return *built;
}

QString tst_OAuth2Flows::introspectedUser(const QString &accessToken)
{
    const QJsonObject answer = m_server.post(u"/introspect"_s, {{u"token"_s, accessToken}});
    return answer.value(u"active"_s).toBool() ? answer.value(u"username"_s).toString() : QString();
}

void tst_OAuth2Flows::browserSignIn()
{
    BrowserStandIn browser;
    LoopbackSignIn signIn(client(u"loopback"_s), m_network, browser);
    QSignalSpy opened(&signIn, &LoopbackSignIn::browserOpened);
    QSignalSpy signedIn(&signIn, &LoopbackSignIn::signedIn);
    QSignalSpy failed(&signIn, &LoopbackSignIn::failed);
    signIn.start(u"demo"_s);
    QVERIFY2(signedIn.wait(15'000), qPrintable(failureIn(failed).reason));

    // The browser's address: our loopback listener as the redirect, the challenge, never the
    // verifier.
    QCOMPARE(opened.size(), 1);
    const QUrl address = opened.at(0).at(0).toUrl();
    QCOMPARE(browser.opened, QStringList{address.toString(QUrl::FullyEncoded)});
    QVERIFY(queryValue(address, u"redirect_uri"_s).startsWith(u"http://127.0.0.1:"_s));
    QCOMPARE(queryValue(address, u"code_challenge_method"_s), u"S256"_s);
    QCOMPARE(queryValue(address, u"code_challenge"_s).size(), 43);
    QCOMPARE(queryValue(address, u"login_hint"_s), u"demo"_s);
    QVERIFY(!address.toString().contains(u"verifier"_s));
    // The page the browser was left on.
    QTRY_COMPARE(browser.pagesShown, 1);
    QCOMPARE(browser.lastStatus, 200);
    QVERIFY(browser.lastPage.contains(u"ลงชื่อเข้าใช้เรียบร้อย"_s));

    const OAuth2Tokens tokens = signedIn.at(0).at(0).value<OAuth2Tokens>();
    QCOMPARE(introspectedUser(tokens.accessToken), u"demo"_s);
    QVERIFY(!tokens.refreshToken.isEmpty());
    QCOMPARE(tokens.expiresIn.count(), 3600);
    QVERIFY(failed.isEmpty());
}

void tst_OAuth2Flows::browserSignInIgnoresStrangers()
{
    BrowserStandIn browser;
    browser.follows = false;
    LoopbackSignIn signIn(client(u"loopback"_s), m_network, browser);
    QSignalSpy signedIn(&signIn, &LoopbackSignIn::signedIn);
    QSignalSpy failed(&signIn, &LoopbackSignIn::failed);
    signIn.start();
    QCOMPARE(browser.opened.size(), 1);
    const QUrl address(browser.opened.at(0), QUrl::StrictMode);
    const QUrl listener(queryValue(address, u"redirect_uri"_s));

    // Another page sending a browser to the listener with a code of its own.
    browser.visit(QUrl(listener.toString() + u"?code=forged&state=guess"_s));
    QTRY_COMPARE(browser.pagesShown, 1);
    QCOMPARE(browser.lastStatus, 400);
    browser.visit(listener.resolved(QUrl(u"/favicon.ico"_s)));
    QTRY_COMPARE(browser.pagesShown, 2);
    QCOMPARE(browser.lastStatus, 404);
    // A request head past the bound is let go at once, well before the connection's deadline (a
    // reset may overtake the 431 answer, since the rest stays unread).
    QTcpSocket flood;
    flood.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(listener.port()));
    flood.write("GET /?" + QByteArray(16 * 1024, 'a') + " HTTP/1.1\r\n\r\n");
    QByteArray reply;
    QVERIFY(QTest::qWaitFor(
        [&] {
            reply += flood.readAll();
            return flood.state() == QAbstractSocket::UnconnectedState;
        },
        5'000));
    QVERIFY2(reply.isEmpty() || reply.startsWith("HTTP/1.1 431 "), reply.constData());

    QVERIFY(signedIn.isEmpty() && failed.isEmpty());
    // The real answer still counts.
    browser.visit(address);
    QVERIFY2(signedIn.wait(15'000), qPrintable(failureIn(failed).reason));
}

void tst_OAuth2Flows::browserSignInRefused()
{
    m_server.post(u"/admin/deny"_s);
    BrowserStandIn browser;
    LoopbackSignIn signIn(client(u"loopback"_s), m_network, browser);
    QSignalSpy failed(&signIn, &LoopbackSignIn::failed);
    signIn.start();
    QVERIFY(failed.wait(15'000));
    QCOMPARE(failureIn(failed).kind, OAuth2FailureKind::Denied);
    QCOMPARE(failureIn(failed).error, u"access_denied"_s);
    QTRY_COMPARE(browser.pagesShown, 1);
    QVERIFY(browser.lastPage.contains(u"ไม่สำเร็จ"_s));
}

void tst_OAuth2Flows::browserSignInTooSlow()
{
    BrowserStandIn browser;
    browser.follows = false;
    LoopbackSignIn signIn(client(u"loopback"_s), m_network, browser);
    signIn.setUserDeadline(std::chrono::milliseconds(300));
    QSignalSpy failed(&signIn, &LoopbackSignIn::failed);
    signIn.start();
    QVERIFY(failed.wait(15'000));
    QCOMPARE(failureIn(failed).kind, OAuth2FailureKind::Expired);
    // Nothing listens for the browser any more.
    browser.visit(QUrl(queryValue(QUrl(browser.opened.at(0)), u"redirect_uri"_s)));
    QTRY_COMPARE(browser.pagesShown, 1);
    QCOMPARE(browser.lastStatus, 0);
}

void tst_OAuth2Flows::deviceSignIn_data()
{
    QTest::addColumn<QString>("answers"); // what the server answers the polls before a token
    QTest::addColumn<bool>("signsIn");
    QTest::addColumn<OAuth2FailureKind>("kind");

    QTest::newRow("authorization_pending, then tokens")
        << u"authorization_pending"_s << true << OAuth2FailureKind::Misconfigured;
    QTest::newRow("access_denied: the user said no")
        << u"authorization_pending,access_denied"_s << false << OAuth2FailureKind::Denied;
    QTest::newRow("expired_token: the code went unused")
        << u"expired_token"_s << false << OAuth2FailureKind::Expired;
}

void tst_OAuth2Flows::deviceSignIn()
{
    QFETCH(QString, answers);
    QFETCH(bool, signsIn);
    QFETCH(OAuth2FailureKind, kind);
    m_server.post(u"/admin/device-script"_s, {{u"answers"_s, answers}});

    DeviceSignIn signIn(client(u"device"_s), m_network);
    QSignalSpy codeReady(&signIn, &DeviceSignIn::codeReady);
    QSignalSpy signedIn(&signIn, &DeviceSignIn::signedIn);
    QSignalSpy failed(&signIn, &DeviceSignIn::failed);
    signIn.start();
    QVERIFY(codeReady.wait(10'000));
    const DeviceCode code = codeReady.at(0).at(0).value<DeviceCode>();
    QVERIFY(!code.userCode.isEmpty());
    QCOMPARE(code.verificationUri.scheme(), u"https"_s);
    QVERIFY(code.verificationUriComplete.toString().contains(code.userCode));
    QCOMPARE(signIn.pollInterval().count(), 1);

    if (signsIn) {
        QVERIFY2(signedIn.wait(15'000), qPrintable(failureIn(failed).reason));
        QCOMPARE(introspectedUser(signedIn.at(0).at(0).value<OAuth2Tokens>().accessToken),
                 u"demo"_s);
    } else {
        QVERIFY(failed.wait(15'000));
        QCOMPARE(failureIn(failed).kind, kind);
        QVERIFY(signedIn.isEmpty());
    }
}

void tst_OAuth2Flows::deviceSlowDownWaitsFiveSecondsMore()
{
    m_server.post(u"/admin/device-script"_s, {{u"answers"_s, u"slow_down"_s}});
    DeviceSignIn signIn(client(u"device"_s), m_network);
    QSignalSpy failed(&signIn, &DeviceSignIn::failed);
    signIn.start();
    QTRY_COMPARE_WITH_TIMEOUT(signIn.pollInterval().count(), 6, 10'000);
    QVERIFY(failed.isEmpty());
}

void tst_OAuth2Flows::refreshRotates()
{
    const QString first = m_server.post(u"/admin/issue"_s).value(u"refresh_token"_s).toString();
    QVERIFY(!first.isEmpty());
    TokenRefresh refresh(client(u"loopback"_s), m_network);
    QSignalSpy refreshed(&refresh, &TokenRefresh::refreshed);
    QSignalSpy failed(&refresh, &TokenRefresh::failed);

    refresh.start(first);
    QVERIFY2(refreshed.wait(10'000), qPrintable(failureIn(failed).reason));
    const OAuth2Tokens tokens = refreshed.at(0).at(0).value<OAuth2Tokens>();
    QCOMPARE(introspectedUser(tokens.accessToken), u"demo"_s);
    QVERIFY(!tokens.refreshToken.isEmpty() && tokens.refreshToken != first);

    // The rotated-out token is dead; the new one works.
    refresh.start(first);
    QVERIFY(failed.wait(10'000));
    QCOMPARE(failureIn(failed).kind, OAuth2FailureKind::InvalidGrant);
    refresh.start(tokens.refreshToken);
    QVERIFY(refreshed.wait(10'000));
}

void tst_OAuth2Flows::refreshFails_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<OAuth2FailureKind>("kind");

    QTest::newRow("revoked refresh token: sign in again")
        << u"revoked"_s << OAuth2FailureKind::InvalidGrant;
    QTest::newRow("server answers 503: later") << u"down"_s << OAuth2FailureKind::Temporary;
    QTest::newRow("no answer within the deadline: later")
        << u"silent"_s << OAuth2FailureKind::Temporary;
    QTest::newRow("unknown client id: the settings")
        << u"stranger"_s << OAuth2FailureKind::Misconfigured;
}

void tst_OAuth2Flows::refreshFails()
{
    QFETCH(QString, situation);
    QFETCH(OAuth2FailureKind, kind);
    const QString token = m_server.post(u"/admin/issue"_s).value(u"refresh_token"_s).toString();
    QVERIFY(!token.isEmpty());

    OAuth2Client target = client(u"loopback"_s);
    QTcpServer silent; // takes the connection and never says a word
    if (situation == u"revoked"_s)
        m_server.post(u"/admin/revoke"_s, {{u"token"_s, token}});
    else if (situation == u"down"_s)
        m_server.post(u"/admin/down"_s);
    else if (situation == u"stranger"_s)
        target.clientId = u"someone-else"_s;
    if (situation == u"silent"_s) {
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        target = client(u"loopback"_s, u"https://127.0.0.1:%1/token"_s.arg(silent.serverPort()));
    }

    TokenRefresh refresh(target, m_network);
    refresh.setDeadline(std::chrono::milliseconds(situation == u"silent"_s ? 500 : 10'000));
    QSignalSpy refreshed(&refresh, &TokenRefresh::refreshed);
    QSignalSpy failed(&refresh, &TokenRefresh::failed);
    refresh.start(token);
    QVERIFY(failed.wait(15'000));
    const OAuth2Failure failure = failureIn(failed);
    QCOMPARE(failure.kind, kind);
    QVERIFY(!failure.reason.isEmpty());
    // What the log would say carries nothing secret.
    QVERIFY(!failure.logLine().contains(token));
    QVERIFY(refreshed.isEmpty());
}

QTEST_GUILESS_MAIN(tst_OAuth2Flows)
#include "tst_oauth2_flows.moc"
