#include "platform/WakeMonitor.h"
#include "support/FakeSleepClocks.h"
#include "support/PrivateSessionBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;
using Reachability = QNetworkInformation::Reachability;

// Counts the markers sent after each signal: once one arrives, all sent before it have been
// delivered.
class Marker : public QObject
{
    Q_OBJECT
public slots:
    void arrived() { ++count; }

public:
    int count = 0;
};

class tst_WakeMonitor : public QObject
{
    Q_OBJECT

    PrivateSessionBus m_bus;

private slots:
    void initTestCase() { QVERIFY2(m_bus.start(), qPrintable(m_bus.error())); }

    // Steps: "say sleep" and "say wake" are PrepareForSleep(true/false) on the bus; "awake N"
    // moves both clocks, "asleep N" the boot-time one only; "tick" is the one-second timer.
    void resumes_data()
    {
        QTest::addColumn<bool>("fromLogind");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<int>("resumes");
        QTest::newRow("logind's wake-up") << true << u"say sleep; say wake"_s << 1;
        QTest::newRow("going to sleep is no resume") << true << u"say sleep"_s << 0;
        QTest::newRow("not from logind's name: ignored") << false << u"say sleep; say wake"_s << 0;
        QTest::newRow("boot-time clock ahead of the monotonic one")
            << true << u"tick; asleep 600; awake 1; tick"_s << 1;
        QTest::newRow("a long wait awake between ticks is no resume")
            << true << u"tick; awake 600; tick"_s << 0;
        QTest::newRow("logind, then the clocks: one resume")
            << true << u"tick; say sleep; asleep 600; say wake; awake 1; tick"_s << 1;
        QTest::newRow("the clocks, then logind: one resume")
            << true << u"tick; say sleep; asleep 600; awake 1; tick; say wake"_s << 1;
        QTest::newRow("two suspends a minute apart: two resumes")
            << true << u"say sleep; asleep 600; say wake; awake 60; say sleep; say wake"_s << 2;
    }
    void resumes()
    {
        QFETCH(bool, fromLogind);
        QFETCH(QString, steps);
        QFETCH(int, resumes);
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        auto speaker = QDBusConnection::connectToBus(m_bus.address(), u"speaker "_s + tag);
        auto listener = QDBusConnection::connectToBus(m_bus.address(), u"listener "_s + tag);
        auto leave = qScopeGuard([&] {
            QDBusConnection::disconnectFromBus(speaker.name());
            QDBusConnection::disconnectFromBus(listener.name());
        });
        if (fromLogind)
            QVERIFY(speaker.registerService(u"org.freedesktop.login1"_s));
        FakeSleepClocks clocks;
        WakeMonitor monitor(clocks, listener);
        QVERIFY(monitor.hearsLogind());
        Marker marker;
        QVERIFY(listener.connect({}, u"/"_s, u"org.larkspur.Test"_s, u"Marker"_s, &marker,
                                 SLOT(arrived())));
        // A call the bus answers: the match rules asked for before it are in place.
        QVERIFY(listener.interface()->isServiceRegistered(u"org.freedesktop.DBus"_s).value());
        QSignalSpy spy(&monitor, &WakeMonitor::resumed);

        int said = 0;
        for (const QString &step : steps.split(u"; "_s)) {
            const QStringList words = step.split(u' ');
            const std::chrono::seconds duration(words.value(1).toInt());
            if (words[0] == u"say") {
                auto signal = QDBusMessage::createSignal(u"/org/freedesktop/login1"_s,
                                                         u"org.freedesktop.login1.Manager"_s,
                                                         u"PrepareForSleep"_s);
                QVERIFY(speaker.send(signal << (words[1] == u"sleep")));
                QVERIFY(speaker.send(
                    QDBusMessage::createSignal(u"/"_s, u"org.larkspur.Test"_s, u"Marker"_s)));
                QVERIFY(QTest::qWaitFor([&] { return marker.count == said + 1; }));
                ++said;
            } else if (words[0] == u"tick") {
                monitor.tick();
            } else if (words[0] == u"awake") {
                clocks.awake(duration);
            } else {
                clocks.asleep(duration);
            }
        }
        QCOMPARE(spy.count(), resumes);
    }

    // Without a bus. Qt's backends cannot be driven here: the changes are played into the monitor.
    void networkReturns_data()
    {
        QTest::addColumn<QList<Reachability>>("changes");
        QTest::addColumn<int>("returns");
        QTest::newRow("from Unknown, as a backend starts, is no return")
            << QList{Reachability::Online} << 0;
        QTest::newRow("lost, back, behind a portal, back")
            << QList{Reachability::Online, Reachability::Disconnected, Reachability::Online,
                     Reachability::Site, Reachability::Online}
            << 2;
    }
    void networkReturns()
    {
        QFETCH(QList<Reachability>, changes);
        QFETCH(int, returns);
        FakeSleepClocks clocks;
        WakeMonitor monitor(clocks, QDBusConnection(u"no bus"_s));
        QVERIFY(!monitor.hearsLogind());
        QSignalSpy spy(&monitor, &WakeMonitor::networkReturned);
        for (Reachability reachability : changes)
            monitor.reachabilityChanged(reachability);
        QCOMPARE(spy.count(), returns);
    }
};

QTEST_GUILESS_MAIN(tst_WakeMonitor)
#include "tst_wakemonitor.moc"
