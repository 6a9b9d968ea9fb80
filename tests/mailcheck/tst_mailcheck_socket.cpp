// A whole check over the real Winsock1 against scripted servers: what the log shows for each way
// a server can answer or misbehave, and what the server receives.
#include "ScriptedServer.h"
#include "WatcherJournal.h"
#include "mailcheck/MailboxWatcher.h"
#include "mailcheck/Winsock1.h"
#include "signin/CredentialSource.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using State = Pop3Session::State;

namespace
{

struct Session {
    QStringList journal;
    Winsock1 socket;
    SteppingClock clock;
    TypedPassword password;
    MailboxWatcher watcher{socket, password, clock, nullptr};
    WatcherJournal view{watcher, journal};

    explicit Session(const ScriptedServer &server, const QString &host = u"127.0.0.1"_s)
    {
        MailboxSettings &settings = watcher.settings();
        settings.server = host;
        settings.loginName = u"demo"_s;
        settings.password = u"secret"_s;
        settings.security = SecurityMode::None;
        watcher.session().setPlainPort(server.port());
    }
    State state() { return watcher.session().state(); }
    int popupShows() const
    {
        return int(std::count_if(view.reports.cbegin(), view.reports.cend(),
                                 [](const CheckReport &r) { return r.announcement.has_value(); }));
    }
};

// A server without UIDL and TOP answers these after STAT, when it has mail.
const QList<QByteArray> NoUidlNoTop{"-ERR\r\n", "-ERR\r\n", "-ERR\r\n"};

const QString Failure = u"เกิดความผิดพลาด : "_s;
const QString UserLine = u"ชื่อผู้ใช้ : demo\r\n"_s;
const QString PassLine = u"รหัสผ่าน : xxxxxxxxxxxx \r\n"_s;

} // namespace

class TestMailCheckSocket : public QObject
{
    Q_OBJECT

private slots:
    void hostileServers_data();
    void hostileServers();
    void greetingSplitInThreeSegments();
    void wholeSession_data();
    void wholeSession();
    void chatterAfterQuit();
    void noGoodbyeIsNoError_data();
    void noGoodbyeIsNoError();
    void refusedConnection();
    void newCheckWhileTheOldOneIsOpen();
};

void TestMailCheckSocket::hostileServers_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QList<QByteArray>>("answers");
    QTest::addColumn<QString>("log");
    QTest::addColumn<State>("state");

    // Rows whose log names "0.3 seconds" run with that deadline, the others with the default.
    QTest::newRow("-ERR as greeting")
        << QByteArray("-ERR busy\r\n") << QList<QByteArray>()
        << Failure + u"-ERR busy\r\n48 POP3 Error"_s << State::Greeting;
    QTest::newRow("-ERR to USER") << QByteArray("+OK\r\n") << QList<QByteArray>{"-ERR who?\r\n"}
                                  << Failure + u"-ERR who?\r\n48 POP3 Error"_s << State::User;
    QTest::newRow("-ERR to PASS") << QByteArray("+OK\r\n")
                                  << QList<QByteArray>{"+OK\r\n",
                                                       "-ERR [AUTH] Authentication failed.\r\n"}
                                  << Failure +
                                         u"-ERR [AUTH] Authentication failed.\r\n48 POP3 Error"_s
                                  << State::Pass;
    QTest::newRow("-ERR to STAT") << QByteArray("+OK\r\n")
                                  << QList<QByteArray>{"+OK\r\n", "+OK\r\n", "-ERR locked\r\n"}
                                  << Failure + u"-ERR locked\r\n48 POP3 Error"_s << State::Stat;
    QTest::newRow("NUL before the plus")
        << QByteArrayLiteral("\0+OK\r\n") << QList<QByteArray>()
        << Failure + u"\uFFFD+OK\r\n48 POP3 Error"_s << State::Greeting;
    QTest::newRow("silence after the greeting")
        << QByteArray("+OK\r\n") << QList<QByteArray>()
        << u"+OK\r\n\r\n"_s + UserLine +
               u"10060 : หมดเวลารอคำตอบจากเซิร์ฟเวอร์ : Timed out: the server's reply did not arrive whole within 0.3 seconds\r\n"_s
        << State::User;
    QTest::newRow("no greeting")
        << QByteArray() << QList<QByteArray>()
        << u"10060 : หมดเวลารอคำตอบจากเซิร์ฟเวอร์ : Timed out: the server's reply did not arrive whole within 0.3 seconds\r\n"_s
        << State::Greeting;
    QTest::newRow("1 MB line without CR LF")
        << QByteArray(1 << 20, 'x') << QList<QByteArray>()
        << u"10040 : บรรทัดคำตอบของเซิร์ฟเวอร์ยาวเกิน 4096 ไบต์ : The server's reply line is longer than 4096 bytes\r\n"_s
        << State::Greeting;
    QTest::newRow("huge reply to PASS")
        << QByteArray("+OK\r\n") << QList<QByteArray>{"+OK\r\n", QByteArray(1 << 20, '+')}
        << u"+OK\r\n\r\n"_s + UserLine + u"+OK\r\n\r\n"_s + PassLine +
               u"10040 : บรรทัดคำตอบของเซิร์ฟเวอร์ยาวเกิน 4096 ไบต์ : The server's reply line is longer than 4096 bytes\r\n"_s
        << State::Pass;
    // The second "+OK" came before PASS was sent: it cannot be PASS's answer.
    QTest::newRow("two replies to USER in one segment")
        << QByteArray("+OK\r\n") << QList<QByteArray>{"+OK\r\n+OK\r\n"}
        << u"+OK\r\n\r\n"_s + UserLine +
               u"+OK\r\n\r\nเซิร์ฟเวอร์ส่งคำตอบมาก่อนได้รับคำสั่ง จึงหยุดการเช็คครั้งนี้ : The server sent a reply before the command it would answer was sent\r\n"_s
        << State::User;
}

void TestMailCheckSocket::hostileServers()
{
    QFETCH(QByteArray, greeting);
    QFETCH(QList<QByteArray>, answers);
    QFETCH(QString, log);
    QFETCH(State, state);

    ScriptedServer server;
    server.greeting = greeting;
    server.answers = answers;
    Session s(server);
    if (log.contains(u"0.3 seconds"_s))
        s.socket.setTimeout(300ms);
    QVERIFY(!s.watcher.check());

    QTRY_COMPARE(s.view.status, log);
    QCOMPARE(s.state(), state);
    QVERIFY(server.waitForClientGone());
    QCOMPARE(s.socket.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(s.view.reports.isEmpty());
}

void TestMailCheckSocket::greetingSplitInThreeSegments()
{
    ScriptedServer server;
    Session s(server);
    QVERIFY(!s.watcher.check());
    QVERIFY(server.waitForClient());
    server.send("+OK POP3 ");
    QTRY_COMPARE(s.socket.pendingBytes(), 9);
    server.send("server ");
    QTRY_COMPARE(s.socket.pendingBytes(), 16);
    server.send("ready\r\n");
    QVERIFY(server.waitForLines(1));

    // One reply, one step: USER goes out once and the log shows the greeting whole.
    QCOMPARE(server.received, QList<QByteArray>{"USER demo\r\n"});
    QCOMPARE(s.view.status, u"+OK POP3 server ready\r\n\r\n"_s + UserLine);
    QCOMPARE(s.state(), State::User);
}

void TestMailCheckSocket::wholeSession_data()
{
    QTest::addColumn<bool>("ipv6");
    QTest::addColumn<QString>("host");
    QTest::newRow("IPv4") << false << u"127.0.0.1"_s;
    QTest::newRow("IPv6") << true << u"::1"_s;
}

void TestMailCheckSocket::wholeSession()
{
    QFETCH(bool, ipv6);
    QFETCH(QString, host);

    ScriptedServer server(
        QHostAddress(ipv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost));
    if (ipv6 && !server.isListening())
        QSKIP("no IPv6 loopback here");
    server.greeting = "+OK ready\r\n";
    server.answers = {"+OK\r\n", "+OK Logged in.\r\n", "+OK 2 2048\r\n"};
    server.answers += NoUidlNoTop;
    server.answers += "+OK bye\r\n";
    server.closeAfterAnswers = true;
    Session s(server, host);
    s.watcher.settings().loginName = u"สมชาย"_s;
    s.watcher.settings().password = u"pass word:ü"_s;
    QVERIFY(!s.watcher.check());

    QVERIFY(server.waitForClientGone());
    QTRY_COMPARE(s.socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(server.received,
             (QList<QByteArray>{u"USER สมชาย\r\n"_s.toUtf8(), u"PASS pass word:ü\r\n"_s.toUtf8(),
                                "STAT\r\n", "UIDL 2\r\n", "UIDL\r\n", "TOP 2 0\r\n", "QUIT\r\n"}));
    QCOMPARE(s.state(), State::Ended);
    QCOMPARE(s.view.reports.last().newMailText, u"2"_s);
    QCOMPARE(s.view.popupMail(), u"มีอีเมลล์ใหม่ 2 [2] ฉบับ "_s);
    // The server's goodbye is logged; its closing the connection afterwards adds nothing.
    QVERIFY2(s.view.status.endsWith(u"+OK 2 2048\r\n\r\nรับข้อมูลเรียบร้อย (ออกจากระบบ)\r\n"
                                    u"+OK bye\r\n\r\n"_s),
             qPrintable(s.view.status));
}

void TestMailCheckSocket::chatterAfterQuit()
{
    ScriptedServer server;
    server.greeting = "+OK\r\n";
    QByteArray flood = "+OK bye\r\n";
    for (int i = 0; i < 2000; ++i)
        flood += "+OK still here\r\n";
    server.answers = {"+OK\r\n", "+OK\r\n", "+OK 1 100\r\n"};
    server.answers += NoUidlNoTop;
    server.answers += flood;
    Session s(server);
    QVERIFY(!s.watcher.check());

    // The client hangs up after the goodbye; the server never would.
    QVERIFY(server.waitForLines(7)); // USER, PASS, STAT, UIDL 1, UIDL, TOP 1 0, QUIT
    QVERIFY(server.waitForClientGone());
    QCOMPARE(s.socket.state(), QAbstractSocket::UnconnectedState);
    QVERIFY2(s.view.status.endsWith(u"รับข้อมูลเรียบร้อย (ออกจากระบบ)\r\n+OK bye\r\n\r\n"_s),
             qPrintable(s.view.status));
    QCOMPARE(s.state(), State::Ended);
    QCOMPARE(s.popupShows(), 1);
}

void TestMailCheckSocket::noGoodbyeIsNoError_data()
{
    QTest::addColumn<bool>("hangUp"); // else silence until the reply deadline has passed
    QTest::newRow("silence after QUIT") << false;
    QTest::newRow("the server hangs up instead of a goodbye") << true;
}

void TestMailCheckSocket::noGoodbyeIsNoError()
{
    QFETCH(bool, hangUp);

    ScriptedServer server;
    server.greeting = "+OK\r\n";
    server.answers = {"+OK\r\n", "+OK\r\n", "+OK 1 100\r\n"};
    server.answers += NoUidlNoTop;
    Session s(server);
    s.socket.setTimeout(300ms);
    QVERIFY(!s.watcher.check());
    QVERIFY(server.waitForLines(7)); // USER, PASS, STAT, UIDL 1, UIDL, TOP 1 0, QUIT
    QTRY_COMPARE(s.state(), State::Quit);
    const QString report = s.view.status;
    if (hangUp)
        server.close();

    // The connection ends either way, and the log stays the report's.
    QTRY_COMPARE(s.socket.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(server.waitForClientGone());
    QTest::qWait(100);
    QCOMPARE(s.view.status, report);
    QVERIFY2(report.endsWith(u"รับข้อมูลเรียบร้อย (ออกจากระบบ)\r\n"_s), qPrintable(report));
    QCOMPARE(s.popupShows(), 1);
}

void TestMailCheckSocket::refusedConnection()
{
    quint16 port = 0;
    {
        ScriptedServer gone;
        port = gone.port();
    }
    ScriptedServer placeholder;
    Session s(placeholder);
    s.watcher.session().setPlainPort(port);
    QVERIFY(!s.watcher.check());
    QTRY_COMPARE(s.view.status, u"10061 : เซิร์ฟเวอร์ไม่รับการเชื่อมต่อ : Connection refused\r\n"_s);
    QCOMPARE(s.state(), State::Greeting);
}

void TestMailCheckSocket::newCheckWhileTheOldOneIsOpen()
{
    ScriptedServer first;
    first.greeting = "+OK\r\n";
    first.answers = {"+OK\r\n"}; // and then no answer to PASS
    Session s(first);
    QVERIFY(!s.watcher.check());
    QTRY_COMPARE(s.state(), State::Pass);

    ScriptedServer second;
    second.greeting = "+OK second\r\n";
    s.watcher.session().setPlainPort(second.port());
    s.view.status.clear();
    QVERIFY(!s.watcher.check());
    QVERIFY(first.waitForClientGone());
    QTRY_COMPARE(s.view.status, u"+OK second\r\n\r\n"_s + UserLine);
    QCOMPARE(s.state(), State::User);
}

QTEST_GUILESS_MAIN(TestMailCheckSocket)
#include "tst_mailcheck_socket.moc"
