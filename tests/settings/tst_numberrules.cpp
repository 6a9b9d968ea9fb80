#include "settings/NumberRules.h"

#include <QTest>
#include <limits>

using namespace Qt::StringLiterals;

class TestNumberRules : public QObject
{
    Q_OBJECT

private slots:
    void parseNumber_data();
    void parseNumber();
    void equalsOne_data();
    void equalsOne();
    void toNearestInteger_data();
    void toNearestInteger();
    void toCheckState_data();
    void toCheckState();
};

void TestNumberRules::parseNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<double>("value");

    QTest::newRow("digits") << u"15"_s << true << 15.0;
    QTest::newRow("leading zeros") << u"007"_s << true << 7.0;
    QTest::newRow("blanks at both ends") << u"  5  "_s << true << 5.0;
    QTest::newRow("tabs at both ends") << u"\t5\t"_s << true << 5.0;
    QTest::newRow("plus sign") << u"+3"_s << true << 3.0;
    QTest::newRow("minus sign") << u"-2"_s << true << -2.0;
    QTest::newRow("fraction") << u"1.25"_s << true << 1.25;
    QTest::newRow("fraction without integer part") << u".5"_s << true << 0.5;
    QTest::newRow("point without fraction") << u"5."_s << true << 5.0;
    QTest::newRow("signed fraction") << u"-.5"_s << true << -0.5;
    QTest::newRow("zero point zero") << u"0.0"_s << true << 0.0;
    QTest::newRow("empty") << u""_s << false << 0.0;
    QTest::newRow("blanks only") << u"   "_s << false << 0.0;
    QTest::newRow("point alone") << u"."_s << false << 0.0;
    QTest::newRow("minus alone") << u"-"_s << false << 0.0;
    QTest::newRow("plus alone") << u"+"_s << false << 0.0;
    QTest::newRow("letter") << u"a"_s << false << 0.0;
    QTest::newRow("word") << u"yes"_s << false << 0.0;
    QTest::newRow("trailing letter") << u"1a"_s << false << 0.0;
    QTest::newRow("inner blank") << u"1 2"_s << false << 0.0;
    QTest::newRow("blank after sign") << u"- 1"_s << false << 0.0;
    QTest::newRow("two signs") << u"--1"_s << false << 0.0;
    QTest::newRow("two points") << u"1.2.3"_s << false << 0.0;
    QTest::newRow("exponent") << u"1e3"_s << false << 0.0;
    QTest::newRow("group separator") << u"1,000"_s << false << 0.0;
    QTest::newRow("decimal comma") << u"1,5"_s << false << 0.0;
    QTest::newRow("hexadecimal") << u"0x10"_s << false << 0.0;
    QTest::newRow("Thai digit") << u"\u0E51"_s << false << 0.0;
    QTest::newRow("fullwidth digit") << u"\uFF11"_s << false << 0.0;
    QTest::newRow("no-break space at the end") << u"1\u00A0"_s << false << 0.0;
    QTest::newRow("infinity word") << u"inf"_s << false << 0.0;
    QTest::newRow("400 digits") << QString(400, u'9') << true
                                << std::numeric_limits<double>::infinity();
    QTest::newRow("minus 400 digits")
        << (u"-"_s + QString(400, u'9')) << true << -std::numeric_limits<double>::infinity();
    QTest::newRow("tiny but not zero") << (u"0."_s + QString(400, u'0') + u"1"_s) << true
                                       << std::numeric_limits<double>::denorm_min();
    QTest::newRow("many zeros are zero") << (u"0."_s + QString(400, u'0')) << true << 0.0;
}

void TestNumberRules::parseNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, isNumber);
    QFETCH(double, value);
    double parsed = -12345;
    QCOMPARE(::parseNumber(text, &parsed), isNumber);
    if (isNumber)
        QCOMPARE(parsed, value);
    QCOMPARE(::parseNumber(text), isNumber);
}

void TestNumberRules::equalsOne_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("equal");
    QTest::addColumn<bool>("failed");

    QTest::newRow("1") << u"1"_s << true << false;
    QTest::newRow("blank 1") << u" 1"_s << true << false;
    QTest::newRow("01") << u"01"_s << true << false;
    QTest::newRow("1.0") << u"1.0"_s << true << false;
    QTest::newRow("+1") << u"+1"_s << true << false;
    QTest::newRow("0") << u"0"_s << false << false;
    QTest::newRow("2") << u"2"_s << false << false;
    QTest::newRow("-1") << u"-1"_s << false << false;
    QTest::newRow("1.5 is not rounded") << u"1.5"_s << false << false;
    QTest::newRow("0.9999 is not rounded") << u"0.9999"_s << false << false;
    QTest::newRow("empty fails") << u""_s << false << true;
    QTest::newRow("yes fails") << u"yes"_s << false << true;
    QTest::newRow("1x fails") << u"1x"_s << false << true;
}

void TestNumberRules::equalsOne()
{
    QFETCH(QString, text);
    QFETCH(bool, equal);
    QFETCH(bool, failed);
    bool didFail = !failed;
    QCOMPARE(::equalsOne(text, &didFail), equal);
    QCOMPARE(didFail, failed);
    // The start-up runs what the test guards when it equals 1 or fails.
    QCOMPARE(passesEqualsOne(text), equal || failed);
}

void TestNumberRules::toNearestInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<qint64>("value");

    QTest::newRow("integer") << u"12"_s << true << qint64(12);
    QTest::newRow("negative") << u"-3"_s << true << qint64(-3);
    QTest::newRow("blanks") << u" 7 "_s << true << qint64(7);
    QTest::newRow("below a half") << u"1.4"_s << true << qint64(1);
    QTest::newRow("above a half") << u"1.6"_s << true << qint64(2);
    QTest::newRow("just above a half") << u"2.5000001"_s << true << qint64(3);
    QTest::newRow("half to even, down") << u"2.5"_s << true << qint64(2);
    QTest::newRow("half to even, up") << u"3.5"_s << true << qint64(4);
    QTest::newRow("half of zero") << u".5"_s << true << qint64(0);
    QTest::newRow("negative half to even") << u"-2.5"_s << true << qint64(-2);
    QTest::newRow("negative above a half") << u"-0.7"_s << true << qint64(-1);
    QTest::newRow("minus zero") << u"-0"_s << true << qint64(0);
    QTest::newRow("point without fraction") << u"4."_s << true << qint64(4);
    QTest::newRow("past 16 bits") << u"40000"_s << true << qint64(40000);
    QTest::newRow("past 32 bits") << u"3000000000"_s << true << qint64(3000000000LL);
    QTest::newRow("past 2^53, exact")
        << u"9007199254740993"_s << true << qint64(9007199254740993LL);
    QTest::newRow("largest") << u"9223372036854775807"_s << true
                             << std::numeric_limits<qint64>::max();
    QTest::newRow("smallest") << u"-9223372036854775808"_s << true
                              << std::numeric_limits<qint64>::min();
    QTest::newRow("rounds past the largest") << u"9223372036854775807.5"_s << false << qint64(0);
    QTest::newRow("past 64 bits") << u"9223372036854775808"_s << false << qint64(0);
    QTest::newRow("400 digits") << QString(400, u'9') << false << qint64(0);
    QTest::newRow("empty") << u""_s << false << qint64(0);
    QTest::newRow("abc") << u"abc"_s << false << qint64(0);
}

void TestNumberRules::toNearestInteger()
{
    QFETCH(QString, text);
    QFETCH(bool, converts);
    QFETCH(qint64, value);
    const std::optional<qint64> n = ::toNearestInteger(text);
    QCOMPARE(n.has_value(), converts);
    if (converts)
        QCOMPARE(*n, value);
}

void TestNumberRules::toCheckState_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("state"); // -1: refused, the box keeps its state

    QTest::newRow("clear") << u"0"_s << 0;
    QTest::newRow("ticked") << u"1"_s << 1;
    QTest::newRow("grey") << u"2"_s << 2;
    QTest::newRow("rounded to ticked") << u"1.4"_s << 1;
    QTest::newRow("half to even, clear") << u"0.5"_s << 0;
    QTest::newRow("half to even, grey") << u"2.5"_s << 2;
    QTest::newRow("three refused") << u"3"_s << -1;
    QTest::newRow("minus one refused") << u"-1"_s << -1;
    QTest::newRow("empty refused") << u""_s << -1;
    QTest::newRow("word refused") << u"yes"_s << -1;
}

void TestNumberRules::toCheckState()
{
    QFETCH(QString, text);
    QFETCH(int, state);
    QCOMPARE(::toCheckState(text).value_or(-1), state);
}

QTEST_APPLESS_MAIN(TestNumberRules)
#include "tst_numberrules.moc"
