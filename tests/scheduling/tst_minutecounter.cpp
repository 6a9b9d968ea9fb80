#include "scheduling/CheckCommand.h"
#include "scheduling/MinuteCounter.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestMinuteCounter : public QObject
{
    Q_OBJECT

    // Ticks the counter `ticks` times with a fixed state and interval; returns the tick numbers
    // (1-based) on which a check ran.
    static QList<int> run(MinuteCounter &counter, int ticks, int everyState, const QString &minutes,
                          int firstTick = 1)
    {
        QList<int> checks;
        for (int i = 0; i < ticks; ++i) {
            if (counter.tick(everyState, minutes)) {
                checks.append(firstTick + i);
                counter.checkStarted();
            }
        }
        return checks;
    }

private slots:
    void periodicChecks_data()
    {
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("15 minutes: 900th tick, then every 900")
            << u"15"_s << 2700 << QList<int>{900, 1800, 2700};
        QTest::newRow("1 minute: every 60 ticks") << u"1"_s << 180 << QList<int>{60, 120, 180};
        QTest::newRow("half a minute behaves as one") << u".5"_s << 180 << QList<int>{60, 120, 180};
        QTest::newRow("99 minutes") << u"99"_s << 5940 << QList<int>{5940};
        QTest::newRow("not a number never checks") << u"abc"_s << 600 << QList<int>{};
        QTest::newRow("empty never checks") << QString() << 600 << QList<int>{};
        // Each would be due at every tick, since the count is never below them.
        QTest::newRow("negative never checks") << u"-5"_s << 600 << QList<int>{};
        QTest::newRow("zero never checks") << u"0"_s << 600 << QList<int>{};
        QTest::newRow("blanks around digits count") << u" 2 "_s << 240 << QList<int>{120, 240};
    }
    void periodicChecks()
    {
        QFETCH(QString, minutes);
        QFETCH(int, ticks);
        QFETCH(QList<int>, expected);
        MinuteCounter counter;
        QCOMPARE(run(counter, ticks, 1, minutes), expected);
    }

    void untickedHoldsBothCountersAtZero_data()
    {
        QTest::addColumn<int>("state");
        QTest::newRow("clear") << 0;
        QTest::newRow("grey") << 2;
    }
    void untickedHoldsBothCountersAtZero()
    {
        QFETCH(int, state);
        MinuteCounter counter;
        run(counter, 150, 1, u"15"_s);
        QCOMPARE(counter.MinutesCount, 2);
        QCOMPARE(counter.SecondsCount, 30);
        QVERIFY(run(counter, 5000, state, u"1"_s).isEmpty());
        QCOMPARE(counter.SecondsCount, 0);
        QCOMPARE(counter.MinutesCount, 0);
    }

    void untickingForOneTickRestartsTheCount()
    {
        MinuteCounter counter;
        QVERIFY(run(counter, 50, 1, u"1"_s).isEmpty());
        counter.tick(0, u"1"_s);
        // A fresh count of a whole minute from here, not the ten seconds that were left.
        QCOMPARE(run(counter, 60, 1, u"1"_s, 52), QList<int>{111});
    }

    void loweringTheIntervalChecksOnTheNextTick()
    {
        MinuteCounter counter;
        QVERIFY(run(counter, 630, 1, u"15"_s).isEmpty()); // 10 minutes 30 seconds counted
        QCOMPARE(counter.MinutesCount, 10);
        QVERIFY(counter.tick(1, u"5"_s));
        counter.checkStarted();
        QCOMPARE(counter.MinutesCount, 0);
        QCOMPARE(counter.SecondsCount, 31);
        // The seconds already counted in this minute shorten the next wait.
        QCOMPARE(run(counter, 300, 1, u"5"_s, 632), QList<int>{631 + 300 - 31});
    }

    void refusedIntervalLeavesTheMinutesAlone()
    {
        MinuteCounter counter;
        run(counter, 125, 1, u"15"_s);
        QVERIFY(!counter.tick(1, u"-"_s));
        QCOMPARE(counter.MinutesCount, 2);
        QCOMPARE(counter.SecondsCount, 6);
    }
};

// The check command's order of steps, and where a failure stops it.
class RecordingCommandView final : public CheckCommandView
{
public:
    QStringList calls;
    std::optional<QString> checkFailure;
    void clearReportBoxes() override { calls << u"clear"_s; }
    void letEventsRun() override { calls << u"events"_s; }
    void setProgress(int value) override { calls << u"progress %1"_s.arg(value); }
    std::optional<QString> CheckEmail() override
    {
        calls << u"CheckEmail"_s;
        return checkFailure;
    }
    void setReportFrameVisible(bool visible) override { calls << u"report %1"_s.arg(visible); }
    void setStatusFrameVisible(bool visible) override { calls << u"status %1"_s.arg(visible); }
    bool SaveSettings() override
    {
        calls << u"save"_s;
        return true;
    }
};

class TestCheckCommand : public QObject
{
    Q_OBJECT
private slots:
    void stepsInOrder()
    {
        RecordingCommandView view;
        QVERIFY(!cmdCheckNow_Click(view));
        QCOMPARE(view.calls, (QStringList{u"clear"_s, u"events"_s, u"progress 0"_s, u"CheckEmail"_s,
                                          u"report 0"_s, u"status 1"_s, u"save"_s}));
    }
    void immediateFailureStopsAndIsPassedBack()
    {
        RecordingCommandView view;
        view.checkFailure = u"no connection"_s;
        QCOMPARE(cmdCheckNow_Click(view), std::optional<QString>(u"no connection"_s));
        QCOMPARE(view.calls.last(), u"CheckEmail"_s);
    }
};

int main(int argc, char *argv[])
{
    int status = 0;
    {
        TestMinuteCounter t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        TestCheckCommand t;
        status |= QTest::qExec(&t, argc, argv);
    }
    return status;
}

#include "tst_minutecounter.moc"
