// The check session and its report over a scripted socket: what is sent, logged and shown.
#include "FakeCheckView.h"
#include "mailcheck/MailCheck.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

const QString Greeting = u"+OK Dovecot ready.\r\n"_s;
const QString UserLine = u"ชื่อผู้ใช้ : demo\r\n"_s;
const QString PassLine = u"รหัสผ่าน : xxxxxxxxxxxx \r\n"_s;
const QString StatLine = u"รับข้อมูลจาก mail.example.org\r\n"_s;
const QString QuitLine = u"รับข้อมูลเรียบร้อย (ออกจากระบบ)\r\n"_s;

// One check's parts, wired as the main window wires them.
struct Session {
    QStringList journal;
    FakeCheckView view{journal};
    ScriptedSocket socket{journal};
    SteppingClock clock;
    MailCheck check{view, socket, clock};

    // Runs the dialogue up to the reply to PASS, so that the next reply is the STAT reply.
    void reachStat()
    {
        QVERIFY(!check.CheckEmail());
        socket.arrive(Greeting);
        socket.arrive(u"+OK\r\n"_s);
        socket.arrive(u"+OK Logged in.\r\n"_s);
        QCOMPARE(check.CheckStep, 3);
        journal.clear();
        socket.sent.clear();
        view.progress.clear();
    }
};

QStringList since(const QStringList &journal, const QString &entry)
{
    const qsizetype at = journal.lastIndexOf(entry);
    return at < 0 ? QStringList() : journal.mid(at + 1);
}

} // namespace

class TestMailCheck : public QObject
{
    Q_OBJECT

private slots:
    void missingOrUnsendableFields_data();
    void missingOrUnsendableFields();
    void checkEmailStartsAfresh_data();
    void checkEmailStartsAfresh();
    void immediateConnectFailureGoesToTheCaller();

    void dispatch_data();
    void dispatch();
    void failedReply_data();
    void failedReply();
    void wholeDialogue();
    void passwordNeverLogged_data();
    void passwordNeverLogged();
    void fieldsReadAtTheMomentOfTheStep();

    void statStep_data();
    void statStep();
    void newMailOrder();
    void soundOnlyWhenTicked_data();
    void soundOnlyWhenTicked();
    void emptyMailboxThenRefilled();
    void lastCheckReadsTheClockTwice();
    void sessionEndsAfterTheReport();
    void replacedCheckTouchesNothing_data();
    void replacedCheckTouchesNothing();

    void socketErrors();
    void disconnectMeOnClosedSocket();
};

void TestMailCheck::missingOrUnsendableFields_data()
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
}

void TestMailCheck::missingOrUnsendableFields()
{
    QFETCH(QString, userName);
    QFETCH(QString, password);
    QFETCH(QString, status);

    Session s;
    s.view.userName = userName;
    s.view.password = password;
    s.view.status = u"old log\r\n"_s;
    s.check.CheckStep = 3;
    s.socket.open = true;

    QVERIFY(!s.check.CheckEmail());
    QCOMPARE(s.view.status, status);
    // Nothing else: no connection, no events let through, the old session untouched.
    QCOMPARE(s.journal, QStringList{u"status="_s + status});
    QCOMPARE(s.check.CheckStep, 3);
    QVERIFY(s.socket.open);
}

void TestMailCheck::checkEmailStartsAfresh_data()
{
    QTest::addColumn<QString>("userName");
    QTest::addColumn<QString>("server");

    QTest::newRow("ordinary") << u"demo"_s << u"mail.example.org"_s;
    QTest::newRow("a blank user name passes") << u" "_s << u"mail.example.org"_s;
    QTest::newRow("server exactly as typed") << u"demo"_s << u" Mail.Example.ORG "_s;
    QTest::newRow("empty server still connects") << u"demo"_s << QString();
}

void TestMailCheck::checkEmailStartsAfresh()
{
    QFETCH(QString, userName);
    QFETCH(QString, server);

    Session s;
    s.view.userName = userName;
    s.view.server = server;
    s.view.status = u"the previous session's log\r\n"_s;
    s.check.CheckStep = 3;

    QVERIFY(!s.check.CheckEmail());
    const QStringList expected{u"status="_s, u"events"_s, u"Close"_s, u"LocalPort 0"_s,
                               u"Connect %1:110"_s.arg(server)};
    QCOMPARE(s.journal, expected);
    QCOMPARE(s.check.CheckStep, 0);
    QCOMPARE(s.view.status, QString());
}

void TestMailCheck::immediateConnectFailureGoesToTheCaller()
{
    Session s;
    s.socket.refuseConnect = true;
    const auto failure = s.check.CheckEmail();
    QCOMPARE(failure, std::optional<QString>(u"no such network here"_s));
    // Reporting it is the caller's business.
    QCOMPARE(s.view.status, QString());
}

void TestMailCheck::dispatch_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QList<int>>("progress");
    QTest::addColumn<int>("stepAfter");

    QTest::newRow("greeting") << 0 << Greeting << QStringList{u"USER demo\r\n"_s}
                              << Greeting + u"\r\n"_s + UserLine << QList<int>{0, 20} << 1;
    QTest::newRow("greeting of a lone plus") << 0 << u"+"_s << QStringList{u"USER demo\r\n"_s}
                                             << u"+\r\n"_s + UserLine << QList<int>{0, 20} << 1;
    QTest::newRow("reply to USER") << 1 << u"+OK\r\n"_s << QStringList{u"PASS secret\r\n"_s}
                                   << u"+OK\r\n\r\n"_s + PassLine << QList<int>{0, 40} << 2;
    QTest::newRow("reply to PASS")
        << 2 << u"+OK Logged in.\r\n"_s << QStringList{u"STAT\r\n"_s}
        << u"+OK Logged in.\r\n\r\n"_s + StatLine << QList<int>{0, 60} << 3;
    QTest::newRow("reply to STAT: report, then QUIT")
        << 3 << u"+OK 0 0\r\n"_s << QStringList{u"QUIT\r\n"_s} << u"+OK 0 0\r\n\r\n"_s + QuitLine
        << QList<int>{0, 100} << 4;
    QTest::newRow("after the session: the goodbye is logged")
        << 4 << u"+OK Logging out.\r\n"_s << QStringList() << u"+OK Logging out.\r\n\r\n"_s
        << QList<int>{0} << 4;
    QTest::newRow("after the session: a negative goodbye is logged")
        << 4 << u"-ERR bye\r\n"_s << QStringList() << u"-ERR bye\r\n\r\n"_s << QList<int>{0} << 4;
    QTest::newRow("after the session: an empty goodbye is logged")
        << 4 << QString() << QStringList() << u"\r\n"_s << QList<int>{0} << 4;
    QTest::newRow("state 7 closes, then logs out over the closed socket")
        << 7 << u"+OK\r\n"_s << QStringList() << u"+OK\r\n\r\nQUIT\r\n"_s << QList<int>{0} << 7;
    QTest::newRow("a state no step has")
        << 5 << u"+OK\r\n"_s << QStringList() << u"+OK\r\n\r\n"_s << QList<int>{0} << 5;
}

void TestMailCheck::dispatch()
{
    QFETCH(int, step);
    QFETCH(QString, reply);
    QFETCH(QStringList, sent);
    QFETCH(QString, log);
    QFETCH(QList<int>, progress);
    QFETCH(int, stepAfter);

    Session s;
    s.socket.open = true;
    s.check.CheckStep = step;
    s.check.MessageCount = 9;
    s.socket.arrive(reply);

    QCOMPARE(s.socket.sent, sent);
    QCOMPARE(s.view.status, log);
    QCOMPARE(s.view.caret, log.size());
    QCOMPARE(s.view.progress, progress);
    QCOMPARE(s.check.CheckStep, stepAfter);
    if (step == 0)
        QCOMPARE(s.check.MessageCount, 0); // a new conversation counts afresh
    // The goodbye ends the connection; state 7 closes before it says QUIT.
    QCOMPARE(s.socket.open, step != 4 && step != 7);
    if (step == 7)
        QCOMPARE(s.view.eventRuns, 2);
}

void TestMailCheck::failedReply_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("reply");

    QTest::newRow("-ERR as greeting") << 0 << u"-ERR go away\r\n"_s;
    QTest::newRow("-ERR to USER") << 1 << u"-ERR no such user\r\n"_s;
    QTest::newRow("-ERR to PASS") << 2 << u"-ERR [AUTH] Authentication failed.\r\n"_s;
    QTest::newRow("-ERR to STAT") << 3 << u"-ERR mailbox locked\r\n"_s;
    QTest::newRow("empty reply") << 1 << QString();
    QTest::newRow("blank before the plus") << 2 << u" +OK\r\n"_s;
    QTest::newRow("U+FFFD where a NUL came first") << 0 << u"\uFFFD+OK\r\n"_s;
    QTest::newRow("negative reply in state 7") << 7 << u"-ERR\r\n"_s;
}

void TestMailCheck::failedReply()
{
    QFETCH(int, step);
    QFETCH(QString, reply);

    Session s;
    s.socket.open = true;
    s.check.CheckStep = step;
    s.view.status = u"the conversation so far\r\n"_s;
    s.socket.arrive(reply);

    QVERIFY(!s.socket.open);
    QCOMPARE(s.view.status, u"เกิดความผิดพลาด : "_s + reply + u"48 POP3 Error"_s);
    QVERIFY(s.socket.sent.isEmpty());
    QCOMPARE(s.check.CheckStep, step);
    QCOMPARE(s.view.progress, QList<int>{0});
    // The replacement is the last thing done: the caret is not moved after it.
    QCOMPARE(s.journal.last(), u"status="_s + s.view.status);
    QCOMPARE(since(s.journal, u"Close"_s), QStringList{s.journal.last()});
}

void TestMailCheck::wholeDialogue()
{
    Session s;
    s.check.TotalOldEmail = 1;
    QVERIFY(!s.check.CheckEmail());
    const QStringList replies{Greeting, u"+OK\r\n"_s, u"+OK Logged in.\r\n"_s, u"+OK 3 12345\r\n"_s,
                              u"+OK Logging out.\r\n"_s};
    for (const QString &reply : replies)
        s.socket.arrive(reply);

    QCOMPARE(s.socket.sent,
             (QStringList{u"USER demo\r\n"_s, u"PASS secret\r\n"_s, u"STAT\r\n"_s, u"QUIT\r\n"_s}));
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
    QCOMPARE(s.view.progress, (QList<int>{0, 20, 0, 40, 0, 60, 0, 100, 0}));
    QCOMPARE(s.check.CheckStep, 4);
    QCOMPARE(s.view.newMail, u"3"_s);
    QCOMPARE(s.view.popupShows, 1);
}

void TestMailCheck::passwordNeverLogged_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("one character") << u"Q"_s;
    QTest::newRow("twelve characters") << u"hunter2hunte"_s;
    QTest::newRow("forty characters") << u"0123456789abcdefghijABCDEFGHIJ0123456789"_s;
    QTest::newRow("Thai") << u"รหัสลับสุดยอด"_s;
    QTest::newRow("blanks only") << u"   "_s;
}

void TestMailCheck::passwordNeverLogged()
{
    QFETCH(QString, password);

    Session s;
    s.view.password = password;
    QVERIFY(!s.check.CheckEmail());
    s.socket.arrive(Greeting);
    s.socket.arrive(u"+OK\r\n"_s);
    QCOMPARE(s.socket.sent.last(), u"PASS "_s + password + u"\r\n"_s);
    QVERIFY(s.view.status.endsWith(PassLine));
    s.socket.arrive(u"+OK Logged in.\r\n"_s);
    s.socket.arrive(u"+OK 1 10\r\n"_s);
    QVERIFY2(!s.view.status.contains(password), qPrintable(s.view.status));
}

void TestMailCheck::fieldsReadAtTheMomentOfTheStep()
{
    Session s;
    QVERIFY(!s.check.CheckEmail());
    s.view.userName = u"changed"_s;
    s.socket.arrive(Greeting);
    QCOMPARE(s.socket.sent.last(), u"USER changed\r\n"_s);
    QVERIFY(s.view.status.endsWith(u"ชื่อผู้ใช้ : changed\r\n"_s));
    s.view.server = u"other.example.org"_s;
    s.socket.arrive(u"+OK\r\n"_s);
    s.socket.arrive(u"+OK\r\n"_s);
    QVERIFY(s.view.status.endsWith(u"รับข้อมูลจาก other.example.org\r\n"_s));
}

void TestMailCheck::statStep_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<qint64>("totalOld");
    QTest::addColumn<qint64>("sizeBefore");
    QTest::addColumn<QString>("newMail");
    QTest::addColumn<QString>("kilobytes");
    QTest::addColumn<QString>("newEmail");
    QTest::addColumn<qint64>("totalAfter");
    QTest::addColumn<int>("saves");
    QTest::addColumn<QString>("popup");

    const QString none;
    QTest::newRow("two new of three")
        << u"+OK 3 12345\r\n"_s << qint64(1) << qint64(0) << u"3"_s << u"12"_s << u"2"_s
        << qint64(3) << 1 << u"มีอีเมลล์ใหม่ 2 [3] ฉบับ "_s;
    QTest::newRow("511 octets are 0 KB")
        << u"+OK 1 511\r\n"_s << qint64(0) << qint64(0) << u"1"_s << u"0"_s << u"1"_s << qint64(1)
        << 1 << u"มีอีเมลล์ใหม่ 1 [1] ฉบับ "_s;
    QTest::newRow("512 octets are 1 KB") << u"+OK 1 512\r\n"_s << qint64(1) << qint64(0) << u"1"_s
                                         << u"1"_s << u"0"_s << qint64(1) << 1 << none;
    QTest::newRow("1536 octets are 2 KB") << u"+OK 1 1536\r\n"_s << qint64(1) << qint64(0) << u"1"_s
                                          << u"2"_s << u"0"_s << qint64(1) << 1 << none;
    QTest::newRow("2560 octets are 3 KB") << u"+OK 1 2560\r\n"_s << qint64(1) << qint64(0) << u"1"_s
                                          << u"3"_s << u"0"_s << qint64(1) << 1 << none;
    QTest::newRow("fewer than before") << u"+OK 3 3072\r\n"_s << qint64(5) << qint64(0) << u"3"_s
                                       << u"3"_s << u"-2"_s << qint64(3) << 1 << none;
    QTest::newRow("same as before, saved all the same")
        << u"+OK 3 3072\r\n"_s << qint64(3) << qint64(0) << u"3"_s << u"3"_s << u"0"_s << qint64(3)
        << 1 << none;
    QTest::newRow("empty mailbox is remembered as empty")
        << u"+OK 0 0\r\n"_s << qint64(5) << qint64(9999) << u"0"_s << u"0"_s << u"0"_s << qint64(0)
        << 1 << none;
    QTest::newRow("no size: the earlier size stays")
        << u"+OK 3\r\n"_s << qint64(3) << qint64(4096) << u"3"_s << u"4"_s << u"0"_s << qint64(3)
        << 1 << none;
    QTest::newRow("no size on the first check")
        << u"+OK 3\r\n"_s << qint64(3) << qint64(0) << u"3"_s << u"0"_s << u"0"_s << qint64(3) << 1
        << none;
    QTest::newRow("40,000 messages")
        << u"+OK 40000 123456789\r\n"_s << qint64(39998) << qint64(0) << u"40000"_s << u"120563"_s
        << u"2"_s << qint64(40000) << 1 << u"มีอีเมลล์ใหม่ 2 [40000] ฉบับ "_s;
    QTest::newRow("3 GiB") << u"+OK 3 3221225472\r\n"_s << qint64(3) << qint64(0) << u"3"_s
                           << u"3145728"_s << u"0"_s << qint64(3) << 1 << none;
    QTest::newRow("count no number: the 0 of the greeting stays")
        << u"+OK many 2048\r\n"_s << qint64(5) << qint64(0) << u"0"_s << u"2"_s << u"7 (old)"_s
        << qint64(5) << 0 << none;
    QTest::newRow("count past 64 bits reads as no number")
        << u"+OK 99999999999999999999 2048\r\n"_s << qint64(5) << qint64(0) << u"0"_s << u"2"_s
        << u"7 (old)"_s << qint64(5) << 0 << none;
    QTest::newRow("negative count is no count")
        << u"+OK -3 2048\r\n"_s << qint64(5) << qint64(0) << u"0"_s << u"2"_s << u"7 (old)"_s
        << qint64(5) << 0 << none;
    QTest::newRow("size no number: the earlier size stays")
        << u"+OK 2 lots\r\n"_s << qint64(2) << qint64(1024) << u"2"_s << u"1"_s << u"0"_s
        << qint64(2) << 1 << none;
    QTest::newRow("a tab after the count")
        << u"+OK 4\t 1024\r\n"_s << qint64(2) << qint64(0) << u"4"_s << u"1"_s << u"2"_s
        << qint64(4) << 1 << u"มีอีเมลล์ใหม่ 2 [4] ฉบับ "_s;
    QTest::newRow("two blanks shift the fields")
        << u"+OK  3 1024\r\n"_s << qint64(5) << qint64(0) << u"0"_s << u"0"_s << u"7 (old)"_s
        << qint64(5) << 0 << none;
}

void TestMailCheck::statStep()
{
    QFETCH(QString, reply);
    QFETCH(qint64, totalOld);
    QFETCH(qint64, sizeBefore);
    QFETCH(QString, newMail);
    QFETCH(QString, kilobytes);
    QFETCH(QString, newEmail);
    QFETCH(qint64, totalAfter);
    QFETCH(int, saves);
    QFETCH(QString, popup);

    Session s;
    s.reachStat();
    s.check.TotalOldEmail = totalOld;
    s.check.MailboxSize = sizeBefore;
    s.check.NewEmailCount = 7;
    s.view.newEmail = u"7 (old)"_s;
    s.socket.arrive(reply);

    QCOMPARE(s.view.newMail, newMail);
    QCOMPARE(s.view.mailSize, u"อีเมลล์ทั้งหมดมีขนาด "_s + kilobytes + u" กิโลไบต์"_s);
    QCOMPARE(s.view.newEmail, newEmail);
    QCOMPARE(s.check.TotalOldEmail, totalAfter);
    QCOMPARE(s.view.saves, saves);
    QCOMPARE(s.view.popupShows, popup.isEmpty() ? 0 : 1);
    QCOMPARE(s.view.popupMail, popup);
    if (!popup.isEmpty()) {
        QCOMPARE(s.view.popupEmail, u"ถึงคุณ demo ครับ"_s);
        QCOMPARE(s.view.popupCaption, u"Alert New E-Mail (Inbox)"_s);
    }
    // A count that could not be read leaves the difference of the last check.
    if (newEmail == u"7 (old)"_s)
        QCOMPARE(s.check.NewEmailCount, qint64(7));
    else
        QCOMPARE(QString::number(s.check.NewEmailCount), newEmail);
    QCOMPARE(s.view.progress.last(), 100);
    QVERIFY(!s.view.statusFrameVisible);
    QVERIFY(s.view.reportFrameVisible);
    QCOMPARE(s.view.sounds, 0);
}

void TestMailCheck::newMailOrder()
{
    Session s;
    s.reachStat();
    s.check.TotalOldEmail = 1;
    s.view.openSound = 1;
    qint64 savedTotal = -1;
    s.view.onSave = [&] { savedTotal = s.check.TotalOldEmail; };
    s.socket.arrive(u"+OK 3 12345\r\n"_s);

    const QStringList expected{
        u"progress=0"_s,    u"status="_s + s.view.status.chopped(QuitLine.size()),
        u"caret"_s,         u"progress=100"_s,
        u"popupTexts"_s,    u"sound"_s,
        u"newEmail=2"_s,    u"save"_s,
        u"showPopup"_s,     u"newEmail=2"_s,
        u"send QUIT\r\n"_s, u"status="_s + s.view.status,
        u"caret"_s};
    QCOMPARE(s.journal, expected);
    // What is saved is the new count.
    QCOMPARE(savedTotal, qint64(3));
}

void TestMailCheck::soundOnlyWhenTicked_data()
{
    QTest::addColumn<int>("openSound");
    QTest::addColumn<int>("sounds");
    QTest::newRow("cleared") << 0 << 0;
    QTest::newRow("ticked") << 1 << 1;
    QTest::newRow("grey") << 2 << 0;
}

void TestMailCheck::soundOnlyWhenTicked()
{
    QFETCH(int, openSound);
    QFETCH(int, sounds);

    Session s;
    s.reachStat();
    s.view.openSound = openSound;
    s.socket.arrive(u"+OK 2 100\r\n"_s);
    QCOMPARE(s.view.sounds, sounds);
    QCOMPARE(s.view.popupShows, 1);

    // No new mail, no sound, ticked or not.
    Session again;
    again.reachStat();
    again.view.openSound = openSound;
    again.check.TotalOldEmail = 2;
    again.socket.arrive(u"+OK 2 100\r\n"_s);
    QCOMPARE(again.view.sounds, 0);
}

void TestMailCheck::emptyMailboxThenRefilled()
{
    Session s;
    s.check.TotalOldEmail = 5;
    s.view.newEmail = u"1"_s;
    const auto check = [&s](const QString &statReply) {
        s.reachStat();
        s.socket.arrive(statReply);
        QCOMPARE(s.check.CheckStep, 4);
    };

    // A client that downloads and deletes leaves the mailbox empty: that is remembered.
    check(u"+OK 0 0\r\n"_s);
    QCOMPARE(s.view.newMail, u"0"_s);
    QCOMPARE(s.check.TotalOldEmail, qint64(0));
    QCOMPARE(s.check.NewEmailCount, qint64(0));
    QCOMPARE(s.view.newEmail, u"0"_s);
    QCOMPARE(s.view.saves, 1);
    QCOMPARE(s.view.popupShows, 0);

    // So the next messages are new mail, however many there were before.
    check(u"+OK 2 2048\r\n"_s);
    QCOMPARE(s.check.NewEmailCount, qint64(2));
    QCOMPARE(s.view.newEmail, u"2"_s);
    QCOMPARE(s.view.popupShows, 1);
    QCOMPARE(s.view.popupMail, u"มีอีเมลล์ใหม่ 2 [2] ฉบับ "_s);
    QCOMPARE(s.check.TotalOldEmail, qint64(2));
    QCOMPARE(s.view.saves, 2);
}

void TestMailCheck::lastCheckReadsTheClockTwice()
{
    // The test runs under en_GB (see CMakeLists.txt): dd/MM/yyyy, HH:mm:ss.
    QCOMPARE(QLocale::system().name(), u"en_GB"_s);

    Session s;
    s.reachStat();
    s.socket.arrive(u"+OK 1 10\r\n"_s);
    QCOMPARE(s.view.lastCheck, u"เช็คเมื่อ 07/03/2024 เวลา 14:05:09 น."_s);

    // Date first, then the time, each its own reading: across midnight they are a day apart.
    Session late;
    late.clock.times = {QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59, 999)),
                        QDateTime(QDate(2025, 1, 1), QTime(0, 0, 0))};
    late.reachStat();
    late.socket.arrive(u"+OK 1 10\r\n"_s);
    QCOMPARE(late.view.lastCheck, u"เช็คเมื่อ 31/12/2024 เวลา 00:00:00 น."_s);
    QCOMPARE(late.clock.readings, 2);
}

void TestMailCheck::sessionEndsAfterTheReport()
{
    Session s;
    s.reachStat();
    s.check.TotalOldEmail = 1;
    s.socket.arrive(u"+OK 3 12345\r\n"_s);
    QCOMPARE(s.socket.sent, QStringList{u"QUIT\r\n"_s});
    QVERIFY(s.view.status.endsWith(u"+OK 3 12345\r\n\r\n"_s + QuitLine));
    QCOMPARE(s.check.CheckStep, 4);
    const QString report = s.view.status;

    // Whatever answers QUIT neither repeats the report nor wipes it, and it ends the connection;
    // a line that arrives anyway is only logged.
    s.socket.arrive(u"+OK 9 99999\r\n"_s);
    QVERIFY(!s.socket.open);
    s.socket.arrive(u"-ERR late\r\n"_s);
    QCOMPARE(s.view.popupShows, 1);
    QCOMPARE(s.view.saves, 1);
    QCOMPARE(s.view.newMail, u"3"_s);
    QCOMPARE(s.check.TotalOldEmail, qint64(3));
    QCOMPARE(s.view.status, report + u"+OK 9 99999\r\n\r\n-ERR late\r\n\r\n"_s);
    QCOMPARE(s.socket.sent, QStringList{u"QUIT\r\n"_s});
    // A goodbye that does not come needs no error line.
    s.socket.raise(10060, u"Timed out"_s);
    QCOMPARE(s.view.status, report + u"+OK 9 99999\r\n\r\n-ERR late\r\n\r\n"_s);
}

void TestMailCheck::replacedCheckTouchesNothing_data()
{
    QTest::addColumn<bool>("inSave"); // else in the yield of CheckEmail
    QTest::addColumn<qint64>("totalOld");
    QTest::addColumn<QString>("statReply");
    QTest::addColumn<QStringList>("afterReplacement");

    // What the replaced check still does once the new one has connected.
    QTest::newRow("in the save of a report with new mail")
        << true << qint64(1) << u"+OK 3 100\r\n"_s << QStringList{u"showPopup"_s};
    QTest::newRow("in the save of a report without new mail")
        << true << qint64(3) << u"+OK 3 100\r\n"_s << QStringList();
    QTest::newRow("in the save of an emptied mailbox")
        << true << qint64(5) << u"+OK 0 0\r\n"_s << QStringList();
    QTest::newRow("while the check starting lets events run")
        << false << qint64(0) << QString() << QStringList();
}

void TestMailCheck::replacedCheckTouchesNothing()
{
    QFETCH(bool, inSave);
    QFETCH(qint64, totalOld);
    QFETCH(QString, statReply);
    QFETCH(QStringList, afterReplacement);

    Session s;
    s.check.TotalOldEmail = totalOld;
    bool started = false;
    const auto startAnother = [&] {
        if (std::exchange(started, true))
            return;
        QVERIFY(!s.check.CheckEmail());
    };
    if (inSave) {
        s.reachStat();
        s.view.onSave = startAnother;
        s.socket.arrive(statReply);
    } else {
        s.view.onEvents = startAnother;
        QVERIFY(!s.check.CheckEmail());
    }
    QVERIFY(started);

    QCOMPARE(since(s.journal, u"Connect mail.example.org:110"_s), afterReplacement);
    QCOMPARE(s.journal.count(u"Connect mail.example.org:110"_s), 1);
    QCOMPARE(s.check.CheckStep, 0);
    QCOMPARE(s.view.status, QString());
    // The new check's greeting is its own, not the old one's goodbye.
    s.socket.arrive(Greeting);
    QCOMPARE(s.socket.sent.last(), u"USER demo\r\n"_s);
    QCOMPARE(s.check.CheckStep, 1);
}

void TestMailCheck::socketErrors()
{
    Session s;
    QVERIFY(!s.check.CheckEmail());
    s.socket.raise(10061, u"Connection refused"_s);
    QCOMPARE(s.view.status, u"10061 : Connection refused\r\n"_s);
    QVERIFY(!s.socket.open);
    QCOMPARE(s.view.caret, s.view.status.size());

    s.socket.raise(-5, u"odd"_s);
    QCOMPARE(s.view.status, u"10061 : Connection refused\r\n-5 : odd\r\n"_s);
    QCOMPARE(s.check.CheckStep, 0);
    QCOMPARE(s.view.progress, QList<int>());
}

void TestMailCheck::disconnectMeOnClosedSocket()
{
    Session s;
    s.check.CheckStep = 2;
    s.view.status = u"log\r\n"_s;
    s.check.DisconnectMe();
    QVERIFY(s.socket.sent.isEmpty());
    QCOMPARE(s.view.status, u"log\r\nQUIT\r\n"_s);
    QCOMPARE(s.view.caret, s.view.status.size());
    QCOMPARE(s.view.eventRuns, 2);
    QCOMPARE(s.check.CheckStep, 2);

    s.socket.open = true;
    s.check.DisconnectMe();
    QCOMPARE(s.socket.sent, QStringList{u"QUIT\r\n"_s});
}

QTEST_GUILESS_MAIN(TestMailCheck)
#include "tst_mailcheck.moc"
