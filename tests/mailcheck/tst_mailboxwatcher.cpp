// One mailbox watched over a scripted socket: what is sent, logged and reported, in order.
#include "WatcherJournal.h"
#include "mailcheck/MailboxWatcher.h"
#include "signin/CredentialSource.h"

#include <QTest>

using namespace Qt::StringLiterals;
using State = Pop3Session::State;

namespace
{

const QString Greeting = u"+OK Dovecot ready.\r\n"_s;
const QString UserLine = u"ชื่อผู้ใช้ : demo\r\n"_s;
const QString PassLine = u"รหัสผ่าน : xxxxxxxxxxxx \r\n"_s;
const QString StatLine = u"รับข้อมูลจาก mail.example.org\r\n"_s;
const QString QuitLine = u"รับข้อมูลเรียบร้อย (ออกจากระบบ)\r\n"_s;
// A server without UIDL: the count rule decides, as it always did.
const QString NoUidl = u"-ERR unknown command\r\n"_s;

// One mailbox's parts, wired as the main window wires them, over the plain dialogue.
struct Session {
    QStringList journal;
    ScriptedSocket socket{journal};
    SteppingClock clock;
    TypedPassword password;
    MailboxWatcher watcher{socket, password, clock, nullptr};
    WatcherJournal view{watcher, journal};

    Session()
    {
        MailboxSettings &settings = watcher.settings();
        settings.server = u"mail.example.org"_s;
        settings.loginName = u"demo"_s;
        settings.password = u"secret"_s;
        settings.security = SecurityMode::None;
    }
    State state() { return watcher.session().state(); }

    // Runs the dialogue up to the reply to PASS, so that the next reply is the STAT reply.
    void reachStat()
    {
        QVERIFY(!watcher.check());
        socket.arrive(Greeting);
        socket.arrive(u"+OK\r\n"_s);
        socket.arrive(u"+OK Logged in.\r\n"_s);
        QCOMPARE(state(), State::Stat);
        journal.clear();
        socket.sent.clear();
        view.progress.clear();
    }
    // The STAT reply of a server without UIDL and TOP, up to the report.
    void statWithoutUidl(const QString &reply)
    {
        socket.arrive(reply);
        if (state() == State::UidlOne) {
            socket.arrive(NoUidl);
            socket.arrive(NoUidl);
        }
        if (state() == State::Top)
            socket.arrive(NoUidl);
    }
};

} // namespace

class TestMailboxWatcher : public QObject
{
    Q_OBJECT

private slots:
    void loginProblems_data();
    void loginProblems();
    void checkStartsAfresh_data();
    void checkStartsAfresh();
    void immediateConnectFailureGoesToTheCaller();

    void dialogue_data();
    void dialogue();
    void failedReply_data();
    void failedReply();
    void wholeDialogue();
    void passwordNeverLogged_data();
    void passwordNeverLogged();
    void replyBeforeItsCommand();

    void report_data();
    void report();
    void soundOnlyWhenTicked_data();
    void soundOnlyWhenTicked();
    void emptyMailboxThenRefilled();
    void lastCheckReadsTheClock();
    void sessionEndsAfterTheReport();
    void newCheckReplacesTheOld();
    void otherProtocolHearsNothing();

    void socketErrors();
};

void TestMailboxWatcher::loginProblems_data()
{
    QTest::addColumn<QString>("userName");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("status");

    const QString noUser = u"กรุณา พิมพ์ ''User Name'' !"_s;
    const QString noPassword = u"กรุณา พิมพ์ ''Password'' !"_s;
    const QString badUser =
        u"ไม่ได้เชื่อมต่อ : ''User Name'' มีอักขระ CR, LF หรือ NUL ซึ่งส่งให้เซิร์ฟเวอร์ไม่ได้"_s;
    const QString badPassword =
        u"ไม่ได้เชื่อมต่อ : ''Password'' มีอักขระ CR, LF หรือ NUL ซึ่งส่งให้เซิร์ฟเวอร์ไม่ได้"_s;

    QTest::newRow("no user name") << QString() << u"secret"_s << noUser;
    QTest::newRow("neither: only the user name is asked for") << QString() << QString() << noUser;
    QTest::newRow("no password") << u"demo"_s << QString() << noPassword;
    QTest::newRow("CR LF in the password would smuggle a command")
        << u"demo"_s << u"x\r\nDELE 1"_s << badPassword;
    QTest::newRow("LF in the user name") << u"de\nmo"_s << u"secret"_s << badUser;
    QTest::newRow("CR in the user name") << u"demo\r"_s << u"secret"_s << badUser;
    QTest::newRow("NUL in the password") << u"demo"_s << u"se\u0000cret"_s << badPassword;
    QTest::newRow("both unsendable: the user name is named") << u"a\nb"_s << u"c\rd"_s << badUser;
    QTest::newRow("missing password comes before an unsendable user name")
        << u"a\nb"_s << QString() << noPassword;
    QTest::newRow("a blank user name passes") << u" "_s << u"secret"_s << QString();
}

void TestMailboxWatcher::loginProblems()
{
    QFETCH(QString, userName);
    QFETCH(QString, password);
    QFETCH(QString, status);

    Session s;
    s.watcher.settings().loginName = userName;
    s.watcher.settings().password = password;
    QCOMPARE(s.watcher.loginProblem().value_or(QString()), status);
}

void TestMailboxWatcher::checkStartsAfresh_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("connect");

    QTest::newRow("ordinary") << u"mail.example.org"_s << u"mail.example.org:110"_s;
    QTest::newRow("server exactly as typed")
        << u" Mail.Example.ORG "_s << u" Mail.Example.ORG :110"_s;
    QTest::newRow("empty server still connects") << QString() << u":110"_s;
}

void TestMailboxWatcher::checkStartsAfresh()
{
    QFETCH(QString, server);
    QFETCH(QString, connect);

    Session s;
    s.watcher.settings().server = server;
    QVERIFY(!s.watcher.check());
    const QStringList expected{u"Close"_s, u"LocalPort 0"_s, u"Connect "_s + connect};
    QCOMPARE(s.journal, expected);
    QCOMPARE(s.state(), State::Greeting);
}

void TestMailboxWatcher::immediateConnectFailureGoesToTheCaller()
{
    Session s;
    s.socket.refuseConnect = true;
    const auto failure = s.watcher.check();
    QCOMPARE(failure, std::optional<QString>(u"no such network here"_s));
    // Reporting it is the caller's business.
    QCOMPARE(s.view.status, QString());
    QCOMPARE(s.view.outcomes, QList<CheckOutcome>{CheckOutcome::Failed});
}

void TestMailboxWatcher::dialogue_data()
{
    QTest::addColumn<int>("replies"); // replies of the dialogue before this one
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QList<int>>("progress");
    QTest::addColumn<State>("stateAfter");

    QTest::newRow("greeting") << 0 << Greeting << QStringList{u"USER demo\r\n"_s}
                              << Greeting + u"\r\n"_s + UserLine << QList<int>{0, 20}
                              << State::User;
    QTest::newRow("greeting of a lone plus")
        << 0 << u"+"_s << QStringList{u"USER demo\r\n"_s} << u"+\r\n"_s + UserLine
        << QList<int>{0, 20} << State::User;
    QTest::newRow("reply to USER")
        << 1 << u"+OK\r\n"_s << QStringList{u"PASS secret\r\n"_s} << u"+OK\r\n\r\n"_s + PassLine
        << QList<int>{0, 40} << State::Pass;
    QTest::newRow("reply to PASS")
        << 2 << u"+OK Logged in.\r\n"_s << QStringList{u"STAT\r\n"_s}
        << u"+OK Logged in.\r\n\r\n"_s + StatLine << QList<int>{0, 60} << State::Stat;
    QTest::newRow("reply to STAT of an empty mailbox: report, then QUIT")
        << 3 << u"+OK 0 0\r\n"_s << QStringList{u"QUIT\r\n"_s} << u"+OK 0 0\r\n\r\n"_s + QuitLine
        << QList<int>{0} << State::Quit;
    QTest::newRow("reply to STAT: the last message's id is asked for")
        << 3 << u"+OK 2 200\r\n"_s << QStringList{u"UIDL 2\r\n"_s} << u"+OK 2 200\r\n\r\n"_s
        << QList<int>{0} << State::UidlOne;
    QTest::newRow("after the session: the goodbye is logged")
        << 4 << u"+OK Logging out.\r\n"_s << QStringList() << u"+OK Logging out.\r\n\r\n"_s
        << QList<int>{0} << State::Ended;
    QTest::newRow("after the session: a negative goodbye is logged")
        << 4 << u"-ERR bye\r\n"_s << QStringList() << u"-ERR bye\r\n\r\n"_s << QList<int>{0}
        << State::Ended;
    QTest::newRow("after the session: an empty goodbye is logged")
        << 4 << QString() << QStringList() << u"\r\n"_s << QList<int>{0} << State::Ended;
}

void TestMailboxWatcher::dialogue()
{
    QFETCH(int, replies);
    QFETCH(QString, reply);
    QFETCH(QStringList, sent);
    QFETCH(QString, log);
    QFETCH(QList<int>, progress);
    QFETCH(State, stateAfter);

    Session s;
    QVERIFY(!s.watcher.check());
    const QStringList before{Greeting, u"+OK\r\n"_s, u"+OK Logged in.\r\n"_s, u"+OK 0 0\r\n"_s};
    for (const QString &line : before.mid(0, replies))
        s.socket.arrive(line);
    s.socket.sent.clear();
    s.view.status.clear();
    s.view.progress.clear();
    s.socket.arrive(reply);

    QCOMPARE(s.socket.sent, sent);
    QCOMPARE(s.view.status, log);
    QCOMPARE(s.view.caret, log.size());
    QCOMPARE(s.view.progress, progress);
    QCOMPARE(s.state(), stateAfter);
    // The goodbye ends the connection.
    QCOMPARE(s.socket.open, stateAfter != State::Ended);
}

void TestMailboxWatcher::failedReply_data()
{
    QTest::addColumn<int>("replies");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<State>("state");
    QTest::addColumn<CheckOutcome>("outcome");

    QTest::newRow("-ERR as greeting")
        << 0 << u"-ERR go away\r\n"_s << State::Greeting << CheckOutcome::Failed;
    QTest::newRow("-ERR to USER") << 1 << u"-ERR no such user\r\n"_s << State::User
                                  << CheckOutcome::Failed;
    QTest::newRow("-ERR to PASS: a refused login")
        << 2 << u"-ERR [AUTH] Authentication failed.\r\n"_s << State::Pass
        << CheckOutcome::LoginRefused;
    QTest::newRow("-ERR [SYS/TEMP] to PASS is no verdict on the password")
        << 2 << u"-ERR [SYS/TEMP] Temporary authentication failure.\r\n"_s << State::Pass
        << CheckOutcome::Failed;
    QTest::newRow("-ERR to STAT") << 3 << u"-ERR mailbox locked\r\n"_s << State::Stat
                                  << CheckOutcome::Failed;
    QTest::newRow("empty reply") << 1 << QString() << State::User << CheckOutcome::Failed;
    QTest::newRow("blank before the plus")
        << 2 << u" +OK\r\n"_s << State::Pass << CheckOutcome::LoginRefused;
    QTest::newRow("U+FFFD where a NUL came first")
        << 0 << u"\uFFFD+OK\r\n"_s << State::Greeting << CheckOutcome::Failed;
}

void TestMailboxWatcher::failedReply()
{
    QFETCH(int, replies);
    QFETCH(QString, reply);
    QFETCH(State, state);
    QFETCH(CheckOutcome, outcome);

    Session s;
    QVERIFY(!s.watcher.check());
    const QStringList before{Greeting, u"+OK\r\n"_s, u"+OK Logged in.\r\n"_s};
    for (const QString &line : before.mid(0, replies))
        s.socket.arrive(line);
    s.socket.sent.clear();
    s.view.progress.clear();
    s.socket.arrive(reply);

    QVERIFY(!s.socket.open);
    QCOMPARE(s.view.status, u"เกิดความผิดพลาด : "_s + reply + u"48 POP3 Error"_s);
    QVERIFY(s.socket.sent.isEmpty());
    QCOMPARE(s.state(), state);
    QCOMPARE(s.view.progress, QList<int>{0});
    // The replacement is the last thing shown: the caret is not moved after it.
    QCOMPARE(s.journal.filter(u"status="_s).last(), u"status="_s + s.view.status);
    QVERIFY(s.journal.last().startsWith(u"status="_s));
    QCOMPARE(s.view.outcomes, QList<CheckOutcome>{outcome});
}

void TestMailboxWatcher::wholeDialogue()
{
    Session s;
    s.watcher.settings().totalOldEmail = 1;
    QVERIFY(!s.watcher.check());
    // A server without UIDL and TOP: the count rule decides, and nothing tells who wrote.
    const QStringList replies{
        Greeting, u"+OK\r\n"_s, u"+OK Logged in.\r\n"_s,  u"+OK 3 12345\r\n"_s, NoUidl,
        NoUidl,   NoUidl,       u"+OK Logging out.\r\n"_s};
    for (const QString &reply : replies)
        s.socket.arrive(reply);

    QCOMPARE(s.socket.sent,
             (QStringList{u"USER demo\r\n"_s, u"PASS secret\r\n"_s, u"STAT\r\n"_s, u"UIDL 3\r\n"_s,
                          u"UIDL\r\n"_s, u"TOP 3 0\r\n"_s, u"QUIT\r\n"_s}));
    const QStringList lines = s.view.status.split(u"\r\n"_s);
    const QStringList expected{u"+OK Dovecot ready."_s,
                               QString(),
                               u"ชื่อผู้ใช้ : demo"_s,
                               u"+OK"_s,
                               QString(),
                               u"รหัสผ่าน : xxxxxxxxxxxx "_s,
                               u"+OK Logged in."_s,
                               QString(),
                               u"รับข้อมูลจาก mail.example.org"_s,
                               u"+OK 3 12345"_s,
                               QString(),
                               u"รับข้อมูลเรียบร้อย (ออกจากระบบ)"_s,
                               u"+OK Logging out."_s,
                               QString(),
                               QString()};
    QCOMPARE(lines, expected);
    QCOMPARE(s.view.progress, (QList<int>{0, 20, 0, 40, 0, 60, 0, 0}));
    QCOMPARE(s.state(), State::Ended);
    QCOMPARE(s.view.reports.size(), 1);
    QCOMPARE(s.view.reports[0].newMailText, u"3"_s);
    QCOMPARE(s.view.popupMail(), u"มีอีเมลล์ใหม่ 2 [3] ฉบับ "_s);
}

void TestMailboxWatcher::passwordNeverLogged_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("one character") << u"Q"_s;
    QTest::newRow("forty characters") << u"0123456789abcdefghijABCDEFGHIJ0123456789"_s;
    QTest::newRow("Thai") << u"รหัสลับสุดยอด"_s;
    QTest::newRow("blanks only") << u"   "_s;
}

void TestMailboxWatcher::passwordNeverLogged()
{
    QFETCH(QString, password);

    Session s;
    s.watcher.settings().password = password;
    QVERIFY(!s.watcher.check());
    s.socket.arrive(Greeting);
    s.socket.arrive(u"+OK\r\n"_s);
    QCOMPARE(s.socket.sent.last(), u"PASS "_s + password + u"\r\n"_s);
    QVERIFY(s.view.status.endsWith(PassLine));
    s.socket.arrive(u"+OK Logged in.\r\n"_s);
    s.statWithoutUidl(u"+OK 1 10\r\n"_s);
    QVERIFY2(!s.view.status.contains(password), qPrintable(s.view.status));
}

// Two "+OK" in one segment after USER: the second came before PASS was sent, so it cannot be
// PASS's answer.
void TestMailboxWatcher::replyBeforeItsCommand()
{
    Session s;
    QVERIFY(!s.watcher.check());
    s.socket.arrive(Greeting);
    s.socket.early = {u"+OK\r\n"_s};
    s.socket.arrive(u"+OK\r\n"_s);

    QCOMPARE(s.socket.sent, QStringList{u"USER demo\r\n"_s});
    QVERIFY(!s.socket.open);
    QVERIFY2(
        s.view.status.endsWith(
            u"เซิร์ฟเวอร์ส่งคำตอบมาก่อนได้รับคำสั่ง จึงหยุดการเช็คครั้งนี้ : The server sent a reply before the command it would answer was sent\r\n"_s),
        qPrintable(s.view.status));
    QCOMPARE(s.view.outcomes, QList<CheckOutcome>{CheckOutcome::Failed});
    QVERIFY(s.view.reports.isEmpty());
}

void TestMailboxWatcher::report_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<qint64>("totalOld");
    QTest::addColumn<qint64>("sizeBefore");
    QTest::addColumn<QString>("newMail");
    QTest::addColumn<QString>("kilobytes");
    QTest::addColumn<QString>("newEmail"); // "" leaves txtNewEmail
    QTest::addColumn<qint64>("totalAfter");
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("popup");

    const QString none;
    QTest::newRow("two new of three")
        << u"+OK 3 12345\r\n"_s << qint64(1) << qint64(0) << u"3"_s << u"12"_s << u"2"_s
        << qint64(3) << true << u"มีอีเมลล์ใหม่ 2 [3] ฉบับ "_s;
    QTest::newRow("511 octets are 0 KB")
        << u"+OK 1 511\r\n"_s << qint64(0) << qint64(0) << u"1"_s << u"0"_s << u"1"_s << qint64(1)
        << true << u"มีอีเมลล์ใหม่ 1 [1] ฉบับ "_s;
    QTest::newRow("512 octets are 1 KB") << u"+OK 1 512\r\n"_s << qint64(1) << qint64(0) << u"1"_s
                                         << u"1"_s << u"0"_s << qint64(1) << true << none;
    QTest::newRow("2560 octets are 3 KB") << u"+OK 1 2560\r\n"_s << qint64(1) << qint64(0) << u"1"_s
                                          << u"3"_s << u"0"_s << qint64(1) << true << none;
    QTest::newRow("fewer than before") << u"+OK 3 3072\r\n"_s << qint64(5) << qint64(0) << u"3"_s
                                       << u"3"_s << u"-2"_s << qint64(3) << true << none;
    QTest::newRow("same as before, saved all the same")
        << u"+OK 3 3072\r\n"_s << qint64(3) << qint64(0) << u"3"_s << u"3"_s << u"0"_s << qint64(3)
        << true << none;
    QTest::newRow("empty mailbox is remembered as empty")
        << u"+OK 0 0\r\n"_s << qint64(5) << qint64(9999) << u"0"_s << u"0"_s << u"0"_s << qint64(0)
        << true << none;
    QTest::newRow("no size: the earlier size stays")
        << u"+OK 3\r\n"_s << qint64(3) << qint64(4096) << u"3"_s << u"4"_s << u"0"_s << qint64(3)
        << true << none;
    QTest::newRow("40,000 messages")
        << u"+OK 40000 123456789\r\n"_s << qint64(39998) << qint64(0) << u"40000"_s << u"120563"_s
        << u"2"_s << qint64(40000) << true << u"มีอีเมลล์ใหม่ 2 [40000] ฉบับ "_s;
    QTest::newRow("3 GiB") << u"+OK 3 3221225472\r\n"_s << qint64(3) << qint64(0) << u"3"_s
                           << u"3145728"_s << u"0"_s << qint64(3) << true << none;
    QTest::newRow("count no number: nothing is known, nothing saved")
        << u"+OK many 2048\r\n"_s << qint64(5) << qint64(0) << u"0"_s << u"2"_s << QString()
        << qint64(5) << false << none;
    QTest::newRow("count past 64 bits reads as no number")
        << u"+OK 99999999999999999999 2048\r\n"_s << qint64(5) << qint64(0) << u"0"_s << u"2"_s
        << QString() << qint64(5) << false << none;
    QTest::newRow("two blanks shift the fields")
        << u"+OK  3 1024\r\n"_s << qint64(5) << qint64(0) << u"0"_s << u"0"_s << QString()
        << qint64(5) << false << none;
    QTest::newRow("a tab after the count")
        << u"+OK 4\t 1024\r\n"_s << qint64(2) << qint64(0) << u"4"_s << u"1"_s << u"2"_s
        << qint64(4) << true << u"มีอีเมลล์ใหม่ 2 [4] ฉบับ "_s;
}

void TestMailboxWatcher::report()
{
    QFETCH(QString, reply);
    QFETCH(qint64, totalOld);
    QFETCH(qint64, sizeBefore);
    QFETCH(QString, newMail);
    QFETCH(QString, kilobytes);
    QFETCH(QString, newEmail);
    QFETCH(qint64, totalAfter);
    QFETCH(bool, save);
    QFETCH(QString, popup);

    Session s;
    s.watcher.settings().totalOldEmail = totalOld;
    s.reachStat();
    s.watcher.MailboxSize = sizeBefore;
    s.statWithoutUidl(reply);

    QCOMPARE(s.view.reports.size(), 1);
    const CheckReport &report = s.view.reports[0];
    QCOMPARE(report.newMailText, newMail);
    QCOMPARE(report.mailSizeText, u"อีเมลล์ทั้งหมดมีขนาด "_s + kilobytes + u" กิโลไบต์"_s);
    QCOMPARE(report.newEmailText.value_or(QString()), newEmail);
    QCOMPARE(s.watcher.settings().totalOldEmail, totalAfter);
    QCOMPARE(report.save, save);
    QCOMPARE(s.view.popupMail(), popup);
    if (!popup.isEmpty()) {
        QCOMPARE(report.announcement->emailLine, u"ถึงคุณ demo ครับ"_s);
        QCOMPARE(report.announcement->caption, u"Alert New E-Mail (Inbox)"_s);
        QVERIFY(!report.announcement->playSound);
    }
    QCOMPARE(s.socket.sent.last(), u"QUIT\r\n"_s);
}

void TestMailboxWatcher::soundOnlyWhenTicked_data()
{
    QTest::addColumn<int>("openSound");
    QTest::addColumn<bool>("plays");
    QTest::newRow("cleared") << 0 << false;
    QTest::newRow("ticked") << 1 << true;
    QTest::newRow("grey") << 2 << false;
}

void TestMailboxWatcher::soundOnlyWhenTicked()
{
    QFETCH(int, openSound);
    QFETCH(bool, plays);

    Session s;
    s.watcher.settings().enableSound = openSound;
    s.reachStat();
    s.statWithoutUidl(u"+OK 2 100\r\n"_s);
    QCOMPARE(s.view.reports.last().announcement->playSound, plays);
}

void TestMailboxWatcher::emptyMailboxThenRefilled()
{
    Session s;
    s.watcher.settings().totalOldEmail = 5;
    const auto check = [&s](const QString &statReply) {
        s.reachStat();
        s.statWithoutUidl(statReply);
        QCOMPARE(s.state(), State::Quit);
    };

    // A client that downloads and deletes leaves the mailbox empty: that is remembered.
    check(u"+OK 0 0\r\n"_s);
    QCOMPARE(s.view.reports.last().newMailText, u"0"_s);
    QCOMPARE(s.watcher.settings().totalOldEmail, qint64(0));
    QCOMPARE(s.view.reports.last().newEmailText, std::optional<QString>(u"0"_s));
    QVERIFY(s.view.reports.last().save);
    QVERIFY(!s.view.reports.last().announcement);

    // So the next messages are new mail, however many there were before.
    check(u"+OK 2 2048\r\n"_s);
    QCOMPARE(s.view.reports.last().newEmailText, std::optional<QString>(u"2"_s));
    QCOMPARE(s.view.popupMail(), u"มีอีเมลล์ใหม่ 2 [2] ฉบับ "_s);
    QCOMPARE(s.watcher.settings().totalOldEmail, qint64(2));
}

void TestMailboxWatcher::lastCheckReadsTheClock()
{
    // The test runs under en_GB (see CMakeLists.txt): dd/MM/yyyy, HH:mm:ss.
    QCOMPARE(QLocale::system().name(), u"en_GB"_s);

    Session s;
    s.reachStat();
    s.statWithoutUidl(u"+OK 1 10\r\n"_s);
    QCOMPARE(s.view.reports.last().lastCheckText, u"เช็คเมื่อ 07/03/2024 เวลา 14:05:09 น."_s);

    // The check's start, then the date, then the time, each its own reading: across midnight
    // the date and the time are a day apart.
    Session late;
    late.clock.times = {QDateTime(QDate(2024, 12, 31), QTime(23, 59, 58)),
                        QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59, 999)),
                        QDateTime(QDate(2025, 1, 1), QTime(0, 0, 0))};
    late.reachStat();
    late.statWithoutUidl(u"+OK 1 10\r\n"_s);
    QCOMPARE(late.view.reports.last().lastCheckText, u"เช็คเมื่อ 31/12/2024 เวลา 00:00:00 น."_s);
    QCOMPARE(late.clock.readings, 3);
}

void TestMailboxWatcher::sessionEndsAfterTheReport()
{
    Session s;
    s.watcher.settings().totalOldEmail = 1;
    s.reachStat();
    s.statWithoutUidl(u"+OK 3 12345\r\n"_s);
    QCOMPARE(s.socket.sent.last(), u"QUIT\r\n"_s);
    QVERIFY(s.view.status.endsWith(u"+OK 3 12345\r\n\r\n"_s + QuitLine));
    QCOMPARE(s.state(), State::Quit);
    const QString report = s.view.status;

    // Whatever answers QUIT neither repeats the report nor wipes it, and it ends the connection;
    // a line that arrives anyway is ignored.
    s.socket.arrive(u"+OK 9 99999\r\n"_s);
    QVERIFY(!s.socket.open);
    s.socket.arrive(u"-ERR late\r\n"_s);
    QCOMPARE(s.view.reports.size(), 1);
    QCOMPARE(s.watcher.settings().totalOldEmail, qint64(3));
    QCOMPARE(s.view.status, report + u"+OK 9 99999\r\n\r\n"_s);
    // A goodbye that does not come needs no error line.
    s.socket.raise(10060, u"Timed out"_s);
    QCOMPARE(s.view.status, report + u"+OK 9 99999\r\n\r\n"_s);
}

void TestMailboxWatcher::newCheckReplacesTheOld()
{
    Session s;
    QVERIFY(!s.watcher.check());
    s.socket.arrive(Greeting);
    s.socket.arrive(u"+OK\r\n"_s);
    QCOMPARE(s.state(), State::Pass);

    s.journal.clear();
    QVERIFY(!s.watcher.check());
    QCOMPARE(s.journal,
             (QStringList{u"Close"_s, u"LocalPort 0"_s, u"Connect mail.example.org:110"_s}));
    // The new check's greeting is its own.
    s.socket.arrive(Greeting);
    QCOMPARE(s.socket.sent.last(), u"USER demo\r\n"_s);
    QCOMPARE(s.state(), State::User);
}

// A POP3 check left in its TLS handshake when the server box turns to IMAP: the IMAP
// session's handshake is never taken for POP3's, which would send its USER.
void TestMailboxWatcher::otherProtocolHearsNothing()
{
    Session s;
    s.watcher.settings().security = SecurityMode::Automatic;
    QVERIFY(!s.watcher.check());
    for (const QString &line : {Greeting, u"+OK\r\n"_s, u"STLS\r\n"_s, u".\r\n"_s, u"+OK\r\n"_s})
        s.socket.arrive(line);
    QCOMPARE(s.state(), State::Handshake);

    s.watcher.settings().server = u"imap://mail.example.org"_s;
    s.socket.sent.clear();
    QVERIFY(!s.watcher.check());
    QCOMPARE(s.journal.last(), u"Connect mail.example.org:143"_s);
    QCOMPARE(s.watcher.key().protocol, u"imap"_s);
    s.socket.arrive(u"* OK [CAPABILITY IMAP4rev1 STARTTLS] ready\r\n"_s);
    s.socket.arrive(u"L1 OK go\r\n"_s);
    emit s.socket.encrypted();
    s.socket.arrive(u"* CAPABILITY IMAP4rev1\r\n"_s);
    s.socket.arrive(u"L2 OK\r\n"_s);
    QCOMPARE(s.socket.sent, (QStringList{u"L1 STARTTLS\r\n"_s, u"L2 CAPABILITY\r\n"_s,
                                         u"L3 LOGIN \"demo\" \"secret\"\r\n"_s}));
    QVERIFY2(s.view.status.startsWith(u"* OK [CAPABILITY IMAP4rev1 STARTTLS] ready\r\n"_s),
             qPrintable(s.view.status));
    QCOMPARE(s.state(), State::Idle);
}

void TestMailboxWatcher::socketErrors()
{
    Session s;
    QVERIFY(!s.watcher.check());
    s.socket.raise(10061, u"Connection refused"_s);
    QCOMPARE(s.view.status, u"10061 : Connection refused\r\n"_s);
    QVERIFY(!s.socket.open);
    QCOMPARE(s.view.caret, s.view.status.size());

    s.socket.raise(-5, u"odd"_s);
    QCOMPARE(s.view.status, u"10061 : Connection refused\r\n-5 : odd\r\n"_s);
    QCOMPARE(s.state(), State::Greeting);
    QCOMPARE(s.view.progress, QList<int>());
    QCOMPARE(s.view.outcomes,
             (QList<CheckOutcome>{CheckOutcome::Unreachable, CheckOutcome::Unreachable}));
}

QTEST_GUILESS_MAIN(TestMailboxWatcher)
#include "tst_mailboxwatcher.moc"
