// Exact new mail over the real Winsock1 against scripted servers: the UIDL and TOP replies real
// servers give and the ones they should not, what is asked, announced and remembered.
#include "ScriptedServer.h"
#include "WatcherJournal.h"
#include "mailcheck/MailboxWatcher.h"
#include "mailcheck/SeenStore.h"
#include "mailcheck/Winsock1.h"
#include "signin/CredentialSource.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace
{

const QByteArray LongId = QByteArray(200, 'L');

struct Session {
    QTemporaryDir folder;
    SeenStore store{folder.path()};
    QStringList journal;
    Winsock1 socket;
    SteppingClock clock;
    TypedPassword password;
    MailboxWatcher watcher{socket, password, clock, &store};
    WatcherJournal view{watcher, journal};

    explicit Session(const ScriptedServer &server)
    {
        MailboxSettings &settings = watcher.settings();
        settings.server = u"127.0.0.1"_s;
        settings.loginName = u"demo"_s;
        settings.password = u"secret"_s;
        settings.security = SecurityMode::None;
        watcher.session().setPlainPort(server.port());
    }
    Pop3Session::State state() { return watcher.session().state(); }
    SeenState remembered() const { return store.load(watcher.key()); }
};

// What an earlier check remembered: these ids, the last of them the last message's.
SeenState seen(const QList<QByteArray> &ids)
{
    SeenState state;
    state.known = true;
    state.ids = QSet<QByteArray>(ids.cbegin(), ids.cend());
    state.count = ids.size();
    state.octets = 100 * ids.size();
    state.lastId = ids.isEmpty() ? QByteArray() : ids.last();
    // Listed an hour before the check (SteppingClock's time): no daily listing is due.
    state.listedAt = SteppingClock().times.first().toUTC().addSecs(-3600);
    return state;
}

QByteArray top(const QByteArray &from, const QByteArray &subject)
{
    return "+OK\r\nFrom: " + from + " <someone@example.org>\r\nSubject: " + subject +
           "\r\nDate: Thu, 7 Mar 2024 14:05:09 +0700\r\n\r\n.\r\n";
}

QList<QByteArray> sortedIds(const SeenState &state)
{
    QList<QByteArray> ids(state.ids.cbegin(), state.ids.cend());
    std::sort(ids.begin(), ids.end());
    return ids;
}

// Each byte its own segment: the next goes out once the client has taken this one (a line's
// bytes held until its end, then handed out).
[[nodiscard]] bool sendByteByByte(ScriptedServer &server, const Winsock1 &socket,
                                  const QByteArray &bytes)
{
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        server.send(bytes.mid(i, 1));
        const bool lineEnd = bytes.at(i) == '\n';
        const qsizetype held = lineEnd ? 0 : i + 1 - lineStart;
        if (lineEnd)
            lineStart = i + 1;
        if (!QTest::qWaitFor([&] { return socket.pendingBytes() == held; }, 10'000))
            return false;
    }
    return true;
}

} // namespace

class TestNewMailSocket : public QObject
{
    Q_OBJECT

private slots:
    void exactNewMail_data();
    void exactNewMail();
    void topOfTenMegabytes();
    void topWithoutItsDotLine();
    void multiLineRepliesSplitAtEveryByte();
};

void TestNewMailSocket::exactNewMail_data()
{
    QTest::addColumn<SeenState>("before"); // nothing saved when not known
    QTest::addColumn<qint64>("totalOld");
    QTest::addColumn<QList<QByteArray>>("answers");  // from the reply to STAT on
    QTest::addColumn<QList<QByteArray>>("commands"); // from STAT on
    QTest::addColumn<QString>("newEmail");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QList<QByteArray>>("seenAfter"); // empty: nothing remembered

    QTest::newRow("no UIDL: the count rule, nothing remembered")
        << SeenState() << qint64(2)
        << QList<QByteArray>{"+OK 3 300\r\n", "-ERR unknown command\r\n",
                             "-ERR unknown command\r\n", top("Ann", "Three"), "+OK bye\r\n"}
        << QList<QByteArray>{"STAT\r\n", "UIDL 3\r\n", "UIDL\r\n", "TOP 3 0\r\n", "QUIT\r\n"}
        << u"1"_s << QStringList{u"Ann: Three"_s} << QList<QByteArray>();
    QTest::newRow("-ERR to UIDL n: the listing tells")
        << seen({"a", "b", "c"}) << qint64(3)
        << QList<QByteArray>{"+OK 4 400\r\n", "-ERR\r\n",
                             "+OK\r\n1 a\r\n2 b\r\n3 c\r\n4 d\r\n.\r\n", top("Bea", "Four"),
                             "+OK bye\r\n"}
        << QList<QByteArray>{"STAT\r\n", "UIDL 4\r\n", "UIDL\r\n", "TOP 4 0\r\n", "QUIT\r\n"}
        << u"1"_s << QStringList{u"Bea: Four"_s} << QList<QByteArray>{"a", "b", "c", "d"};
    QTest::newRow("one id on two messages: one new, shown by its newest copy")
        << seen({"a", "b"}) << qint64(2)
        << QList<QByteArray>{"+OK 4 400\r\n", "+OK 4 x\r\n",      "+OK 3 x\r\n",
                             "+OK 2 b\r\n",   top("Cid", "Copy"), "+OK bye\r\n"}
        << QList<QByteArray>{"STAT\r\n",   "UIDL 4\r\n",  "UIDL 3\r\n",
                             "UIDL 2\r\n", "TOP 4 0\r\n", "QUIT\r\n"}
        << u"1"_s << QStringList{u"Cid: Copy"_s} << QList<QByteArray>{"a", "b", "x"};
    QTest::newRow("an id of 200 characters is taken and remembered")
        << seen({"a"}) << qint64(1)
        << QList<QByteArray>{"+OK 2 200\r\n", "+OK 2 " + LongId + "\r\n", "+OK 1 a\r\n",
                             top("Dao", "Long"), "+OK bye\r\n"}
        << QList<QByteArray>{"STAT\r\n", "UIDL 2\r\n", "UIDL 1\r\n", "TOP 2 0\r\n", "QUIT\r\n"}
        << u"1"_s << QStringList{u"Dao: Long"_s} << QList<QByteArray>{LongId, "a"};
}

void TestNewMailSocket::exactNewMail()
{
    QFETCH(SeenState, before);
    QFETCH(qint64, totalOld);
    QFETCH(QList<QByteArray>, answers);
    QFETCH(QList<QByteArray>, commands);
    QFETCH(QString, newEmail);
    QFETCH(QStringList, messages);
    QFETCH(QList<QByteArray>, seenAfter);

    ScriptedServer server;
    server.greeting = "+OK ready\r\n";
    server.answers = QList<QByteArray>{"+OK\r\n", "+OK\r\n"} + answers;
    server.closeAfterAnswers = true;
    Session s(server);
    s.watcher.settings().totalOldEmail = totalOld;
    QString error;
    if (before.known)
        QVERIFY2(s.store.save(s.watcher.key(), before, &error), qPrintable(error));
    QVERIFY(!s.watcher.check());

    QVERIFY(server.waitForClientGone());
    QTRY_COMPARE(s.state(), Pop3Session::State::Ended);
    QCOMPARE(server.received.mid(2), commands);
    QCOMPARE(s.view.reports.size(), 1);
    const CheckReport &report = s.view.reports.first();
    QCOMPARE(report.newEmailText, std::optional(newEmail));
    QVERIFY(report.announcement);
    QCOMPARE(report.announcement->messages, messages);
    QCOMPARE(sortedIds(s.remembered()), seenAfter);
    QCOMPARE(s.remembered().known, !seenAfter.isEmpty());
    // UIDL and TOP are read quietly: the log tells the described dialogue only.
    QVERIFY2(!s.view.status.contains(u"UIDL"_s) && !s.view.status.contains(u"From:"_s),
             qPrintable(s.view.status));
}

// The first header is kept, the rest of 10 MB read and dropped up to the dot line: the Subject
// behind it is never reached, and the check goes on to QUIT.
void TestNewMailSocket::topOfTenMegabytes()
{
    QByteArray huge = "+OK\r\nFrom: Ann <ann@example.org>\r\n";
    const QByteArray filler = "X-Filler: " + QByteArray(1000, 'x') + "\r\n";
    while (huge.size() < 10 * 1024 * 1024)
        huge += filler;
    huge += "Subject: Behind ten megabytes\r\n\r\n.\r\n";

    ScriptedServer server;
    server.greeting = "+OK\r\n";
    server.answers = {
        "+OK\r\n", "+OK\r\n",    "+OK 1 10485760\r\n", "+OK 1 a\r\n", "+OK\r\n1 a\r\n.\r\n",
        huge,      "+OK bye\r\n"};
    server.closeAfterAnswers = true;
    Session s(server);
    QVERIFY(!s.watcher.check());

    QVERIFY(server.waitForClientGone(60'000));
    QTRY_COMPARE(s.state(), Pop3Session::State::Ended);
    QCOMPARE(server.received.last(), QByteArray("QUIT\r\n"));
    QCOMPARE(s.view.reports.size(), 1);
    QCOMPARE(s.view.reports.first().newMailText, u"1"_s);
    QCOMPARE(s.view.reports.first().announcement->messages, QStringList{u"Ann: (ไม่มีหัวเรื่อง)"_s});
}

// A TOP whose dot line never comes: the deadline ends it, and the report still tells the count.
void TestNewMailSocket::topWithoutItsDotLine()
{
    ScriptedServer server;
    server.greeting = "+OK\r\n";
    server.answers = {"+OK\r\n",
                      "+OK\r\n",
                      "+OK 1 100\r\n",
                      "+OK 1 a\r\n",
                      "+OK\r\n1 a\r\n.\r\n",
                      "+OK\r\nFrom: Ann <ann@example.org>\r\nSubject: Cut\r\n"};
    Session s(server);
    s.socket.setTimeout(300ms);
    QVERIFY(!s.watcher.check());

    QTRY_COMPARE(s.view.reports.size(), 1);
    QCOMPARE(s.view.reports.first().newMailText, u"1"_s);
    QCOMPARE(s.view.reports.first().announcement->newCount, 1);
    QVERIFY(s.view.reports.first().announcement->messages.isEmpty());
    QCOMPARE(s.view.outcomes, QList<CheckOutcome>{CheckOutcome::NewMail});
    QVERIFY2(s.view.status.endsWith(
                 u"10060 : หมดเวลารอคำตอบจากเซิร์ฟเวอร์ : Timed out: the server's reply did not "
                 u"arrive whole within 0.3 seconds\r\n"_s),
             qPrintable(s.view.status));
    QCOMPARE(s.state(), Pop3Session::State::Ended);
    QVERIFY(server.waitForClientGone());
    QCOMPARE(s.remembered().known, true);
}

void TestNewMailSocket::multiLineRepliesSplitAtEveryByte()
{
    ScriptedServer server;
    server.greeting = "+OK\r\n";
    server.answers = {"+OK\r\n", "+OK\r\n", "+OK 2 200\r\n", "+OK 2 b\r\n"};
    Session s(server);
    s.watcher.settings().totalOldEmail = 1;
    QVERIFY(!s.watcher.check());

    QVERIFY(server.waitForLines(5));
    QCOMPARE(server.received.last(), QByteArray("UIDL\r\n"));
    QVERIFY(sendByteByByte(server, s.socket, "+OK 2 messages\r\n1 a\r\n2 b\r\n.\r\n"));
    QVERIFY(server.waitForLines(6));
    QCOMPARE(server.received.last(), QByteArray("TOP 2 0\r\n"));
    server.answers = {"+OK bye\r\n"};
    server.closeAfterAnswers = true;
    QVERIFY(sendByteByByte(server, s.socket, top("Ann", "Split")));

    QVERIFY(server.waitForClientGone());
    QTRY_COMPARE(s.state(), Pop3Session::State::Ended);
    QCOMPARE(server.received.last(), QByteArray("QUIT\r\n"));
    QCOMPARE(s.view.reports.size(), 1);
    QCOMPARE(s.view.reports.first().newEmailText, std::optional(u"1"_s));
    QCOMPARE(s.view.reports.first().announcement->messages, QStringList{u"Ann: Split"_s});
    QCOMPARE(sortedIds(s.remembered()), (QList<QByteArray>{"a", "b"}));
}

QTEST_GUILESS_MAIN(TestNewMailSocket)
#include "tst_newmail_socket.moc"
