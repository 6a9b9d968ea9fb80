#include "mailcheck/CheckOutcome.h"
#include "scheduling/MinuteCounter.h"
#include "scheduling/RetryPolicy.h"
#include "wording/Wording.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_RetryPolicy : public QObject
{
    Q_OBJECT

private slots:
    // Steps: "fail", "ok", "refused" end the check under way; "run N fail" ticks N seconds and
    // ends each check started in them so; "every N": the periodic box ticked with N minutes,
    // which the policy learns at the next tick.
    void checks_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<int>>("checks"); // the seconds at which checks started
        QTest::addColumn<bool>("stopped");
        QTest::addColumn<QString>("lastLine");
        const QString stop = Wording::stoppedAfterRefusals(u"-ERR [AUTH] failed"_s);
        QTest::newRow("failures: tries after 5, 15, 30, 60 s, then the interval")
            << u"every 5; fail; run 600 fail"_s << QList{5, 20, 50, 110, 300, 600} << false
            << Wording::retriesUsedUp();
        QTest::newRow("a refused certificate waits for the next timed check")
            << u"every 1; tls; run 60 tls"_s << QList{60} << false << QString();
        QTest::newRow("a good check ends the backoff")
            << u"fail; run 5 ok; fail; run 10 fail"_s << QList{5, 10} << false
            << Wording::retryingIn(15);
        QTest::newRow("two refused logins stop the timed checks, the first is not retried")
            << u"every 1; refused; run 600 refused"_s << QList{60} << true << stop;
        QTest::newRow("a failure between refusals does not break the row")
            << u"refused; fail; run 60 refused"_s << QList{5} << true << stop;
        QTest::newRow("a check by hand lifts the stop")
            << u"refused; refused; manual; ok; every 1; run 60 ok"_s << QList{60} << false << stop;
        QTest::newRow("a new login lifts the stop and the count")
            << u"refused; refused; login; refused; every 1; run 60 ok"_s << QList{60} << false
            << stop;
        QTest::newRow("resume: a check after 5 s, then 15, 30, 60")
            << u"every 15; run 1; resume; run 200 fail"_s << QList{6, 21, 51, 111} << false
            << Wording::retriesUsedUp();
        QTest::newRow("network back: a check after 5 s")
            << u"every 15; run 1; online; run 100 ok"_s << QList{6} << false << QString();
        QTest::newRow("network back soon after a good check: a minute after it")
            << u"every 15; ok; run 20; online; run 100 ok"_s << QList{60} << false << QString();
        QTest::newRow("no timed checks: resume and network start none")
            << u"run 1; resume; online; run 100 ok"_s << QList<int>{} << false << QString();
        QTest::newRow("LOGIN-DELAY longer than the interval spaces the timed checks")
            << u"every 1; delay 300; run 700 ok"_s << QList{60, 360, 660} << false
            << Wording::loginDelayHonoured(300);
        QTest::newRow("a retry waits for LOGIN-DELAY after a good login")
            << u"delay 60; ok; fail; run 100 fail"_s << QList{60, 75} << false
            << Wording::retryingIn(30);
        QTest::newRow("the time asleep counts towards LOGIN-DELAY")
            << u"every 15; delay 300; ok; run 1; resume; run 30 fail"_s << QList{6, 21} << false
            << Wording::retryingIn(30);
    }
    void checks()
    {
        QFETCH(QString, steps);
        QFETCH(QList<int>, checks);
        QFETCH(bool, stopped);
        QFETCH(QString, lastLine);
        const QHash<QString, CheckOutcome> outcomes{{u"fail"_s, CheckOutcome::Unreachable},
                                                    {u"tls"_s, CheckOutcome::Failed},
                                                    {u"ok"_s, CheckOutcome::NoNewMail},
                                                    {u"refused"_s, CheckOutcome::LoginRefused}};
        RetryPolicy policy;
        MinuteCounter counter;
        QString minutes; // empty: the box unticked
        QList<int> started;
        QString line;
        int now = 0;
        auto end = [&](const QString &word) {
            if (const auto said = policy.checkEnded(outcomes.value(word), u"-ERR [AUTH] failed"_s))
                line = *said;
        };
        for (const QString &step : steps.split(u"; "_s)) {
            const QStringList words = step.split(u' ');
            if (words[0] == u"run") {
                for (int i = 0; i < words[1].toInt(); ++i) {
                    ++now;
                    const bool due = counter.tick(minutes.isEmpty() ? 0 : 1, minutes);
                    if (due)
                        counter.checkStarted();
                    const RetryPolicy::Tick tick = policy.tick(!minutes.isEmpty(), due);
                    line = tick.logLine.value_or(line);
                    if (tick.checkNow)
                        started.append(now);
                    if (tick.checkNow && outcomes.contains(words.value(2)))
                        end(words[2]);
                }
            } else if (words[0] == u"every") {
                minutes = words[1];
            } else if (words[0] == u"resume") {
                policy.resumed();
            } else if (words[0] == u"online") {
                policy.networkReturned();
            } else if (words[0] == u"manual") {
                policy.manualCheck();
            } else if (words[0] == u"login") {
                policy.loginChanged();
            } else if (words[0] == u"delay") {
                policy.setLoginDelay(words[1].toInt());
            } else {
                end(words[0]);
            }
        }
        QCOMPARE(started, checks);
        QCOMPARE(policy.stopped(), stopped);
        QCOMPARE(line, lastLine);
    }

    void loginDelayFromCapabilities_data()
    {
        QTest::addColumn<QStringList>("capabilities");
        QTest::addColumn<int>("seconds"); // -1: none
        QTest::newRow("Gmail's") << QStringList{u"TOP"_s, u"LOGIN-DELAY 300"_s} << 300;
        QTest::newRow("per user, before the login")
            << QStringList{u"login-delay 900 USER"_s} << 900;
        QTest::newRow("not a number") << QStringList{u"LOGIN-DELAY soon"_s} << -1;
        QTest::newRow("a day is taken as 99 minutes")
            << QStringList{u"LOGIN-DELAY 86400"_s} << 5940;
    }
    void loginDelayFromCapabilities()
    {
        QFETCH(QStringList, capabilities);
        QFETCH(int, seconds);
        QCOMPARE(::loginDelayFromCapabilities(capabilities).value_or(-1), seconds);
    }
};

QTEST_APPLESS_MAIN(tst_RetryPolicy)
#include "tst_retrypolicy.moc"
