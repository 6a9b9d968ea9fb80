// Checks against a real Dovecot on port 110, run inside tests/support/pop3-sandbox (see
// CMakeLists.txt): the server, the mailbox and its owner come from the sandbox's environment.
#include "WatcherJournal.h"
#include "mailcheck/MailboxWatcher.h"
#include "mailcheck/Winsock1.h"
#include "signin/CredentialSource.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
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
    Winsock1 socket; // the real port 110 and the real 30 s deadlines
    SteppingClock clock;
    TypedPassword password;
    SeenStore seen;
    MailboxWatcher watcher{socket, password, clock, &seen};
    WatcherJournal view{watcher, journal};

    Check(const QString &server, const QString &pass, const QString &stateFolder)
        : seen(stateFolder)
    {
        MailboxSettings &settings = watcher.settings();
        settings.server = server;
        settings.loginName = qEnvironmentVariable("LARKSPUR_POP3_USER");
        settings.password = pass;
        settings.security = SecurityMode::None;
    }
    const CheckReport &last() const { return view.reports.last(); }
    int announced() const
    {
        return int(std::count_if(view.reports.cbegin(), view.reports.cend(),
                                 [](const CheckReport &r) { return r.announcement.has_value(); }));
    }

    // One check, until its dialogue is over and the server has closed the connection after QUIT.
    [[nodiscard]] bool run()
    {
        view.status.clear();
        view.progress.clear();
        if (watcher.check())
            return false;
        return QTest::qWaitFor(
            [this] {
                return watcher.session().state() == Pop3Session::State::Ended &&
                       socket.state() == QAbstractSocket::UnconnectedState;
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

    QTemporaryDir state;

private slots:
    void initTestCase();
    void init();
    void successfulCheck_data();
    void successfulCheck();
    void wrongPassword();
    void noServerListening();
    void newMailArrives();
    void deletedAndDeliveredBetweenChecks();
    void restartAnnouncesNothingAgain();
    void thaiSubjectsShowWhole();
    void rebuiltIndexIsABaseline();
    void emptyMailbox();
};

namespace
{
QString maildir()
{
    return qEnvironmentVariable("LARKSPUR_POP3_MAILDIR");
}

// Delivers `count` messages the way the demo delivers them, with `subject` when given.
bool deliver(int count, const QString &subject = QString())
{
    QStringList arguments{maildir(), QString::number(count)};
    if (!subject.isEmpty())
        arguments.append(subject);
    QProcess deliver;
    deliver.start(qEnvironmentVariable("LARKSPUR_SOURCE_DIR") +
                      u"/tests/support/pop3-add-message"_s,
                  arguments);
    return deliver.waitForFinished(30'000) && deliver.exitStatus() == QProcess::NormalExit &&
           deliver.exitCode() == 0;
}

// Takes one message out of the mailbox, as a phone that reads and deletes would.
bool deleteOneMessage()
{
    for (const char *folder : {"cur", "new"}) {
        const QDir dir(maildir() + u'/' + QLatin1StringView(folder));
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        if (!files.isEmpty())
            return QFile::remove(dir.filePath(files.first()));
    }
    return false;
}
} // namespace

void TestMailCheckDovecot::initTestCase()
{
    if (environment("LARKSPUR_POP3_MAILDIR").isEmpty())
        QFAIL("run inside tests/support/pop3-sandbox");
}

void TestMailCheckDovecot::init()
{
    // Each test its own memory of the mailbox, as a program started for the first time.
    QDir(state.path()).removeRecursively();
    QDir().mkpath(state.path());
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
    const Mailbox box = readMailbox(maildir());
    QVERIFY2(box.count > 0, "needs a sandbox with messages");

    Check c(server, environment("LARKSPUR_POP3_PASSWORD"), state.path());
    QVERIFY2(c.run(), qPrintable(c.view.status));

    const QString user = c.watcher.settings().loginName;
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
    QVERIFY(!c.view.status.contains(c.watcher.settings().password));

    QCOMPARE(c.view.progress, (QList<int>{0, 20, 0, 40, 0, 60, 0, 0}));
    QCOMPARE(c.last().newMailText, QString::number(box.count));
    QCOMPARE(c.last().mailSizeText,
             u"อีเมลล์ทั้งหมดมีขนาด "_s +
                 QString::number(qRound64(static_cast<double>(box.octets) / 1024)) + u" กิโลไบต์"_s);
    QCOMPARE(c.last().newEmailText, std::optional(QString::number(box.count)));
    QVERIFY(c.last().announcement);
    QCOMPARE(c.last().announcement->mailLine, u"มีอีเมลล์ใหม่ %1 [%1] ฉบับ "_s.arg(box.count));
    QCOMPARE(c.last().announcement->emailLine, u"ถึงคุณ "_s + user + u" ครับ"_s);
    // Who wrote and what about, newest first, from TOP.
    QCOMPARE(c.last().announcement->messages.size(), box.count);
    QVERIFY2(c.last().announcement->messages.first().startsWith(u"Larkspur Tests: Test message"_s),
             qPrintable(c.last().announcement->messages.first()));
    QCOMPARE(c.watcher.settings().totalOldEmail, box.count);
}

void TestMailCheckDovecot::wrongPassword()
{
    Check c(u"127.0.0.1"_s, u"not-"_s + environment("LARKSPUR_POP3_PASSWORD"), state.path());
    QVERIFY(!c.watcher.check());
    QVERIFY(QTest::qWaitFor([&c] { return c.view.status.startsWith(u"เกิดความผิดพลาด"_s); }, 40'000));

    // The server's own error line, then the 48 on the next line.
    const QRegularExpression failure(u"^เกิดความผิดพลาด : -ERR [^\r\n]*\r\n48 POP3 Error$"_s);
    QVERIFY2(failure.match(c.view.status).hasMatch(), qPrintable(c.view.status));
    QCOMPARE(c.watcher.session().state(), Pop3Session::State::Pass);
    QCOMPARE(c.view.progress.last(), 0);
    QCOMPARE(c.socket.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(c.view.reports.isEmpty());
    QCOMPARE(c.view.outcomes, QList<CheckOutcome>{CheckOutcome::LoginRefused});
}

void TestMailCheckDovecot::noServerListening()
{
    // Dovecot listens on 127.0.0.1 alone; the rest of 127/8 is loopback with nothing on 110.
    Check c(u"127.0.0.2"_s, environment("LARKSPUR_POP3_PASSWORD"), state.path());
    QVERIFY(!c.watcher.check());
    QTRY_COMPARE_WITH_TIMEOUT(c.view.status,
                              u"10061 : เซิร์ฟเวอร์ไม่รับการเชื่อมต่อ : Connection refused\r\n"_s, 40'000);
    QCOMPARE(c.watcher.session().state(), Pop3Session::State::Greeting);
}

void TestMailCheckDovecot::newMailArrives()
{
    const Mailbox before = readMailbox(maildir());
    Check c(u"127.0.0.1"_s, environment("LARKSPUR_POP3_PASSWORD"), state.path());
    QVERIFY2(c.run(), qPrintable(c.view.status));
    QCOMPARE(c.watcher.settings().totalOldEmail, before.count);

    // Two messages delivered between the checks.
    QVERIFY(deliver(2));

    QVERIFY2(c.run(), qPrintable(c.view.status));
    QCOMPARE(c.last().newMailText, QString::number(before.count + 2));
    QCOMPARE(c.last().newEmailText, std::optional(u"2"_s));
    QCOMPARE(c.last().announcement->mailLine, u"มีอีเมลล์ใหม่ 2 [%1] ฉบับ "_s.arg(before.count + 2));
    QCOMPARE(c.announced(), 2);
    QCOMPARE(c.watcher.settings().totalOldEmail, before.count + 2);

    // And a third check finds nothing new.
    QVERIFY2(c.run(), qPrintable(c.view.status));
    QCOMPARE(c.last().newEmailText, std::optional(u"0"_s));
    QCOMPARE(c.announced(), 2);
}

// STAT says the same before and after (one gone, one come): only the ids tell.
void TestMailCheckDovecot::deletedAndDeliveredBetweenChecks()
{
    Check c(u"127.0.0.1"_s, environment("LARKSPUR_POP3_PASSWORD"), state.path());
    QVERIFY2(c.run(), qPrintable(c.view.status));
    const Mailbox before = readMailbox(maildir());

    QVERIFY(deleteOneMessage());
    QVERIFY(deliver(1, u"After the deletion"_s));
    QCOMPARE(readMailbox(maildir()).count, before.count);

    QVERIFY2(c.run(), qPrintable(c.view.status));
    QVERIFY(c.last().announcement);
    QCOMPARE(c.last().announcement->mailLine, u"มีอีเมลล์ใหม่ 1 [%1] ฉบับ "_s.arg(before.count));
    QCOMPARE(c.last().announcement->messages, QStringList{u"Larkspur Tests: After the deletion"_s});
}

void TestMailCheckDovecot::restartAnnouncesNothingAgain()
{
    {
        Check first(u"127.0.0.1"_s, environment("LARKSPUR_POP3_PASSWORD"), state.path());
        QVERIFY2(first.run(), qPrintable(first.view.status));
        QVERIFY(deliver(1));
        QVERIFY2(first.run(), qPrintable(first.view.status));
        QCOMPARE(first.announced(), 2);
    }
    // A new program, whose Settings.inf lost its count (a Windows copy, say): the ids remember.
    Check again(u"127.0.0.1"_s, environment("LARKSPUR_POP3_PASSWORD"), state.path());
    QVERIFY2(again.run(), qPrintable(again.view.status));
    QCOMPARE(again.announced(), 0);
    QCOMPARE(again.last().newEmailText, std::optional(u"0"_s));
}

void TestMailCheckDovecot::thaiSubjectsShowWhole()
{
    Check c(u"127.0.0.1"_s, environment("LARKSPUR_POP3_PASSWORD"), state.path());
    QVERIFY2(c.run(), qPrintable(c.view.status));

    // "ประชุม" in TIS-620; "สวัสดีครับ" in UTF-8 split inside a character over two words.
    const QByteArray tis620 = QByteArrayLiteral("\xbb\xc3\xd0\xaa\xd8\xc1");
    const QByteArray utf8 = u"สวัสดีครับ"_s.toUtf8();
    QVERIFY(deliver(1, u"=?TIS-620?B?"_s + QString::fromLatin1(tis620.toBase64()) + u"?="_s));
    QVERIFY(deliver(1, u"=?UTF-8?B?"_s + QString::fromLatin1(utf8.left(7).toBase64()) +
                           u"?= =?UTF-8?B?"_s + QString::fromLatin1(utf8.mid(7).toBase64()) +
                           u"?="_s));
    QVERIFY2(c.run(), qPrintable(c.view.status));
    QStringList shown = c.last().announcement->messages;
    shown.sort();
    QCOMPARE(shown, (QStringList{u"Larkspur Tests: ประชุม"_s, u"Larkspur Tests: สวัสดีครับ"_s}));
}

// Dovecot's uidlist and index gone: every id changes while the mail stays the same.
void TestMailCheckDovecot::rebuiltIndexIsABaseline()
{
    Check c(u"127.0.0.1"_s, environment("LARKSPUR_POP3_PASSWORD"), state.path());
    QVERIFY2(c.run(), qPrintable(c.view.status));
    QVERIFY(readMailbox(maildir()).count >= 2);
    for (const QString &name : QDir(maildir()).entryList({u"dovecot*"_s}, QDir::Files))
        QVERIFY(QFile::remove(maildir() + u'/' + name));

    QVERIFY2(c.run(), qPrintable(c.view.status));
    QVERIFY(!c.last().announcement);
    QCOMPARE(c.last().notes.size(), 1);
    QVERIFY2(c.last().notes.first().startsWith(u"รหัสอีเมลล์ (UIDL) บนเซิร์ฟเวอร์เปลี่ยนใหม่ทั้งหมด"_s),
             qPrintable(c.last().notes.first()));
    // And the next check finds the mailbox as it is now.
    QVERIFY2(c.run(), qPrintable(c.view.status));
    QVERIFY(c.last().notes.isEmpty());
    QCOMPARE(c.announced(), 1);
}

void TestMailCheckDovecot::emptyMailbox()
{
    QVERIFY2(readMailbox(maildir()).count == 0, "needs a sandbox with --messages 0");
    Check c(u"127.0.0.1"_s, environment("LARKSPUR_POP3_PASSWORD"), state.path());
    c.watcher.settings().totalOldEmail = 5;
    QVERIFY2(c.run(), qPrintable(c.view.status));

    // QUIT after the report; the server's goodbye is logged and then it closes the connection.
    const QStringList lines = c.view.status.split(u"\r\n"_s);
    QCOMPARE(lines.size(), 15);
    QCOMPARE(lines.at(9), u"+OK 0 0"_s);
    QCOMPARE(lines.at(11), u"รับข้อมูลเรียบร้อย (ออกจากระบบ)"_s);
    QVERIFY2(lines.at(12).startsWith(u"+OK"_s), qPrintable(lines.at(12)));

    // The emptied mailbox is remembered, without a notice.
    QCOMPARE(c.last().newMailText, u"0"_s);
    QCOMPARE(c.last().mailSizeText, u"อีเมลล์ทั้งหมดมีขนาด 0 กิโลไบต์"_s);
    QCOMPARE(c.watcher.settings().totalOldEmail, qint64(0));
    QCOMPARE(c.last().newEmailText, std::optional(u"0"_s));
    QVERIFY(c.last().save);
    QCOMPARE(c.announced(), 0);

    // Fewer messages than were once remembered are still new mail.
    QVERIFY(deliver(2));
    QVERIFY2(c.run(), qPrintable(c.view.status));
    QCOMPARE(c.announced(), 1);
    QCOMPARE(c.last().announcement->mailLine, u"มีอีเมลล์ใหม่ 2 [2] ฉบับ "_s);
    QCOMPARE(c.watcher.settings().totalOldEmail, qint64(2));
}

QTEST_GUILESS_MAIN(TestMailCheckDovecot)
#include "tst_mailcheck_dovecot.moc"
