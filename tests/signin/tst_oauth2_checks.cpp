// Checks that sign in with OAuth2, through the real watcher and socket, against a real Dovecot run
// inside tests/support/pop3-sandbox --oauth2 (see CMakeLists.txt): the tokens come from the
// sandbox's authorization server by our own sign-in and refresh; the keyring is a fake one.
#include "mailcheck/WatcherJournal.h"
#include "mailcheck/Winsock1.h"
#include "signin/OAuth2Credentials.h"
#include "support/BrowserStandIn.h"
#include "support/FakeSecretStore.h"
#include "support/OAuth2TestServer.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

// Passes every request on, and notes the token each check was given (empty: none).
class PresentedTokens final : public CredentialSource
{
public:
    explicit PresentedTokens(CredentialSource &source) : m_source(source) {}
    void request(const MailboxSettings &mailbox, Answer answer) override
    {
        m_source.request(mailbox, [this, answer](const std::optional<Credential> &credential,
                                                 const QString &failure) {
            tokens.append(credential ? credential->secret : QString());
            answer(credential, failure);
        });
    }
    void refused(const MailboxSettings &mailbox) override { m_source.refused(mailbox); }

    QStringList tokens;

private:
    CredentialSource &m_source;
};

QString dovecotLog()
{
    QFile file(qEnvironmentVariable("LARKSPUR_POP3_LOG"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class tst_OAuth2Checks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void checks_data();
    void checks();

private:
    OAuth2TestServer m_server;
};

void tst_OAuth2Checks::initTestCase()
{
    QVERIFY2(m_server.useSandbox(), "run inside tests/support/pop3-sandbox --oauth2");
}

void tst_OAuth2Checks::checks_data()
{
    QTest::addColumn<QString>("flow");
    QTest::addColumn<bool>("keyringHoldsToken"); // a refresh token from an earlier run
    // A check ends "new token" or "same token" (logged in with a token not presented before, or
    // with the last one), "refused" or "failed". Between checks: "revoke presented" (the last
    // access token), "revoke all", "down", "up", "later" (two hours on, past the token's hour).
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("browserOpened");

    QTest::newRow("loopback sign-in with PKCE, the token to the server")
        << u"loopback"_s << false << QStringList{u"check: new token"_s} << 1;
    QTest::newRow("device flow, no browser")
        << u"device"_s << false << QStringList{u"check: new token"_s} << 0;
    QTest::newRow("unknown token: challenge answered, refused, dropped, then refreshed")
        << u"loopback"_s << true
        << QStringList{u"check: new token"_s, u"revoke presented"_s, u"check: refused"_s,
                       u"check: new token"_s}
        << 0;
    QTest::newRow("authorization server down at login: SYS/TEMP fails, the token is kept")
        << u"loopback"_s << true
        << QStringList{u"check: new token"_s, u"down"_s, u"check: failed"_s, u"up"_s,
                       u"check: same token"_s}
        << 0;
    QTest::newRow("refresh fails for a while: the check fails, the refresh token is kept")
        << u"loopback"_s << true
        << QStringList{u"check: new token"_s, u"later"_s, u"down"_s,
                       u"check: failed"_s,    u"up"_s,    u"check: new token"_s}
        << 0;
    QTest::newRow("token ran out: refreshed, the rotated refresh token used next")
        << u"loopback"_s << true
        << QStringList{u"check: new token"_s, u"later"_s, u"check: new token"_s, u"later"_s,
                       u"check: new token"_s}
        << 0;
    QTest::newRow("refresh token revoked: one sign-in, never one per periodic check")
        << u"loopback"_s << true
        << QStringList{u"check: new token"_s, u"revoke all"_s,   u"later"_s,
                       u"check: new token"_s, u"revoke all"_s,   u"later"_s,
                       u"check: failed"_s,    u"check: failed"_s}
        << 1;
}

void tst_OAuth2Checks::checks()
{
    QFETCH(QString, flow);
    QFETCH(bool, keyringHoldsToken);
    QFETCH(QStringList, steps);

    QStringList journal;
    Winsock1 socket;
    SteppingClock clock;
    QNetworkAccessManager network;
    BrowserStandIn browser;
    FakeSecretStore keyring;
    OAuth2Credentials oauth2(&network, browser, &keyring, clock);
    PresentedTokens presented(oauth2);
    MailboxWatcher watcher(socket, presented, clock, nullptr);
    WatcherJournal view(watcher, journal);

    MailboxSettings &settings = watcher.settings();
    settings.server = u"127.0.0.1"_s;
    settings.loginName = qEnvironmentVariable("LARKSPUR_POP3_USER");
    settings.security = SecurityMode::None;
    settings.signIn = MailboxSettings::SignIn::OAuth2;
    settings.oauth2.provider = u"custom"_s;
    settings.oauth2.clientId = qEnvironmentVariable("LARKSPUR_OAUTH2_CLIENT_ID");
    settings.oauth2.authUrl = m_server.url() + u"/authorize"_s;
    settings.oauth2.tokenUrl = m_server.url() + u"/token"_s;
    settings.oauth2.deviceUrl = m_server.url() + u"/device"_s;
    settings.oauth2.scope = u"mail"_s;
    settings.oauth2.flow = flow;
    if (keyringHoldsToken) {
        const QJsonObject issued = m_server.post(u"/admin/issue"_s);
        keyring.store({settings.server, settings.loginName, SecretKind::OAuth2Refresh},
                      issued.value(u"refresh_token"_s).toString());
    }
    // XOAUTH2 where the server lists it, else OAUTHBEARER.
    const QString mechanism =
        qEnvironmentVariable("LARKSPUR_OAUTH2_MECHANISMS").contains(u"xoauth2"_s)
            ? u"XOAUTH2"_s
            : u"OAUTHBEARER"_s;
    const qsizetype logStart = dovecotLog().size();
    int logins = 0;

    for (const QString &step : std::as_const(steps)) {
        if (step == u"later"_s) {
            clock.times = {clock.times.last().addSecs(2 * 3600)};
            continue;
        }
        if (!step.startsWith(u"check: "_s)) {
            int status = 0;
            if (step == u"revoke presented"_s)
                m_server.post(u"/admin/revoke"_s, {{u"token"_s, presented.tokens.last()}}, &status);
            else if (step == u"revoke all"_s)
                m_server.post(u"/admin/revoke"_s, {}, &status);
            else
                m_server.post(u"/admin/"_s + step, {}, &status);
            QCOMPARE(status, 200);
            continue;
        }
        const QStringList before = presented.tokens;
        const qsizetype ended = view.outcomes.size();
        watcher.check();
        QVERIFY2(QTest::qWaitFor([&] { return view.outcomes.size() > ended; }, 60'000),
                 qPrintable(step + u" never ended: "_s + view.status));
        const CheckOutcome outcome = view.outcomes.last();
        const QString token = presented.tokens.last();
        QString seen = u"failed"_s;
        if (outcome == CheckOutcome::LoginRefused)
            seen = u"refused"_s;
        else if (outcome != CheckOutcome::Failed)
            seen = !before.isEmpty() && token == before.last() ? u"same token"_s
                   : before.contains(token)                    ? u"an old token"_s
                                                               : u"new token"_s;
        QVERIFY2(u"check: "_s + seen == step,
                 qPrintable(step + u": "_s + seen + u"\n"_s + view.status + view.reasons.last()));
        if (outcome == CheckOutcome::NewMail || outcome == CheckOutcome::NoNewMail) {
            ++logins;
            QVERIFY2(view.status.contains(u'(' + mechanism + u')'), qPrintable(view.status));
            // XOAUTH2 in two lines (the server's "+" comes before the token), OAUTHBEARER in one.
            QCOMPARE(view.status.contains(u"\n+ \r\n"_s), mechanism == u"XOAUTH2"_s);
        }
    }
    QTEST(int(browser.opened.size()), "browserOpened");
    // Dovecot saw every login, each with the mechanism it listed.
    static const QRegularExpression login(u"Login: user=<[^>]*>, method=([A-Z0-9]+)"_s);
    QStringList methods;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            methods.clear();
            for (const auto &match : login.globalMatch(dovecotLog().mid(logStart)))
                methods << match.captured(1);
            return methods.size() >= logins;
        }(),
        10'000);
    QCOMPARE(methods, QStringList(logins, mechanism));
}

QTEST_GUILESS_MAIN(tst_OAuth2Checks)
#include "tst_oauth2_checks.moc"
