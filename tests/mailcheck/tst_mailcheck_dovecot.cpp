// Checks against a real Dovecot on port 110, run inside tests/support/pop3-sandbox (see
// CMakeLists.txt): the server, the mailbox and its owner come from the sandbox's environment.
#include "FakeCheckView.h"
#include "mailcheck/MailCheck.h"
#include "mailcheck/Winsock1.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

struct Mailbox {
    qint64 count = 0;
    qint64 octets = 0; // as POP3 counts them: every line ending CR LF
};

// What STAT should say, worked out from the maildir itself.
Mailbox readMailbox(const QString &maildir)
{
    Mailbox box;
    for (const char *folder : {"new", "cur"}) {
        const QDir dir(maildir + u'/' + QLatin1StringView(folder));
        for (const QFileInfo &entry : dir.entryInfoList(QDir::Files)) {
            QFile file(entry.filePath());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = file.readAll();
            qint64 bareLineFeeds = 0;
            for (qsizetype i = 0; i < bytes.size(); ++i)
                if (bytes.at(i) == '\n' && (i == 0 || bytes.at(i - 1) != '\r'))
                    ++bareLineFeeds;
            ++box.count;
            box.octets += bytes.size() + bareLineFeeds;
        }
    }
    return box;
}

struct Check {
    QStringList journal;
    FakeCheckView view{journal};
    Winsock1 socket; // the real port 110 and the real 30 s deadlines
    SteppingClock clock;
    MailCheck check{view, socket, clock};

    Check(const QString &server, const QString &password)
    {
        view.server = server;
        view.userName = qEnvironmentVariable("LARKSPUR_POP3_USER");
        view.password = password;
    }

    // Until the dialogue is over and the server has closed the connection after QUIT.
    [[nodiscard]] bool runToTheEnd()
    {
        return QTest::qWaitFor(
            [this] {
                return check.CheckStep == 4 && socket.state() == QAbstractSocket::UnconnectedState;
            },
            40'000);
    }
};

QString environment(const char *name)
{
    return qEnvironmentVariable(name);
}

} // namespace

class TestMailCheckDovecot : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void successfulCheck_data();
    void successfulCheck();
    void wrongPassword();
    void noServerListening();
    void newMailArrives();
    void emptyMailbox();
    void checkStartedInsideTheReportSave();
};

namespace
{
// Delivers `count` messages the way the demo delivers them.
bool deliver(int count)
{
    QProcess deliver;
    deliver.start(qEnvironmentVariable("LARKSPUR_SOURCE_DIR") +
                      u"/tests/support/pop3-add-message"_s,
                  {qEnvironmentVariable("LARKSPUR_POP3_MAILDIR"), QString::number(count)});
    return deliver.waitForFinished(30'000) && deliver.exitStatus() == QProcess::NormalExit &&
           deliver.exitCode() == 0;
}
} // namespace

void TestMailCheckDovecot::initTestCase()
{
    if (environment("LARKSPUR_POP3_MAILDIR").isEmpty())
        QFAIL("run inside tests/support/pop3-sandbox");
}

void TestMailCheckDovecot::successfulCheck_data()
{
    QTest::addColumn<QString>("server");
    QTest::newRow("IPv4 address") << u"127.0.0.1"_s;
    QTest::newRow("IPv6 address") << u"::1"_s;
    QTest::newRow("host name") << u"localhost"_s;
}

void TestMailCheckDovecot::successfulCheck()
{
    QFETCH(QString, server);
    const Mailbox box = readMailbox(environment("LARKSPUR_POP3_MAILDIR"));
    QVERIFY2(box.count > 0, "needs a sandbox with messages");

    Check c(server, environment("LARKSPUR_POP3_PASSWORD"));
    QVERIFY(!c.check.CheckEmail());
    QVERIFY2(c.runToTheEnd(), qPrintable(c.view.status));

    const QString user = c.view.userName;
    const QStringList lines = c.view.status.split(u"\r\n"_s);
    QCOMPARE(lines.size(), 15);
    const QRegularExpression positive(u"^\\+OK( .*)?$"_s);
    const auto expectPositive = [&](int index) {
        QVERIFY2(positive.match(lines.at(index)).hasMatch(), qPrintable(lines.at(index)));
    };
    expectPositive(0); // the greeting
    QCOMPARE(lines.at(1), QString());
    QCOMPARE(lines.at(2), u"ชื่อผู้ใช้ : "_s + user);
    expectPositive(3);
    QCOMPARE(lines.at(4), QString());
    QCOMPARE(lines.at(5), u"รหัสผ่าน : xxxxxxxxxxxx "_s);
    expectPositive(6);
    QCOMPARE(lines.at(7), QString());
    QCOMPARE(lines.at(8), u"รับข้อมูลจาก "_s + server);
    QCOMPARE(lines.at(9), u"+OK %1 %2"_s.arg(box.count).arg(box.octets));
    QCOMPARE(lines.at(10), QString());
    QCOMPARE(lines.at(11), u"รับข้อมูลเรียบร้อย (ออกจากระบบ)"_s);
    expectPositive(12); // the goodbye
    QCOMPARE(lines.at(13), QString());
    QCOMPARE(lines.at(14), QString());
    QVERIFY(!c.view.status.contains(c.view.password));

    QCOMPARE(c.view.progress, (QList<int>{0, 20, 0, 40, 0, 60, 0, 100, 0}));
    QCOMPARE(c.view.newMail, QString::number(box.count));
    QCOMPARE(c.view.mailSize,
             u"อีเมลล์ทั้งหมดมีขนาด "_s +
                 QString::number(qRound64(static_cast<double>(box.octets) / 1024)) + u" กิโลไบต์"_s);
    QCOMPARE(c.view.newEmail, QString::number(box.count));
    QCOMPARE(c.view.popupMail, u"มีอีเมลล์ใหม่ %1 [%1] ฉบับ "_s.arg(box.count));
    QCOMPARE(c.view.popupEmail, u"ถึงคุณ "_s + user + u" ครับ"_s);
    QCOMPARE(c.view.popupShows, 1);
    QCOMPARE(c.check.TotalOldEmail, box.count);
    QCOMPARE(c.view.saves, 1);
}

void TestMailCheckDovecot::wrongPassword()
{
    Check c(u"127.0.0.1"_s, u"not-"_s + environment("LARKSPUR_POP3_PASSWORD"));
    QVERIFY(!c.check.CheckEmail());
    QVERIFY(QTest::qWaitFor([&c] { return c.view.status.startsWith(u"เกิดความผิดพลาด"_s); }, 40'000));

    // The server's own error line, then the 48 on the next line.
    const QRegularExpression failure(u"^เกิดความผิดพลาด : -ERR [^\r\n]*\r\n48 POP3 Error$"_s);
    QVERIFY2(failure.match(c.view.status).hasMatch(), qPrintable(c.view.status));
    QCOMPARE(c.check.CheckStep, 2);
    QCOMPARE(c.view.progress.last(), 0);
    QCOMPARE(c.socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(c.view.saves, 0);
    QCOMPARE(c.view.newMail, QString());
}

void TestMailCheckDovecot::noServerListening()
{
    // Dovecot listens on 127.0.0.1 alone; the rest of 127/8 is loopback with nothing on 110.
    Check c(u"127.0.0.2"_s, environment("LARKSPUR_POP3_PASSWORD"));
    c.view.status = u"an old log"_s;
    QVERIFY(!c.check.CheckEmail());
    QTRY_COMPARE_WITH_TIMEOUT(c.view.status,
                              u"10061 : เซิร์ฟเวอร์ไม่รับการเชื่อมต่อ : Connection refused\r\n"_s, 40'000);
    QCOMPARE(c.check.CheckStep, 0);
}

void TestMailCheckDovecot::newMailArrives()
{
    const QString maildir = environment("LARKSPUR_POP3_MAILDIR");
    const Mailbox before = readMailbox(maildir);
    Check c(u"127.0.0.1"_s, environment("LARKSPUR_POP3_PASSWORD"));
    QVERIFY(!c.check.CheckEmail());
    QVERIFY2(c.runToTheEnd(), qPrintable(c.view.status));
    QCOMPARE(c.check.TotalOldEmail, before.count);

    // Two messages delivered between the checks.
    QVERIFY(deliver(2));

    QVERIFY(!c.check.CheckEmail());
    QVERIFY2(c.runToTheEnd(), qPrintable(c.view.status));
    QCOMPARE(c.view.newMail, QString::number(before.count + 2));
    QCOMPARE(c.view.newEmail, u"2"_s);
    QCOMPARE(c.view.popupMail, u"มีอีเมลล์ใหม่ 2 [%1] ฉบับ "_s.arg(before.count + 2));
    QCOMPARE(c.view.popupShows, 2);
    QCOMPARE(c.check.TotalOldEmail, before.count + 2);

    // And a third check finds nothing new.
    QVERIFY(!c.check.CheckEmail());
    QVERIFY2(c.runToTheEnd(), qPrintable(c.view.status));
    QCOMPARE(c.view.newEmail, u"0"_s);
    QCOMPARE(c.view.popupShows, 2);
    QCOMPARE(c.view.saves, 3);
}

void TestMailCheckDovecot::emptyMailbox()
{
    QVERIFY2(readMailbox(environment("LARKSPUR_POP3_MAILDIR")).count == 0,
             "needs a sandbox with --messages 0");
    Check c(u"127.0.0.1"_s, environment("LARKSPUR_POP3_PASSWORD"));
    c.check.TotalOldEmail = 5;
    c.view.newEmail = u"1"_s;
    QVERIFY(!c.check.CheckEmail());
    QVERIFY2(c.runToTheEnd(), qPrintable(c.view.status));

    // QUIT after the report; the server's goodbye is logged and then it closes the connection.
    const QStringList lines = c.view.status.split(u"\r\n"_s);
    QCOMPARE(lines.size(), 15);
    QCOMPARE(lines.at(9), u"+OK 0 0"_s);
    QCOMPARE(lines.at(11), u"รับข้อมูลเรียบร้อย (ออกจากระบบ)"_s);
    QVERIFY2(lines.at(12).startsWith(u"+OK"_s), qPrintable(lines.at(12)));
    QCOMPARE(c.check.CheckStep, 4);

    // The emptied mailbox is remembered, without a notice.
    QCOMPARE(c.view.newMail, u"0"_s);
    QCOMPARE(c.view.mailSize, u"อีเมลล์ทั้งหมดมีขนาด 0 กิโลไบต์"_s);
    QCOMPARE(c.check.TotalOldEmail, qint64(0));
    QCOMPARE(c.view.newEmail, u"0"_s);
    QCOMPARE(c.view.saves, 1);
    QCOMPARE(c.view.popupShows, 0);
    QVERIFY(c.view.reportFrameVisible);
    QVERIFY(!c.view.statusFrameVisible);

    // Fewer messages than were once remembered are still new mail.
    QVERIFY(deliver(2));
    QVERIFY(!c.check.CheckEmail());
    QVERIFY2(c.runToTheEnd(), qPrintable(c.view.status));
    QCOMPARE(c.view.popupShows, 1);
    QCOMPARE(c.view.popupMail, u"มีอีเมลล์ใหม่ 2 [2] ฉบับ "_s);
    QCOMPARE(c.check.TotalOldEmail, qint64(2));
}

// A second check asked for while the first one saves its report (two quick clicks) runs whole.
void TestMailCheckDovecot::checkStartedInsideTheReportSave()
{
    const Mailbox box = readMailbox(environment("LARKSPUR_POP3_MAILDIR"));
    Check c(u"127.0.0.1"_s, environment("LARKSPUR_POP3_PASSWORD"));
    c.check.TotalOldEmail = box.count;
    c.view.onSave = [&c] {
        c.view.onSave = nullptr;
        QVERIFY(!c.check.CheckEmail());
    };
    QVERIFY(!c.check.CheckEmail());
    QVERIFY2(c.runToTheEnd(), qPrintable(c.view.status));

    // The log is the second check's alone, from its greeting to its goodbye.
    QCOMPARE(c.view.saves, 2);
    const QStringList lines = c.view.status.split(u"\r\n"_s);
    QCOMPARE(lines.size(), 15);
    QVERIFY2(lines.at(0).startsWith(u"+OK"_s), qPrintable(c.view.status));
    QCOMPARE(lines.at(9), u"+OK %1 %2"_s.arg(box.count).arg(box.octets));
    QCOMPARE(lines.at(11), u"รับข้อมูลเรียบร้อย (ออกจากระบบ)"_s);
    QVERIFY2(lines.at(12).startsWith(u"+OK"_s), qPrintable(c.view.status));
    QCOMPARE(c.view.newEmail, u"0"_s);
}

QTEST_GUILESS_MAIN(TestMailCheckDovecot)
#include "tst_mailcheck_dovecot.moc"
