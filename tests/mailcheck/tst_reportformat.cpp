#include "mailcheck/ReportFormat.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestReportFormat : public QObject
{
    Q_OBJECT

private slots:
    void statNumber_data();
    void statNumber();
    void kilobytes_data();
    void kilobytes();
    void withoutTimeZone_data();
    void withoutTimeZone();
    void reportTimeFormat_data();
    void reportTimeFormat();
};

void TestReportFormat::statNumber_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<qint64>("value");

    QTest::newRow("plain digits") << u"3"_s << true << qint64(3);
    QTest::newRow("size with the reply's CR LF") << u"12345\r\n"_s << true << qint64(12345);
    QTest::newRow("blanks and tabs around") << u" \t42\t "_s << true << qint64(42);
    QTest::newRow("zero") << u"0"_s << true << qint64(0);
    QTest::newRow("leading zeros") << u"007"_s << true << qint64(7);
    QTest::newRow("count past 16 bits") << u"40000"_s << true << qint64(40000);
    QTest::newRow("size past 2^31") << u"3221225472"_s << true << qint64(3221225472);
    QTest::newRow("largest 64-bit number")
        << u"9223372036854775807"_s << true << std::numeric_limits<qint64>::max();
    QTest::newRow("one past 64 bits") << u"9223372036854775808"_s << false << qint64(0);
    QTest::newRow("far past 64 bits") << u"99999999999999999999999"_s << false << qint64(0);
    QTest::newRow("missing field") << u"NOT FOUND"_s << false << qint64(0);
    QTest::newRow("empty") << QString() << false << qint64(0);
    QTest::newRow("only line break") << u"\r\n"_s << false << qint64(0);
    QTest::newRow("minus sign") << u"-3"_s << false << qint64(0);
    QTest::newRow("plus sign") << u"+3"_s << false << qint64(0);
    QTest::newRow("decimal fraction") << u"3.5"_s << false << qint64(0);
    QTest::newRow("digit grouping") << u"1,024"_s << false << qint64(0);
    QTest::newRow("blank inside") << u"1 2"_s << false << qint64(0);
    QTest::newRow("Thai digits") << u"๓"_s << false << qint64(0);
    QTest::newRow("NUL after digits") << u"3\u0000"_s << false << qint64(0);
}

void TestReportFormat::statNumber()
{
    QFETCH(QString, field);
    QFETCH(bool, converts);
    QFETCH(qint64, value);

    const auto number = ReportFormat::statNumber(field);
    QCOMPARE(number.has_value(), converts);
    if (converts)
        QCOMPARE(*number, value);
}

void TestReportFormat::kilobytes_data()
{
    QTest::addColumn<qint64>("octets");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << qint64(0) << u"0"_s;
    QTest::newRow("just under a half") << qint64(511) << u"0"_s;
    QTest::newRow("a half rounds up") << qint64(512) << u"1"_s;
    QTest::newRow("one and a half") << qint64(1536) << u"2"_s;
    QTest::newRow("two and a half") << qint64(2560) << u"3"_s;
    QTest::newRow("12345 octets") << qint64(12345) << u"12"_s;
    QTest::newRow("no digit grouping") << qint64(1024) * 1234567 << u"1234567"_s;
    QTest::newRow("3 GiB") << qint64(3) * 1024 * 1024 * 1024 << u"3145728"_s;
    QTest::newRow("largest size") << std::numeric_limits<qint64>::max() << u"9007199254740992"_s;
}

void TestReportFormat::kilobytes()
{
    QFETCH(qint64, octets);
    QFETCH(QString, text);
    QCOMPARE(ReportFormat::kilobytes(octets), text);
}

void TestReportFormat::withoutTimeZone_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("stripped");

    // Long time formats as QLocale gives them.
    QTest::newRow("en_GB") << u"HH:mm:ss t"_s << u"HH:mm:ss"_s;
    QTest::newRow("en_US") << u"h:mm:ss AP t"_s << u"h:mm:ss AP"_s;
    QTest::newRow("th_TH") << u"H นาฬิกา mm นาที ss วินาที t"_s << u"H นาฬิกา mm นาที ss วินาที"_s;
    QTest::newRow("zh_CN, zone first") << u"t HH:mm:ss"_s << u"HH:mm:ss"_s;
    QTest::newRow("fa_IR, zone in brackets") << u"H:mm:ss (t)"_s << u"H:mm:ss"_s;
    QTest::newRow("ja_JP, no blank") << u"H時mm分ss秒 t"_s << u"H時mm分ss秒"_s;
    QTest::newRow("no zone") << u"HH:mm:ss"_s << u"HH:mm:ss"_s;
    QTest::newRow("quoted t is text") << u"HH'h't mm"_s << u"HH'h' mm"_s;
    QTest::newRow("t inside quotes stays") << u"HH 'at' mm"_s << u"HH 'at' mm"_s;
    QTest::newRow("repeated t") << u"HH:mm:ss tttt"_s << u"HH:mm:ss"_s;
}

void TestReportFormat::withoutTimeZone()
{
    QFETCH(QString, format);
    QFETCH(QString, stripped);
    QCOMPARE(ReportFormat::withoutTimeZone(format), stripped);
}

void TestReportFormat::reportTimeFormat_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("shown"); // 8:21:56 in the morning
    QTest::newRow("Thai spells the units out: H:mm:ss, as Windows writes it")
        << u"th_TH"_s << u"8:21:56"_s;
    QTest::newRow("quoted words (French Canada) are words too") << u"fr_CA"_s << u"8:21:56"_s;
    QTest::newRow("a numeric long format stays the locale's") << u"en_GB"_s << u"08:21:56"_s;
    QTest::newRow("its AM and PM stay") << u"en_US"_s << u"8:21:56 AM"_s;
}

void TestReportFormat::reportTimeFormat()
{
    QFETCH(QString, locale);
    QFETCH(QString, shown);
    const QLocale l(locale);
    QCOMPARE(l.toString(QTime(8, 21, 56), ReportFormat::reportTimeFormat(l)), shown);
}

QTEST_GUILESS_MAIN(TestReportFormat)
#include "tst_reportformat.moc"
