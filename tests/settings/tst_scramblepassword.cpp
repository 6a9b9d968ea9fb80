#include "settings/ScramblePassword.h"

#include <QTest>

class TestScramblePassword : public QObject
{
    Q_OBJECT

private slots:
    void examples_data();
    void examples();
    void everyByteRoundTrips();
};

void TestScramblePassword::examples_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("scrambled");

    QTest::newRow("abc") << QByteArrayLiteral("abc") << QByteArrayLiteral("\x9E\x9D\x9C");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("NUL and 0xFF swap")
        << QByteArrayLiteral("\x00\xFF") << QByteArrayLiteral("\xFF\x00");
    QTest::newRow("Thai digit two becomes CR")
        << QByteArrayLiteral("\xF2") << QByteArrayLiteral("\r");
    QTest::newRow("baht sign becomes a blank")
        << QByteArrayLiteral("\xDF") << QByteArrayLiteral(" ");
}

void TestScramblePassword::examples()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, scrambled);
    QCOMPARE(ScramblePassword(plain), scrambled);
    QCOMPARE(ScramblePassword(scrambled), plain);
}

void TestScramblePassword::everyByteRoundTrips()
{
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes.append(char(b));
    const QByteArray scrambled = ScramblePassword(bytes);
    QCOMPARE(scrambled.size(), bytes.size());
    for (int b = 0; b < 256; ++b)
        QCOMPARE(static_cast<unsigned char>(scrambled.at(b)), 255 - b);
    QCOMPARE(ScramblePassword(scrambled), bytes);
}

QTEST_APPLESS_MAIN(TestScramblePassword)
#include "tst_scramblepassword.moc"
