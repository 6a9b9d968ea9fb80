// The window against a real Dovecot that restarts, run inside tests/support/pop3-sandbox --imap
// (see CMakeLists.txt): the real socket, the IMAP connection idling after the check, the server's
// BYE as it stops, the retries that bring the connection back, and the next mail announced; and a
// resume, told by the clocks, that drops the idling connection for a new one. Timer1 is driven by
// hand, one call a second.
#include "WindowServices.h"
#include "app/FrmMain.h"
#include "mailcheck/ImapSession.h"
#include "mailcheck/Winsock1.h"
#include "notify/PopUp.h"
#include "notify/PopUpHost.h"
#include "platform/WakeMonitor.h"
#include "support/FakeSleepClocks.h"
#include "wording/Wording.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
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

int messagesInMaildir()
{
    int count = 0;
    for (const char *folder : {"/new", "/cur"})
        count += int(QDir(env("LARKSPUR_POP3_MAILDIR") + QLatin1StringView(folder))
                         .entryList(QDir::Files)
                         .size());
    return count;
}

// Runs a program to its end while the event loop goes on, so that the window hears the server
// meanwhile.
bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(program, arguments);
    return finished.wait(30'000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool deliver(const QString &subject)
{
    return run(env("LARKSPUR_SOURCE_DIR") + u"/tests/support/pop3-add-message"_s,
               {env("LARKSPUR_POP3_MAILDIR"), u"1"_s, subject});
}

// The whole server: restarted, stopped or started (see pop3-sandbox).
bool dovecot(const QString &step = QString())
{
    return run(env("LARKSPUR_DOVECOT_RESTART"), step.isEmpty() ? QStringList() : QStringList{step});
}

int dovecotLogins()
{
    QFile file(env("LARKSPUR_POP3_LOG"));
    return file.open(QIODevice::ReadOnly) ? int(file.readAll().count("imap-login: Info: Login:"))
                                          : -1;
}

// Dovecot's IMAP processes in IDLE, as their titles say.
int idlingSessions()
{
    QProcess pgrep;
    pgrep.start(u"pgrep"_s, {u"-c"_s, u"-f"_s, u"imap \\[.* IDLE\\]"_s});
    return pgrep.waitForFinished(10'000) ? pgrep.readAllStandardOutput().trimmed().toInt() : -1;
}

// A started window whose remembered IMAP login checks at once and stays connected, idling.
struct Window {
    QTemporaryDir folder;
    RecordingServices fakes;
    std::unique_ptr<FrmMain> form;

    explicit Window(int count, WakeMonitor *wake = nullptr)
    {
        QByteArray password;
        for (char c : env("LARKSPUR_POP3_PASSWORD").toUtf8())
            password.append(char(255 - static_cast<unsigned char>(c)));
        QFile file(folder.filePath(u"Settings.inf"_s));
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write("[settings]\r\nPOP3MailServer=imap://127.0.0.1\r\nloginname=" +
                   env("LARKSPUR_POP3_USER").toUtf8() + "\r\nmempass=1\r\nloginpass=" + password +
                   "\r\ncheckeveryon=1\r\ncheckeverymin=15\r\ntotaloldemail=" +
                   QByteArray::number(count) + "\r\nsecurity=none\r\n");
        file.close();
        FrmMainServices services = fakes.forFolder(folder.path());
        services.wake = wake;
        form = std::make_unique<FrmMain>(services);
        form->Form_Load();
        form->Timer1->stop();
    }

    const ImapSession &imap() const { return form->watcher().imapSession(); }
    bool connected() const
    {
        return imap().state() != ImapSession::State::Ended &&
               imap().state() != ImapSession::State::Idle;
    }
    QString log() const { return form->txtStatus->Text(); }
    // Seconds of Timer1 until a check starts, at most `limit`; limit + 1 if none does.
    int secondsUntilACheck(int limit, const std::function<void()> &eachSecond = {})
    {
        for (int seconds = 1; seconds <= limit; ++seconds) {
            if (eachSecond)
                eachSecond();
            form->Timer1_Timer();
            if (connected())
                return seconds;
        }
        return limit + 1;
    }
    // Told of one new message, the popup up.
    [[nodiscard]] bool announcedOne(int count) const
    {
        return QTest::qWaitFor([&] { return form->txtNewEmail->text() == u"1"_s; }, 20'000) &&
               form->txtNewMail->text() == QString::number(count + 1) && QTest::qWaitFor([&] {
                   return form->popUp().window() && form->popUp().window()->isVisible();
               }) &&
               form->popUp().window()->findChild<QLabel *>(u"Mail"_s)->text().trimmed() ==
                   u"มีอีเมลล์ใหม่ 1 [%1] ฉบับ"_s.arg(count + 1);
    }
};

} // namespace

class TestFrmMainReconnect : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (env("LARKSPUR_DOVECOT_RESTART").isEmpty())
            QFAIL("run inside tests/support/pop3-sandbox --imap");
    }

    void reconnects_data()
    {
        QTest::addColumn<bool>("awayAtFirstRetry");
        QTest::newRow("restarted: back at the first retry, the next mail told while idling")
            << false;
        QTest::newRow("still away at the first retry: back at the next, with the mail that came")
            << true;
    }
    void reconnects()
    {
        QFETCH(bool, awayAtFirstRetry);
        const int count = messagesInMaildir();
        Window w(count);
        const auto log = [&] { return w.log(); };
        const ImapSession &imap = w.imap();
        // The check at start-up stays connected, idling.
        QVERIFY2(QTest::qWaitFor([&] { return imap.isIdling(); }, 20'000), qPrintable(log()));
        QTRY_COMPARE(w.form->txtNewMail->text(), QString::number(count));
        QCOMPARE(w.form->txtNewEmail->text(), u"0"_s);
        const QString before = log();

        // The server stops: its BYE ends the connection with one line, and the log says when
        // the next try comes.
        bool away = awayAtFirstRetry;
        // A row that fails leaves the server as the next row needs it.
        auto backUp = qScopeGuard([&] {
            if (away)
                dovecot(u"start"_s);
        });
        QVERIFY(dovecot(awayAtFirstRetry ? u"stop"_s : QString()));
        QTRY_COMPARE(log(), before + Wording::imapBye(u"Server shutting down."_s) + u"\r\n"_s +
                                Wording::retryingIn(RetryPolicy::Backoff[0]) + u"\r\n"_s);
        QCOMPARE(imap.state(), ImapSession::State::Ended);

        if (awayAtFirstRetry) {
            QVERIFY(deliver(u"Sent while the server was away"_s));
            QCOMPARE(w.secondsUntilACheck(RetryPolicy::Backoff[0]), RetryPolicy::Backoff[0]);
            // Refused: still away. The backoff's next step.
            const QString nextRetry = Wording::retryingIn(RetryPolicy::Backoff[1]) + u"\r\n"_s;
            QTRY_VERIFY2(log().endsWith(nextRetry), qPrintable(log()));
            QVERIFY2(log().contains(QString::number(Winsock1::ConnectionRefused) + u" : "_s),
                     qPrintable(log()));
            away = false;
            QVERIFY(dovecot(u"start"_s));
            QCOMPARE(w.secondsUntilACheck(RetryPolicy::Backoff[1]), RetryPolicy::Backoff[1]);
        } else {
            QCOMPARE(w.secondsUntilACheck(RetryPolicy::Backoff[0]), RetryPolicy::Backoff[0]);
        }
        QVERIFY2(QTest::qWaitFor([&] { return imap.isIdling(); }, 20'000), qPrintable(log()));
        if (!awayAtFirstRetry)
            QVERIFY(deliver(u"Sent after the restart"_s));

        // Announced: told by the connection that came back.
        QVERIFY2(w.announcedOne(count), qPrintable(log()));
    }

    // After a suspend the idling connection may be long dead though no one said so: the window
    // drops it at once, logs in anew within seconds, and the mail that came is told.
    void resumeWhileIdling()
    {
        FakeSleepClocks clocks;
        WakeMonitor wake(clocks, QDBusConnection(u"no bus"_s));
        const int count = messagesInMaildir();
        Window w(count, &wake);
        QVERIFY2(QTest::qWaitFor([&] { return w.imap().isIdling(); }, 20'000), qPrintable(w.log()));
        const int logins = dovecotLogins();
        QVERIFY(logins > 0);
        // Awake a while first: the clocks have readings to compare.
        clocks.awake(1s);
        w.form->Timer1_Timer();

        clocks.asleep(10min);
        w.form->Timer1_Timer();
        QVERIFY(!w.connected());
        QVERIFY(deliver(u"Sent while asleep"_s));
        QVERIFY(w.secondsUntilACheck(RetryPolicy::AfterWake, [&] { clocks.awake(1s); }) <=
                RetryPolicy::AfterWake);
        QVERIFY2(QTest::qWaitFor([&] { return w.imap().isIdling(); }, 20'000), qPrintable(w.log()));
        QVERIFY2(w.announcedOne(count), qPrintable(w.log()));
        QCOMPARE(dovecotLogins(), logins + 1);
        // The dropped connection is gone from the server too: one session idles.
        QTRY_COMPARE(idlingSessions(), 1);
    }
};

QTEST_MAIN(TestFrmMainReconnect)
#include "tst_frmmain_reconnect.moc"
