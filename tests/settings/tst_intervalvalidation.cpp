#include "platform/Prompt.h"
#include "settings/IntervalValidation.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace
{

const QString emptyOrZero = u"เวลาไม่สามารถเป็น ค่าว่าง และ 0 ได้ (มาตรฐาน : 15)"_s;
const QString digitsOnly = u"กรุณาพิมพ์ เฉพาะตัวเลขเท่านั้น (0-99)"_s;

// One log for the box, the saves and the messages, so that their order shows.
using Log = QStringList;

// txtMinutes as a QLineEdit behaves: a text set from code that differs from the old one runs the
// change handler again, at once, from inside the setter.
class FakeMinutesBox final : public IntervalView
{
public:
    FakeMinutesBox(Log &log, Prompt &prompt) : m_log(log), m_prompt(prompt) {}

    QString minutesText() const override { return m_text; }
    void setMinutesText(const QString &text) override
    {
        if (text == m_text)
            return;
        m_log += u"text %1"_s.arg(text);
        m_text = text;
        ++m_depth;
        txtMinutes_Change(*this, m_prompt);
        --m_depth;
    }
    bool SaveSettings() override
    {
        m_log += u"save %1 at depth %2"_s.arg(m_text).arg(m_depth);
        return m_saveSucceeds;
    }

    // What a user's typing does: the text changes, then the handler runs.
    void type(const QString &text) { setMinutesText(text); }
    void failSaves() { m_saveSucceeds = false; }

private:
    Log &m_log;
    Prompt &m_prompt;
    QString m_text = u"15"_s; // as the window is created
    int m_depth = 0;
    bool m_saveSucceeds = true;
};

class RecordingPrompt final : public Prompt
{
public:
    RecordingPrompt(Log &log) : m_log(log) {}
    void setBox(const IntervalView *box) { m_box = box; }

    void message(const QString &caption, const QString &text) override
    {
        QVERIFY2(caption == u"larkspur "_s, qPrintable(caption));
        const QString which = text == emptyOrZero  ? u"empty-or-zero"_s
                              : text == digitsOnly ? u"digits-only"_s
                                                   : u"unexpected: "_s + text;
        m_log += u"message %1 while the box shows %2"_s.arg(which, m_box->minutesText());
    }

private:
    Log &m_log;
    const IntervalView *m_box = nullptr;
};

} // namespace

class TestIntervalValidation : public QObject
{
    Q_OBJECT

private slots:
    void classify_data();
    void classify();
    void change_data();
    void change();
    void typingThirtyOverFifteen();
    void failedSaveChangesNothing();
};

void TestIntervalValidation::classify_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<IntervalClass>("expected");

    QTest::newRow("empty") << u""_s << IntervalClass::EmptyOrZero;
    QTest::newRow("0") << u"0"_s << IntervalClass::EmptyOrZero;
    QTest::newRow("00") << u"00"_s << IntervalClass::EmptyOrZero;
    QTest::newRow("0.0") << u"0.0"_s << IntervalClass::EmptyOrZero;
    QTest::newRow("-0") << u"-0"_s << IntervalClass::EmptyOrZero;
    QTest::newRow("blank 0") << u" 0"_s << IntervalClass::EmptyOrZero;
    QTest::newRow("-") << u"-"_s << IntervalClass::Refused;
    QTest::newRow("a") << u"a"_s << IntervalClass::Refused;
    QTest::newRow("blank only") << u" "_s << IntervalClass::Refused;
    QTest::newRow("negative") << u"-5"_s << IntervalClass::Refused;
    QTest::newRow("100") << u"100"_s << IntervalClass::Refused;
    QTest::newRow("120") << u"120"_s << IntervalClass::Refused;
    QTest::newRow("just above 99") << u"99.01"_s << IntervalClass::Refused;
    QTest::newRow(".5") << u".5"_s << IntervalClass::Accepted;
    QTest::newRow("1") << u"1"_s << IntervalClass::Accepted;
    QTest::newRow("15") << u"15"_s << IntervalClass::Accepted;
    QTest::newRow("99") << u"99"_s << IntervalClass::Accepted;
    QTest::newRow("99.0") << u"99.0"_s << IntervalClass::Accepted;
    QTest::newRow("blank 7") << u" 7"_s << IntervalClass::Accepted;
}

void TestIntervalValidation::classify()
{
    QFETCH(QString, text);
    QFETCH(IntervalClass, expected);
    QCOMPARE(classifyInterval(text), expected);
}

void TestIntervalValidation::change_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Log>("expected");

    // The reset's own change runs nested (depth 2) and saves; the outer run then goes on.
    const auto resetFirst = [](const QString &typed) {
        return Log{u"text "_s + typed, u"text 15"_s, u"save 15 at depth 2"_s,
                   u"message empty-or-zero while the box shows 15"_s, u"save 15 at depth 1"_s};
    };
    const auto messageFirst = [](const QString &typed) {
        return Log{u"text "_s + typed, u"message digits-only while the box shows "_s + typed,
                   u"text 15"_s, u"save 15 at depth 2"_s, u"save 15 at depth 1"_s};
    };
    const auto accepted = [](const QString &typed) {
        return Log{u"text "_s + typed, u"save "_s + typed + u" at depth 1"_s};
    };

    for (const QString &typed : {u""_s, u"0"_s, u"00"_s, u"0.0"_s})
        QTest::addRow("\"%s\" resets first", qPrintable(typed)) << typed << resetFirst(typed);
    for (const QString &typed : {u"-"_s, u"a"_s, u"100"_s, u"120"_s})
        QTest::addRow("\"%s\" says so first", qPrintable(typed)) << typed << messageFirst(typed);
    for (const QString &typed : {u".5"_s, u"99"_s, u"3"_s, u"1.5"_s})
        QTest::addRow("\"%s\" accepted", qPrintable(typed)) << typed << accepted(typed);
}

void TestIntervalValidation::change()
{
    QFETCH(QString, typed);
    QFETCH(Log, expected);

    Log log;
    RecordingPrompt prompt(log);
    FakeMinutesBox box(log, prompt);
    prompt.setBox(&box);
    box.type(typed);
    QCOMPARE(log, expected);
    QCOMPARE(box.minutesText(),
             classifyInterval(typed) == IntervalClass::Accepted ? typed : u"15"_s);
}

void TestIntervalValidation::typingThirtyOverFifteen()
{
    Log log;
    RecordingPrompt prompt(log);
    FakeMinutesBox box(log, prompt);
    prompt.setBox(&box);
    box.type(u"3"_s);
    box.type(u"30"_s);
    QCOMPARE(log,
             (Log{u"text 3"_s, u"save 3 at depth 1"_s, u"text 30"_s, u"save 30 at depth 1"_s}));
}

void TestIntervalValidation::failedSaveChangesNothing()
{
    Log log;
    RecordingPrompt prompt(log);
    FakeMinutesBox box(log, prompt);
    prompt.setBox(&box);
    box.failSaves();
    box.type(u"a"_s);
    // No retry and no message of its own: the view has reported the failure.
    QCOMPARE(log, (Log{u"text a"_s, u"message digits-only while the box shows a"_s, u"text 15"_s,
                       u"save 15 at depth 2"_s, u"save 15 at depth 1"_s}));
}

QTEST_APPLESS_MAIN(TestIntervalValidation)
#include "tst_intervalvalidation.moc"
