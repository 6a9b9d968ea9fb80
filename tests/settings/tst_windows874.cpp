#include "settings/Windows874.h"

#include <QTest>
#include <iconv.h>
#include <optional>

using namespace Qt::StringLiterals;

namespace
{

// glibc's own WINDOWS-874 converter, as an independent reading of the code page. Nothing for a byte
// it rejects as undefined.
std::optional<char32_t> systemDecode(unsigned char byte)
{
    iconv_t cd = iconv_open("UTF-32LE", "WINDOWS-874");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    char in[1] = {char(byte)};
    unsigned char out[8] = {};
    char *inPtr = in;
    char *outPtr = reinterpret_cast<char *>(out);
    size_t inLeft = 1;
    size_t outLeft = sizeof out;
    const size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (done == size_t(-1) || outLeft != sizeof out - 4)
        return std::nullopt;
    return char32_t(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
}

QByteArray everyByte()
{
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes.append(char(b));
    return bytes;
}

} // namespace

class TestWindows874 : public QObject
{
    Q_OBJECT

private slots:
    void systemConverterIsThere();
    void decodesAsTheSystemDoes();
    void codePoints_data();
    void codePoints();
    void everyByteRoundTrips();
    void thaiText_data();
    void thaiText();
    void unencodable_data();
    void unencodable();
};

void TestWindows874::systemConverterIsThere()
{
    iconv_t cd = iconv_open("UTF-32LE", "WINDOWS-874");
    if (cd == reinterpret_cast<iconv_t>(-1))
        QSKIP("glibc has no WINDOWS-874 converter here");
    iconv_close(cd);
}

void TestWindows874::decodesAsTheSystemDoes()
{
    if (!systemDecode('A'))
        QSKIP("glibc has no WINDOWS-874 converter here");
    int undefined = 0;
    for (int b = 0; b < 256; ++b) {
        const QString ours = decodeWindows874(QByteArray(1, char(b)));
        QCOMPARE(ours.size(), 1);
        const std::optional<char32_t> system = systemDecode(static_cast<unsigned char>(b));
        if (system) {
            QVERIFY2(ours.at(0).unicode() == *system, qPrintable(u"byte 0x%1"_s.arg(b, 2, 16)));
        } else {
            ++undefined;
            QVERIFY2(ours.at(0).unicode() == 0xF700 + b,
                     qPrintable(u"undefined byte 0x%1"_s.arg(b, 2, 16)));
        }
    }
    // 0x81-0x84, 0x86-0x90, 0x98-0x9F, 0xDB-0xDE, 0xFC-0xFF
    QCOMPARE(undefined, 4 + 11 + 8 + 4 + 4);
}

void TestWindows874::codePoints_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("codePoint");

    QTest::newRow("ASCII A") << 0x41 << 0x41;
    QTest::newRow("DEL") << 0x7F << 0x7F;
    QTest::newRow("euro sign") << 0x80 << 0x20AC;
    QTest::newRow("ellipsis") << 0x85 << 0x2026;
    QTest::newRow("left single quote") << 0x91 << 0x2018;
    QTest::newRow("right double quote") << 0x94 << 0x201D;
    QTest::newRow("bullet") << 0x95 << 0x2022;
    QTest::newRow("em dash") << 0x97 << 0x2014;
    QTest::newRow("no-break space") << 0xA0 << 0x00A0;
    QTest::newRow("ko kai") << 0xA1 << 0x0E01;
    QTest::newRow("phinthu") << 0xDA << 0x0E3A;
    QTest::newRow("baht sign") << 0xDF << 0x0E3F;
    QTest::newRow("sara e") << 0xE0 << 0x0E40;
    QTest::newRow("khomut") << 0xFB << 0x0E5B;
    QTest::newRow("undefined 0x81") << 0x81 << 0xF781;
    QTest::newRow("undefined 0x9E (scrambled a)") << 0x9E << 0xF79E;
    QTest::newRow("undefined 0xDB") << 0xDB << 0xF7DB;
    QTest::newRow("undefined 0xFC") << 0xFC << 0xF7FC;
    QTest::newRow("undefined 0xFF") << 0xFF << 0xF7FF;
}

void TestWindows874::codePoints()
{
    QFETCH(int, byte);
    QFETCH(int, codePoint);
    const QByteArray bytes(1, char(byte));
    const QString text{QChar(char16_t(codePoint))};
    QCOMPARE(decodeWindows874(bytes), text);
    bool ok = false;
    QCOMPARE(encodeWindows874(text, &ok), bytes);
    QVERIFY(ok);
}

void TestWindows874::everyByteRoundTrips()
{
    const QByteArray bytes = everyByte();
    const QString text = decodeWindows874(bytes);
    QCOMPARE(text.size(), 256);
    bool ok = false;
    QCOMPARE(encodeWindows874(text, &ok), bytes);
    QVERIFY(ok);
}

void TestWindows874::thaiText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty-or-zero message")
        << u"เวลาไม่สามารถเป็น ค่าว่าง และ 0 ได้ (มาตรฐาน : 15)"_s
        << QByteArrayLiteral("\xE0\xC7\xC5\xD2\xE4\xC1\xE8\xCA\xD2\xC1\xD2\xC3\xB6\xE0\xBB\xE7\xB9 "
                             "\xA4\xE8\xD2\xC7\xE8\xD2\xA7 \xE1\xC5\xD0 0 \xE4\xB4\xE9 "
                             "(\xC1\xD2\xB5\xC3\xB0\xD2\xB9 : 15)");
    QTest::newRow("Thai user name with digits")
        << u"สมชาย๑๒๓"_s << QByteArrayLiteral("\xCA\xC1\xAA\xD2\xC2\xF1\xF2\xF3");
    QTest::newRow("baht and euro") << u"฿100 €5"_s
                                   << QByteArrayLiteral("\xDF"
                                                        "100 \x80"
                                                        "5");
}

void TestWindows874::thaiText()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    bool ok = false;
    QCOMPARE(encodeWindows874(text, &ok), bytes);
    QVERIFY(ok);
    QCOMPARE(decodeWindows874(bytes), text);
}

void TestWindows874::unencodable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("Latin e acute") << u"caf\u00E9"_s << QByteArrayLiteral("caf?");
    QTest::newRow("Latin-1 y diaeresis (byte 0xFF elsewhere)")
        << u"\u00FF"_s << QByteArrayLiteral("?");
    QTest::newRow("next line U+0085 (0x85 is the ellipsis)")
        << u"\u0085"_s << QByteArrayLiteral("?");
    QTest::newRow("emoji is one character") << u"a\U0001F600b"_s << QByteArrayLiteral("a?b");
    QTest::newRow("lone surrogate") << QString(QChar(char16_t(0xD800))) << QByteArrayLiteral("?");
    QTest::newRow("private use of a defined byte") << u"\uF7A1"_s << QByteArrayLiteral("?");
    QTest::newRow("private use below the byte range") << u"\uF741"_s << QByteArrayLiteral("?");
}

void TestWindows874::unencodable()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    bool ok = true;
    QCOMPARE(encodeWindows874(text, &ok), bytes);
    QVERIFY(!ok);
}

QTEST_APPLESS_MAIN(TestWindows874)
#include "tst_windows874.moc"
