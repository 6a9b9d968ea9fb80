// IMAP over the real Winsock1 against scripted servers: what Dovecot will not do (no IDLE, no
// STATUS=SIZE, synchronizing literals, PREAUTH, SASL PLAIN where LOGIN is disabled) and what a
// hostile server does (a 2 GB literal, a flood, silence, BYE or a hang-up while idling,
// LOGINDISABLED, bytes behind the STARTTLS reply).
#include "ScriptedServer.h"
#include "WatcherJournal.h"
#include "mailcheck/MailboxWatcher.h"
#include "mailcheck/Winsock1.h"
#include "signin/CredentialSource.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace
{

struct Session {
    QStringList journal;
    Winsock1 socket;
    SteppingClock clock;
    TypedPassword password;
    QTemporaryDir state;
    SeenStore seen{state.path()};
    MailboxWatcher watcher{socket, password, clock, &seen};
    WatcherJournal view{watcher, journal};

    Session(const ScriptedServer &server, SecurityMode mode = SecurityMode::None)
    {
        socket.setTimeout(1s);
        MailboxSettings &settings = watcher.settings();
        settings.server = u"imap://127.0.0.1"_s;
        settings.loginName = u"demo"_s;
        settings.password = u"secret"_s;
        settings.security = mode;
        watcher.imapSession().setPlainPort(server.port());
    }
    ImapSession &imap() { return watcher.imapSession(); }
    [[nodiscard]] bool waitForOutcome()
    {
        return QTest::qWaitFor([this] { return !view.outcomes.isEmpty(); }, 10'000);
    }
};

QByteArray examined(int count, int uidNext)
{
    return "* FLAGS (\\Seen)\r\n* " + QByteArray::number(count) +
           " EXISTS\r\n* OK [UIDVALIDITY 5] UIDs valid\r\n* OK [UIDNEXT " +
           QByteArray::number(uidNext) + "] next\r\n";
}

QByteArray header(int sequence, int uid, const QByteArray &subject)
{
    const QByteArray block = "From: Sender <s@example.org>\r\nSubject: " + subject + "\r\n\r\n";
    return "* " + QByteArray::number(sequence) + " FETCH (UID " + QByteArray::number(uid) +
           " BODY[HEADER.FIELDS (FROM SUBJECT DATE)]<0> {" + QByteArray::number(block.size()) +
           "}\r\n" + block + ")\r\n";
}

// A server with IDLE and STATUS=SIZE, its mailbox of one message read up to the IDLE.
const QByteArray IdleGreeting = "* OK [CAPABILITY IMAP4rev1 IDLE STATUS=SIZE LITERAL+] ready\r\n";
const QList<QByteArray> UpToIdle{
    "L1 OK Logged in\r\n",
    "* CAPABILITY IMAP4rev1 IDLE STATUS=SIZE\r\nL2 OK\r\n",
    "* STATUS INBOX (SIZE 2048)\r\nL3 OK\r\n",
    examined(1, 2) + "L4 OK [READ-ONLY] done\r\n",
    header(1, 1, "One") + "L5 OK\r\n",
    "+ idling\r\n",
};

} // namespace

class TestImapSocket : public QObject
{
    Q_OBJECT

private slots:
    void withoutIdleOrStatusSize();
    void signIn_data();
    void signIn();
    void hostileServers_data();
    void hostileServers();
    void idleEnds_data();
    void idleEnds();
    void forgottenIdleConnectsAnew();
};

// A plain IMAP4rev1 server: a Thai user name in a literal that waits for "+", sizes added up, the
// new mail by UID on the next check, LOGOUT after each report.
void TestImapSocket::withoutIdleOrStatusSize()
{
    ScriptedServer server;
    server.greeting = "* OK IMAP4rev1 ready\r\n";
    const QByteArray user = u"สมชาย"_s.toUtf8();
    server.answers = {
        "* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\nL1 OK\r\n",
        "+ go on\r\n",
        "L2 OK [CAPABILITY IMAP4rev1] in\r\n",
        examined(2, 9) + "L3 OK [READ-ONLY] done\r\n",
        "* 1 FETCH (RFC822.SIZE 1000)\r\n* 2 FETCH (RFC822.SIZE 2000)\r\nL4 OK\r\n",
        header(2, 8, "Two") + header(1, 7, "One") + "L5 OK\r\n",
        "* BYE bye\r\nL6 OK\r\n",
    };
    Session s(server);
    s.watcher.settings().loginName = u"สมชาย"_s;
    QVERIFY(!s.watcher.check());
    QVERIFY(QTest::qWaitFor([&] { return s.imap().state() == ImapSession::State::Ended; }));

    QCOMPARE(server.received,
             (QList<QByteArray>{
                 "L1 CAPABILITY\r\n", "L2 LOGIN {" + QByteArray::number(user.size()) + "}\r\n",
                 user + " \"secret\"\r\n", "L3 EXAMINE INBOX\r\n", "L4 FETCH 1:* (RFC822.SIZE)\r\n",
                 "L5 FETCH 2,1 (UID BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)]"
                 "<0.32768>)\r\n",
                 "L6 LOGOUT\r\n"}));
    QCOMPARE(s.view.status, u"* OK IMAP4rev1 ready\r\n\r\nชื่อผู้ใช้ : สมชาย\r\n"
                            u"รหัสผ่าน : xxxxxxxxxxxx \r\nL2 OK [CAPABILITY IMAP4rev1] in\r\n\r\n"
                            u"รับข้อมูลจาก imap://127.0.0.1\r\nL3 OK [READ-ONLY] done\r\n\r\n"
                            u"รับข้อมูลเรียบร้อย (ออกจากระบบ)\r\n"_s);
    QCOMPARE(s.view.reports.size(), 1);
    QCOMPARE(s.view.reports[0].newMailText, u"2"_s);
    QCOMPARE(s.view.reports[0].mailSizeText, u"อีเมลล์ทั้งหมดมีขนาด 3 กิโลไบต์"_s);
    QCOMPARE(s.view.reports[0].announcement->messages,
             (QStringList{u"Sender: Two"_s, u"Sender: One"_s}));

    // The next check: two more messages, one of them read elsewhere, in a mailbox too big to add
    // up, told as IMAP4rev2 tells a search. (n:* also names UID 8, the highest below 9: not new.)
    server.answers = {
        "+ go on\r\n",
        "L1 OK [CAPABILITY IMAP4rev1] in\r\n",
        examined(1001, 11) + "L2 OK [READ-ONLY] done\r\n",
        "* ESEARCH (TAG \"L3\") UID ALL 8,10\r\nL3 OK\r\n",
        header(1001, 10, "Ten") + "L4 OK\r\n",
        "* BYE bye\r\nL5 OK\r\n",
    };
    server.received.clear();
    server.greeting = "* OK [CAPABILITY IMAP4rev1] ready\r\n";
    QVERIFY(!s.watcher.check());
    QVERIFY(QTest::qWaitFor([&] { return s.view.reports.size() == 2; }));
    QCOMPARE(server.received.at(3), "L3 UID SEARCH UID 9:* UNSEEN\r\n");
    QVERIFY2(server.received.at(4).startsWith("L4 UID FETCH 10 ("),
             server.received.at(4).constData());
    QCOMPARE(s.view.reports[1].mailSizeText, u"ไม่ทราบขนาดของอีเมลล์ทั้งหมด"_s);
    QCOMPARE(s.view.reports[1].announcement->mailLine, u"มีอีเมลล์ใหม่ 1 [1001] ฉบับ "_s);
    QCOMPARE(s.view.reports[1].announcement->messages, QStringList{u"Sender: Ten"_s});
}

// The ways in besides LOGIN: a session signed in before the greeting, and SASL PLAIN where LOGIN
// is disabled, its response on the server's "+" or, with SASL-IR, in the command itself.
void TestImapSocket::signIn_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QList<QByteArray>>("signedIn"); // the answers up to the signed-in state
    QTest::addColumn<QList<QByteArray>>("sent");     // what the client sends up to EXAMINE

    const QByteArray loggedIn = "OK [CAPABILITY IMAP4rev1] in\r\n";
    QTest::newRow("PREAUTH") << QByteArray("* PREAUTH [CAPABILITY IMAP4rev1] signed in\r\n")
                             << QList<QByteArray>{} << QList<QByteArray>{"L1 EXAMINE INBOX\r\n"};
    QTest::newRow("AUTHENTICATE PLAIN on the server's +")
        << QByteArray("* OK [CAPABILITY IMAP4rev1 LOGINDISABLED AUTH=PLAIN] ready\r\n")
        << QList<QByteArray>{"+ \r\n", "L1 " + loggedIn}
        << QList<QByteArray>{"L1 AUTHENTICATE PLAIN\r\n", "AGRlbW8Ac2VjcmV0\r\n",
                             "L2 EXAMINE INBOX\r\n"};
    QTest::newRow("AUTHENTICATE PLAIN with SASL-IR")
        << QByteArray("* OK [CAPABILITY IMAP4rev1 SASL-IR LOGINDISABLED AUTH=PLAIN] ready\r\n")
        << QList<QByteArray>{"L1 " + loggedIn}
        << QList<QByteArray>{"L1 AUTHENTICATE PLAIN AGRlbW8Ac2VjcmV0\r\n", "L2 EXAMINE INBOX\r\n"};
}

void TestImapSocket::signIn()
{
    QFETCH(QByteArray, greeting);
    QFETCH(QList<QByteArray>, signedIn);
    QFETCH(QList<QByteArray>, sent);

    ScriptedServer server;
    server.greeting = greeting;
    // The tags go on from EXAMINE's.
    const int examine = sent.last().mid(1, sent.last().indexOf(' ') - 1).toInt();
    const auto tagged = [&](int offset, const QByteArray &rest) {
        return "L" + QByteArray::number(examine + offset) + ' ' + rest;
    };
    server.answers = signedIn + QList<QByteArray>{
                                    examined(1, 2) + tagged(0, "OK [READ-ONLY] done\r\n"),
                                    "* 1 FETCH (RFC822.SIZE 10)\r\n" + tagged(1, "OK\r\n"),
                                    header(1, 1, "One") + tagged(2, "OK\r\n"),
                                    "* BYE bye\r\n" + tagged(3, "OK\r\n"),
                                };
    Session s(server);
    QVERIFY(!s.watcher.check());
    QVERIFY(s.waitForOutcome());
    QCOMPARE(s.view.outcomes, QList<CheckOutcome>{CheckOutcome::NewMail});
    QCOMPARE(server.received.mid(0, sent.size()), sent);
    QCOMPARE(s.view.reports.size(), 1);
    QCOMPARE(s.view.reports[0].announcement->messages, QStringList{u"Sender: One"_s});
}

void TestImapSocket::hostileServers_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QList<QByteArray>>("answers");
    QTest::addColumn<QString>("line"); // how the last line of the log begins
    QTest::addColumn<QByteArray>("neverSent");

    const QByteArray greeting = "* OK [CAPABILITY IMAP4rev1] ready\r\n";
    const QList<QByteArray> loggedIn{"L1 OK [CAPABILITY IMAP4rev1] in\r\n"};
    QTest::newRow("a literal announced as 2 GB")
        << int(SecurityMode::None) << greeting
        << loggedIn + QList<QByteArray>{examined(1, 2) + "L2 OK [READ-ONLY]\r\n",
                                        "* 1 FETCH (RFC822.SIZE 10 X {2147483648}\r\n"}
        << u"อ่านคำตอบของเซิร์ฟเวอร์ IMAP ไม่ได้ จึงหยุดการเช็คครั้งนี้ : a literal of 2147483648 bytes"_s
        << QByteArray("L4");
    QTest::newRow("an untagged flood")
        << int(SecurityMode::None) << greeting
        << loggedIn + QList<QByteArray>{QByteArray("* OK still here\r\n").repeated(100'001)}
        << u"เซิร์ฟเวอร์ส่งข้อมูลมาไม่หยุด"_s << QByteArray("L3");
    QTest::newRow("no tagged reply")
        << int(SecurityMode::None) << greeting << loggedIn + QList<QByteArray>{examined(1, 2)}
        << u"10060 : หมดเวลารอคำตอบจากเซิร์ฟเวอร์ : Timed out: no reply to EXAMINE INBOX within 1 seconds"_s
        << QByteArray("L3");
    QTest::newRow("a tagged reply to a command not sent yet")
        << int(SecurityMode::None) << greeting
        << QList<QByteArray>{"L1 OK [CAPABILITY IMAP4rev1] in\r\nL2 OK [READ-ONLY] early\r\n"}
        << u"เซิร์ฟเวอร์ส่งคำตอบมาก่อนได้รับคำสั่ง"_s << QByteArray("L2");
    QTest::newRow("LOGINDISABLED without STARTTLS, on this machine")
        << int(SecurityMode::Automatic)
        << QByteArray("* OK [CAPABILITY IMAP4rev1 LOGINDISABLED] ready\r\n") << QList<QByteArray>{}
        << u"เซิร์ฟเวอร์ไม่รับการเข้าสู่ระบบบนการเชื่อมต่อนี้ (LOGINDISABLED)"_s << QByteArray("L1");
    QTest::newRow("bytes in the clear behind the STARTTLS reply")
        << int(SecurityMode::Automatic)
        << QByteArray("* OK [CAPABILITY IMAP4rev1 STARTTLS] ready\r\n")
        << QList<
               QByteArray>{"L1 OK Begin TLS\r\n* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] planted\r\n"}
        << u"12004 : มีข้อมูลไม่เข้ารหัสแทรกมาหลังคำตอบ STARTTLS"_s << QByteArray("L2");
    QTest::newRow("BYE for a greeting")
        << int(SecurityMode::None) << QByteArray("* BYE too busy\r\n") << QList<QByteArray>{}
        << u"เกิดความผิดพลาด : * BYE too busy\r\n48 IMAP Error"_s << QByteArray("L1");
}

void TestImapSocket::hostileServers()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, greeting);
    QFETCH(QList<QByteArray>, answers);
    QFETCH(QString, line);
    QFETCH(QByteArray, neverSent);

    ScriptedServer server;
    server.greeting = greeting;
    server.answers = answers;
    Session s(server, SecurityMode(mode));
    QVERIFY(!s.watcher.check());
    QVERIFY(s.waitForOutcome());

    // A time-out is worth another try soon; the rest is the server's fault.
    const CheckOutcome outcome =
        line.startsWith(u"10060"_s) ? CheckOutcome::Unreachable : CheckOutcome::Failed;
    QCOMPARE(s.view.outcomes, QList<CheckOutcome>{outcome});
    QVERIFY(s.view.reports.isEmpty());
    const QStringList lines = s.view.status.split(u"\r\n"_s, Qt::SkipEmptyParts);
    QVERIFY2(line.contains(u"48 IMAP Error"_s) ? s.view.status.startsWith(line)
                                               : lines.last().startsWith(line),
             qPrintable(s.view.status));
    QVERIFY(server.waitForClientGone());
    for (const QByteArray &sent : std::as_const(server.received))
        QVERIFY2(!sent.startsWith(neverSent), sent.constData());
}

// An idle connection that ends: one line in the log, and the session is over for the reconnect
// to take up.
void TestImapSocket::idleEnds_data()
{
    QTest::addColumn<QByteArray>("end"); // sent by the server while idling; empty: it hangs up
    QTest::addColumn<int>("renewalMs");
    QTest::addColumn<QString>("line");

    QTest::newRow("BYE") << QByteArray("* BYE server shutting down\r\n") << 600'000
                         << u"เซิร์ฟเวอร์ยุติการเชื่อมต่อ : The server said BYE: server shutting down"_s;
    QTest::newRow("hung up") << QByteArray() << 600'000
                             << u"10054 : เซิร์ฟเวอร์ปิดการเชื่อมต่อที่ค้างไว้รออีเมลล์ใหม่"_s;
    QTest::newRow("DONE of the renewal unanswered")
        << QByteArray("* OK still here\r\n") << 50 << u"10060 : หมดเวลารอคำตอบจากเซิร์ฟเวอร์"_s;
}

void TestImapSocket::idleEnds()
{
    QFETCH(QByteArray, end);
    QFETCH(int, renewalMs);
    QFETCH(QString, line);

    ScriptedServer server;
    server.greeting = IdleGreeting;
    server.answers = UpToIdle;
    Session s(server);
    s.imap().setIdleRenewal(std::chrono::milliseconds(renewalMs));
    QVERIFY(!s.watcher.check());
    QVERIFY(QTest::qWaitFor([&] { return s.imap().isIdling(); }));
    QCOMPARE(s.view.reports.size(), 1);
    const QString log = s.view.status;

    if (end.isEmpty())
        server.close();
    else
        server.send(end);
    QVERIFY(QTest::qWaitFor([&] { return s.view.outcomes.size() == 2; }));
    // The watch is lost: reopened after a while, as any dropped connection.
    QCOMPARE(s.view.outcomes.last(), CheckOutcome::Unreachable);
    QVERIFY2(s.view.status.startsWith(log), qPrintable(s.view.status));
    const QString added = s.view.status.mid(log.size());
    QCOMPARE(added.count(u"\r\n"_s), 1);
    QVERIFY2(added.startsWith(line), qPrintable(added));
    QCOMPARE(s.imap().state(), ImapSession::State::Ended);
    QCOMPARE(s.view.reports.size(), 1);
}

// After a resume the idling connection is dropped: the next check logs in on a new one instead
// of sending DONE and NOOP into a connection that may be long gone.
void TestImapSocket::forgottenIdleConnectsAnew()
{
    ScriptedServer server;
    server.greeting = IdleGreeting;
    server.answers = UpToIdle + UpToIdle;
    Session s(server);
    QVERIFY(!s.watcher.check());
    QVERIFY(QTest::qWaitFor([&] { return s.imap().isIdling(); }));
    QTcpSocket *first = server.client();
    const qsizetype sent = server.received.size();

    s.watcher.forgetIdleConnection();
    QVERIFY(!s.imap().isIdling());
    QVERIFY(!s.watcher.check());
    QVERIFY(QTest::qWaitFor([&] { return s.view.reports.size() == 2; }));
    QVERIFY(server.client() != first);
    QVERIFY2(server.received.at(sent).contains(" LOGIN "), server.received.at(sent).constData());
    QVERIFY(QTest::qWaitFor([&] { return s.imap().isIdling(); }));
}

QTEST_GUILESS_MAIN(TestImapSocket)
#include "tst_imap_socket.moc"
