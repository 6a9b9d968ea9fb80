// IMAP checks against a real Dovecot with the test CA, run inside tests/support/pop3-sandbox
// --imap --tls (see CMakeLists.txt): IMAPS on 993, STARTTLS on 143, new mail told by IDLE, the
// flags left as they were, a new UIDVALIDITY, and the refusals of the security rules.
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
using namespace std::chrono_literals;

namespace
{

QString env(const char *name)
{
    return qEnvironmentVariable(name);
}

QString maildir()
{
    return env("LARKSPUR_POP3_MAILDIR");
}

int messagesInMaildir()
{
    int count = 0;
    for (const char *folder : {"new", "cur"})
        count +=
            int(QDir(maildir() + u'/' + QLatin1StringView(folder)).entryList(QDir::Files).size());
    return count;
}

// txtMailSize for the mailbox as it is: the messages' sizes as IMAP counts them, every line
// ending CR LF.
QString sizeText()
{
    qint64 octets = 0;
    for (const char *folder : {"new", "cur"}) {
        const QDir dir(maildir() + u'/' + QLatin1StringView(folder));
        for (const QFileInfo &entry : dir.entryInfoList(QDir::Files)) {
            QFile file(entry.filePath());
            if (file.open(QIODevice::ReadOnly)) {
                const QByteArray bytes = file.readAll();
                octets += bytes.size() + bytes.count('\n') - bytes.count("\r\n");
            }
        }
    }
    return u"อีเมลล์ทั้งหมดมีขนาด %1 กิโลไบต์"_s.arg(qRound64(static_cast<double>(octets) / 1024));
}

bool deliver(const QString &subject)
{
    QProcess deliver;
    deliver.start(env("LARKSPUR_SOURCE_DIR") + u"/tests/support/pop3-add-message"_s,
                  {maildir(), u"1"_s, subject});
    return deliver.waitForFinished(30'000) && deliver.exitStatus() == QProcess::NormalExit &&
           deliver.exitCode() == 0;
}

// Every message's flags as Dovecot keeps them, one line each, \Recent left out: that one belongs
// to whichever session opens the mailbox first, doveadm's own included.
QString flags()
{
    QProcess doveadm;
    doveadm.start(u"doveadm"_s,
                  {u"-c"_s, env("LARKSPUR_DOVECOT_CONFIG"), u"fetch"_s, u"-u"_s,
                   env("LARKSPUR_POP3_USER"), u"uid flags"_s, u"mailbox"_s, u"INBOX"_s, u"all"_s});
    if (!doveadm.waitForFinished(30'000) || doveadm.exitCode() != 0)
        return u"doveadm failed: "_s + QString::fromUtf8(doveadm.readAllStandardError());
    return QString::fromUtf8(doveadm.readAllStandardOutput()).remove(u"\\Recent"_s);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Check {
    QStringList journal;
    Winsock1 socket;
    SteppingClock clock;
    TypedPassword password;
    SeenStore seen;
    MailboxWatcher watcher{socket, password, clock, &seen};
    WatcherJournal view{watcher, journal};

    Check(const QString &server, SecurityMode mode, const QString &stateFolder) : seen(stateFolder)
    {
        socket.setTimeout(10s);
        MailboxSettings &settings = watcher.settings();
        settings.server = server;
        settings.loginName = env("LARKSPUR_POP3_USER");
        settings.password = env("LARKSPUR_POP3_PASSWORD");
        settings.security = mode;
    }
    ImapSession &session() { return watcher.imapSession(); }
    const CheckReport &last() const { return view.reports.last(); }

    // One check, until its report has come and the connection idles.
    [[nodiscard]] bool run()
    {
        view.status.clear();
        const qsizetype reports = view.reports.size();
        if (watcher.check())
            return false;
        return QTest::qWaitFor(
            [&] { return view.reports.size() > reports && session().isIdling(); }, 20'000);
    }
};

} // namespace

class TestImapDovecot : public QObject
{
    Q_OBJECT

    QTemporaryDir state;

private slots:
    void initTestCase();
    void init();
    void check_data();
    void check();
    void idleTellsNewMailAtOnce();
    void newUidValidityIsABaseline();
    void wrongPassword();
    void refusals_data();
    void refusals();
};

void TestImapDovecot::initTestCase()
{
    if (env("LARKSPUR_DOVECOT_CONFIG").isEmpty() || env("LARKSPUR_TEST_CERTS").isEmpty())
        QFAIL("run inside tests/support/pop3-sandbox --imap --tls");
}

void TestImapDovecot::init()
{
    QDir(state.path()).removeRecursively();
    QDir().mkpath(state.path());
}

void TestImapDovecot::check_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("note");
    QTest::newRow("port 993: IMAP over TLS")
        << u"localhost:993"_s << int(SecurityMode::Automatic) << u"เชื่อมต่อแบบเข้ารหัส TLS 1.3"_s;
    QTest::newRow("imap:// on 143, STARTTLS as chosen")
        << u"imap://localhost"_s << int(SecurityMode::StartTls)
        << u"เชื่อมต่อแบบเข้ารหัส TLS 1.3 ด้วย STARTTLS"_s;
    QTest::newRow("imaps:// with the plain setting: the scheme's TLS holds")
        << u"imaps://[::1]"_s << int(SecurityMode::None) << u"เชื่อมต่อแบบเข้ารหัส TLS 1.3"_s;
}

void TestImapDovecot::check()
{
    QFETCH(QString, server);
    QFETCH(int, mode);
    QFETCH(QString, note);
    const QString before = flags();
    const int count = messagesInMaildir();
    QVERIFY(count > 0);

    Check c(server, SecurityMode(mode), state.path());
    QVERIFY2(c.run(), qPrintable(c.view.status));

    const QStringList lines = c.view.status.split(u"\r\n"_s);
    QCOMPARE(lines.size(), 12);
    QVERIFY2(lines.at(0).startsWith(u"* OK "_s), qPrintable(lines.at(0)));
    QCOMPARE(lines.at(1), QString());
    QCOMPARE(lines.at(2), note);
    QCOMPARE(lines.at(3), u"ชื่อผู้ใช้ : "_s + env("LARKSPUR_POP3_USER"));
    QCOMPARE(lines.at(4), u"รหัสผ่าน : xxxxxxxxxxxx "_s);
    QVERIFY2(lines.at(5).contains(u" OK "_s) && lines.at(5).contains(u"Logged in"_s),
             qPrintable(lines.at(5)));
    QCOMPARE(lines.at(6), QString());
    QCOMPARE(lines.at(7), u"รับข้อมูลจาก "_s + server);
    QVERIFY2(lines.at(8).contains(u" OK [READ-ONLY]"_s), qPrintable(lines.at(8)));
    QCOMPARE(lines.at(9), QString());
    QCOMPARE(lines.at(10), u"รับข้อมูลเรียบร้อย (เชื่อมต่อค้างไว้ รออีเมลล์ใหม่)"_s);
    QVERIFY(!c.view.status.contains(env("LARKSPUR_POP3_PASSWORD")));
    QCOMPARE(c.view.progress, (QList<int>{0, 20, 40, 0, 60, 0}));

    // The first check: the count against the remembered count (0), the size from STATUS=SIZE.
    QCOMPARE(c.last().newMailText, QString::number(count));
    QCOMPARE(c.last().mailSizeText, sizeText());
    QVERIFY(c.last().announcement);
    QCOMPARE(c.last().announcement->messages.size(), count);
    QVERIFY2(c.last().announcement->messages.first().startsWith(u"Larkspur Tests: "_s),
             qPrintable(c.last().announcement->messages.first()));
    QCOMPARE(c.watcher.settings().totalOldEmail, count);
    QCOMPARE(c.watcher.key().protocol, u"imap"_s);
    // Read-only throughout: no message became \Seen.
    QCOMPARE(flags(), before);
}

void TestImapDovecot::idleTellsNewMailAtOnce()
{
    Check c(u"localhost:993"_s, SecurityMode::Automatic, state.path());
    QVERIFY2(c.run(), qPrintable(c.view.status));
    const int count = messagesInMaildir();
    const qsizetype reports = c.view.reports.size();
    const QString log = c.view.status;

    // No check is asked for: the server tells, and a report of its own follows.
    QVERIFY(deliver(u"Told by IDLE"_s));
    QVERIFY2(QTest::qWaitFor([&] { return c.view.reports.size() > reports; }, 20'000),
             qPrintable(c.view.status));
    QVERIFY(c.last().announcement);
    QCOMPARE(c.last().announcement->mailLine, u"มีอีเมลล์ใหม่ 1 [%1] ฉบับ "_s.arg(count + 1));
    QCOMPARE(c.last().announcement->messages, QStringList{u"Larkspur Tests: Told by IDLE"_s});
    QCOMPARE(c.watcher.settings().totalOldEmail, count + 1);
    // On the selected mailbox, a small one's size is added up from its messages.
    QCOMPARE(c.last().mailSizeText, sizeText());
    // A report nobody asked for writes nothing into the log of the last check.
    QCOMPARE(c.view.status, log);
    QVERIFY(QTest::qWaitFor([&] { return c.session().isIdling(); }, 10'000));
    QVERIFY2(!flags().contains(u"\\Seen"_s), qPrintable(flags()));

    // The periodic check on the open connection: a NOOP, nothing new, the connection kept.
    QVERIFY2(c.run(), qPrintable(c.view.status));
    const QStringList lines = c.view.status.split(u"\r\n"_s);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines.at(0), u"รับข้อมูลจาก localhost:993"_s);
    QVERIFY2(lines.at(1).contains(u" OK NOOP"_s), qPrintable(lines.at(1)));
    QCOMPARE(lines.at(3), u"รับข้อมูลเรียบร้อย (เชื่อมต่อค้างไว้ รออีเมลล์ใหม่)"_s);
    QCOMPARE(c.last().newEmailText, std::optional(u"0"_s));
    QVERIFY(!c.last().announcement);
    QCOMPARE(c.last().newMailText, QString::number(count + 1));
}

// Dovecot's uidlist and index gone: INBOX comes back with a new UIDVALIDITY and the same mail.
void TestImapDovecot::newUidValidityIsABaseline()
{
    Check c(u"localhost:993"_s, SecurityMode::Automatic, state.path());
    QVERIFY2(c.run(), qPrintable(c.view.status));
    c.watcher.stop();
    for (const QString &name : QDir(maildir()).entryList({u"dovecot*"_s}, QDir::Files))
        QVERIFY(QFile::remove(maildir() + u'/' + name));

    QVERIFY2(c.run(), qPrintable(c.view.status));
    QVERIFY(!c.last().announcement);
    QCOMPARE(c.last().newEmailText, std::optional(u"0"_s));
    QCOMPARE(c.last().notes.size(), 1);
    QVERIFY2(c.last().notes.first().contains(u"UIDVALIDITY"_s), qPrintable(c.last().notes.first()));
}

void TestImapDovecot::wrongPassword()
{
    Check c(u"localhost:993"_s, SecurityMode::Automatic, state.path());
    c.watcher.settings().password = u"not-the-password"_s;
    QVERIFY(!c.watcher.check());
    QVERIFY(QTest::qWaitFor([&] { return !c.view.outcomes.isEmpty(); }, 20'000));

    const QRegularExpression failure(
        u"^เกิดความผิดพลาด : L\\d+ NO \\[AUTHENTICATIONFAILED\\][^\r\n]*\r\n48 IMAP Error$"_s);
    QVERIFY2(failure.match(c.view.status).hasMatch(), qPrintable(c.view.status));
    QCOMPARE(c.view.outcomes, QList<CheckOutcome>{CheckOutcome::LoginRefused});
    QVERIFY(c.view.reports.isEmpty());
}

// Never a credential in the clear to a server that is not this machine: 192.0.2.1 is Dovecot
// without TLS. Nothing is sent past the capabilities, as Dovecot's own log says.
void TestImapDovecot::refusals_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("line");
    QTest::newRow("automatic, no STARTTLS")
        << int(SecurityMode::Automatic) << u"12003 : เซิร์ฟเวอร์นี้ไม่มีการเข้ารหัส (ไม่มี STARTTLS)"_s;
    QTest::newRow("STARTTLS chosen, none offered")
        << int(SecurityMode::StartTls) << u"12003 : เซิร์ฟเวอร์ไม่มี STARTTLS"_s;
}

void TestImapDovecot::refusals()
{
    QFETCH(int, mode);
    QFETCH(QString, line);
    const qint64 logStart = readFile(env("LARKSPUR_POP3_LOG")).size();
    Check c(u"imap://192.0.2.1"_s, SecurityMode(mode), state.path());
    QVERIFY(!c.watcher.check());
    QVERIFY(QTest::qWaitFor([&] { return !c.view.outcomes.isEmpty(); }, 20'000));

    QVERIFY2(c.view.status.startsWith(line), qPrintable(c.view.status));
    QCOMPARE(c.view.status.count(u"\r\n"_s), 1);
    QCOMPARE(c.view.outcomes, QList<CheckOutcome>{CheckOutcome::Failed});
    QString dovecot;
    (void)QTest::qWaitFor(
        [&] {
            dovecot = QString::fromUtf8(readFile(env("LARKSPUR_POP3_LOG")).mid(logStart));
            return dovecot.contains(u"Disconnected"_s) && dovecot.contains(u"rip=192.0.2.1"_s);
        },
        10'000);
    QVERIFY2(dovecot.contains(u"no auth attempts"_s), qPrintable(dovecot));
}

QTEST_GUILESS_MAIN(TestImapDovecot)
#include "tst_imap_dovecot.moc"
