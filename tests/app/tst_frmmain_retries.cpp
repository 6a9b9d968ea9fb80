// The window's checks besides the interval's, through its real wiring: a resume that logind tells
// on a private bus or that the clocks show, a network that comes back, the retry after a network
// error, and the stop after two refused logins. The mail server is a FakeSocket fed line by line;
// Timer1 is driven by hand, one call a second.
#include "FakeSocket.h"
#include "WindowServices.h"
#include "app/FrmMain.h"
#include "mailcheck/Winsock1.h"
#include "platform/WakeMonitor.h"
#include "support/FakeSleepClocks.h"
#include "support/PrivateSessionBus.h"
#include "wording/Wording.h"

#include <QDBusMessage>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Reachability = QNetworkInformation::Reachability;

namespace
{

const QString Refusal = u"-ERR [AUTH] Authentication failed."_s;

// A started window whose login is complete but was not remembered, so that nothing checks until
// something asks; Timer1 is stopped and moved by second().
struct Window {
    QTemporaryDir folder;
    RecordingServices fakes;
    FakeSocket socket;
    FakeSleepClocks *clocks;
    std::unique_ptr<FrmMain> form;

    Window(int minutes, WakeMonitor *wake = nullptr, FakeSleepClocks *sleepClocks = nullptr)
        : clocks(sleepClocks)
    {
        QFile file(folder.filePath(u"Settings.inf"_s));
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write("[settings]\r\nPOP3MailServer=mail.example\r\nloginname=somchai\r\nmempass=0\r\n"
                   "checkeveryon=1\r\ncheckeverymin=" +
                   QByteArray::number(minutes) + "\r\nsecurity=none\r\n");
        file.close();
        FrmMainServices services = fakes.forFolder(folder.path());
        services.socket = &socket;
        services.wake = wake;
        form = std::make_unique<FrmMain>(services);
        form->Form_Load();
        form->Timer1->stop();
        form->txtPassword->setText(u"pw"_s);
    }

    QString log() const { return form->txtStatus->Text(); }
    void second()
    {
        if (clocks)
            clocks->awake(1s);
        form->Timer1_Timer();
    }
    // Seconds of Timer1 until the window connects, at most `limit`; limit + 1 if it never does.
    int secondsUntilConnect(int limit)
    {
        const qsizetype before = socket.connects.size();
        for (int seconds = 1; seconds <= limit; ++seconds) {
            second();
            if (socket.connects.size() > before)
                return seconds;
        }
        return limit + 1;
    }
    // The POP3 dialogue of the check under way, up to the password's answer; an empty mailbox.
    void answerLogin(bool accept)
    {
        for (const QString &line : {u"+OK ready\r\n"_s, u"+OK\r\n"_s})
            socket.arrive(line);
        if (!accept) {
            socket.arrive(Refusal + u"\r\n"_s);
            return;
        }
        socket.arrive(u"+OK logged in\r\n"_s);
        socket.arrive(u"+OK 0 0\r\n"_s);
    }
};

} // namespace

class TestFrmMainRetries : public QObject
{
    Q_OBJECT

    PrivateSessionBus bus;

private slots:
    void initTestCase() { QVERIFY2(bus.start(), qPrintable(bus.error())); }

    // A resume or a returning network brings a check within seconds, though the interval is 15
    // minutes; when that check meets no network, the next try follows at the backoff's next step.
    void wakeBringsACheck_data()
    {
        QTest::addColumn<QString>("event");
        QTest::newRow("logind: PrepareForSleep(false)") << u"logind"_s;
        QTest::newRow("the boot-time clock ran on while the monotonic one stood") << u"clocks"_s;
        QTest::newRow("the network came back") << u"network"_s;
        QTest::newRow("nothing happened: no check before the interval's") << QString();
    }
    void wakeBringsACheck()
    {
        QFETCH(QString, event);
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        auto logind = QDBusConnection::connectToBus(bus.address(), u"logind "_s + tag);
        auto listener = QDBusConnection::connectToBus(bus.address(), u"listener "_s + tag);
        auto leave = qScopeGuard([&] {
            QDBusConnection::disconnectFromBus(logind.name());
            QDBusConnection::disconnectFromBus(listener.name());
        });
        QVERIFY(logind.registerService(u"org.freedesktop.login1"_s));
        FakeSleepClocks clocks;
        WakeMonitor wake(clocks, listener);
        QVERIFY(wake.hearsLogind());
        Window w(15, &wake, &clocks);
        QVERIFY(w.form);
        QSignalSpy resumed(&wake, &WakeMonitor::resumed);
        // Awake a while first: the clocks have readings to compare.
        for (int seconds = 0; seconds < 3; ++seconds)
            w.second();
        QVERIFY(w.socket.connects.isEmpty());

        if (event == u"logind") {
            auto signal = QDBusMessage::createSignal(u"/org/freedesktop/login1"_s,
                                                     u"org.freedesktop.login1.Manager"_s,
                                                     u"PrepareForSleep"_s);
            QVERIFY(logind.send(signal << false));
            QVERIFY(resumed.wait(10'000));
        } else if (event == u"clocks") {
            clocks.asleep(10min);
        } else if (event == u"network") {
            wake.reachabilityChanged(Reachability::Disconnected);
            wake.reachabilityChanged(Reachability::Online);
        }
        const int first = w.secondsUntilConnect(10);
        if (event.isEmpty()) {
            QCOMPARE(first, 11);
            return;
        }
        QVERIFY2(first <= 10, qPrintable(QString::number(first)));

        // The network is not back yet: the check fails, and the log says when the next comes.
        emit w.socket.Error(Winsock1::ConnectionRefused, u"Connection refused"_s);
        const QString retrying = Wording::retryingIn(RetryPolicy::Backoff[1]);
        QVERIFY2(w.log().endsWith(retrying + u"\r\n"_s), qPrintable(w.log()));
        QCOMPARE(w.secondsUntilConnect(60), RetryPolicy::Backoff[1]);
        QCOMPARE(w.socket.connects.size(), 2);
    }

    // Providers lock an account that keeps trying a refused login: two refusals in a row stop the
    // timed checks, the log says so once, and a check by hand is a try of the user's own.
    void refusedLogins_data()
    {
        QTest::addColumn<QList<bool>>("accepted"); // the timed checks' logins, in turn
        QTest::addColumn<bool>("stopped");
        QTest::newRow("two refusals in a row: stopped until a check by hand")
            << QList<bool>{false, false} << true;
        QTest::newRow("a good login between two refusals: the checks go on")
            << QList<bool>{false, true, false} << false;
    }
    void refusedLogins()
    {
        QFETCH(QList<bool>, accepted);
        QFETCH(bool, stopped);
        Window w(1);
        QVERIFY(w.form);
        for (bool accept : accepted) {
            QCOMPARE(w.secondsUntilConnect(60), 60);
            w.answerLogin(accept);
        }
        const QString line = Wording::stoppedAfterRefusals(Refusal);
        if (!stopped) {
            QVERIFY2(!w.log().contains(line), qPrintable(w.log()));
            QCOMPARE(w.secondsUntilConnect(60), 60);
            return;
        }
        QVERIFY2(w.log().endsWith(line + u"\r\n"_s), qPrintable(w.log()));
        // Three intervals later: no check, and the line still once.
        QCOMPARE(w.secondsUntilConnect(180), 181);
        QCOMPARE(w.log().count(line), 1);

        const qsizetype before = w.socket.connects.size();
        QTest::mouseClick(w.form->cmdCheckNow, Qt::LeftButton);
        QCOMPARE(w.socket.connects.size(), before + 1);
        w.answerLogin(true);
        QCOMPARE(w.secondsUntilConnect(60), 60);
    }
};

QTEST_MAIN(TestFrmMainRetries)
#include "tst_frmmain_retries.moc"
