#include "mailcheck/FieldExtractor.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestFieldExtractor : public QObject
{
    Q_OBJECT

private slots:
    void fields_data();
    void fields();
    void overflowGoesToTheCaller();
};

void TestFieldExtractor::fields_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("field");

    const QString stat = u"+OK 3 12345\r\n"_s;
    const QString blank = u" "_s;
    QTest::newRow("count of a STAT reply") << stat << 1 << blank << u"3"_s;
    QTest::newRow("size runs to the end, CR LF included") << stat << 2 << blank << u"12345\r\n"_s;
    QTest::newRow("past the last field") << stat << 3 << blank << u"NOT FOUND"_s;
    QTest::newRow("occurrence 0 is the text before the first") << stat << 0 << blank << u"+OK"_s;
    QTest::newRow("no separator: field 1 is the whole text")
        << u"+OK\r\n"_s << 1 << blank << u"+OK\r\n"_s;
    QTest::newRow("count without size keeps CR LF") << u"+OK 3\r\n"_s << 1 << blank << u"3\r\n"_s;
    QTest::newRow("count without size: no field 2")
        << u"+OK 3\r\n"_s << 2 << blank << u"NOT FOUND"_s;
    QTest::newRow("trailing blank: field 2 would start past the end")
        << u"+OK 3 "_s << 2 << blank << u"NOT FOUND"_s;
    QTest::newRow("trailing blank: field 1 stops at it") << u"+OK 3 "_s << 1 << blank << u"3"_s;
    QTest::newRow("two blanks in a row: empty field") << u"+OK  3"_s << 1 << blank << QString();
    QTest::newRow("empty text") << QString() << 1 << blank << u"NOT FOUND"_s;
    QTest::newRow("occurrence 0 without separator") << u"abc"_s << 0 << blank << u"abc"_s;
    QTest::newRow("occurrence 0, separator first") << u" a"_s << 0 << blank << QString();
    QTest::newRow("a miss stays a miss though a later search finds one again")
        << u"a b"_s << 3 << blank << u"NOT FOUND"_s;
    QTest::newRow("negative occurrence behaves as 1") << u"a b"_s << -5 << blank << u"b"_s;
    QTest::newRow("largest occurrence") << u"a b"_s << 32767 << blank << u"NOT FOUND"_s;
    QTest::newRow("two-character separator keeps its tail")
        << u"a, b, c"_s << 1 << u", "_s << u" b"_s;
    QTest::newRow("separator compared case-sensitively") << u"aXbxc"_s << 1 << u"x"_s << u"c"_s;
    QTest::newRow("Thai text") << u"+OK สาม ๑๒"_s << 2 << blank << u"๑๒"_s;
}

void TestFieldExtractor::fields()
{
    QFETCH(QString, text);
    QFETCH(int, occurrence);
    QFETCH(QString, separator);
    QFETCH(QString, field);

    const auto result = Get_After_Seperator(text, static_cast<qint16>(occurrence), separator);
    QVERIFY(result.has_value());
    QCOMPARE(*result, field);
}

void TestFieldExtractor::overflowGoesToTheCaller()
{
    QVERIFY(!Get_After_Seperator(u"a b"_s, -32768, u" "_s).has_value());
    QVERIFY(!Get_After_Seperator(QString(), -32768, u" "_s).has_value());
    // One step up is an ordinary negative count.
    QCOMPARE(Get_After_Seperator(u"a b"_s, -32767, u" "_s), std::optional<QString>(u"b"_s));
}

QTEST_GUILESS_MAIN(TestFieldExtractor)
#include "tst_fieldextractor.moc"
